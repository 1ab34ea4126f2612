// dravinex-cli watch as a process: SIGINT and SIGTERM end it with status 0, and a package
// in hand when the signal comes is finished first.

#include "catalogue/Filedata.h"
#include "core/support/Expect.h"
#include "core/support/LockHolder.h"
#include "core/support/TempDir.h"
#include "storage/Realtimedatareader.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Zreg_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;
using testkit::Bytes;
using testsupport::read_file;
using testsupport::TempDir;

namespace {

// dravinex-cli watch over a home, an input folder and a store in `dir`, its output in files.
class WatchProcess {
public:
    explicit WatchProcess(const TempDir& dir) : dir_(dir)
    {
        std::filesystem::create_directories(dir.file("in"));
        pid_ = ::fork();
        if (pid_ == 0) {
            const int out = ::open(dir.file("out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open(dir.file("err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, STDOUT_FILENO);
            ::dup2(err, STDERR_FILENO);
            const std::string home = dir.file("home"), from = dir.file("in"), to = dir.file("store");
            ::execl(DRAVINEX_CLI, DRAVINEX_CLI, "watch", "--home", home.c_str(), "--from", from.c_str(), "--to",
                    to.c_str(), "--settle", "0.2", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~WatchProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    WatchProcess(const WatchProcess&) = delete;
    WatchProcess& operator=(const WatchProcess&) = delete;

    std::string out() const { return read_file(dir_.file("out.txt")); }
    std::string err() const { return read_file(dir_.file("err.txt")); }

    bool says(const std::string& text, std::chrono::seconds limit = 10s) const
    {
        for (const auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
            if (err().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    void signal(int number) const { ::kill(pid_, number); }

    // The exit status, or -1 when it did not end in time or ended by a signal.
    int wait(std::chrono::seconds limit = 10s)
    {
        for (const auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

private:
    const TempDir& dir_;
    pid_t pid_ = -1;
};

FileStorageItem at(std::uint32_t time)
{
    FileStorageItem item;
    item.time = time;
    item.values = {static_cast<float>(time)};
    return item;
}

Bytes realtime(std::vector<std::uint32_t> times)
{
    FileStorageParam depth;
    depth.name = "Глубина";
    std::vector<FileStorageItem> items;
    for (std::uint32_t t : times)
        items.push_back(at(t));
    return testkit::realtime_file({depth}, items, {}, 2);
}

Bytes package(const Bytes& data)
{
    std::vector<testkit::ZregMember> members(2);
    members[0].name = "inpgti.ini";
    members[0].content = testkit::inpgti_ini("12", "Северная", lib::enc_1251);
    members[1].name = "1.realtim";
    members[1].content = data;
    return testkit::zreg_package(1, members);
}

} // namespace

TEST(CliWatch, anIdleWatchEndsWithStatusZeroOnSigintAndSigterm) {
    for (int number : {SIGINT, SIGTERM}) {
        TempDir dir;
        WatchProcess watch(dir);
        ASSERT_TRUE(watch.says("Наблюдение за папкой")) << watch.err();
        watch.signal(number);
        EXPECT_EQ(watch.wait(), 0) << "signal " << number << ": " << watch.err();
    }
}

TEST(CliWatch, sigtermDuringARunFinishesThePackageFirst) {
    TempDir dir;
    // The well's file is locked by another program, so that the run waits on it and the
    // signal surely comes while the package is in hand.
    const std::string target = dir.file("store/Северная/12/1.realtim");
    std::filesystem::create_directories(dir.file("store/Северная/12"));
    testkit::write_file(target, realtime({1, 2}));
    WatchProcess watch(dir);
    ASSERT_TRUE(watch.says("Наблюдение за папкой")) << watch.err();
    {
        testsupport::LockHolder holder(target, lib::io::open_read, true, 800ms);
        testkit::write_file(dir.file("in/a.zreg"), package(realtime({1, 2, 5, 9})));
        ASSERT_TRUE(watch.says("Обрабатывается файл")) << watch.err();
        std::this_thread::sleep_for(200ms);
        watch.signal(SIGTERM);
    }
    EXPECT_EQ(watch.wait(), 0) << watch.err();
    EXPECT_NE(watch.out().find("скважина \"12\", файл \"1.realtim\""), std::string::npos) << watch.out();
    FileStorage merged;
    merged.load(target);
    EXPECT_EQ(testsupport::times_of(merged), (std::vector<std::uint32_t>{1, 2, 5, 9}));
    FilesDataStorage cache;
    cache.load(dir.file("home/TemporaryFileData.bin"));
    std::int32_t size = 0;
    EXPECT_TRUE(cache.find(dir.file("in/a.zreg"), size)) << "the package is remembered as done";
}
