// Loading, saving and merging a real-time file of 200,000 records x 40 parameters, against
// `cp` of the same file in the same run.
//
//   storage_bench [repetitions]

#include "Bench_support.h"

#include "storage/Realtimedatareader.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

constexpr std::size_t record_count = 200000;
constexpr std::size_t param_count = 40;
constexpr std::size_t arriving_count = 5000; // about 1 MB

const std::vector<std::string> text_lines = {"Месторождение=Южное", "Куст=12", "Скважина=1203-бис"};

void write_inputs(const std::string& well, const std::string& arriving)
{
    const auto params = testkit::synthetic_params(param_count);
    auto records = testkit::synthetic_records(record_count + arriving_count, param_count, 17);
    const std::vector<FileStorageItem> older(records.begin(), records.begin() + record_count);
    // The arriving file repeats the last 1,000 records the well has, as a station resend does.
    const std::vector<FileStorageItem> newer(records.end() - arriving_count - 1000, records.end());
    testkit::write_file(well, testkit::realtime_file(params, older, text_lines, 2));
    testkit::write_file(arriving, testkit::realtime_file(params, newer, text_lines, 2));
}

void merge(const std::string& well, const std::string& arriving)
{
    FileStorage model;
    model.load(well);
    model.set_time_filter(model.largest_time() + 2, FileStorage::no_time_limit);
    const std::size_t before = model.records.size();
    model.load(arriving);
    if (model.records.size() != before)
        model.save(well);
}

int peak_load(const std::string& path)
{
    FileStorage model;
    if (!path.empty())
        model.load(path);
    std::printf("%lld\n", bench::own_peak_kilobytes());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::string(argv[1]) == "--peak-load")
        return peak_load(argc >= 3 ? argv[2] : "");
    const int repetitions = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 7;

    bench::ScratchDir dir;
    const std::string well = dir.file("well.realtim");
    const std::string arriving = dir.file("arriving.realtim");
    write_inputs(well, arriving);
    const double megabytes = static_cast<double>(std::filesystem::file_size(well)) / 1e6;
    std::printf("real-time file: %zu records x %zu parameters, %.1f MB; arriving file %.2f MB; %d repetitions\n",
                record_count, param_count, megabytes, static_cast<double>(std::filesystem::file_size(arriving)) / 1e6,
                repetitions);

    std::vector<double> cp, load, save, merged;
    for (int i = 0; i < repetitions; ++i) {
        cp.push_back(bench::cp_seconds(well, dir.file("copy.realtim")));
        FileStorage model;
        load.push_back(bench::seconds_of([&] { model.load(well); }));
        save.push_back(bench::seconds_of([&] { model.save_realtime(dir.file("saved.realtim")); }));
        std::filesystem::copy_file(well, dir.file("merge.realtim"), std::filesystem::copy_options::overwrite_existing);
        merged.push_back(bench::seconds_of([&] { merge(dir.file("merge.realtim"), arriving); }));
    }
    const double floor = bench::median(cp);
    std::printf("%-44s %9.1f ms %8.1f MB/s\n", "floor: cp of the file", floor * 1000, megabytes / floor);
    bench::print_row("load into the model", bench::median(load), floor, megabytes, "<= 8 x");
    bench::print_row("save_realtime of the model", bench::median(save), floor, megabytes, "<= 6 x");
    bench::print_row("merge 1 MB into it (load, filter, load, save)", bench::median(merged), floor, megabytes, "<= 15 x");

    const long long baseline = bench::child_peak_bytes({"--peak-load"});
    const long long peak = bench::child_peak_bytes({"--peak-load", well});
    std::printf("peak memory of a load: %.1f MB above an empty run, %.2f x the file (target < 3 x)\n",
                static_cast<double>(peak - baseline) / 1e6, static_cast<double>(peak - baseline) / (megabytes * 1e6));
    return 0;
}
