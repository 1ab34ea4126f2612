// Export of a real-time file of 200,000 records x 40 parameters to CSV, LAS and WITSML,
// against the floor: formatting the same numbers (time, three depths, the values) with
// std::to_chars into memory, measured in the same run; WITSML also against the CSV export
// of the same file in the same run, and the peak memory of a WITSML export against that of
// the load alone (a child process each).
//
//   export_bench [repetitions]

#include "Bench_support.h"

#include "storage/Export.h"
#include "storage/Realtimedatareader.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr std::size_t record_count = 200000;
constexpr std::size_t param_count = 40;

// Every number of every record through to_chars into one reused buffer; the total length
// keeps the compiler from dropping the work.
std::size_t to_chars_floor(const FileStorage& model)
{
    std::vector<char> buffer(64 * 1024);
    std::size_t total = 0;
    for (const auto& record : model.records) {
        char* p = buffer.data();
        char* const end = buffer.data() + buffer.size();
        p = std::to_chars(p, end, record->time).ptr;
        for (const float depth : {record->depth_z, record->depth_cur, record->lag_depth})
            p = std::to_chars(p, end, depth).ptr;
        for (const float value : record->values)
            p = std::to_chars(p, end, value).ptr;
        total += static_cast<std::size_t>(p - buffer.data());
    }
    return total;
}

std::size_t export_to_memory(const FileStorage& model, data_export::Format format)
{
    data_export::Options options;
    options.format = format;
    std::size_t total = 0;
    data_export::write(model, options, [&total](std::string_view piece) { total += piece.size(); });
    return total;
}

// The child of a memory measurement: loads the file, exports it into a counting sink when
// asked, and prints its peak resident memory.
int peak_of(const std::string& what, const std::string& path)
{
    FileStorage model;
    model.load(path);
    if (what == "witsml")
        export_to_memory(model, data_export::Format::witsml);
    std::printf("%lld\n", bench::own_peak_kilobytes());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--peak")
        return peak_of(argv[2], argv[3]);
    const int repetitions = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 7;

    bench::ScratchDir dir;
    const std::string path = dir.file("well.realtim");
    testkit::write_file(path, testkit::realtime_file(testkit::synthetic_params(param_count),
                                                     testkit::synthetic_records(record_count, param_count, 17),
                                                     {"Месторождение=Южное", "Куст=12"}, 2));
    FileStorage model;
    model.load(path);
    const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::printf("real-time file: %zu records x %zu parameters, %.1f MB; %d repetitions\n", record_count, param_count,
                megabytes, repetitions);

    std::vector<double> floor_runs, csv_memory, las_memory, witsml_memory, csv_file, las_file, witsml_file;
    std::size_t sizes = 0;
    for (int i = 0; i < repetitions; ++i) {
        floor_runs.push_back(bench::seconds_of([&] { sizes += to_chars_floor(model); }));
        csv_memory.push_back(bench::seconds_of([&] { sizes += export_to_memory(model, data_export::Format::csv); }));
        las_memory.push_back(bench::seconds_of([&] { sizes += export_to_memory(model, data_export::Format::las); }));
        witsml_memory.push_back(bench::seconds_of([&] { sizes += export_to_memory(model, data_export::Format::witsml); }));
        csv_file.push_back(bench::seconds_of([&] {
            data_export::write_file(model, data_export::options_for(path, data_export::Format::csv), dir.file("out.csv"));
        }));
        las_file.push_back(bench::seconds_of([&] {
            data_export::write_file(model, data_export::options_for(path, data_export::Format::las), dir.file("out.las"));
        }));
        witsml_file.push_back(bench::seconds_of([&] {
            data_export::write_file(model, data_export::options_for(path, data_export::Format::witsml),
                                    dir.file("out.xml"));
        }));
    }
    const double floor = bench::median(floor_runs);
    std::printf("%-44s %9.1f ms %8.1f MB/s   (%zu bytes formatted)\n", "floor: to_chars of every number", floor * 1000,
                megabytes / floor, sizes);
    bench::print_row("CSV into memory", bench::median(csv_memory), floor, megabytes, "<= 1.25 x");
    bench::print_row("LAS into memory", bench::median(las_memory), floor, megabytes, "<= 1.25 x");
    bench::print_row("CSV to a file (written, flushed, renamed)", bench::median(csv_file), floor, megabytes, "<= 1.25 x");
    bench::print_row("LAS to a file (written, flushed, renamed)", bench::median(las_file), floor, megabytes, "<= 1.25 x");
    bench::print_row("WITSML into memory", bench::median(witsml_memory), floor, megabytes, "<= 1.5 x CSV");
    bench::print_row("WITSML to a file (written, flushed, renamed)", bench::median(witsml_file), floor, megabytes, "<= 1.5 x CSV");
    std::printf("WITSML against CSV of the same file: into memory %.1f ms / %.1f ms = %.2f x, to a file %.1f ms / "
                "%.1f ms = %.2f x (target <= 1.5 x)\n",
                bench::median(witsml_memory) * 1000, bench::median(csv_memory) * 1000,
                bench::median(witsml_memory) / bench::median(csv_memory), bench::median(witsml_file) * 1000,
                bench::median(csv_file) * 1000, bench::median(witsml_file) / bench::median(csv_file));
    std::printf("output sizes: CSV %.1f MB, LAS %.1f MB, WITSML %.1f MB\n",
                static_cast<double>(std::filesystem::file_size(dir.file("out.csv"))) / 1e6,
                static_cast<double>(std::filesystem::file_size(dir.file("out.las"))) / 1e6,
                static_cast<double>(std::filesystem::file_size(dir.file("out.xml"))) / 1e6);
    const long long loaded = bench::child_peak_bytes({"--peak", "load", path});
    const long long exported = bench::child_peak_bytes({"--peak", "witsml", path});
    std::printf("peak memory: load %.1f MB, load and WITSML export %.1f MB: %.1f MB more for an output of %.1f MB "
                "(flat: the export's rows go out as they are made)\n",
                static_cast<double>(loaded) / 1e6, static_cast<double>(exported) / 1e6,
                static_cast<double>(exported - loaded) / 1e6,
                static_cast<double>(std::filesystem::file_size(dir.file("out.xml"))) / 1e6);
    return 0;
}
