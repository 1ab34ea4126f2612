#include "Bench_support.h"

#include "lib/Sys_utils.h"
#include "platform/File.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>


namespace bench {

double seconds_of(const std::function<void()>& action)
{
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

double cp_seconds(const std::string& from, const std::string& to)
{
    double seconds = 0;
    seconds = seconds_of([&] {
        const lib::RunResult result = lib::run_and_wait("/usr/bin/cp", {from, to}, "/", false);
        if (!result || result.exit_code != 0)
            throw std::runtime_error("cp failed: " + result.output);
    });
    std::filesystem::remove(to);
    return seconds;
}

namespace {

void flush_file(const std::string& path)
{
    const platform::OpenResult opened = platform::open_regular_file(path, platform::OpenAccess::read);
    if (!opened.fd.valid() || !platform::sync_data(opened.fd.get()))
        throw std::runtime_error("cannot flush " + path);
}

} // namespace

double cp_and_flush_seconds(const std::string& from, const std::string& to)
{
    const double seconds = seconds_of([&] {
        const lib::RunResult result = lib::run_and_wait("/usr/bin/cp", {from, to}, "/", false);
        if (!result || result.exit_code != 0)
            throw std::runtime_error("cp failed: " + result.output);
        flush_file(to);
    });
    std::filesystem::remove(to);
    return seconds;
}

void write_and_flush(const std::string& path, std::uint64_t bytes)
{
    {
        std::ofstream out(path, std::ios::binary);
        const std::vector<char> block(1 << 20, 'x');
        for (std::uint64_t left = bytes; left > 0;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
            out.write(block.data(), static_cast<std::streamsize>(n));
            left -= n;
        }
    }
    flush_file(path);
}

long long child_peak_bytes(const std::vector<std::string>& arguments)
{
    const lib::RunResult result = lib::run_and_wait("/proc/self/exe", arguments, "/", false);
    if (!result || result.exit_code != 0)
        throw std::runtime_error("the child run failed: " + result.output);
    return std::stoll(result.output) * 1024;
}

long long own_peak_kilobytes()
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr)
        return 0;
    char line[256];
    long long peak = 0;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "VmHWM: %lld kB", &peak) == 1)
            break;
    }
    std::fclose(status);
    return peak;
}

ScratchDir::ScratchDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "dravinex-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void print_row(const std::string& what, double median_seconds, double floor_seconds, double megabytes, const std::string& target)
{
    std::printf("%-44s %9.1f ms %8.1f MB/s %7.2f x floor   (target %s)\n", what.c_str(), median_seconds * 1000,
                megabytes / median_seconds, median_seconds / floor_seconds, target.c_str());
}

} // namespace bench
