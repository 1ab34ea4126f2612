#include "settings/Configuration.h"
#include "settings/Configuration_folders.h"

#include "lib/io/Binary_io.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include <pwd.h>
#include <unistd.h>

using testsupport::TempDir;

namespace {

// Sets or removes HOME for one test and puts the old value back.
class HomeVariable {
public:
    explicit HomeVariable(const char* value)
    {
        if (const char* old = std::getenv("HOME"))
            old_ = old;
        if (value)
            ::setenv("HOME", value, 1);
        else
            ::unsetenv("HOME");
    }
    ~HomeVariable()
    {
        if (old_)
            ::setenv("HOME", old_->c_str(), 1);
        else
            ::unsetenv("HOME");
    }
    HomeVariable(const HomeVariable&) = delete;
    HomeVariable& operator=(const HomeVariable&) = delete;

private:
    std::optional<std::string> old_;
};

CONFIGURATION with_paths(const std::string& to_path, const std::string& from_path)
{
    CONFIGURATION config;
    config.to_path = to_path;
    config.from_path = from_path;
    return config;
}

} // namespace

TEST(ConfigurationDefaults, AreFoldersInTheHomeFolderEndingWithASlash)
{
    const std::string account_home = ::getpwuid(::getuid())->pw_dir;
    struct Case {
        const char* home; // nullptr: HOME not set
        std::string to_path;
        std::string from_path;
    };
    const Case cases[] = {
        {"/home/оператор", "/home/оператор/gtidata/", "/home/оператор/gti/"},
        {"/home/op/", "/home/op/gtidata/", "/home/op/gti/"},
        {nullptr, account_home + "/gtidata/", account_home + "/gti/"},
        {"", account_home + "/gtidata/", account_home + "/gti/"},
    };
    for (const Case& c : cases) {
        const HomeVariable home(c.home);
        CONFIGURATION config;
        config.to_path = "changed";
        config.set_defaults();
        EXPECT_EQ(config.to_path, c.to_path) << (c.home ? c.home : "(unset)");
        EXPECT_EQ(config.from_path, c.from_path) << (c.home ? c.home : "(unset)");
    }
}

TEST(ConfigurationLoad, KeepsTheCurrentValueOfWhatTheFileLacks)
{
    TempDir dir;
    CONFIGURATION config = with_paths("/data/", "/in/");
    config.load(dir.file("dravinex2.ini"));
    EXPECT_EQ(config.to_path, "/data/");
    EXPECT_EQ(config.from_path, "/in/");

    config.load(dir.write("dravinex2.ini", "[OPTIONS]\nTo_Path=/store/данные/\n"));
    EXPECT_EQ(config.to_path, "/store/данные/");
    EXPECT_EQ(config.from_path, "/in/");
}

TEST(ConfigurationLoad, TakesRelativeFoldersFromTheSettingsFilesFolder)
{
    TempDir dir;
    CONFIGURATION config = with_paths("/data/", "/in/");
    config.load(dir.write("dravinex2.ini", "[options]\nto_path=store/\nfrom_path=../packages\n"));
    const std::string base = dir.folder();
    EXPECT_EQ(config.to_path, base + "store/");
    EXPECT_EQ(config.from_path, std::filesystem::path(base).parent_path().parent_path().string() + "/packages/");
}

// Names are appended to both folders: "/x/store" + "Северная" would be "/x/storeСеверная".
TEST(ConfigurationLoad, EndsBothFoldersWithASlashHoweverTheyAreWritten)
{
    TempDir dir;
    struct Case {
        const char* written;
        std::string loaded;
    };
    const Case cases[] = {
        {"/x/store", "/x/store/"},
        {"/x/store/", "/x/store/"},
        {"/x/store//", "/x/store/"},
        {"/", "/"},
        {"store", dir.folder() + "store/"},
        {"", ""},
    };
    for (const Case& c : cases) {
        CONFIGURATION config = with_paths("/data/", "/in/");
        config.load(dir.write("dravinex2.ini", std::string("[options]\nto_path=") + c.written + "\nfrom_path="
                                                   + c.written + "\n"));
        EXPECT_EQ(config.to_path, c.loaded) << c.written;
        EXPECT_EQ(config.from_path, c.loaded) << c.written;
    }
}

TEST(ProgramFolders, AreAbsoluteWhateverHomeIsGiven)
{
    const ProgramFolders relative = program_folders("home");
    EXPECT_EQ(relative.home, std::filesystem::current_path().string() + "/home/");
    EXPECT_EQ(relative.run_lock, relative.home + ".extract.lock");
    EXPECT_EQ(program_folders("/h").temp_dir, "/h/temp.dir.tmp");
    EXPECT_EQ(program_folders().home.front(), '/'); // the executable's folder
}

TEST(ConfigurationSave, WritesTheOptionsAndKeepsEveryOtherLine)
{
    TempDir dir;
    const std::string ini = dir.write("dravinex2.ini", "; window\n"
                                                       "[DravinexMainForm]\n"
                                                       "top=12\n"
                                                       "[options]\n"
                                                       "from_path=/old/\n");
    with_paths("/store/данные/", "/in/пакеты/").save(ini);
    EXPECT_EQ(testsupport::read_file(ini), "; window\n"
                                           "[DravinexMainForm]\n"
                                           "top=12\n"
                                           "[options]\n"
                                           "from_path=/in/пакеты/\n"
                                           "to_path=/store/данные/\n"
                                           "silence_hours=6\n");
    CONFIGURATION loaded = with_paths("", "");
    loaded.load(ini);
    EXPECT_EQ(loaded.to_path, "/store/данные/");
    EXPECT_EQ(loaded.from_path, "/in/пакеты/");

    const std::string fresh = dir.file("new.ini");
    with_paths("/data/", "/in/").save(fresh);
    EXPECT_EQ(testsupport::read_file(fresh), "[options]\nto_path=/data/\nfrom_path=/in/\nsilence_hours=6\n");
}

TEST(ConfigurationLoad, TakesTheSilenceHoursWithinTheirRangeAndKeepsTheValueOtherwise)
{
    TempDir dir;
    const struct {
        const char* written;
        int expected;
    } cases[] = {{"12", 12}, {"1", 1}, {"8760", 8760}, {"0", 6}, {"-3", 6}, {"8761", 6}, {"много", 6}};
    for (const auto& c : cases) {
        CONFIGURATION config;
        config.load(dir.write("dravinex2.ini", std::string("[options]\nsilence_hours=") + c.written + "\n"));
        EXPECT_EQ(config.silence_hours, c.expected) << c.written;
    }
}

TEST(ConfigurationLoad, KeepsTheTimeZoneOfExportsAndWritesItBackOnlyWhenSet)
{
    TempDir dir;
    const std::string ini = dir.write("dravinex2.ini", "[options]\nto_path=/data/\ntime_zone= +05:00 \n");
    CONFIGURATION config = with_paths("", "");
    config.load(ini);
    EXPECT_EQ(config.time_zone, "+05:00");
    config.save(ini);
    EXPECT_NE(testsupport::read_file(ini).find("time_zone=+05:00\n"), std::string::npos);
    // Unset (the machine's zone): no key is added to a file that had none.
    config.set_defaults();
    EXPECT_EQ(config.time_zone, "");
}

TEST(ConfigurationSave, RefusesAPathWithALineBreakAndLeavesTheFileAsItWas)
{
    TempDir dir;
    const std::string ini = dir.write("dravinex2.ini", "[options]\nto_path=/data/\n");
    EXPECT_THROW(with_paths("/data/\n[options]\nto_path=/evil/", "/in/").save(ini), std::invalid_argument);
    EXPECT_THROW(with_paths("/data/", "/in\r/").save(ini), std::invalid_argument);
    EXPECT_EQ(testsupport::read_file(ini), "[options]\nto_path=/data/\n");
}

TEST(ConfigurationSave, AFolderThatCannotBeWrittenIsAFileError)
{
    TempDir dir;
    EXPECT_THROW(with_paths("/data/", "/in/").save(dir.file("missing/dravinex2.ini")), lib::io::FileError);
}
