// Watch mode as a service runs it: `dravinex-cli watch` as a child process.
//  - latency: from the close of a complete package's last write to its data in the store,
//    against the promise of settle time + 1 s;
//  - idle: the watcher's CPU time over a quiet period, against the 0 of a process that
//    sleeps until the kernel wakes it (no polling loop).
//
//   watch_bench [repetitions] [--settle SECONDS] [--idle SECONDS]

#include "Bench_support.h"

#include "lib/Sys_utils.h"
#include "testkit/Bytes.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Zreg_writer.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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

} // namespace

int main(int argc, char** argv)
{
    int repetitions = 5;
    double settle = 2.0;
    double idle = 60.0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--settle" && i + 1 < argc)
            settle = std::atof(argv[++i]);
        else if (arg == "--idle" && i + 1 < argc)
            idle = std::atof(argv[++i]);
        else
            repetitions = std::max(1, std::atoi(argv[i]));
    }

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
