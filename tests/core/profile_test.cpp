#include "lib/Profile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using lib::Profile;
using testsupport::TempDir;

TEST(ProfileRead, FindsSectionsAndKeysWithoutRegardToCase)
{
    const Profile profile = Profile::parse("; settings\r\n"
                                           "[Options]\r\n"
                                           "To_Path = /home/u/gtidata/ \r\n"
                                           "quoted=\"  spaced  \"\r\n"
                                           "[DravinexMainForm]\r\n"
                                           "MyContainer1->Width=240\r\n"
                                           "top=-12px\r\n"
                                           "bad=wide\r\n");
    EXPECT_EQ(profile.read_string("options", "to_path", "none"), "/home/u/gtidata/");
    EXPECT_EQ(profile.read_string("OPTIONS", "quoted", ""), "  spaced  ");
    EXPECT_EQ(profile.read_string("options", "from_path", "default"), "default");
    EXPECT_EQ(profile.read_string("missing", "to_path", "default"), "default");
    EXPECT_EQ(profile.read_int("dravinexmainform", "mycontainer1->width", 0), 240);
    EXPECT_EQ(profile.read_int("DravinexMainForm", "top", 0), -12);
    EXPECT_EQ(profile.read_int("DravinexMainForm", "bad", 77), 77);
}

TEST(ProfileWrite, ReplacesInPlaceAddsKeysAndSectionsAndKeepsEverythingElse)
{
    Profile profile = Profile::parse("; keep me\n"
                                     "[options]\n"
                                     "to_path=/old/\n"
                                     "\n"
                                     "[other]\n"
                                     "x=1\n");
    profile.write_string("OPTIONS", "To_Path", "/new/");
    profile.write_string("options", "from_path", "/in/");
    profile.write_int("DravinexMainForm", "state", 2);
    EXPECT_EQ(profile.text(), "; keep me\n"
                              "[options]\n"
                              "To_Path=/new/\n"
                              "from_path=/in/\n"
                              "\n"
                              "[other]\n"
                              "x=1\n"
                              "[DravinexMainForm]\n"
                              "state=2\n");
}

TEST(ProfileFile, SavesThroughAReplacementAndReadsBack)
{
    TempDir dir;
    const std::string path = dir.file("dravinex2.ini");
    EXPECT_EQ(lib::read_profile_string(path, "options", "to_path", "x"), "x");
    lib::write_profile_string(path, "options", "to_path", "/home/пользователь/gtidata/");
    lib::write_profile_string(path, "options", "from_path", "/home/пользователь/gti/");
    EXPECT_EQ(lib::read_profile_string(path, "Options", "TO_PATH", ""), "/home/пользователь/gtidata/");
    EXPECT_EQ(testsupport::read_file(path),
              "[options]\nto_path=/home/пользователь/gtidata/\nfrom_path=/home/пользователь/gti/\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0600, 0u); // not left with the temporary file's private mode only
}
