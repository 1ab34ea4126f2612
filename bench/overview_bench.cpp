// The overview of the store against listing the same folders:
//   overview_bench [repetitions] [--areas N] [--wells N] [--megabytes N]
// Default 200 areas x 50 wells, each well with a real-time time file and a real-time depth
// file of 100 MB each. The files are sparse: a parameter sector and a record at the start,
// a hole, and the newest record at the end, so that 20,000 files of 100 MB cost about
// 160 MB of disk. The home's merge index knows every file (as after the merges that made
// them). Printed, medians of the repetitions:
//   - listing the root, the areas and every well folder with std::filesystem (the floor);
//   - the overview with the merge index only (its own notes deleted before each call: the
//     first overview after the merges, a stat per well file the index knows as it is);
//   - the overview with its notes (every later call: a stat per well file).
// Target: both overviews within 2 x the floor.

#include "Bench_support.h"

#include "catalogue/Well_overview.h"
#include "storage/Merge_index.h"
#include "testkit/Realtime_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t now = 1700000000;

FileStorageParam the_param()
{
    FileStorageParam p;
    p.name = "Вес";
    return p;
}

FileStorageItem record_at(std::uint32_t time, float depth)
{
    FileStorageItem item;
    item.time = time;
    item.depth_z = depth;
    item.values = {1.f};
    return item;
}

// A sparse real-time file of `size` bytes: format, parameters and a record at the start, a
// reserved sector hiding the hole, the newest record at the end.
void write_sparse_well_file(const std::string& path, std::uint64_t size, std::uint32_t newest, storage::MergeIndex& index)
{
    testkit::RealtimeFile head(2, lib::enc_utf8);
    head.format(2, lib::enc_utf8).params({the_param()}).record(record_at(newest - 3600, 100.f));
    testkit::RealtimeFile tail(2, lib::enc_utf8);
    tail.record(record_at(newest, 200.f));
    const testkit::Bytes& first = head.bytes();
    const testkit::Bytes& last = tail.bytes();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::pwrite(fd, first.data(), first.size(), 0) != static_cast<ssize_t>(first.size()) ||
        ::pwrite(fd, last.data(), last.size(), static_cast<off_t>(size - last.size())) != static_cast<ssize_t>(last.size())) {
        std::perror(path.c_str());
        std::exit(1);
    }
    // The entry as the merge that wrote the newest record would leave it.
    storage::WellFileSummary summary;
    summary.end_check = storage::end_check_of(fd, size).value_or(0);
    ::close(fd);
    summary.stamp = *storage::stamp_of(path);
    summary.whole_length = size;
    summary.largest_time = newest;
    summary.newest_depth = 200.f;
    summary.version = 2;
    summary.encoding = lib::enc_utf8;
    summary.params = {the_param()};
    summary.layout = {0};
    index.put(path, std::move(summary));
}

std::size_t list_floor(const fs::path& store)
{
    std::size_t found = 0;
    for (const auto& area : fs::directory_iterator(store)) {
        if (!area.is_directory())
            continue;
        for (const auto& well : fs::directory_iterator(area.path())) {
            if (!well.is_directory())
                continue;
            for (const auto& file : fs::directory_iterator(well.path()))
                found += file.is_regular_file() ? 1 : 0;
        }
    }
    return found;
}

} // namespace

int main(int argc, char** argv)
{
    int repetitions = 5;
    int areas = 200;
    int wells = 50;
    std::uint64_t megabytes = 100;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--areas" && i + 1 < argc)
            areas = std::atoi(argv[++i]);
        else if (arg == "--wells" && i + 1 < argc)
            wells = std::atoi(argv[++i]);
        else if (arg == "--megabytes" && i + 1 < argc)
            megabytes = std::strtoull(argv[++i], nullptr, 10);
        else
            repetitions = std::max(1, std::atoi(argv[i]));
    }

    bench::ScratchDir scratch;
    const std::string store = scratch.file("store/");
    const std::string home = scratch.file("home/");
    fs::create_directories(home);
    storage::MergeIndex index(home + storage::MergeIndex::file_name);
    std::printf("writing %d x %d wells, two sparse files of %llu MB each...\n", areas, wells,
                static_cast<unsigned long long>(megabytes));
    for (int a = 0; a < areas; ++a) {
        for (int w = 0; w < wells; ++w) {
            const std::string folder = store + "Площадь" + std::to_string(a) + "/" + std::to_string(w) + "/";
            fs::create_directories(folder);
            const std::uint32_t newest = now - static_cast<std::uint32_t>((a * wells + w) % 48) * 3600;
            write_sparse_well_file(folder + "1.realtim", megabytes << 20, newest, index);
            write_sparse_well_file(folder + "1.realdep", megabytes << 20, newest - 60, index);
            std::ofstream(folder + "inpgti.ini") << "[скважина]\n";
        }
    }
    index.save();

    catalogue::OverviewRequest request;
    request.data_root = store;
    request.state_folder = home;
    request.now = now;
    std::size_t rows = 0;
    std::vector<double> floor_times, indexed_times, noted_times;
    for (int r = 0; r < repetitions; ++r) {
        floor_times.push_back(bench::seconds_of([&] { list_floor(store); }));
        fs::remove(home + catalogue::overview_files::notes);
        indexed_times.push_back(bench::seconds_of([&] { rows = catalogue::build_overview(request).size(); }));
        noted_times.push_back(bench::seconds_of([&] { rows = catalogue::build_overview(request).size(); }));
    }
    const double floor = bench::median(floor_times);
    const double indexed = bench::median(indexed_times);
    const double noted = bench::median(noted_times);
    std::printf("%zu wells, %d repetitions, medians:\n", rows, repetitions);
    std::printf("  listing the folders (floor)              %9.1f ms\n", floor * 1000);
    std::printf("  overview, merge index only (target <= 2) %9.1f ms  %5.2f x floor\n", indexed * 1000, indexed / floor);
    std::printf("  overview, with its notes (target <= 2)   %9.1f ms  %5.2f x floor\n", noted * 1000, noted / floor);
    return 0;
}
