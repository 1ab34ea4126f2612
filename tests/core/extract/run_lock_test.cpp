#include "extract/Run_lock.h"

#include "lib/io/Binary_io.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using testsupport::TempDir;

TEST(RunLock, ASecondRunThatMayNotWaitDoesNotGetIt)
{
    TempDir dir;
    const std::string path = dir.file(".extract.lock");
    {
        const RunLock first(path, false);
        EXPECT_TRUE(first.held());
        const RunLock second(path, false);
        EXPECT_FALSE(second.held());
    }
    const RunLock after(path, false); // released with the first
    EXPECT_TRUE(after.held());
}

TEST(RunLock, ASecondRunSaysItWaitsAndStartsWhenTheFirstEnds)
{
    TempDir dir;
    const std::string path = dir.file(".extract.lock");
    auto first = std::make_unique<RunLock>(path, true);
    std::atomic<bool> first_released{false};
    int told = 0;
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        first_released = true;
        first.reset();
    });
    const RunLock second(path, true, [&] { ++told; });
    EXPECT_TRUE(second.held());
    EXPECT_TRUE(first_released);
    EXPECT_EQ(told, 1);
    release.join();

    int told_again = 0;
    const RunLock free_home(dir.file("other.lock"), true, [&] { ++told_again; });
    EXPECT_EQ(told_again, 0); // nobody to wait for: nothing said
}

TEST(RunLock, AHomeWithoutRoomForTheLockFileIsAFileErrorNamingIt)
{
    TempDir dir;
    const std::string path = dir.file("missing/.extract.lock");
    try {
        RunLock lock(path, true);
        FAIL() << "no error";
    }
    catch (const lib::io::FileError& error) {
        EXPECT_EQ(error.path(), path);
    }
}
