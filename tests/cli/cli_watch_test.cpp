// dravinex-cli watch as a process: SIGINT and SIGTERM end it with status 0, and a package
// in hand when the signal comes is finished first.

#include "Watch_process.h"

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

using namespace std::chrono_literals;
using clitest::WatchProcess;
using testkit::Bytes;
using testsupport::TempDir;

namespace {

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
