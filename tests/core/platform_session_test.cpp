// The single-copy guard and the locked hand-off file shared by copies of the window program.

#include "platform/Session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = std::filesystem::temp_directory_path() / ("session-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string path(const char* name) const { return (folder_ / name).string(); }
    std::string folder() const { return folder_.string() + '/'; }

    std::filesystem::path folder_;
};

TEST_F(SessionTest, the_first_holder_of_the_guard_is_the_first_copy_and_later_ones_see_it)
{
    const platform::InstanceGuard first = platform::open_instance_guard(folder(), "guard");
    ASSERT_TRUE(first.handle.valid());
    EXPECT_FALSE(first.exists);
    const platform::InstanceGuard second = platform::open_instance_guard(folder(), "guard");
    EXPECT_TRUE(second.exists);
}

TEST_F(SessionTest, the_guard_goes_with_its_last_holder)
{
    {
        const platform::InstanceGuard first = platform::open_instance_guard(folder(), "guard");
        const platform::InstanceGuard second = platform::open_instance_guard(folder(), "guard");
        ASSERT_TRUE(second.exists);
    }
    EXPECT_FALSE(platform::open_instance_guard(folder(), "guard").exists);
}

TEST_F(SessionTest, every_appended_line_is_taken_once_in_order)
{
    int error = 0;
    ASSERT_TRUE(platform::append_line_locked(path(".files"), "/in/первый.zreg", error));
    ASSERT_TRUE(platform::append_line_locked(path(".files"), "/in/second.rar", error));
    bool found = false;
    EXPECT_EQ(platform::take_lines_locked(path(".files"), found),
              (std::vector<std::string>{"/in/первый.zreg", "/in/second.rar"}));
    EXPECT_TRUE(found);
    EXPECT_TRUE(platform::take_lines_locked(path(".files"), found).empty());
    EXPECT_TRUE(found); // emptied, not removed: a copy waiting for the lock still has a file
}

TEST_F(SessionTest, a_missing_hand_off_file_gives_nothing)
{
    bool found = true;
    EXPECT_TRUE(platform::take_lines_locked(path(".files"), found).empty());
    EXPECT_FALSE(found);
}

TEST_F(SessionTest, blank_lines_and_windows_line_ends_are_not_paths)
{
    std::ofstream(path(".files"), std::ios::binary) << "\r\n/a.zreg\r\n\n";
    bool found = false;
    EXPECT_EQ(platform::take_lines_locked(path(".files"), found), (std::vector<std::string>{"/a.zreg"}));
}

TEST_F(SessionTest, an_append_that_cannot_create_the_file_fails)
{
    int error = 0;
    EXPECT_FALSE(platform::append_line_locked(path("missing/.files"), "/a.zreg", error));
    EXPECT_EQ(error, ENOENT);
}

TEST_F(SessionTest, without_a_runtime_folder_the_guard_lives_in_a_private_folder)
{
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string kept = saved != nullptr ? saved : "";
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string folder = platform::runtime_folder();
    if (saved != nullptr)
        ::setenv("XDG_RUNTIME_DIR", kept.c_str(), 1);
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    struct stat info {};
    ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_uid, ::getuid());
    EXPECT_EQ(info.st_mode & 077, 0u);
}

} // namespace
