// The one run sequence every front end starts: lock, cache, run, cache, result.

#include "extract/Extract_job.h"
#include "extract/Run_lock.h"
#include "catalogue/Well_overview.h"

#include "support/Extract_fixtures.h"
#include "support/TempDir.h"
#include "testkit/Zreg_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <map>
#include <optional>
#include <thread>

using testsupport::Lines;
using testsupport::member;
using testsupport::realtime;
using testsupport::RecordingOwner;
using testsupport::TempDir;

namespace {

class ExtractJobTest : public ::testing::Test {
protected:
    std::string in() const { return dir.folder() + "in/"; }
    std::string store() const { return dir.folder() + "store/"; }
    ExtractHome home() const
    {
        return {dir.folder() + "TemporaryFileData.bin", dir.folder() + "temp.dir.tmp", dir.folder() + ".extract.lock",
                dir.folder()};
    }

    void SetUp() override { std::filesystem::create_directories(in()); }

    std::string package(const std::string& name, const std::string& well, const std::string& area = "Северная")
    {
        const std::string path = in() + name;
        testkit::write_file(path, testkit::zreg_package(1, {member("inpgti.ini", testkit::inpgti_ini(well, area, lib::enc_1251)),
                                                            member("well.realtim", realtime({1, 2}))}));
        return path;
    }

    std::string broken(const std::string& name)
    {
        const std::string path = in() + name;
        testkit::write_file(path, {1, 0, 0, 1, 'x'});
        return path;
    }

    ExtractRequest everything(LockWait lock = LockWait::wait) const
    {
        ExtractRequest request;
        request.from_path = in();
        request.data_root = store();
        request.lock = lock;
        return request;
    }

    ExtractRequest one(const std::string& path, PackageMode mode) const
    {
        ExtractRequest request = everything();
        request.package = path;
        request.mode = mode;
        return request;
    }

    FilesDataStorage saved_cache() const
    {
        FilesDataStorage saved;
        saved.load(home().cache);
        return saved;
    }

    TempDir dir;
    FilesDataStorage cache;
    RecordingOwner owner;
    ExtractJob job{home(), cache, &owner};
};

} // namespace

TEST_F(ExtractJobTest, ReadsTheCacheAgainUnderTheLockAndSavesWhatItUnpacked)
{
    const std::string a = package("a.zreg", "12");
    // Another run of the home saved the cache meanwhile: its package is not unpacked again.
    FilesDataStorage other;
    other.store(a, static_cast<std::int32_t>(std::filesystem::file_size(a)));
    other.save(home().cache);
    const std::string b = package("b.zreg", "14");

    const ExtractResult result = job.run(everything());
    EXPECT_TRUE(result.all_well());
    EXPECT_EQ(result.found, 2);
    EXPECT_EQ(result.skipped, 1);
    EXPECT_EQ(result.unpacked, 1);
    EXPECT_FALSE(std::filesystem::exists(store() + "Северная/12"));
    EXPECT_TRUE(std::filesystem::exists(store() + "Северная/14/well.realtim"));
    EXPECT_EQ(saved_cache().entries().size(), 2u);
    EXPECT_EQ(summary_line(result), "Пакетов найдено: 2, распаковано: 1, пропущено как уже распакованные: 1, с ошибками: 0");
}

// A package named on a command line goes beside itself, one handed over goes into the store
// like every other; neither asks the cache first.
TEST_F(ExtractJobTest, NamedAndHandedOverPackagesAreUnpackedWhateverTheCacheSays)
{
    const std::string a = package("a.zreg", "12");
    ASSERT_TRUE(job.run(everything()).all_well());
    std::filesystem::remove_all(store());

    const ExtractResult handed = job.run(one(a, PackageMode::handed_over));
    EXPECT_EQ(handed.unpacked, 1);
    EXPECT_TRUE(std::filesystem::exists(store() + "Северная/12/well.realtim"));
    EXPECT_FALSE(std::filesystem::exists(store() + "well.realtim"));

    ExtractRequest named = one(a, PackageMode::single);
    named.data_root = in() + "GTI_Data/";
    std::filesystem::remove(home().cache);
    const ExtractResult single = job.run(named);
    EXPECT_EQ(single.unpacked, 1);
    EXPECT_TRUE(std::filesystem::exists(in() + "GTI_Data/well.realtim"));
    EXPECT_FALSE(std::filesystem::exists(home().cache)) << "a named package leaves the cache alone";
}

TEST_F(ExtractJobTest, AHandedOverPackageIsKnownToTheNextRunOverTheFolder)
{
    const std::string a = package("a.zreg", "12");
    ASSERT_TRUE(job.run(one(a, PackageMode::handed_over)).all_well());
    const ExtractResult next = job.run(everything());
    EXPECT_EQ(next.skipped, 1);
    EXPECT_EQ(next.unpacked, 0);
}

TEST_F(ExtractJobTest, APackageThatFailsAgainUnchangedIsOnlyWrittenToTheJournal)
{
    const std::string bad = broken("bad.zreg");
    const auto journal_names_it = [&](const ExtractResult& result) {
        for (const std::string& line : result.journal)
            if (line.starts_with("Произошла ошибка при распаковке файла \"" + bad + "\": "))
                return true;
        return false;
    };

    const ExtractResult first = job.run(everything());
    EXPECT_EQ(first.failed, 1);
    EXPECT_TRUE(journal_names_it(first));
    ASSERT_EQ(first.failures.size(), 1u);
    EXPECT_EQ(first.failures[0].package, bad);
    EXPECT_FALSE(first.failures[0].repeated);
    EXPECT_EQ(owner.errors.size(), 1u);
    EXPECT_EQ(summary_line(first), "Пакетов найдено: 1, распаковано: 0, пропущено как уже распакованные: 0, с ошибками: 1");

    const ExtractResult again = job.run(everything());
    EXPECT_EQ(again.failed, 1);
    EXPECT_TRUE(journal_names_it(again));
    EXPECT_TRUE(again.failures[0].repeated);
    EXPECT_EQ(owner.errors.size(), 1u) << "no second error box for the same damage";

    {
        // The program started again: the home remembers the failure and why.
        FilesDataStorage other_cache;
        RecordingOwner other_owner;
        ExtractJob restarted(home(), other_cache, &other_owner);
        const ExtractResult after_restart = restarted.run(everything());
        EXPECT_TRUE(journal_names_it(after_restart));
        ASSERT_EQ(after_restart.failures.size(), 1u);
        EXPECT_TRUE(after_restart.failures[0].repeated);
        EXPECT_TRUE(other_owner.errors.empty()) << "no error box after a restart for the same damage";
    }

    testkit::write_file(bad, {1, 0, 0, 1, 'x', 'y'}); // changed: worth showing again
    EXPECT_EQ(job.run(everything()).failed, 1);
    EXPECT_EQ(owner.errors.size(), 2u);
}

TEST_F(ExtractJobTest, AMissingInputFolderIsSaidInTheJournal)
{
    std::filesystem::remove_all(in());
    const ExtractResult result = job.run(everything());
    EXPECT_EQ(testsupport::without_run_time(result.journal), (Lines{"Распаковка данных:", extract_text::input_folder + dir.folder() + "in не существует"}));
}

TEST_F(ExtractJobTest, WhileAnotherRunHoldsTheLock)
{
    package("a.zreg", "12");
    {
        const RunLock other(home().run_lock, false);
        ASSERT_TRUE(other.held());
        const ExtractResult busy = job.run(everything(LockWait::no_wait));
        EXPECT_EQ(busy.outcome, ExtractResult::Outcome::busy);
        EXPECT_FALSE(std::filesystem::exists(store()));

        ExtractResult polled;
        std::thread polling([&] { polled = job.run(everything(LockWait::poll)); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        job.cancel();
        polling.join();
        EXPECT_EQ(polled.outcome, ExtractResult::Outcome::cancelled);
        EXPECT_EQ(owner.notices.size(), 1u);
        EXPECT_FALSE(std::filesystem::exists(store()));
    }
    auto other = std::make_unique<RunLock>(home().run_lock, false);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other.reset();
    });
    const ExtractResult waited = job.run(everything(LockWait::wait));
    release.join();
    EXPECT_TRUE(waited.all_well());
    EXPECT_TRUE(std::filesystem::exists(store() + "Северная/12/well.realtim"));
}

TEST_F(ExtractJobTest, WithoutALockFileThereIsNoRunAtAll)
{
    ExtractJob homeless({dir.folder() + "no/cache.bin", dir.folder() + "no/temp.dir.tmp", dir.folder() + "no/.extract.lock",
                         dir.folder() + "no/"},
                        cache, &owner);
    package("a.zreg", "12");
    const ExtractResult result = homeless.run(everything());
    EXPECT_EQ(result.outcome, ExtractResult::Outcome::no_lock);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_NE(result.errors[0].find(dir.folder() + "no/.extract.lock"), std::string::npos) << result.errors[0];
    EXPECT_FALSE(std::filesystem::exists(store()));
}

TEST_F(ExtractJobTest, StartedOnItsOwnThreadItHandsItsResultToTheCallback)
{
    package("a.zreg", "12");
    std::promise<ExtractResult> done;
    job.start(everything(), [&](ExtractResult result) { done.set_value(std::move(result)); });
    const ExtractResult result = done.get_future().get();
    job.wait();
    EXPECT_FALSE(job.running());
    EXPECT_EQ(result.unpacked, 1);
}

// The overview's package counts: each placed package counts for its well, a failed one and
// one unpacked in single-package mode do not.
TEST_F(ExtractJobTest, EachPlacedPackageCountsForItsWellInTheHomesArrivals)
{
    package("a.zreg", "12");
    package("b.zreg", "12");
    package("c.zreg", "7", "Южная");
    broken("d.zreg");
    ASSERT_TRUE(job.run(everything()).ran());
    const std::string single = package("e.zreg", "12");
    ASSERT_TRUE(job.run(one(single, PackageMode::single)).ran());

    catalogue::OverviewRequest request;
    request.data_root = store();
    request.state_folder = dir.folder();
    std::map<std::string, std::optional<std::uint32_t>> counts;
    for (const catalogue::WellOverviewRow& row : catalogue::build_overview(request)) {
        counts[row.area + "/" + row.well] = row.packages;
        EXPECT_GT(row.last_arrival, 0u);
    }
    const std::map<std::string, std::optional<std::uint32_t>> expected = {{"Северная/12", 2u}, {"Южная/7", 1u}};
    EXPECT_EQ(counts, expected);
}
