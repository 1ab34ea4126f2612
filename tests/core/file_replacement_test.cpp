#include "lib/io/File_replacement.h"

#include "lib/io/Binary_io.h"
#include "platform/Fault_seam.h"
#include "support/LockHolder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <utility>

#include <sys/stat.h>

using lib::io::FileReplacement;
using testsupport::TempDir;

namespace {

std::size_t entries_in(const std::string& folder)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                  std::filesystem::directory_iterator()));
}

} // namespace

TEST(FileReplacementTest, CommitPutsTheNewContentsInPlaceWithTheOldPermissions)
{
    TempDir dir;
    const std::string target = dir.write("well.realtim", "old");
    ::chmod(target.c_str(), 0640);
    {
        FileReplacement replacement(target);
        EXPECT_EQ(replacement.temporary_path().rfind(dir.folder() + ".well.realtim.tmp-", 0), 0u);
        lib::io::BinaryOutputFileStream out;
        out.open(replacement.temporary_path(), false, false);
        out.write("new contents", 12);
        out.close();
        EXPECT_EQ(testsupport::read_file(target), "old"); // nothing visible before commit
        replacement.commit();
    }
    EXPECT_EQ(testsupport::read_file(target), "new contents");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(entries_in(dir.folder()), 1u);
}

TEST(FileReplacementTest, AnAbandonedReplacementLeavesTheOldFileAndNoTemporary)
{
    TempDir dir;
    const std::string target = dir.write("well.realtim", "old");
    try {
        FileReplacement replacement(target);
        lib::io::replace_file_contents(replacement.temporary_path(), "half");
        throw std::runtime_error("the writer failed");
    }
    catch (const std::runtime_error&) {
    }
    EXPECT_EQ(testsupport::read_file(target), "old");
    EXPECT_EQ(entries_in(dir.folder()), 1u);
}

TEST(FileReplacementTest, AFolderThatDoesNotExistIsAFileError)
{
    TempDir dir;
    EXPECT_THROW(FileReplacement(dir.file("no/such/folder/x.ini")), lib::io::FileError);
    EXPECT_THROW(lib::io::replace_file_contents(dir.file("none/x.ini"), "x"), lib::io::FileError);
}

TEST(ReadWholeFile, ReadsLargeFilesCompletely)
{
    TempDir dir;
    const std::string contents(200000, 'z');
    EXPECT_EQ(lib::io::read_whole_file(dir.write("big", contents)), contents);
    EXPECT_THROW(lib::io::read_whole_file(dir.file("absent")), lib::io::FileNotFoundError);
}

TEST(ReplacementLeftovers, AreTheHiddenTemporaryNamesAndOnlyThose)
{
    const std::pair<const char*, bool> names[] = {
        {".1.realtim.tmp-a1B2c3", true},
        {".TemporaryFileData.bin.tmp-000000", true},
        {"1.realtim.tmp-a1B2c3", false},   // not hidden: not ours
        {".1.realtim.tmp-a1B2c", false},   // five characters where mkostemp writes six
        {".1.realtim.tmp-a1B2c3d", false},
        {".1.realtim.tmp-a1B2-3", false},
        {".tmp-a1B2c3", false},            // no name before it
        {".notes.rem", false},
    };
    for (const auto& [name, leftover] : names)
        EXPECT_EQ(lib::io::is_replacement_leftover(name), leftover) << name;
}

TEST(ReplacementLeftovers, AreRemovedUnlessAWriterHoldsThem)
{
    TempDir dir;
    const std::string left = dir.write(".1.realtim.tmp-Ab12Cd", "half a file");
    const std::string held = dir.write(".2.realtim.tmp-Ab12Cd", "being written");
    const std::string user = dir.write(".notes.rem", "kept");
    testsupport::LockHolder writer(held, lib::io::open_append, false, std::chrono::milliseconds(1000));
    lib::io::remove_replacement_leftovers(dir.folder());
    EXPECT_FALSE(std::filesystem::exists(left));
    EXPECT_TRUE(std::filesystem::exists(held));
    EXPECT_TRUE(std::filesystem::exists(user));
}

// Writing in place: the file ends as exactly the new contents, shorter or longer than the
// old ones, is made when missing, and a write or close the system refuses is an error that
// names the file, never a quiet success.
TEST(OverwriteInPlace, LeavesExactlyTheNewContentsOrSaysWhyNot)
{
    TempDir dir;
    const std::string path = dir.file("index.bin");
    lib::io::overwrite_in_place(path, "a longer first content");
    EXPECT_EQ(testsupport::read_file(path), "a longer first content");
    lib::io::overwrite_in_place(path, "short");
    EXPECT_EQ(testsupport::read_file(path), "short");

    for (const platform::fault::Call call : {platform::fault::write, platform::fault::close}) {
        platform::fault::arm({.calls = call, .folders = {dir.folder()}});
        try {
            lib::io::overwrite_in_place(path, "refused");
            ADD_FAILURE() << "a failing call passed for success: " << call;
        }
        catch (const lib::io::FileError& error) {
            EXPECT_EQ(error.path(), path);
        }
        EXPECT_TRUE(platform::fault::met()) << call;
        platform::fault::disarm();
    }
    EXPECT_THROW(lib::io::overwrite_in_place(dir.file("no/index.bin"), "x"), lib::io::FileError);
}
