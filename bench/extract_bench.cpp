// The extraction pipeline: one large .zreg package in single-package mode against zlib and
// plain writes of the same bytes; a run over 1,000 small packages of which the cache knows
// 900; and a 1 MB merge into a well's 40 MB file through placement, against cp, with the
// well file read whole and known from the merge index.
//
//   extract_bench [repetitions] [--zreg-only | --7z-only | --merge-only]

#include "Bench_support.h"

#include "extract/Extractthread.h"
#include "lib/Fileworks.h"
#include "storage/Realtimedatareader.h"
#include "extract/Regrarclass.h"
#include "lib/Sys_utils.h"
#include "platform/File.h"
#include "testkit/Archive_writer.h"
#include "testkit/Bytes.h"
#include "testkit/Compressed_writer.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"
#include "testkit/Zreg_writer.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

constexpr int member_pairs = 5;
constexpr std::size_t member_records = 40000; // about 8 MB of real-time file each
constexpr std::size_t member_params = 40;

class QuietOwner : public ExtractOwner {
public:
    void post_status(const std::string&) override {}
    void post_progress(int) override {}
    void report_error(const std::string&, const std::string& message) override
    {
        std::fprintf(stderr, "unexpected error: %s\n", message.c_str());
    }
};

testkit::ZregMember member(std::string name, testkit::Bytes content)
{
    testkit::ZregMember m;
    m.name = std::move(name);
    m.content = std::move(content);
    return m;
}

// Ten members of about 8 MB: plain real-time files only, or every second one a
// ".newcompr1" stream that is rebuilt into a real-time file on the way.
std::vector<testkit::ZregMember> large_members(bool with_streams)
{
    std::vector<testkit::ZregMember> members = {member("inpgti.ini", testkit::inpgti_ini("1", "A", lib::enc_1251))};
    const auto params = testkit::synthetic_params(member_params);
    for (int i = 0; i < 2 * member_pairs; ++i) {
        const auto seed = static_cast<std::uint32_t>(i);
        if (with_streams && i % 2 == 1) {
            const auto set = testkit::synthetic_compressed_set(member_records, member_params, seed);
            members.push_back(member(testkit::numbered("c", i) + ".realdep.newcompr1", testkit::single_stream(set)));
            continue;
        }
        const auto records = testkit::synthetic_records(member_records, member_params, seed);
        members.push_back(member(testkit::numbered("p", i) + ".realtim", testkit::realtime_file(params, records, {"a=b"}, 2)));
    }
    return members;
}

std::uint64_t folder_bytes(const std::string& folder)
{
    std::uint64_t total = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            total += entry.file_size();
    return total;
}

// What no extraction can beat: inflating every member, writing as many bytes as the
// extraction wrote and flushing them to disk, one after the other.
double floor_seconds(const std::vector<testkit::ZregMember>& members, std::uint64_t output, const std::string& scratch)
{
    std::vector<std::vector<unsigned char>> packed;
    for (const auto& m : members) {
        uLongf size = compressBound(m.content.size());
        std::vector<unsigned char> out(size);
        compress(out.data(), &size, m.content.data(), m.content.size());
        out.resize(size);
        packed.push_back(std::move(out));
    }
    return bench::seconds_of([&] {
        std::vector<unsigned char> buffer;
        for (std::size_t i = 0; i < members.size(); ++i) {
            buffer.resize(members[i].content.size());
            uLongf size = buffer.size();
            uncompress(buffer.data(), &size, packed[i].data(), packed[i].size());
        }
        bench::write_and_flush(scratch, output);
    });
}

void bench_large_package(int repetitions, bool with_streams)
{
    bench::ScratchDir dir;
    const auto members = large_members(with_streams);
    const std::string package = dir.file("big.zreg");
    testkit::write_file(package, testkit::zreg_package(1, members));
    std::uint64_t unpacked = 0;
    for (const auto& m : members)
        unpacked += m.content.size();

    std::vector<double> ours, floor;
    std::uint64_t output = 0;
    QuietOwner owner;
    for (int i = 0; i < repetitions; ++i) {
        const std::string store = dir.file("store" + std::to_string(i)) + "/";
        ours.push_back(bench::seconds_of([&] {
            TExtractThread run({.data_root = store, .package = package, .temp_dir = dir.file("temp.dir.tmp"),
                                .mode = PackageMode::single, .owner = &owner});
            run.Execute();
        }));
        output = folder_bytes(store);
        std::filesystem::remove_all(store);
        floor.push_back(floor_seconds(members, output, dir.file("floor.out")));
        std::filesystem::remove(dir.file("floor.out"));
    }
    const double t = bench::median(ours);
    const double f = bench::median(floor);
    if (with_streams)
        std::printf(".zreg of %.1f MB of members (%d plain, %d .newcompr1 rebuilt), %.1f MB written to the store\n",
                    static_cast<double>(unpacked) / 1e6, member_pairs, member_pairs, static_cast<double>(output) / 1e6);
    else
        std::printf(".zreg of %.1f MB of members (%d plain), %.1f MB written to the store\n", static_cast<double>(unpacked) / 1e6,
                    2 * member_pairs, static_cast<double>(output) / 1e6);
    std::printf("  whole extraction: %.0f ms, %.0f MB/s of members; floor (uncompress + write + flush): %.0f ms; ratio %.2f x (%s)\n",
                t * 1000, static_cast<double>(unpacked) / 1e6 / t, f * 1000, t / f,
                with_streams ? "target <= 2.0 x" : "target <= 1.0 x");
}

void bench_many_packages(int repetitions)
{
    bench::ScratchDir dir;
    const std::string in = dir.file("in") + "/";
    std::filesystem::create_directories(in);
    for (int i = 0; i < 1000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "p%04d.zreg", i);
        testkit::write_file(in + name, testkit::zreg_package(1, {member("inpgti.ini", testkit::inpgti_ini("1", "A", lib::enc_1251)),
                                                                member(std::to_string(i) + ".rac", {'x'})}));
    }
    lib::FileFinder finder;
    finder.find(in + "*.zreg", lib::attr_set_files, false);
    finder.sort_by_name();
    // A run whose cache knows `known` of the packages.
    const auto timed_run = [&](std::size_t known, const std::string& store) {
        FilesDataStorage cache;
        for (std::size_t i = 0; i < known; ++i)
            cache.store(finder.files[i].path(), static_cast<std::int32_t>(finder.files[i].size));
        QuietOwner owner;
        return bench::seconds_of([&] {
            TExtractThread run({.data_root = store, .from_path = in, .temp_dir = dir.file("temp.dir.tmp"),
                                .cache = &cache, .owner = &owner});
            run.Execute();
        });
    };
    std::vector<double> mixed, known;
    for (int r = 0; r < repetitions; ++r) {
        mixed.push_back(timed_run(900, dir.file("store" + std::to_string(r)) + "/"));
        known.push_back(timed_run(1000, dir.file("store-known" + std::to_string(r)) + "/"));
    }
    // The run over packages that are all known does everything but unpacking and placing.
    std::printf("1,000 small packages, 900 known to the cache: whole run %.0f ms, %.3f ms per package; %.2f ms per new "
                "package beyond a run where all are known; %.0f %% of the run spent outside "
                "unpacking and placing (finding, cache look-ups, emptying the temporary folder)\n",
                bench::median(mixed) * 1000, bench::median(mixed), (bench::median(mixed) - bench::median(known)) * 1000 / 100,
                bench::median(known) / bench::median(mixed) * 100);
}

void write_arrival(const std::string& in, const std::vector<FileStorageParam>& params,
                   const std::vector<FileStorageItem>& records)
{
    std::filesystem::remove_all(in);
    std::filesystem::create_directories(in);
    testkit::write_file(in + "new.zreg", testkit::zreg_package(1, {member("inpgti.ini", testkit::inpgti_ini("1", "A", lib::enc_1251)),
                                                                 member("well.realtim", testkit::realtime_file(params, records, {"a=b"}, 2))}));
}

void append_and_flush(const std::string& path, std::size_t bytes)
{
    const platform::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    const std::vector<char> block(bytes, 'x');
    if (::write(fd.get(), block.data(), block.size()) != static_cast<ssize_t>(block.size()) || !platform::sync_data(fd.get()))
        std::perror(path.c_str());
}

// What inflating the member costs alone: no merge through a package can cost less.
double inflate_seconds(const testkit::Bytes& content)
{
    std::vector<unsigned char> packed(compressBound(content.size()));
    uLongf packed_size = packed.size();
    compress(packed.data(), &packed_size, content.data(), content.size());
    std::vector<unsigned char> out(content.size());
    return bench::seconds_of([&] {
        uLongf size = out.size();
        uncompress(out.data(), &size, packed.data(), packed_size);
    });
}

void bench_merge(int repetitions)
{
    bench::ScratchDir dir;
    const auto params = testkit::synthetic_params(member_params);
    const auto records = testkit::synthetic_records(200000 + 5000 * static_cast<std::size_t>(3 * repetitions + 1), member_params, 3);
    const std::vector<FileStorageItem> older(records.begin(), records.begin() + 200000);
    const std::string well_file = dir.file("well.realtim");
    testkit::write_file(well_file, testkit::realtime_file(params, older, {"a=b"}, 2));
    const std::string in = dir.file("in") + "/";
    // About 1 MB: 1,000 records the well has (a station's resend) and 5,000 new ones.
    const auto arrival = [&](int round) {
        const auto first = records.begin() + 200000 + 5000 * round - 1000;
        return std::vector<FileStorageItem>(first, first + 6000);
    };
    std::vector<double> cp, append_flush, inflate, full_read, indexed, stale;
    QuietOwner owner;
    // A run of the home `dir` (its merge index in its state folder), or of another home that
    // shares the store: another machine.
    const auto run_into = [&](const std::string& store, const std::string& home) {
        return bench::seconds_of([&] {
            TExtractThread run({.data_root = store, .from_path = in, .temp_dir = home + "temp.dir.tmp",
                                .state_folder = home, .owner = &owner});
            run.Execute();
        });
    };
    const std::string home = dir.file("home") + "/", other_home = dir.file("other") + "/";
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(other_home);
    write_arrival(in, params, arrival(0));
    for (int r = 0; r < repetitions; ++r) {
        cp.push_back(bench::cp_seconds(well_file, dir.file("copy")));
        // What no merge can spare: a megabyte appended to a file that is on disk, flushed.
        append_flush.push_back(bench::seconds_of([&] { append_and_flush(dir.file("appended"), 1040000); }));
        inflate.push_back(inflate_seconds(testkit::realtime_file(params, arrival(0), {"a=b"}, 2)));
        const std::string store = dir.file("store" + std::to_string(r)) + "/";
        std::filesystem::create_directories(store + "A/1");
        std::filesystem::copy_file(well_file, store + "A/1/well.realtim");
        full_read.push_back(run_into(store, home)); // a file the index does not know: read whole
    }
    const std::string steady = dir.file("store0") + "/";
    int round = 1;
    for (int r = 0; r < repetitions; ++r) {
        write_arrival(in, params, arrival(round++));
        indexed.push_back(run_into(steady, home));
    }
    // Two machines taking packages in turn: each finds the well grown by the other.
    for (int r = 0; r < repetitions; ++r) {
        write_arrival(in, params, arrival(round++));
        run_into(steady, other_home);
        write_arrival(in, params, arrival(round++));
        stale.push_back(run_into(steady, home));
    }
    const double mb = static_cast<double>(std::filesystem::file_size(well_file)) / 1e6;
    const double floor = bench::median(cp);
    std::printf("merge of a 1 MB arrival into a %.0f MB well file through placement; cp of the well file %.1f ms,"
                " a 1 MB append and its flush alone %.1f ms, the member's inflate alone %.1f ms:\n",
                mb, floor * 1000, bench::median(append_flush) * 1000, bench::median(inflate) * 1000);
    std::printf("  well file read whole (unknown to the index): %.1f ms, ratio %.2f x\n", bench::median(full_read) * 1000,
                bench::median(full_read) / floor);
    std::printf("  well file known from the merge index: %.1f ms, ratio %.2f x (target <= 0.5 x)\n",
                bench::median(indexed) * 1000, bench::median(indexed) / floor);
    std::printf("  well file grown by another home since the index saw it: %.1f ms, ratio %.2f x (target <= 1.0 x)\n",
                bench::median(stale) * 1000, bench::median(stale) / floor);
}

// A .7z_reg of about 50 MB of ".compr1" streams: the whole extraction against the archiver
// alone on the same archive.
void bench_sevenzip_package(int repetitions)
{
    bench::ScratchDir dir;
    std::vector<testkit::ArchiveEntry> entries = {{"inpgti.ini", testkit::inpgti_ini("1", "A", lib::enc_1251)}};
    std::uint64_t stream_bytes = 0;
    for (std::uint32_t i = 0; i < 2; ++i) {
        testkit::Bytes stream = testkit::single_stream(testkit::synthetic_compressed_set(200000, 40, i + 1));
        stream_bytes += stream.size();
        entries.push_back({testkit::numbered("w", i) + ".realtim.compr1", std::move(stream)});
    }
    const std::string package = dir.file("big.7z_reg");
    testkit::write_archive(package, testkit::ArchiveFormat::sevenzip_lzma2, entries);
    set_archiver_path(lib::program_folder() + "7za");

    std::vector<double> ours, floor;
    QuietOwner owner;
    for (int i = 0; i < repetitions; ++i) {
        const std::string out = dir.file("floor" + std::to_string(i));
        floor.push_back(bench::seconds_of([&] {
            lib::run_and_wait(archiver_path(), {"e", package, "-o" + out, "-r"}, "", false);
        }));
        std::filesystem::remove_all(out);
        const std::string store = dir.file("store" + std::to_string(i)) + "/";
        ours.push_back(bench::seconds_of([&] {
            TExtractThread run({.data_root = store, .package = package, .temp_dir = dir.file("temp.dir.tmp"),
                                .mode = PackageMode::single, .owner = &owner});
            run.Execute();
        }));
        std::filesystem::remove_all(store);
    }
    std::printf(".7z_reg of %.1f MB of .compr1 streams (%.1f MB packed): whole extraction %.0f ms; archiver alone %.0f ms; ratio %.2f x (target <= 1.2 x)\n",
                static_cast<double>(stream_bytes) / 1e6, static_cast<double>(std::filesystem::file_size(package)) / 1e6,
                bench::median(ours) * 1000, bench::median(floor) * 1000, bench::median(ours) / bench::median(floor));
}

} // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 5;
    if (argc >= 3 && std::string(argv[2]) == "--7z-only") {
        bench_sevenzip_package(repetitions);
        return 0;
    }
    if (argc >= 3 && std::string(argv[2]) == "--merge-only") {
        bench_merge(repetitions);
        return 0;
    }
    if (argc >= 3 && std::string(argv[2]) == "--zreg-only") {
        bench_large_package(repetitions, false);
        bench_large_package(repetitions, true);
        return 0;
    }
    bench_large_package(repetitions, false);
    bench_large_package(repetitions, true);
    bench_many_packages(std::max(1, repetitions / 2));
    bench_merge(repetitions);
    bench_sevenzip_package(repetitions);
    return 0;
}
