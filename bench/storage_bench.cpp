// Loading, saving and merging a real-time file of 200,000 records x 40 parameters, against
// `cp` of the same file in the same run; and a merge into a 1 GB well file against the same
// merge into a 10 MB one.
//
//   storage_bench [repetitions] [--no-large]

#include "Bench_support.h"

#include "platform/File.h"
#include "storage/Merge_index.h"
#include "storage/Realtime_merge.h"
#include "storage/Realtimedatareader.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"

#include <cstdio>

#include <fcntl.h>
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

// `count` generated records whose times follow on from `after`: +2 and more.
std::vector<FileStorageItem> records_after(std::uint32_t after, std::size_t count, std::uint32_t seed)
{
    auto records = testkit::synthetic_records(count, param_count, seed);
    const std::uint32_t shift = after + 2 - records.front().time;
    for (FileStorageItem& record : records)
        record.time += shift;
    return records;
}

// A well file of `count` records, written in slices of 200,000 (a 1 GB model would not fit
// beside its bytes), and `rounds` arriving files of about 1 MB, each newer than the last and
// repeating 1,000 records the well already has, as a station resend does.
std::vector<std::string> write_growing(const std::string& well, std::size_t count, int rounds, const bench::ScratchDir& dir,
                                       const std::string& prefix)
{
    const auto params = testkit::synthetic_params(param_count);
    testkit::write_file(well, testkit::realtime_file(params, {}, text_lines, 2));
    std::uint32_t last = 0;
    std::uint32_t seed = 100;
    storage::MergeIndex index;
    for (std::size_t done = 0; done < count; done += record_count) {
        const auto slice = records_after(last, std::min(record_count, count - done), seed++);
        last = slice.back().time;
        const std::string path = dir.file(prefix + "slice.realtim");
        testkit::write_file(path, testkit::realtime_file(params, slice, text_lines, 2));
        storage::merge_realtime(well, path, storage::MergeWrite::append, &index);
    }
    std::vector<std::string> arriving;
    std::vector<FileStorageItem> previous = records_after(0, 1000, seed++); // stands for the well's last records
    for (int round = 0; round < rounds; ++round) {
        auto fresh = records_after(last, arriving_count, seed++);
        last = fresh.back().time;
        std::vector<FileStorageItem> resend(previous.end() - 1000, previous.end());
        resend.insert(resend.end(), fresh.begin(), fresh.end());
        const std::string path = dir.file(prefix + "arriving-" + std::to_string(round) + ".realtim");
        testkit::write_file(path, testkit::realtime_file(params, resend, text_lines, 2));
        arriving.push_back(path);
        previous = std::move(fresh);
    }
    return arriving;
}

// Each arriving file merged in turn, the well known from the index: the medians.
double indexed_merge_median(const std::string& well, const std::vector<std::string>& arriving)
{
    storage::MergeIndex index;
    storage::merge_realtime(well, arriving.front(), storage::MergeWrite::append, &index); // makes the entry
    std::vector<double> times;
    for (std::size_t i = 1; i < arriving.size(); ++i)
        times.push_back(bench::seconds_of([&] { storage::merge_realtime(well, arriving[i], storage::MergeWrite::append, &index); }));
    return bench::median(times);
}

// The same, but before each timed merge another home merges the file in between (a machine
// that shares the store): this home's entry is stale each time.
double grown_merge_median(const std::string& well, const std::vector<std::string>& arriving)
{
    storage::MergeIndex index;
    storage::merge_realtime(well, arriving.front(), storage::MergeWrite::append, &index);
    std::vector<double> times;
    for (std::size_t i = 1; i + 1 < arriving.size(); i += 2) {
        storage::merge_realtime(well, arriving[i], storage::MergeWrite::append, nullptr);
        times.push_back(
            bench::seconds_of([&] { storage::merge_realtime(well, arriving[i + 1], storage::MergeWrite::append, &index); }));
    }
    return bench::median(times);
}

// A copy of the well file already on disk, as a well file is between packages: otherwise the
// merge's flush would write the whole copy too.
void fresh_copy(const std::string& from, const std::string& to)
{
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    const platform::UniqueFd fd(::open(to.c_str(), O_RDONLY | O_CLOEXEC));
    platform::sync_data(fd.get());
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
    const bool large = !(argc >= 3 && std::string(argv[2]) == "--no-large");

    bench::ScratchDir dir;
    const std::string well = dir.file("well.realtim");
    const std::string arriving = dir.file("arriving.realtim");
    write_inputs(well, arriving);
    const double megabytes = static_cast<double>(std::filesystem::file_size(well)) / 1e6;
    std::printf("real-time file: %zu records x %zu parameters, %.1f MB; arriving file %.2f MB; %d repetitions\n",
                record_count, param_count, megabytes, static_cast<double>(std::filesystem::file_size(arriving)) / 1e6,
                repetitions);

    std::vector<double> cp, cp_flushed, load, save, rewritten, appended;
    for (int i = 0; i < repetitions; ++i) {
        cp.push_back(bench::cp_seconds(well, dir.file("copy.realtim")));
        cp_flushed.push_back(bench::cp_and_flush_seconds(well, dir.file("copy.realtim")));
        FileStorage model;
        load.push_back(bench::seconds_of([&] { model.load(well); }));
        save.push_back(bench::seconds_of([&] { model.save_realtime(dir.file("saved.realtim")); }));
        fresh_copy(well, dir.file("merge.realtim"));
        rewritten.push_back(bench::seconds_of(
            [&] { storage::merge_realtime(dir.file("merge.realtim"), arriving, storage::MergeWrite::rewrite); }));
        fresh_copy(well, dir.file("merge.realtim"));
        appended.push_back(bench::seconds_of([&] { storage::merge_realtime(dir.file("merge.realtim"), arriving); }));
    }
    const double floor = bench::median(cp);
    std::printf("%-44s %9.1f ms %8.1f MB/s\n", "floor: cp of the file", floor * 1000, megabytes / floor);
    bench::print_row("load into the model", bench::median(load), floor, megabytes, "<= 1.2 x");
    bench::print_row("save_realtime of the model, flush included", bench::median(save), floor, megabytes, "<= 3 x");
    const double flushed_floor = bench::median(cp_flushed);
    std::printf("%-44s %9.1f ms %8.1f MB/s %7.2f x floor; the save is %.2f x this (target <= 1.2 x)\n", "  cp of the file and its flush", flushed_floor * 1000,
                megabytes / flushed_floor, flushed_floor / floor, bench::median(save) / flushed_floor);
    bench::print_row("merge 1 MB, rewriting the file", bench::median(rewritten), floor, megabytes, "(before)");
    bench::print_row("merge 1 MB, appending, file read whole", bench::median(appended), floor, megabytes, "-");

    // The steady state: the well known from the merge index.
    const int rounds = repetitions + 1;
    const auto into_42 = write_growing(dir.file("w42.realtim"), record_count, rounds, dir, "w42-");
    bench::print_row("merge 1 MB, appending, well from the index", indexed_merge_median(dir.file("w42.realtim"), into_42),
                     floor, megabytes, "<= 0.5 x");
    if (large) {
        // Both wells take their indexed merges first, then those after another home's.
        const int both = 3 * repetitions + 2;
        const auto into_10 = write_growing(dir.file("w10.realtim"), 48000, both, dir, "w10-");
        const auto into_1g = write_growing(dir.file("w1g.realtim"), 4800000, both, dir, "w1g-");
        const auto first = [&](const std::vector<std::string>& all) {
            return std::vector<std::string>(all.begin(), all.begin() + rounds);
        };
        const auto rest = [&](const std::vector<std::string>& all) {
            return std::vector<std::string>(all.begin() + rounds, all.end());
        };
        const double small = indexed_merge_median(dir.file("w10.realtim"), first(into_10));
        const double big = indexed_merge_median(dir.file("w1g.realtim"), first(into_1g));
        const double small_grown = grown_merge_median(dir.file("w10.realtim"), rest(into_10));
        const double big_grown = grown_merge_median(dir.file("w1g.realtim"), rest(into_1g));
        const double small_mb = static_cast<double>(std::filesystem::file_size(dir.file("w10.realtim"))) / 1e6;
        const double big_mb = static_cast<double>(std::filesystem::file_size(dir.file("w1g.realtim"))) / 1e6;
        std::printf("merge 1 MB into a %.0f MB well: %.1f ms; into a %.0f MB well: %.1f ms; ratio %.2f x (target <= 2 x)\n",
                    small_mb, small * 1000, big_mb, big * 1000, big / small);
        std::printf("the same after another home merged into the well: %.1f ms; %.1f ms; ratio %.2f x (target <= 2 x)\n",
                    small_grown * 1000, big_grown * 1000, big_grown / small_grown);
    }

    const long long baseline = bench::child_peak_bytes({"--peak-load"});
    const long long peak = bench::child_peak_bytes({"--peak-load", well});
    std::printf("peak memory of a load: %.1f MB above an empty run, %.2f x the file (target < 3 x)\n",
                static_cast<double>(peak - baseline) / 1e6, static_cast<double>(peak - baseline) / (megabytes * 1e6));
    return 0;
}
