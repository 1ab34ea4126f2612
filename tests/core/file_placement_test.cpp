#include "lib/io/File_placement.h"

#include "lib/io/Binary_io.h"
#include "platform/Fault_seam.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using lib::io::FilePlacement;
using testsupport::TempDir;

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
