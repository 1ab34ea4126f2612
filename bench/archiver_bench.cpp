// Our 7za against Debian's p7zip 7za on the same ~50 MB 7z package (LZMA2, written by
// libarchive), both writing the files. Also shown: libarchive's decoding alone (no files) and
// `cp` of the unpacked bytes, which is where our time goes.
//
//   archiver_bench [repetitions]

#include "Bench_support.h"

#include "lib/Sys_utils.h"

#include <archive.h>
#include <archive_entry.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

constexpr const char* p7zip = "/usr/bin/7za";
constexpr int files = 6;
constexpr std::size_t file_bytes = 8'500'000; // about 50 MB unpacked in all

// Station-like contents: text records and binary columns, compressible but not trivially.
std::string contents(std::size_t size, std::uint32_t seed)
{
    std::string out;
    out.reserve(size + 64);
    std::uint32_t x = seed;
    while (out.size() < size) {
        x = x * 1664525u + 1013904223u;
        if (seed % 2 == 0) {
            out += "depth " + std::to_string(x % 5000) + "." + std::to_string((x >> 12) % 10) + " gas "
                + std::to_string((x >> 8) % 997) + "\n";
        } else {
            const std::uint32_t value = 1000000 + (x >> 20); // slowly varying 32-bit samples
            out.append(reinterpret_cast<const char*>(&value), sizeof value);
        }
    }
    out.resize(size);
    return out;
}

void write_package(const std::string& path)
{
    struct Deleter {
        void operator()(archive* a) const { archive_write_free(a); }
    };
    const std::unique_ptr<archive, Deleter> writer(archive_write_new());
    archive* a = writer.get();
    if (archive_write_set_format_7zip(a) != ARCHIVE_OK
        || archive_write_set_format_option(a, "7zip", "compression", "lzma2") != ARCHIVE_OK
        || archive_write_open_filename(a, path.c_str()) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(a));
    for (int i = 0; i < files; ++i) {
        const std::string data = contents(file_bytes, static_cast<std::uint32_t>(i));
        const std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(entry.get(), ("well/file" + std::to_string(i) + ".dat").c_str());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(data.size()));
        if (archive_write_header(a, entry.get()) != ARCHIVE_OK
            || archive_write_data(a, data.data(), data.size()) != static_cast<la_ssize_t>(data.size()))
            throw std::runtime_error(archive_error_string(a));
    }
    if (archive_write_close(a) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(a));
}

// libarchive's decoding of every entry into a buffer: the part no file writing can remove.
void decode_only(const std::string& package)
{
    struct Deleter {
        void operator()(archive* a) const { archive_read_free(a); }
    };
    const std::unique_ptr<archive, Deleter> reader(archive_read_new());
    archive* a = reader.get();
    archive_read_support_format_7zip(a);
    if (archive_read_open_filename(a, package.c_str(), 1 << 20) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(a));
    std::vector<char> buffer(1 << 20);
    archive_entry* entry = nullptr;
    while (archive_read_next_header(a, &entry) == ARCHIVE_OK)
        while (archive_read_data(a, buffer.data(), buffer.size()) > 0) {
        }
}

void run(const std::string& program, const std::vector<std::string>& arguments)
{
    const lib::RunResult result = lib::run_and_wait(program, arguments, "/", false);
    if (!result || result.exit_code != 0)
        throw std::runtime_error(program + " failed: " + result.output);
}

} // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::setlocale(LC_CTYPE, "C.UTF-8");
    if (!std::filesystem::exists(p7zip)) {
        std::fprintf(stderr, "%s is missing (Debian package p7zip-full)\n", p7zip);
        return 1;
    }
    bench::ScratchDir scratch;
    const std::string package = scratch.file("package.7z_reg");
    write_package(package);
    const double megabytes = files * static_cast<double>(file_bytes) / 1e6;
    std::printf("package: %.1f MB of files in %.1f MB of 7z (LZMA2), %d runs each\n", megabytes,
                static_cast<double>(std::filesystem::file_size(package)) / 1e6, repetitions);

    const std::string ours_out = scratch.file("ours");
    const std::string theirs_out = scratch.file("p7zip");
    std::vector<double> ours, theirs, decode, cp;
    for (int i = 0; i < repetitions; ++i) {
        // Fresh folders each time, so that neither side gains from overwriting.
        std::filesystem::remove_all(ours_out);
        std::filesystem::remove_all(theirs_out);
        ours.push_back(bench::seconds_of([&] { run(ARCHIVER_PROGRAM, {"e", package, "-o" + ours_out, "-r"}); }));
        theirs.push_back(bench::seconds_of([&] { run(p7zip, {"e", "-y", package, "-o" + theirs_out}); }));
        decode.push_back(bench::seconds_of([&] { decode_only(package); }));
        double copies = 0;
        for (int f = 0; f < files; ++f)
            copies += bench::cp_seconds(ours_out + "/file" + std::to_string(f) + ".dat", scratch.file("copy"));
        cp.push_back(copies);
    }
    const double floor = bench::median(theirs);
    bench::print_row("p7zip 7za e -y (floor)", floor, floor, megabytes, "-");
    bench::print_row("our 7za e -o -r", bench::median(ours), floor, megabytes, "<= 1.0 x");
    bench::print_row("  libarchive decoding alone", bench::median(decode), floor, megabytes, "-");
    bench::print_row("  cp of the unpacked files", bench::median(cp), floor, megabytes, "-");
    std::printf("ratio ours / p7zip: %.2f\n", bench::median(ours) / floor);
    return 0;
}
