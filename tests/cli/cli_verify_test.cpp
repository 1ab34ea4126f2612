#include "Cli_run.h"

#include "core/support/TempDir.h"
#include "extract/Run_lock.h"
#include "lib/io/File_replacement.h"
#include "storage/Merge_index.h"
#include "storage/Realtime_merge.h"
#include "testkit/Bytes.h"
#include "testkit/Realtime_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

using testsupport::TempDir;

namespace {

testkit::Bytes well_file(std::vector<std::uint32_t> times)
{
    FileStorageParam p;
    p.name = "Глубина";
    std::vector<FileStorageItem> records;
    for (const std::uint32_t t : times) {
        FileStorageItem item;
        item.time = t;
        item.values = {1};
        records.push_back(item);
    }
    return testkit::realtime_file({p}, records, {}, 2);
}

bool has_line(const std::string& out, const std::string& text)
{
    return out.find(text) != std::string::npos;
}

// A home and a store whose well 12 holds one sound real-time file, "1.realtim".
class CliVerify : public testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(home);
        std::filesystem::create_directories(well);
        testkit::write_file(well + "1.realtim", well_file({1, 2}));
    }

    TempDir dir;
    const std::string home = dir.folder() + "home/";
    const std::string store = dir.folder() + "store/";
    const std::string well = store + "Северная/12/";
};

} // namespace

TEST_F(CliVerify, FindsWhatIsWrongAndRepairsOnlyCutTailsAndLeftovers)
{
    EXPECT_EQ(clitest::run_cli({"verify", "--home", home, "--to", store}).status, 0);

    testkit::Bytes cut = well_file({1, 2, 3});
    testkit::shrink(cut, 20); // a killed append: the text sector and part of the last record are gone
    testkit::write_file(well + "2.realtim", cut);
    testkit::write_file(well + ".3.realtim.tmp-Ab12Cd", {1, 2});
    testkit::write_file(store + "stray.realtim", well_file({1}));
    std::filesystem::create_directories(well + "sub");
    // An index entry for the first file, which a hand then changed.
    storage::MergeIndex index(home + storage::MergeIndex::file_name);
    testkit::write_file(dir.folder() + "empty.realtim", well_file({}));
    storage::merge_realtime(well + "1.realtim", dir.folder() + "empty.realtim", storage::MergeWrite::append, &index);
    index.save();
    testkit::write_file(well + "1.realtim", well_file({1, 2, 4}));

    const clitest::CliRun found = clitest::run_cli({"verify", "--home", home, "--to", store});
    EXPECT_EQ(found.status, 1);
    EXPECT_TRUE(has_line(found.out, "обрезанный последний сектор")) << found.out;
    EXPECT_TRUE(has_line(found.out, "временный файл прерванной записи: " + well + ".3.realtim.tmp-Ab12Cd")) << found.out;
    EXPECT_TRUE(has_line(found.out, "не показывается в дереве данных: " + store + "stray.realtim")) << found.out;
    EXPECT_TRUE(has_line(found.out, "не показывается в дереве данных: " + well + "sub")) << found.out;
    EXPECT_TRUE(has_line(found.out, "индекса слияния")) << found.out;
    EXPECT_TRUE(has_line(found.out, "Проверено файлов данных: 2, найдено: 5")) << found.out;

    const clitest::CliRun repaired = clitest::run_cli({"verify", "--home", home, "--to", store, "--repair"});
    EXPECT_EQ(repaired.status, 1);
    EXPECT_TRUE(has_line(repaired.out, "— исправлено")) << repaired.out;
    EXPECT_FALSE(std::filesystem::exists(well + ".3.realtim.tmp-Ab12Cd"));
    EXPECT_TRUE(std::filesystem::exists(store + "stray.realtim")); // not ours to remove

    const clitest::CliRun after = clitest::run_cli({"verify", "--home", home, "--to", store});
    EXPECT_FALSE(has_line(after.out, "обрезанный")) << after.out;
    EXPECT_FALSE(has_line(after.out, "временный файл")) << after.out;
    FileStorage model;
    model.load(well + "2.realtim");
    EXPECT_EQ(model.records.size(), 2u);
}

// A well file cut by a killed append, whose index entry the cut made stale: the check finds
// both, the repair mends both, and the store then checks clean, so a cron alarm stops.
TEST_F(CliVerify, ARepairedStoreChecksClean)
{
    storage::MergeIndex index(home + storage::MergeIndex::file_name);
    testkit::write_file(dir.folder() + "more.realtim", well_file({1, 2, 10, 11}));
    storage::merge_realtime(well + "1.realtim", dir.folder() + "more.realtim", storage::MergeWrite::append, &index);
    index.save();
    std::filesystem::resize_file(well + "1.realtim", std::filesystem::file_size(well + "1.realtim") - 7);

    const std::vector<std::string> check = {"verify", "--home", home, "--to", store};
    std::vector<std::string> repair = check;
    repair.push_back("--repair");
    const clitest::CliRun found = clitest::run_cli(check);
    EXPECT_EQ(found.status, 1) << found.out;
    EXPECT_TRUE(has_line(found.out, "найдено: 2")) << found.out;
    const clitest::CliRun repaired = clitest::run_cli(repair);
    EXPECT_TRUE(has_line(repaired.out, "индекса слияния")) << repaired.out;
    const clitest::CliRun after = clitest::run_cli(check);
    EXPECT_EQ(after.status, 0) << after.out;
    EXPECT_TRUE(has_line(after.out, "найдено: 0")) << after.out;
}

// A repair cuts and removes: it waits for a run of the same home, and passes over the
// temporary file of a writer that lives (on this machine or another, by its record lock).
TEST_F(CliVerify, ARepairWaitsForARunAndLeavesALiveWritersFile)
{
    const lib::io::FileReplacement live(well + "1.realtim");
    testkit::write_file(well + ".2.realtim.tmp-Zz99Yy", {1, 2}); // a killed writer's

    auto run = std::make_unique<RunLock>(home + ".extract.lock", false);
    ASSERT_TRUE(run->held());
    std::thread release([&run] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        run.reset();
    });
    const clitest::CliRun repaired = clitest::run_cli({"verify", "--home", home, "--to", store, "--repair"});
    release.join();
    EXPECT_TRUE(repaired.err.starts_with("Идёт другая распаковка с теми же файлами программы, ждём её окончания: "))
        << repaired.err;
    EXPECT_FALSE(std::filesystem::exists(well + ".2.realtim.tmp-Zz99Yy"));
    EXPECT_TRUE(std::filesystem::exists(live.temporary_path()));
}

namespace {

// The lines of `out` that name `path` at their end (before a repair's remark).
std::vector<std::string> lines_naming(const std::string& out, const std::string& path)
{
    std::vector<std::string> found;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find(": " + path);
        if (at != std::string::npos && (line.ends_with(path) || line.ends_with(path + " — исправлено")))
            found.push_back(line);
    }
    return found;
}

} // namespace

// Each entry of the home's merge index is judged against its file: one whose file changed
// in place or is gone is stale, one whose name now holds another file (a copy put in its
// place) is foreign, and a repair forgets both. An entry that still matches, and one of
// another store of the same home, are neither reported nor forgotten.
TEST_F(CliVerify, TellsStaleFromForeignIndexEntriesAndForgetsOnlyThose)
{
    const std::string far = dir.folder() + "other/Южное/3/far.realtim";
    std::filesystem::create_directories(dir.folder() + "other/Южное/3");
    const std::string stale_head = "устаревшая запись индекса слияния (";
    const std::string foreign_head = "запись индекса слияния относится к другому файлу с тем же именем (";
    struct Entry {
        const char* name;
        std::string path;
        std::function<void(const std::string&)> change;
        std::string said; // the head of verify's line, "" for none
    };
    const auto touched = [](const std::string& path) {
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::hours(1));
    };
    const auto removed = [](const std::string& path) { std::filesystem::remove(path); };
    const auto replaced = [](const std::string& path) {
        std::filesystem::copy_file(path, path + ".copy");
        std::filesystem::rename(path + ".copy", path);
    };
    const Entry entries[] = {
        {"changed in place", well + "changed.realtim", touched, stale_head},
        {"removed", well + "gone.realtim", removed, stale_head},
        {"replaced by a copy", well + "replaced.realtim", replaced, foreign_head},
        {"as indexed", well + "sound.realtim", [](const std::string&) {}, ""},
        {"of another store", far, removed, ""},
    };
    storage::MergeIndex index(home + storage::MergeIndex::file_name);
    testkit::write_file(dir.folder() + "empty.realtim", well_file({}));
    for (const Entry& entry : entries) {
        testkit::write_file(entry.path, well_file({1, 2}));
        storage::merge_realtime(entry.path, dir.folder() + "empty.realtim", storage::MergeWrite::append, &index);
    }
    index.save();
    for (const Entry& entry : entries)
        entry.change(entry.path);

    const std::vector<std::string> check = {"verify", "--home", home, "--to", store};
    const clitest::CliRun found = clitest::run_cli(check);
    EXPECT_EQ(found.status, 1) << found.out;
    for (const Entry& entry : entries) {
        const std::vector<std::string> lines = lines_naming(found.out, entry.path);
        if (entry.said.empty()) {
            EXPECT_TRUE(lines.empty()) << entry.name << "\n" << found.out;
            continue;
        }
        ASSERT_EQ(lines.size(), 1u) << entry.name << "\n" << found.out;
        EXPECT_TRUE(lines[0].starts_with(entry.said)) << entry.name << ": " << lines[0];
    }
    EXPECT_TRUE(has_line(found.out, "найдено: 3")) << found.out;

    std::vector<std::string> repair = check;
    repair.push_back("--repair");
    const clitest::CliRun repaired = clitest::run_cli(repair);
    const storage::MergeIndex after(home + storage::MergeIndex::file_name);
    for (const Entry& entry : entries) {
        const std::vector<std::string> lines = lines_naming(repaired.out, entry.path);
        EXPECT_EQ(after.find(entry.path) == nullptr, !entry.said.empty()) << entry.name << ": kept or forgotten wrongly";
        if (!entry.said.empty()) {
            ASSERT_EQ(lines.size(), 1u) << entry.name << "\n" << repaired.out;
            EXPECT_TRUE(lines[0].starts_with(entry.said) && lines[0].ends_with(" — исправлено")) << lines[0];
        }
    }
    const clitest::CliRun clean = clitest::run_cli(check);
    EXPECT_EQ(clean.status, 0) << clean.out;
}
