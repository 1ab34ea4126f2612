#pragma once
// Small helpers shared by the benchmarks: timing, medians, the `cp` floor, peak memory of
// a child run, and a scratch folder.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

double seconds_of(const std::function<void()>& action);
double median(std::vector<double> samples);

// Wall time of `/usr/bin/cp from to`.
double cp_seconds(const std::string& from, const std::string& to);
// Wall time of the same cp and a flush of the copy to disk: what any durable write of the
// file's bytes costs on this disk.
double cp_and_flush_seconds(const std::string& from, const std::string& to);
// Writes `bytes` bytes to a new file at `path` and flushes them to disk.
void write_and_flush(const std::string& path, std::uint64_t bytes);

// Runs this benchmark binary again with `arguments`; the child prints its own peak resident
// memory (own_peak_kilobytes) and this returns it in bytes.
long long child_peak_bytes(const std::vector<std::string>& arguments);
long long own_peak_kilobytes();

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void print_row(const std::string& what, double median_seconds, double floor_seconds, double megabytes, const std::string& target);

} // namespace bench
