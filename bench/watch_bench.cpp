// Watch mode as a service runs it: `dravinex-cli watch` as a child process.
//  - latency: from the close of a complete package's last write to its data in the store,
//    against the promise of settle time + 1 s;
//  - idle: the watcher's CPU time over a quiet period, against the 0 of a process that
//    sleeps until the kernel wakes it (no polling loop).
//  - soak (--soak N): N packages that add records to the same three wells (a real-time, a
//    compact classic and a ".newcompr1" well), dropped one after another, first into a
//    watch, then through the window's run (the extraction thread, the cache loaded before
//    and saved after each run, in a child process of its own, without a display). The
//    resident memory after package 100 and after package N, and its growth in between
//    (target below 10 MB from 100 to 1,000); the floor is the figure after package 100.
//
//   watch_bench [repetitions] [--settle SECONDS] [--idle SECONDS]
//   watch_bench --soak N [--settle SECONDS]        (settle time 0 unless given)

#include "Bench_support.h"

#include "catalogue/Filedata.h"
#include "extract/Extract_job.h"
#include "extract/Run_lock.h"
#include "lib/Sys_utils.h"
#include "platform/Memory.h"
#include "testkit/Bytes.h"
#include "testkit/Classic_writer.h"
#include "testkit/Compressed_writer.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"
#include "testkit/Zreg_writer.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <iostream>
#include <optional>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

testkit::Bytes package(const std::string& well)
{
    FileStorageParam depth;
    depth.name = "Глубина";
    std::vector<FileStorageItem> items;
    for (std::uint32_t t = 1; t <= 2000; ++t) {
        FileStorageItem item;
        item.time = t;
        item.values = {static_cast<float>(t)};
        items.push_back(item);
    }
    std::vector<testkit::ZregMember> members(2);
    members[0].name = "inpgti.ini";
    members[0].content = testkit::inpgti_ini(well, "Бенч", lib::enc_1251);
    members[1].name = "1.realtim";
    members[1].content = testkit::realtime_file({depth}, items, {}, 2);
    return testkit::zreg_package(1, members);
}

pid_t start_watch(const bench::ScratchDir& dir, double settle)
{
    const std::string program = lib::program_folder() + "dravinex-cli";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int log = ::open(dir.file("watch.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(log, STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
        const std::string home = dir.file("home"), in = dir.file("in"), store = dir.file("store");
        const std::string settle_text = std::to_string(settle);
        ::execl(program.c_str(), program.c_str(), "watch", "--home", home.c_str(), "--from", in.c_str(), "--to",
                store.c_str(), "--settle", settle_text.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

bool log_says(const bench::ScratchDir& dir, const std::string& text)
{
    std::ifstream in(dir.file("watch.log"));
    std::stringstream all;
    all << in.rdbuf();
    return all.str().find(text) != std::string::npos;
}

// User plus system CPU time of a process, in seconds.
double cpu_seconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14)
            utime = std::stoull(field);
        if (index == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// --- soak -------------------------------------------------------------------------------

constexpr std::size_t soak_records = 200; // per package and well
constexpr std::size_t soak_params = 24;
constexpr std::size_t soak_checkpoint = 100;

testkit::ZregMember soak_member(std::string name, testkit::Bytes content, std::uint8_t kind = 0)
{
    testkit::ZregMember m;
    m.kind = kind;
    m.name = std::move(name);
    m.content = std::move(content);
    return m;
}

// Package `index` of the soak: the three wells take turns, and each of its packages holds
// the records that follow the well's previous package, so that every one adds records.
testkit::Bytes soak_package(std::size_t index)
{
    const std::size_t turn = index / 3;
    const auto shift = static_cast<std::uint32_t>(turn * soak_records * 10);
    switch (index % 3) {
    case 0: {
        auto records = testkit::synthetic_records(soak_records, soak_params, 12);
        for (FileStorageItem& record : records)
            record.time += shift;
        return testkit::zreg_package(
            1, {soak_member("inpgti.ini", testkit::inpgti_ini("12", "Бенч", lib::enc_utf8)),
                soak_member("well.realtim", testkit::realtime_file(testkit::synthetic_params(soak_params), records, {"Куст=4"}, 2))});
    }
    case 1: {
        std::array<float, testkit::zreg::parameter_count> offsets{};
        std::array<float, testkit::zreg::parameter_count> scales{};
        scales.fill(0.5f);
        std::vector<testkit::CompactRecord> records(soak_records);
        for (std::size_t i = 0; i < soak_records; ++i) {
            records[i].operation = 1;
            records[i].time = 1600000000u + shift + static_cast<std::uint32_t>(i * 5);
            records[i].depth_z = 800.0f + static_cast<float>(turn * soak_records + i) * 0.01f;
            records[i].depth_cur = records[i].depth_z - 0.2f;
            for (std::size_t k = 0; k < records[i].q.size(); ++k)
                records[i].q[k] = static_cast<std::uint16_t>((i * 7 + k * 13) % 4000);
        }
        return testkit::zreg_package(
            10, {soak_member("inpgti.ini", testkit::inpgti_ini("14", "Бенч", lib::enc_1251)),
                 soak_member("inpgti.nbl", testkit::classic_param_list(testkit::synthetic_params(testkit::zreg::parameter_count))),
                 soak_member("well.tim", testkit::compact_classic(offsets, scales, records), 1)});
    }
    default: {
        testkit::CompressedSet set = testkit::synthetic_compressed_set(soak_records, soak_params, 7);
        for (std::uint32_t& time : set.times)
            time += shift;
        return testkit::zreg_package(
            1, {soak_member("inpgti.ini", testkit::inpgti_ini("7", "Бенч", lib::enc_1251)),
                soak_member("well.realtim.newcompr1", testkit::single_stream(set))});
    }
    }
}

std::string soak_name(std::size_t index)
{
    char name[32];
    std::snprintf(name, sizeof name, "soak-%05zu.zreg", index);
    return name;
}

struct Memory {
    long long resident = 0; // bytes
    long long peak = 0;
};

Memory memory_of(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    Memory memory;
    for (std::string line; std::getline(in, line);) {
        long long kilobytes = 0;
        if (std::sscanf(line.c_str(), "VmRSS: %lld kB", &kilobytes) == 1)
            memory.resident = kilobytes * 1024;
        else if (std::sscanf(line.c_str(), "VmHWM: %lld kB", &kilobytes) == 1)
            memory.peak = kilobytes * 1024;
    }
    return memory;
}

// Counts the lines of a growing log that start with a text, reading only what is new.
class LogCounter {
public:
    LogCounter(std::string path, std::string start) : path_(std::move(path)), start_(std::move(start)) {}

    std::size_t count()
    {
        std::ifstream in(path_, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(offset_));
        std::string chunk((std::istreambuf_iterator<char>(in)), {});
        pending_ += chunk;
        offset_ += chunk.size();
        for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
            if (pending_.compare(0, start_.size(), start_) == 0)
                ++count_;
            pending_.erase(0, end + 1);
        }
        return count_;
    }

private:
    std::string path_;
    std::string start_;
    std::size_t offset_ = 0;
    std::string pending_;
    std::size_t count_ = 0;
};

// Resident memory at every checkpoint of a soak: after package 100, 200, ... and N.
struct SoakFigures {
    std::vector<std::pair<std::size_t, Memory>> checkpoints;
    double seconds = 0;
};

bool is_checkpoint(std::size_t done, std::size_t total)
{
    return done % soak_checkpoint == 0 || done == total;
}

SoakFigures soak_watch(std::size_t total, double settle)
{
    bench::ScratchDir dir;
    std::filesystem::create_directories(dir.file("in"));
    const pid_t watch = start_watch(dir, settle);
    while (!log_says(dir, "Наблюдение за папкой"))
        std::this_thread::sleep_for(10ms);
    LogCounter journals(dir.file("watch.log"), extract_text::journal_title);
    SoakFigures figures;
    const auto start = Clock::now();
    for (std::size_t index = 0; index < total; ++index) {
        // Written beside the folder and moved in, so that the watch takes it whole at once.
        const std::string staged = dir.file(soak_name(index));
        testkit::write_file(staged, soak_package(index));
        std::filesystem::rename(staged, dir.file("in/" + soak_name(index)));
        while (journals.count() < index + 1)
            std::this_thread::sleep_for(1ms);
        if (is_checkpoint(index + 1, total)) {
            // The journal is the run's last word; its objects are gone a moment later.
            std::this_thread::sleep_for(100ms);
            figures.checkpoints.emplace_back(index + 1, memory_of(watch));
        }
    }
    figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::kill(watch, SIGTERM);
    int status = 0;
    ::waitpid(watch, &status, 0);
    if (log_says(dir, "ОШИБКА") || log_says(dir, "произошла ошибка"))
        std::printf("  (the watch reported errors: see its log)\n");
    return figures;
}

// The window's run, as the window does it, in this process: one line on standard input per
// run; answers with its resident memory and peak.
class QuietOwner : public ExtractOwner {
public:
    void post_status(const std::string&) override {}
    void post_progress(int) override {}
    void report_error(const std::string&, const std::string& message) override
    {
        std::fprintf(stderr, "window run: %s\n", message.c_str());
    }
};

int window_runner(const std::string& root)
{
    const std::string home = root + "/home/", from = root + "/in/", store = root + "/store/";
    std::filesystem::create_directories(home);
    FilesDataStorage cache; // the window keeps one for its life; its job reloads it for every run
    QuietOwner owner;
    platform::keep_heap_small(); // as the window's start does
    ExtractJob job({home + "TemporaryFileData.bin", home + "temp.dir.tmp", home + ".extract.lock", home}, cache, &owner);
    for (std::string line; std::getline(std::cin, line);) {
        {
            ExtractRequest request;
            request.from_path = from;
            request.data_root = store;
            request.lock = LockWait::poll;
            std::promise<ExtractResult> done; // the window's job runs on a thread of its own
            job.start(request, [&](ExtractResult result) { done.set_value(std::move(result)); });
            [[maybe_unused]] const ExtractResult result = done.get_future().get(); // the window renders it
            job.wait();
        }
        const Memory memory = memory_of(::getpid());
        std::printf("%lld %lld\n", memory.resident, memory.peak);
        std::fflush(stdout);
    }
    return 0;
}

SoakFigures soak_window(std::size_t total)
{
    bench::ScratchDir dir;
    std::filesystem::create_directories(dir.file("in"));
    int to_child[2], from_child[2];
    if (::pipe(to_child) != 0 || ::pipe(from_child) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(to_child[0], STDIN_FILENO);
        ::dup2(from_child[1], STDOUT_FILENO);
        ::close(to_child[1]);
        ::close(from_child[0]);
        const std::string root = dir.file("");
        ::execl("/proc/self/exe", "watch_bench", "--window-runner", root.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(to_child[0]);
    ::close(from_child[1]);
    std::FILE* answers = ::fdopen(from_child[0], "r");
    SoakFigures figures;
    const auto start = Clock::now();
    for (std::size_t index = 0; index < total; ++index) {
        testkit::write_file(dir.file("in/" + soak_name(index)), soak_package(index));
        if (::write(to_child[1], "run\n", 4) != 4)
            throw std::runtime_error("the window's run ended early");
        Memory memory;
        if (std::fscanf(answers, "%lld %lld", &memory.resident, &memory.peak) != 2)
            throw std::runtime_error("the window's run ended early");
        if (is_checkpoint(index + 1, total))
            figures.checkpoints.emplace_back(index + 1, memory);
    }
    figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(to_child[1]);
    std::fclose(answers);
    int status = 0;
    ::waitpid(child, &status, 0);
    return figures;
}

double megabytes(long long bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

void print_soak(const char* what, const SoakFigures& figures)
{
    const Memory first = figures.checkpoints.front().second;
    const Memory last = figures.checkpoints.back().second;
    std::vector<double> steps;
    for (std::size_t i = 1; i < figures.checkpoints.size(); ++i)
        steps.push_back(megabytes(figures.checkpoints[i].second.resident - figures.checkpoints[i - 1].second.resident));
    std::printf("%s (%.0f s):\n", what, figures.seconds);
    std::printf("  resident after package %zu: %.1f MB; after package %zu: %.1f MB\n", figures.checkpoints.front().first,
                megabytes(first.resident), figures.checkpoints.back().first, megabytes(last.resident));
    std::printf("  growth from %zu to %zu: %.1f MB (target below 10 MB); median growth per %zu packages: %.2f MB\n",
                figures.checkpoints.front().first, figures.checkpoints.back().first,
                megabytes(last.resident - first.resident), soak_checkpoint, steps.empty() ? 0.0 : bench::median(steps));
    std::printf("  peak resident (during a merge): %.1f MB after package %zu, %.1f MB after package %zu\n",
                megabytes(first.peak), figures.checkpoints.front().first, megabytes(last.peak), figures.checkpoints.back().first);
    std::printf("  resident at each checkpoint (MB):");
    for (const auto& [done, memory] : figures.checkpoints)
        std::printf(" %zu:%.1f", done, megabytes(memory.resident));
    std::printf("\n");
}

int soak(std::size_t total, double settle)
{
    if (total < soak_checkpoint) {
        std::fprintf(stderr, "watch_bench: --soak takes at least %zu packages\n", soak_checkpoint);
        return 2;
    }
    std::printf("soak: %zu packages of %zu records each, taking turns over 3 wells, one after another\n", total,
                soak_records);
    print_soak("dravinex-cli watch", soak_watch(total, settle));
    print_soak("the window's run (extraction thread, cache reloaded and saved each run)", soak_window(total));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int repetitions = 5;
    std::optional<double> settle_given;
    double idle = 60.0;
    std::size_t soak_packages = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--window-runner" && i + 1 < argc)
            return window_runner(argv[i + 1]);
        if (arg == "--settle" && i + 1 < argc)
            settle_given = std::atof(argv[++i]);
        else if (arg == "--idle" && i + 1 < argc)
            idle = std::atof(argv[++i]);
        else if (arg == "--soak" && i + 1 < argc)
            soak_packages = static_cast<std::size_t>(std::max(0, std::atoi(argv[++i])));
        else
            repetitions = std::max(1, std::atoi(argv[i]));
    }
    if (soak_packages > 0)
        return soak(soak_packages, settle_given.value_or(0.0));
    const double settle = settle_given.value_or(2.0);

    bench::ScratchDir dir;
    std::filesystem::create_directories(dir.file("in"));
    const pid_t watch = start_watch(dir, settle);
    while (!log_says(dir, "Наблюдение за папкой"))
        std::this_thread::sleep_for(10ms);

    std::vector<double> latencies;
    for (int run = 0; run < repetitions; ++run) {
        const std::string well = testkit::numbered("w", static_cast<std::size_t>(run));
        const testkit::Bytes bytes = package(well);
        const std::string placed = dir.file("store/Бенч/" + well + "/1.realtim");
        testkit::write_file(dir.file("in/" + well + ".zreg"), bytes); // closed when it returns
        const auto closed = Clock::now();
        while (!std::filesystem::exists(placed) && Clock::now() - closed < 30s)
            std::this_thread::sleep_for(2ms);
        latencies.push_back(std::chrono::duration<double>(Clock::now() - closed).count());
    }

    // Let the last run's journal and cache write settle before measuring the quiet.
    std::this_thread::sleep_for(500ms);
    const double cpu_before = cpu_seconds(watch);
    std::this_thread::sleep_for(std::chrono::duration<double>(idle));
    const double idle_cpu = cpu_seconds(watch) - cpu_before;

    ::kill(watch, SIGTERM);
    int status = 0;
    ::waitpid(watch, &status, 0);

    const double promise = settle + 1.0;
    const double median_latency = bench::median(latencies);
    double worst = 0;
    for (double latency : latencies)
        worst = std::max(worst, latency);
    std::printf("watch mode, %d packages, settle time %.1f s\n", repetitions, settle);
    std::printf("  last write to placed: median %.3f s, worst %.3f s; settle + 1 s = %.1f s; ratio %.2f (target < 1)\n",
                median_latency, worst, promise, median_latency / promise);
    std::printf("  time beyond the settle time: median %.3f s\n", median_latency - settle);
    std::printf("  idle CPU over %.0f s: %.3f s (%.4f %% of one core; a polling loop would show here)\n", idle, idle_cpu,
                100.0 * idle_cpu / idle);
    std::printf("  exit status after SIGTERM: %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}
