#include "platform/File.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

using testsupport::TempDir;

TEST(ListDirectory, ReportsTheWindowsAttributesEmulatedFromTheFileModes)
{
    TempDir dir;
    dir.write("plain.zreg", "12345");
    dir.write(".hidden.rar", "x");
    dir.write("readonly.7z_reg", "xy");
    ::chmod(dir.file("readonly.7z_reg").c_str(), 0444);
    ::mkdir(dir.file("Area").c_str(), 0755);
    ::symlink("plain.zreg", dir.file("link.zreg").c_str());
    ::symlink("missing", dir.file("dangling.zreg").c_str());

    std::map<std::string, platform::DirEntry> found;
    for (platform::DirEntry& entry : platform::list_directory(dir.folder()))
        found[entry.name] = entry;

    struct Case {
        const char* name;
        unsigned attributes;
        std::uint64_t size;
    };
    const Case cases[] = {
        {"plain.zreg", platform::attr_archive, 5},
        {".hidden.rar", platform::attr_archive | platform::attr_hidden, 1},
        {"readonly.7z_reg", platform::attr_archive | platform::attr_readonly, 2},
        {"Area", platform::attr_directory, 0},
        {"link.zreg", platform::attr_archive | platform::attr_link, 5},
        {"dangling.zreg", platform::attr_archive | platform::attr_link, 0},
    };
    ASSERT_EQ(found.size(), std::size(cases));
    for (const Case& c : cases) {
        ASSERT_TRUE(found.count(c.name)) << c.name;
        EXPECT_EQ(found[c.name].attributes, c.attributes) << c.name;
        EXPECT_EQ(found[c.name].size, c.size) << c.name;
    }
    EXPECT_GT(found["plain.zreg"].times.last_write, 116444736000000000LL);
}

TEST(ListDirectory, AMissingFolderIsAnEmptyList)
{
    TempDir dir;
    EXPECT_TRUE(platform::list_directory(dir.file("nowhere")).empty());
}
