#include "lib/Fileworks.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

using testsupport::TempDir;

namespace {

std::vector<std::string> names_of(const lib::FileFinder& finder)
{
    std::vector<std::string> names;
    for (const auto& hit : finder.files)
        names.push_back(hit.path());
    return names;
}

class Folder : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(dir.file("sub/deep"));
        std::filesystem::create_directories(dir.file(".hidden"));
        dir.write("a.zreg", "12345");
        dir.write("B.ZREG", "1");
        dir.write(".c.zreg", "12");
        dir.write("sub/d.zreg", "123");
        dir.write("sub/deep/e.zreg", "1234");
        dir.write(".hidden/f.zreg", "1");
        dir.write("note.txt", "x");
    }
    TempDir dir;
};

} // namespace

TEST_F(Folder, ARecursiveSearchListsSubfoldersFirstAndSkipsHiddenOnes)
{
    lib::FileFinder finder;
    finder.find(dir.file("*.zreg"), lib::attr_set_files, true);
    EXPECT_EQ(names_of(finder), (std::vector<std::string>{dir.file("sub/deep/e.zreg"), dir.file("sub/d.zreg"),
                                                         dir.file("B.ZREG"), dir.file("a.zreg")}));
    EXPECT_EQ(finder.total_size, 13u);
    finder.sort_by_name();
    EXPECT_EQ(finder.files.front().name, "B.ZREG"); // ordinal: upper case first
}

TEST_F(Folder, AttributeSetsChooseHiddenFilesAndFolders)
{
    struct Case {
        unsigned set;
        std::size_t hits;
    };
    for (const Case c : {Case{lib::attr_set_files, 3}, Case{lib::attr_set_with_hidden, 4}, Case{lib::attr_set_ordinary, 3}}) {
        lib::FileFinder finder;
        finder.find(dir.file("*.*"), c.set, false);
        EXPECT_EQ(finder.files.size(), c.hits) << c.set;
    }
    lib::FileFinder folders;
    folders.find(dir.file("*.*"), lib::attr_set_folders, false);
    ASSERT_EQ(folders.files.size(), 1u);
    EXPECT_EQ(folders.files[0].name, "sub");
}

TEST_F(Folder, FileSizeSeesOnlyOrdinaryVisibleFiles)
{
    EXPECT_EQ(lib::file_size(dir.file("a.zreg")), 5);
    EXPECT_EQ(lib::file_size(dir.file(".c.zreg")), -1);
    EXPECT_EQ(lib::file_size(dir.file("sub")), -1);
    EXPECT_EQ(lib::file_size(dir.file("none")), -1);
}

TEST_F(Folder, DeleteFilesLeavesHiddenFilesAndSubfolders)
{
    lib::delete_files(dir.folder());
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.zreg")));
    EXPECT_TRUE(std::filesystem::exists(dir.file(".c.zreg")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("sub/d.zreg")));
}

TEST(EmptyTree, RemovesEverythingAndFollowsNoLink)
{
    TempDir outside;
    outside.write("precious.realtim", "data");
    TempDir temp;
    std::filesystem::create_directories(temp.file("x/y"));
    temp.write("x/y/z.tim", "1");
    temp.write(".hidden", "1");
    ASSERT_EQ(::symlink(outside.folder().c_str(), temp.file("link-to-folder").c_str()), 0);
    ASSERT_EQ(::symlink(outside.file("precious.realtim").c_str(), temp.file("link-to-file").c_str()), 0);
    lib::empty_tree(temp.folder());
    EXPECT_TRUE(std::filesystem::is_empty(temp.folder()));
    EXPECT_EQ(testsupport::read_file(outside.file("precious.realtim")), "data");
}
