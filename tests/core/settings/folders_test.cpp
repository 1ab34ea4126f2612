#include "settings/Configuration_folders.h"

#include "platform/Session.h"
#include "support/Scoped_env.h"
#include "support/Other_file_system.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <sys/stat.h>

using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

// An executable's folder, with the marker of an installed copy or without.
std::string executable_folder(const TempDir& dir, bool installed)
{
    std::filesystem::create_directories(dir.file("lib/dravinex"));
    if (installed)
        dir.write(std::string("lib/dravinex/") + program_files::installed_marker, "");
    return dir.file("lib/dravinex/");
}

unsigned mode_of(const std::string& folder)
{
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 ? (info.st_mode & 07777u) : 0u;
}

} // namespace

TEST(ProgramFolders, aCopyInItsBuildFolderKeepsEverythingBesideTheExecutable) {
    TempDir dir;
    const std::string exe = executable_folder(dir, false);
    const ProgramFolders folders = program_folders_for("", exe);
    EXPECT_FALSE(folders.installed);
    EXPECT_EQ(folders.home, exe);
    EXPECT_EQ(folders.settings, exe + "dravinex2.ini");
    EXPECT_EQ(folders.cache, exe + "TemporaryFileData.bin");
    EXPECT_EQ(folders.temp_dir, exe + "temp.dir.tmp");
    EXPECT_EQ(folders.handle, exe + ".handle");
    EXPECT_EQ(folders.files, exe + ".files");
}

TEST(ProgramFolders, aNamedHomeWinsEvenForAnInstalledCopy) {
    TempDir dir;
    const ProgramFolders folders = program_folders_for(dir.file("home"), executable_folder(dir, true));
    EXPECT_FALSE(folders.installed);
    EXPECT_EQ(folders.settings, dir.file("home/dravinex2.ini"));
    EXPECT_EQ(folders.state, dir.file("home/"));
    EXPECT_EQ(folders.cache, dir.file("home/TemporaryFileData.bin"));
    EXPECT_EQ(folders.temp_dir, dir.file("home/temp.dir.tmp"));
    EXPECT_EQ(folders.handle, dir.file("home/.handle"));
}

TEST(ProgramFolders, anInstalledCopyUsesTheXdgFoldersAndCreatesThemPrivate) {
    TempDir dir;
    const ScopedEnv config("XDG_CONFIG_HOME", dir.file("config"));
    const ScopedEnv state("XDG_STATE_HOME", dir.file("state"));
    const ScopedEnv cache("XDG_CACHE_HOME", dir.file("cache"));
    // The session's runtime folder exists before any program runs.
    std::filesystem::create_directories(dir.file("run"));
    const ScopedEnv runtime("XDG_RUNTIME_DIR", dir.file("run"));
    const ProgramFolders folders = program_folders_for("", executable_folder(dir, true));
    EXPECT_TRUE(folders.installed);
    EXPECT_EQ(folders.home, dir.file("config/dravinex/"));
    EXPECT_EQ(folders.settings, dir.file("config/dravinex/dravinex2.ini"));
    EXPECT_EQ(folders.state, dir.file("state/dravinex/"));
    EXPECT_EQ(folders.cache, dir.file("state/dravinex/TemporaryFileData.bin"));
    EXPECT_EQ(folders.temp_dir, dir.file("cache/dravinex/temp.dir.tmp"));
    EXPECT_EQ(folders.handle, dir.file("run/dravinex/.handle"));
    EXPECT_EQ(folders.files, dir.file("run/dravinex/.files"));
    for (const char* created : {"config/dravinex", "state/dravinex", "cache/dravinex", "run/dravinex"})
        EXPECT_EQ(mode_of(dir.file(created)), 0700u) << created;
}

// Copies installed earlier kept the merge index, the overview's notes and the arrivals
// beside the temporary folder; they move to the state folder once, and never over newer ones.
TEST(ProgramFolders, anInstalledCopyMovesItsStateFilesOutOfTheCacheFolderOnce) {
    TempDir dir;
    const ScopedEnv config("XDG_CONFIG_HOME", dir.file("config"));
    const ScopedEnv state("XDG_STATE_HOME", dir.file("state"));
    const ScopedEnv cache("XDG_CACHE_HOME", dir.file("cache"));
    const ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    std::filesystem::create_directories(dir.file("cache/dravinex"));
    std::filesystem::create_directories(dir.file("state/dravinex"));
    dir.write("cache/dravinex/MergeIndex.bin", "index");
    dir.write("cache/dravinex/WellArrivals.bin", "old arrivals");
    dir.write("state/dravinex/WellArrivals.bin", "arrivals");
    const ProgramFolders folders = program_folders_for("", executable_folder(dir, true));
    EXPECT_EQ(testsupport::read_file(folders.state + "MergeIndex.bin"), "index");
    EXPECT_FALSE(std::filesystem::exists(dir.file("cache/dravinex/MergeIndex.bin")));
    EXPECT_EQ(testsupport::read_file(folders.state + "WellArrivals.bin"), "arrivals");
}

// The cache folder on another file system than the state folder: the files are copied over,
// and the old ones go once the copies are whole.
TEST(ProgramFolders, StateFilesMoveOverAlsoFromAnotherFileSystem) {
    TempDir dir;
    const std::unique_ptr<TempDir> other = testsupport::folder_on_another_file_system(dir);
    if (!other)
        GTEST_SKIP() << "no second file system (/dev/shm)";
    const ScopedEnv config("XDG_CONFIG_HOME", dir.file("config"));
    const ScopedEnv state("XDG_STATE_HOME", dir.file("state"));
    const ScopedEnv cache("XDG_CACHE_HOME", other->file("cache"));
    const ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    std::filesystem::create_directories(other->file("cache/dravinex"));
    other->write("cache/dravinex/MergeIndex.bin", "index");
    const ProgramFolders folders = program_folders_for("", executable_folder(dir, true));
    EXPECT_EQ(testsupport::read_file(folders.state + "MergeIndex.bin"), "index");
    EXPECT_FALSE(std::filesystem::exists(other->file("cache/dravinex/MergeIndex.bin")));
}

// The XDG rules: unset, empty or relative variables fall back to the folders under HOME;
// without a runtime folder the hand-off files go where the single-copy guard goes.
TEST(ProgramFolders, missingOrRelativeXdgVariablesFallBackUnderHome) {
    TempDir dir;
    const ScopedEnv home("HOME", dir.file("user"));
    const ScopedEnv config("XDG_CONFIG_HOME", std::string("relative/config"));
    const ScopedEnv state("XDG_STATE_HOME", std::string());
    const ScopedEnv cache("XDG_CACHE_HOME", std::nullopt);
    const ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    const ProgramFolders folders = program_folders_for("", executable_folder(dir, true));
    EXPECT_EQ(folders.settings, dir.file("user/.config/dravinex/dravinex2.ini"));
    EXPECT_EQ(folders.cache, dir.file("user/.local/state/dravinex/TemporaryFileData.bin"));
    EXPECT_EQ(folders.temp_dir, dir.file("user/.cache/dravinex/temp.dir.tmp"));
    EXPECT_EQ(folders.handle, platform::runtime_folder() + "dravinex/.handle");
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("user/.local/state/dravinex")));
}

TEST(ProgramFolders, anExistingFolderKeepsTheModeTheUserGaveIt) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("config/dravinex"));
    ::chmod(dir.file("config/dravinex").c_str(), 0750);
    const ScopedEnv config("XDG_CONFIG_HOME", dir.file("config"));
    program_folders_for("", executable_folder(dir, true));
    EXPECT_EQ(mode_of(dir.file("config/dravinex")), 0750u);
}
