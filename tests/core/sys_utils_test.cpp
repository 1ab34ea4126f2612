#include "lib/Sys_utils.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

using testsupport::TempDir;

TEST(RunAndWait, PassesArgumentsAsTheyAreWithoutAShell)
{
    const lib::RunResult result =
        lib::run_and_wait("/usr/bin/printf", {"%s|", "a b", "\"q\"", "$HOME", "-o/tmp/x y"}, "", false);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.output, "a b|\"q\"|$HOME|-o/tmp/x y|");
}

TEST(RunAndWait, ReportsTheExitStatusAndCapturesStandardError)
{
    const lib::RunResult result = lib::run_and_wait("/bin/sh", {"-c", "echo damaged archive >&2; exit 2"}, "", false);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(result.output, "damaged archive\n");
}

TEST(RunAndWait, RunsInTheGivenFolderOrElseInTheProgramsFolder)
{
    TempDir dir;
    const std::string folder = std::filesystem::canonical(dir.folder()).string();
    EXPECT_EQ(lib::run_and_wait("/usr/bin/pwd", {"-P"}, dir.folder(), false).output, folder + "\n");
    EXPECT_EQ(lib::run_and_wait("/usr/bin/pwd", {"-P"}, "", false).output, "/usr/bin\n");
}

TEST(RunAndWait, StandardInputIsEmpty)
{
    const lib::RunResult result = lib::run_and_wait("/usr/bin/cat", {}, "", false);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.output, "");
}

TEST(RunAndWait, AMissingProgramIsNotStarted)
{
    TempDir dir;
    EXPECT_FALSE(lib::run_and_wait(dir.file("7za"), {"e"}, "", false));
    EXPECT_FALSE(lib::run_and_wait(dir.folder(), {}, "", false)); // a folder is no program
    const std::string not_executable = dir.write("7za", "#!/bin/sh\n");
    EXPECT_FALSE(lib::run_and_wait(not_executable, {}, "", false));
}

TEST(AbsolutePath, ResolvesAgainstTheBaseOrTheCurrentFolder)
{
    const struct {
        const char* path;
        const char* base;
        const char* expected;
    } cases[] = {
        {"/already/absolute/../kept", "/base", "/already/absolute/../kept"},
        {"", "/base", ""},
        {"in", "/base", "/base/in"},
        {"in/", "/base/", "/base/in/"},
        {"./a/../b/", "/base", "/base/b/"},
        {"../up", "/base/home/", "/base/up"},
        {".", "/base", "/base"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lib::absolute_path(c.path, c.base), c.expected) << c.path;
    EXPECT_EQ(lib::absolute_path("x/"), std::filesystem::current_path().string() + "/x/");
}
