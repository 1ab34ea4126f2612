#include "lib/io/File_placement.h"

#include "lib/io/Binary_io.h"
#include "platform/Fault_seam.h"
#include "support/Scoped_env.h"
#include "support/Other_file_system.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <memory>

#include <sys/stat.h>

using lib::io::FilePlacement;
using testsupport::TempDir;
using testsupport::folder_on_another_file_system;

namespace {

struct PlacementCase {
    const char* name;
    const char* arriving;
    const char* in_place; // nullptr: the target is missing
    FilePlacement::Existing existing;
    bool placed;
    bool existed;
    const char* target_after;
    bool source_left; // the arriving file is still in the temporary folder
};

} // namespace

// A package's files staged together: replaced, placed new, kept when another run was first,
// and passed over when the store holds the same bytes already.
TEST(FilePlacementTest, StagedFilesTakeTheirPlacesAsTheyAreAsked)
{
    const PlacementCase cases[] = {
        {"replaces", "new", "old", FilePlacement::Existing::replace, true, false, "new", false},
        {"places a new file", "new", nullptr, FilePlacement::Existing::keep, true, false, "new", false},
        {"keeps another run's file", "new", "theirs", FilePlacement::Existing::keep, false, true, "theirs", true},
        {"passes over the same bytes", "same", "same", FilePlacement::Existing::replace, false, false, "same", true},
    };
    for (const PlacementCase& c : cases) {
        TempDir dir;
        std::filesystem::create_directories(dir.file("store"));
        const std::string from = dir.write("a.rac", c.arriving);
        const std::string to = dir.file("store/a.rac");
        if (c.in_place != nullptr)
            dir.write("store/a.rac", c.in_place);
        const auto before = std::filesystem::exists(to) ? std::filesystem::last_write_time(to)
                                                        : std::filesystem::file_time_type{};
        FilePlacement placement;
        placement.add(from, to, c.existing);
        const auto outcomes = placement.commit();
        if (c.placed || c.existed) {
            ASSERT_EQ(outcomes.size(), 1u) << c.name;
            EXPECT_FALSE(outcomes[0].error) << c.name;
            EXPECT_EQ(outcomes[0].placed, c.placed) << c.name;
            EXPECT_EQ(outcomes[0].existed, c.existed) << c.name;
        }
        else {
            EXPECT_TRUE(outcomes.empty()) << c.name;
            EXPECT_EQ(std::filesystem::last_write_time(to), before) << c.name;
        }
        EXPECT_EQ(testsupport::read_file(to), c.target_after) << c.name;
        EXPECT_EQ(std::filesystem::exists(from), c.source_left) << c.name;
        for (const auto& entry : std::filesystem::directory_iterator(dir.file("store")))
            EXPECT_EQ(entry.path().filename(), "a.rac") << c.name << ": a temporary file was left";
    }
}

TEST(FilePlacementTest, AMissingFileIsReportedWhenStagedAndTheOthersArePlaced)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("store"));
    FilePlacement placement;
    EXPECT_THROW(placement.add(dir.file("none.rac"), dir.file("store/none.rac"), FilePlacement::Existing::replace),
                 lib::io::FileError);
    placement.add(dir.write("b.ini", "b"), dir.file("store/b.ini"), FilePlacement::Existing::replace);
    const std::string well = dir.write("store/1.realtim", "appen");
    auto file = std::make_unique<lib::io::LockedFile>(well, true);
    file->append_at(5, "ded", 3);
    bool flushed = false;
    placement.add_appended(std::move(file), [&] { flushed = true; });
    const auto outcomes = placement.commit();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_TRUE(outcomes[0].placed);
    EXPECT_FALSE(outcomes[1].placed || outcomes[1].existed || outcomes[1].error); // flushed only
    EXPECT_TRUE(flushed);
    EXPECT_EQ(testsupport::read_file(dir.file("store/b.ini")), "b");
    EXPECT_EQ(testsupport::read_file(well), "appended");
    EXPECT_TRUE(placement.commit().empty());
}

TEST(FilePlacementTest, CopyFileReplacingAndPlaceFileReplaceTheTarget)
{
    TempDir dir;
    const std::string target = dir.write("t.las", "old");
    lib::io::copy_file_replacing(dir.write("c.las", "copied"), target);
    EXPECT_EQ(testsupport::read_file(target), "copied");
    EXPECT_TRUE(std::filesystem::exists(dir.file("c.las")));
    lib::io::place_file(dir.write("p.las", "placed"), target);
    EXPECT_EQ(testsupport::read_file(target), "placed");
    EXPECT_FALSE(std::filesystem::exists(dir.file("p.las")));
    EXPECT_THROW(lib::io::place_file(dir.file("none.las"), target), lib::io::FileError);
}

namespace {

struct FaultedPlacementCase {
    const char* name;
    platform::fault::Call call;
};

} // namespace

// A flush, close, rename or folder flush that fails is that file's error: a new file never
// takes its name (nor leaves its copy behind), an appended tail is cut back to the old
// length, and what waits for the flush does not run.
TEST(FilePlacementTest, AFailingCallLeavesEachFileAsItWasAndSaysSo)
{
    namespace fault = platform::fault;
    const FaultedPlacementCase cases[] = {
        {"flush", fault::flush}, {"close", fault::close}, {"rename", fault::rename}, {"folder flush", fault::folder_flush},
    };
    for (const FaultedPlacementCase& c : cases) {
        TempDir dir;
        std::filesystem::create_directories(dir.file("store"));
        const std::string store = std::filesystem::canonical(dir.file("store")).string();
        const std::string copy = dir.write("store/run.rac", "old");
        const std::string well = dir.write("store/1.tim", "records");
        auto file = std::make_unique<lib::io::LockedFile>(well, true);
        file->append_at(7, " and more", 9);
        bool flushed = false;
        FilePlacement placement;
        placement.add(dir.write("run.rac", "new"), copy, FilePlacement::Existing::replace);
        placement.add_appended(std::move(file), [&] { flushed = true; });

        fault::arm({.calls = c.call, .nth = 1,
                    .error = EIO, .folders = {store}});
        const auto outcomes = placement.commit();
        const bool met = fault::met();
        fault::disarm();
        ASSERT_TRUE(met) << c.name;
        ASSERT_EQ(outcomes.size(), 2u) << c.name;
        EXPECT_TRUE(outcomes[0].error || outcomes[1].error) << c.name << ": the failure was not reported";
        if (outcomes[0].error && c.call != fault::folder_flush) {
            EXPECT_EQ(testsupport::read_file(copy), "old") << c.name;
        }
        if (outcomes[1].error) {
            EXPECT_EQ(testsupport::read_file(well), "records") << c.name << ": the tail was not cut back";
            EXPECT_FALSE(flushed) << c.name;
        }
        for (const auto& entry : std::filesystem::directory_iterator(dir.file("store")))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << c.name << ": a temporary file was left";
    }
}

namespace {


// Bytes no two blocks of the copy share, over more than two blocks of its 1 MiB buffer.
std::string patterned(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 4099) % 251);
    return bytes;
}

std::string canonical(const std::string& path)
{
    return std::filesystem::canonical(path).string();
}

} // namespace

// Each file of a commit is flushed exactly once, on its own descriptor, whether it moves by
// rename, is copied to another file system or received records at its end: a flush left out
// would call the package done before its data are on disk.
TEST(FilePlacementTest, EachFileIsFlushedOnceOnItsOwnDescriptor)
{
    namespace fault = platform::fault;
    struct Counted {
        const char* name;
        int which; // 0 moved, 1 copied, 2 appended
    };
    const Counted cases[] = {{"moved by rename", 0}, {"copied to another file system", 1}, {"appended", 2}};
    for (const Counted& c : cases) {
        TempDir dir;
        const std::unique_ptr<TempDir> shm = folder_on_another_file_system(dir);
        if (!shm)
            GTEST_SKIP() << "no second file system (/dev/shm) to copy to";
        std::filesystem::create_directories(dir.file("store"));
        const std::string moved = dir.write("run.rac", "moved");
        const std::string well = dir.write("store/1.realtim", "appen");
        auto file = std::make_unique<lib::io::LockedFile>(well, true);
        file->append_at(5, "ded", 3);
        FilePlacement placement;
        placement.add(moved, dir.file("store/run.rac"), FilePlacement::Existing::replace);
        placement.add(dir.write("far.rac", "copied"), shm->file("far.rac"), FilePlacement::Existing::replace);
        placement.add_appended(std::move(file));

        const std::string counted_below[] = {canonical(moved), canonical(shm->folder()), canonical(well)};
        fault::arm({.calls = fault::flush, .nth = ~std::uint64_t{0}, .folders = {counted_below[c.which]}});
        const auto outcomes = placement.commit();
        const std::uint64_t flushes = fault::counted();
        fault::disarm();
        EXPECT_EQ(flushes, 1u) << c.name;
        for (const auto& outcome : outcomes)
            EXPECT_FALSE(outcome.error) << c.name << ": " << outcome.to;
        EXPECT_EQ(testsupport::read_file(shm->file("far.rac")), "copied") << c.name;
    }
}

// A target on another file system gets a copy made beside it under a temporary name, which
// takes the target's name only when whole: byte for byte over several blocks, replacing or
// kept out as asked, and never left behind.
TEST(FilePlacementTest, AFileForAnotherFileSystemIsCopiedWholeBesideItsTarget)
{
    struct CopyCase {
        const char* name;
        const char* in_place; // nullptr: the target is missing
        FilePlacement::Existing existing;
        bool placed;
    };
    const CopyCase cases[] = {
        {"a new file", nullptr, FilePlacement::Existing::replace, true},
        {"replaces", "old", FilePlacement::Existing::replace, true},
        {"kept when another run placed it first", "theirs", FilePlacement::Existing::keep, false},
    };
    const std::string bytes = patterned((5u << 19) + 7); // two and a half blocks and a few bytes
    for (const CopyCase& c : cases) {
        TempDir dir;
        const std::unique_ptr<TempDir> shm = folder_on_another_file_system(dir);
        if (!shm)
            GTEST_SKIP() << "no second file system (/dev/shm) to copy to";
        const std::string to = shm->file("well.rac");
        if (c.in_place != nullptr)
            shm->write("well.rac", c.in_place);
        FilePlacement placement;
        placement.add(dir.write("well.rac", bytes), to, c.existing);
        const auto outcomes = placement.commit();
        ASSERT_EQ(outcomes.size(), 1u) << c.name;
        EXPECT_FALSE(outcomes[0].error) << c.name;
        EXPECT_EQ(outcomes[0].placed, c.placed) << c.name;
        const std::string after = testsupport::read_file(to);
        EXPECT_EQ(after.size(), c.placed ? bytes.size() : std::string(c.in_place).size()) << c.name;
        EXPECT_TRUE(after == (c.placed ? bytes : std::string(c.in_place))) << c.name << ": the bytes differ";
        for (const auto& entry : std::filesystem::directory_iterator(shm->folder()))
            EXPECT_EQ(entry.path().filename(), "well.rac") << c.name << ": a temporary file was left";
    }
}

// A copy whose write or flush fails leaves the target as it was and no copy beside it.
TEST(FilePlacementTest, AFailingCopyLeavesTheTargetAsItWas)
{
    namespace fault = platform::fault;
    const FaultedPlacementCase cases[] = {{"write", fault::write}, {"flush", fault::flush}, {"rename", fault::rename}};
    for (const FaultedPlacementCase& c : cases) {
        TempDir dir;
        const std::unique_ptr<TempDir> shm = folder_on_another_file_system(dir);
        if (!shm)
            GTEST_SKIP() << "no second file system (/dev/shm) to copy to";
        const std::string to = shm->write("well.rac", "old");
        const std::string from = dir.write("well.rac", patterned(3u << 19));
        fault::arm({.calls = c.call, .nth = 1, .error = ENOSPC, .folders = {canonical(shm->folder())}});
        bool reported = false;
        try {
            FilePlacement placement;
            placement.add(from, to, FilePlacement::Existing::replace);
            const auto outcomes = placement.commit();
            reported = outcomes.size() == 1 && outcomes[0].error && !outcomes[0].placed;
        }
        catch (const lib::io::FileError&) {
            reported = true; // the copy could not be made: nothing was staged
        }
        const bool met = fault::met();
        fault::disarm();
        ASSERT_TRUE(met) << c.name;
        EXPECT_TRUE(reported) << c.name;
        EXPECT_EQ(testsupport::read_file(to), "old") << c.name;
        for (const auto& entry : std::filesystem::directory_iterator(shm->folder()))
            EXPECT_EQ(entry.path().filename(), "well.rac") << c.name << ": a temporary file was left";
    }
}

// A rename between two mounts of one file system (a bind mount: the same device) fails with
// EXDEV; the file is then copied beside its target and placed whole, replacing or kept out
// as asked, instead of failing its package.
TEST(FilePlacementTest, ARenameRefusedAcrossMountsFallsBackToACopy)
{
    namespace fault = platform::fault;
    const struct {
        const char* name;
        const char* in_place;
        FilePlacement::Existing existing;
        bool placed;
    } cases[] = {
        {"a new file", nullptr, FilePlacement::Existing::replace, true},
        {"replaces", "old", FilePlacement::Existing::replace, true},
        {"kept when another run placed it first", "theirs", FilePlacement::Existing::keep, false},
    };
    const std::string bytes = patterned((1u << 20) + 3);
    for (const auto& c : cases) {
        TempDir dir;
        std::filesystem::create_directories(dir.file("store"));
        const std::string to = dir.file("store/well.rac");
        if (c.in_place != nullptr)
            dir.write("store/well.rac", c.in_place);
        FilePlacement placement;
        placement.add(dir.write("well.rac", bytes), to, c.existing);
        fault::arm({.calls = fault::rename, .nth = 1, .error = EXDEV, .folders = {canonical(dir.file("store"))}});
        const auto outcomes = placement.commit();
        const bool met = fault::met();
        fault::disarm();
        ASSERT_TRUE(met) << c.name;
        ASSERT_EQ(outcomes.size(), 1u) << c.name;
        EXPECT_FALSE(outcomes[0].error) << c.name;
        EXPECT_EQ(outcomes[0].placed, c.placed) << c.name;
        EXPECT_EQ(outcomes[0].existed, !c.placed) << c.name;
        EXPECT_TRUE(testsupport::read_file(to) == (c.placed ? bytes : std::string(c.in_place))) << c.name;
        for (const auto& entry : std::filesystem::directory_iterator(dir.file("store")))
            EXPECT_EQ(entry.path().filename(), "well.rac") << c.name << ": a temporary file was left";
    }
}
