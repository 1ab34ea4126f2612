#include "extract/Package_watch.h"
#include "extract/Run_notice.h"

#include "catalogue/Filedata.h"
#include "extract/Extractthread.h"
#include "extract/Run_lock.h"
#include "support/TempDir.h"
#include "testkit/Bytes.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Zreg_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using testkit::Bytes;
using testsupport::TempDir;
using Clock = SettleTracker::Clock;

namespace {

// ---- the settle bookkeeping, on a clock of our own ----

struct FakeFiles {
    std::map<std::string, platform::FileStamp> stamps;
    SettleTracker::StampOf stamp_of() const
    {
        return [this](const std::string& path) -> std::optional<platform::FileStamp> {
            const auto found = stamps.find(path);
            return found == stamps.end() ? std::nullopt : std::optional(found->second);
        };
    }
};

const Clock::time_point t0{};
const platform::FileStamp first{100, 1};
const platform::FileStamp grown{200, 2};

std::vector<std::string> due(SettleTracker& tracker, const FakeFiles& files, Clock::duration at)
{
    return tracker.take_due(t0 + at, files.stamp_of());
}

using Paths = std::vector<std::string>;

} // namespace

TEST(SettleTracker, aCompletePackageIsDueOnlyAfterTheSettleTime) {
    SettleTracker tracker(2s);
    FakeFiles files{{{"/in/a.zreg", first}}};
    tracker.completed("/in/a.zreg", first, t0);
    EXPECT_EQ(tracker.next_deadline(), t0 + 2s);
    EXPECT_EQ(due(tracker, files, 1999ms), Paths{});
    EXPECT_EQ(due(tracker, files, 2s), Paths{"/in/a.zreg"});
    EXPECT_EQ(due(tracker, files, 10s), Paths{}) << "taken once";
    EXPECT_FALSE(tracker.next_deadline());
}

TEST(SettleTracker, aPackageWrittenAgainWaitsForItsNextCloseAndAFullSettleTime) {
    SettleTracker tracker(2s);
    FakeFiles files{{{"/in/a.zreg", grown}}};
    tracker.completed("/in/a.zreg", first, t0);
    tracker.written("/in/a.zreg");
    EXPECT_FALSE(tracker.next_deadline());
    EXPECT_EQ(due(tracker, files, 5s), Paths{}) << "still open for writing";
    tracker.completed("/in/a.zreg", grown, t0 + 5s);
    EXPECT_EQ(due(tracker, files, 6s), Paths{});
    EXPECT_EQ(due(tracker, files, 7s), Paths{"/in/a.zreg"});
}

TEST(SettleTracker, aPackageThatChangedWithoutAnEventWaitsASettleTimeMore) {
    SettleTracker tracker(2s);
    FakeFiles files{{{"/in/a.zreg", grown}}};
    tracker.completed("/in/a.zreg", first, t0);
    EXPECT_EQ(due(tracker, files, 2s), Paths{});
    EXPECT_EQ(tracker.next_deadline(), t0 + 4s);
    EXPECT_EQ(due(tracker, files, 4s), Paths{"/in/a.zreg"});
}

TEST(SettleTracker, aPackageGoneBeforeItsTimeIsDropped) {
    SettleTracker tracker(2s);
    FakeFiles files;
    tracker.completed("/in/a.zreg", first, t0);
    tracker.completed("/in/b.zreg", first, t0);
    tracker.gone("/in/a.zreg");
    EXPECT_EQ(due(tracker, files, 3s), Paths{}) << "b vanished without an event";
    EXPECT_FALSE(tracker.next_deadline());
}

TEST(SettleTracker, aFailedPackageIsTakenAgainOnlyWhenItChanges) {
    SettleTracker tracker(1s);
    FakeFiles files{{{"/in/a.zreg", first}}};
    tracker.remember_failure("/in/a.zreg", first);
    tracker.completed("/in/a.zreg", first, t0);
    EXPECT_EQ(due(tracker, files, 5s), Paths{}) << "the same bytes fail the same way";
    files.stamps["/in/a.zreg"] = grown;
    tracker.completed("/in/a.zreg", grown, t0 + 5s);
    EXPECT_EQ(due(tracker, files, 6s), Paths{"/in/a.zreg"});
}

TEST(SettleTracker, duePackagesComeInTheOrderOfTheirNamesWhateverTheFolder) {
    SettleTracker tracker(1s);
    FakeFiles files{{{"/in/z/a.rar", first}, {"/in/b.zreg", first}, {"/in/c.7z_reg", first}}};
    for (const auto& [path, stamp] : files.stamps)
        tracker.completed(path, stamp, t0);
    EXPECT_EQ(due(tracker, files, 1s), (Paths{"/in/z/a.rar", "/in/b.zreg", "/in/c.7z_reg"}));
}

TEST(PackageNames, theFiveKindsInAnyLetterCaseAndNoHiddenNames) {
    for (const char* name : {"a.zreg", "A.ZREG", "b.rar", "c.7z_reg", "d.Compr_RT", "e.compr2_rt"})
        EXPECT_TRUE(is_package_name(name)) << name;
    for (const char* name : {".a.zreg", "a.zreg.part", "a.realtim", "zreg", "a.7z", ""})
        EXPECT_FALSE(is_package_name(name)) << name;
}

// ---- the watcher against a real folder ----

namespace {

FileStorageItem at(std::uint32_t time)
{
    FileStorageItem item;
    item.time = time;
    item.values = {static_cast<float>(time)};
    return item;
}

Bytes package_bytes(const std::string& well, std::uint32_t records = 3)
{
    FileStorageParam depth;
    depth.name = "Глубина";
    std::vector<FileStorageItem> items;
    for (std::uint32_t t = 1; t <= records; ++t)
        items.push_back(at(t * 10));
    std::vector<testkit::ZregMember> members(2);
    members[0].name = "inpgti.ini";
    members[0].content = testkit::inpgti_ini(well, "Северная", lib::enc_1251);
    members[1].name = "1.realtim";
    members[1].content = testkit::realtime_file({depth}, items, {}, 2);
    return testkit::zreg_package(1, members);
}

// What the watcher said, from its own thread.
class Recorder : public ExtractOwner, public WatchReporter {
public:
    void post_status(const std::string&) override {}
    void post_progress(int) override {}
    void report_error(const std::string&, const std::string& message) override { add(errors, message); }
    void journal(const std::vector<std::string>& lines) override
    {
        std::lock_guard lock(mutex_);
        journals.push_back(lines);
        journal_times.push_back(Clock::now());
    }
    void notice(const std::string& text) override { add(notices, text); }
    void error(const std::string& text) override { add(errors, text); }
    void runs_done(const std::vector<ExtractResult>& results) override
    {
        std::lock_guard lock(mutex_);
        batches.push_back(results);
    }

    template <typename T>
    T read(const T& field) const
    {
        std::lock_guard lock(mutex_);
        return field;
    }

    std::vector<std::vector<std::string>> journals;
    std::vector<Clock::time_point> journal_times;
    std::vector<std::string> notices;
    std::vector<std::string> errors;
    std::vector<std::vector<ExtractResult>> batches;

private:
    void add(std::vector<std::string>& to, const std::string& text)
    {
        std::lock_guard lock(mutex_);
        to.push_back(text);
    }
    mutable std::mutex mutex_;
};

template <typename Condition>
bool eventually(Condition condition, Clock::duration limit = 10s)
{
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

class WatchRun : public ::testing::Test {
protected:
    static constexpr auto settle = 300ms;

    std::string in() const { return dir.folder() + "in/"; }
    std::string store() const { return dir.folder() + "store/"; }
    std::string lock_path() const { return dir.file(".extract.lock"); }
    std::string placed(const std::string& well) const { return store() + "Северная/" + well + "/1.realtim"; }

    void SetUp() override { std::filesystem::create_directories(in()); }
    void TearDown() override { stop(); }

    // How many notices so far hold `word`.
    std::size_t said(const std::string& word) const
    {
        const auto notices = recorder.read(recorder.notices);
        return static_cast<std::size_t>(std::count_if(notices.begin(), notices.end(),
            [&](const std::string& notice) { return notice.find(word) != std::string::npos; }));
    }

    void start(const std::string& temp_dir = {}, const std::string& run_lock = {})
    {
        const ExtractHome home{dir.file("TemporaryFileData.bin"), temp_dir.empty() ? dir.file("temp.dir.tmp") : temp_dir,
                               run_lock.empty() ? lock_path() : run_lock, dir.folder()};
        WatchSettings settings{in(), store(), home, settle};
        watcher = std::make_unique<PackageWatcher>(settings, recorder, recorder);
        thread = std::thread([this] { status = watcher->run(stop_request); });
        ASSERT_TRUE(eventually([&] { return !recorder.read(recorder.notices).empty(); }));
    }

    void stop()
    {
        stop_request.request();
        if (thread.joinable())
            thread.join();
    }

    std::size_t journals() const { return recorder.read(recorder.journals).size(); }

    // Appends bytes to the file and closes it, as one piece of a copy.
    static void append(const std::string& path, const Bytes& bytes, std::size_t from, std::size_t to)
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out.write(reinterpret_cast<const char*>(bytes.data()) + from, static_cast<std::streamsize>(to - from));
    }

    TempDir dir;
    Recorder recorder;
    platform::StopRequest stop_request;
    std::unique_ptr<PackageWatcher> watcher;
    std::thread thread;
    int status = -1;
};

} // namespace

TEST_F(WatchRun, aPackageWrittenInPiecesWithPausesIsUnpackedOnceAfterTheLastPiece) {
    start();
    const Bytes bytes = package_bytes("12");
    const std::string path = in() + "a.zreg";
    const std::size_t pieces = 4;
    for (std::size_t piece = 0; piece < pieces; ++piece) {
        append(path, bytes, bytes.size() * piece / pieces, bytes.size() * (piece + 1) / pieces);
        std::this_thread::sleep_for(settle / 2);
    }
    const auto last_write = Clock::now() - settle / 2;
    ASSERT_TRUE(eventually([&] { return journals() == 1; }));
    std::this_thread::sleep_for(settle * 3);
    EXPECT_EQ(journals(), 1u);
    EXPECT_GE(recorder.read(recorder.journal_times).front() - last_write, settle);
    EXPECT_EQ(recorder.read(recorder.errors), std::vector<std::string>{});
    EXPECT_TRUE(std::filesystem::exists(placed("12")));
}

TEST_F(WatchRun, aPackageMovedInIsUnpackedAfterTheSettleTime) {
    start();
    testkit::write_file(dir.file("a.zreg"), package_bytes("12"));
    const auto moved = Clock::now();
    std::filesystem::rename(dir.file("a.zreg"), in() + "a.zreg");
    ASSERT_TRUE(eventually([&] { return journals() == 1; }));
    const auto waited = recorder.read(recorder.journal_times).front() - moved;
    EXPECT_GE(waited, settle);
    EXPECT_LT(waited, settle + 2s);
    EXPECT_TRUE(std::filesystem::exists(placed("12")));
}

TEST_F(WatchRun, packagesInSubfoldersMadeAfterTheStartAreUnpacked) {
    start();
    std::filesystem::create_directories(in() + "rig/day1");
    testkit::write_file(in() + "rig/day1/a.zreg", package_bytes("12"));
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(placed("12")); }));
    // A folder moved in with its package already inside.
    std::filesystem::create_directories(dir.file("outside/day2"));
    testkit::write_file(dir.file("outside/day2/b.zreg"), package_bytes("13"));
    std::filesystem::rename(dir.file("outside/day2"), in() + "rig/day2");
    EXPECT_TRUE(eventually([&] { return std::filesystem::exists(placed("13")); }));
}

// Packages that settle together are told of as one batch, so that one desktop notification
// names all their wells; a package the cache knows already makes no batch.
TEST_F(WatchRun, packagesSettlingTogetherAreReportedAsOneBatch) {
    start();
    testkit::write_file(dir.file("a.zreg"), package_bytes("12"));
    testkit::write_file(dir.file("b.zreg"), package_bytes("13"));
    std::filesystem::rename(dir.file("a.zreg"), in() + "a.zreg");
    std::filesystem::rename(dir.file("b.zreg"), in() + "b.zreg");
    ASSERT_TRUE(eventually([&] { return journals() == 2; }));
    const auto batches = recorder.read(recorder.batches);
    ASSERT_EQ(batches.size(), 1u);
    const std::vector<RunNotice> notices = run_notices(batches[0]);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].title, "Новые данные: 2 скважины");
    EXPECT_EQ(notices[0].body, "Северная/12\nСеверная/13");
}

TEST_F(WatchRun, twoPackagesArrivingTogetherAreBothUnpacked) {
    start();
    testkit::write_file(in() + "a.zreg", package_bytes("12"));
    testkit::write_file(in() + "b.zreg", package_bytes("13"));
    ASSERT_TRUE(eventually([&] { return journals() == 2; }));
    EXPECT_TRUE(std::filesystem::exists(placed("12")));
    EXPECT_TRUE(std::filesystem::exists(placed("13")));
    FilesDataStorage cache;
    cache.load(dir.file("TemporaryFileData.bin"));
    EXPECT_EQ(cache.entries().size(), 2u) << "the same cache file as extract";
}

TEST_F(WatchRun, packagesWaitingAtTheStartAreUnpackedUnlessTheCacheKnowsThem) {
    testkit::write_file(in() + "known.zreg", package_bytes("12"));
    testkit::write_file(in() + "new.zreg", package_bytes("13"));
    FilesDataStorage cache;
    cache.store(in() + "known.zreg", static_cast<std::int32_t>(std::filesystem::file_size(in() + "known.zreg")));
    cache.save(dir.file("TemporaryFileData.bin"));
    start();
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(placed("13")); }));
    std::this_thread::sleep_for(settle * 2);
    EXPECT_EQ(journals(), 1u);
    EXPECT_FALSE(std::filesystem::exists(placed("12")));
}

TEST_F(WatchRun, aFailedPackageIsReportedOnceForgottenByTheCacheAndRetriedWhenItChanges) {
    start();
    Bytes cut = package_bytes("12");
    testkit::shrink(cut, cut.size() / 2);
    testkit::write_file(in() + "bad.zreg", cut);
    ASSERT_TRUE(eventually([&] { return journals() == 1; }));
    std::this_thread::sleep_for(settle * 4);
    EXPECT_EQ(journals(), 1u) << "no retry in a loop";
    EXPECT_EQ(recorder.read(recorder.errors).size(), 1u);
    FilesDataStorage cache;
    cache.load(dir.file("TemporaryFileData.bin"));
    std::int32_t size = 0;
    EXPECT_FALSE(cache.find(in() + "bad.zreg", size)) << "a later extract must retry it";

    testkit::write_file(in() + "bad.zreg", package_bytes("12"));
    EXPECT_TRUE(eventually([&] { return std::filesystem::exists(placed("12")); }));
}

TEST_F(WatchRun, aTemporaryFolderThatCannotBeMadeIsReportedOnceInsteadOfAnEmptyRun) {
    dir.write("home", "a file where the home folder should be");
    start(dir.file("home/temp.dir.tmp"));
    testkit::write_file(in() + "a.zreg", package_bytes("12"));
    ASSERT_TRUE(eventually([&] { return !recorder.read(recorder.errors).empty(); }));
    std::this_thread::sleep_for(settle * 3);
    EXPECT_EQ(recorder.read(recorder.errors).size(), 1u);
    EXPECT_EQ(journals(), 1u) << "its journal says why, once";
    FilesDataStorage cache;
    cache.load(dir.file("TemporaryFileData.bin"));
    EXPECT_TRUE(cache.entries().empty());
}

TEST_F(WatchRun, aPackageWaitsWhileAnotherRunHoldsTheHomeAndIsTakenAfterIt) {
    std::optional<RunLock> other_run;
    other_run.emplace(lock_path(), true);
    start();
    testkit::write_file(in() + "a.zreg", package_bytes("12"));
    ASSERT_TRUE(eventually([&] { return recorder.read(recorder.notices).size() == 2; }));
    EXPECT_NE(recorder.read(recorder.notices).back().find(lock_path()), std::string::npos);
    std::this_thread::sleep_for(settle * 3);
    EXPECT_EQ(journals(), 0u);
    EXPECT_EQ(recorder.read(recorder.notices).size(), 2u) << "said once, not at every look";
    other_run.reset();
    EXPECT_TRUE(eventually([&] { return std::filesystem::exists(placed("12")); }));
}

TEST_F(WatchRun, aLockFileThatCannotBeMadeIsSaidOnceAndThePackageIsTakenWhenItCanBe) {
    const std::string folder = dir.file("locks");
    start({}, folder + "/.extract.lock");
    testkit::write_file(in() + "a.zreg", package_bytes("12"));
    ASSERT_TRUE(eventually([&] { return !recorder.read(recorder.errors).empty(); }));
    std::this_thread::sleep_for(settle * 3);
    EXPECT_EQ(recorder.read(recorder.errors).size(), 1u) << "said once, not at every look";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(eventually([&] { return std::filesystem::exists(placed("12")); }))
        << "a fault of the home is no failure of the package";
}

TEST_F(WatchRun, theInputFolderRemovedAndBackIsWatchedAgain) {
    start();
    std::filesystem::remove_all(in());
    ASSERT_TRUE(eventually([&] { return said("удалена") == 1; }));
    std::filesystem::create_directories(in());
    // Watched again; how many notices lie between depends on when the events arrive.
    ASSERT_TRUE(eventually([&] { return said("Наблюдение за папкой") == 2; }));
    testkit::write_file(in() + "a.zreg", package_bytes("12"));
    EXPECT_TRUE(eventually([&] { return std::filesystem::exists(placed("12")); }));
}

TEST_F(WatchRun, theInputFolderReplacedByAnotherIsWatchedInsteadOfTheOldOne) {
    start();
    std::filesystem::rename(in(), dir.file("old"));
    std::filesystem::create_directories(in());
    ASSERT_TRUE(eventually([&] { return said("Наблюдение за папкой") == 2; }));
    testkit::write_file(dir.file("old/stale.zreg"), package_bytes("13"));
    testkit::write_file(in() + "a.zreg", package_bytes("12"));
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(placed("12")); }));
    std::this_thread::sleep_for(settle * 2);
    EXPECT_FALSE(std::filesystem::exists(placed("13")));
}

TEST_F(WatchRun, aMissingInputFolderIsWaitedForWithItsParents) {
    std::filesystem::remove_all(in());
    start();
    std::filesystem::create_directories(in() + "sub");
    testkit::write_file(in() + "sub/a.zreg", package_bytes("12"));
    EXPECT_TRUE(eventually([&] { return std::filesystem::exists(placed("12")); }));
}

TEST_F(WatchRun, aStopRequestEndsTheWatchWithStatusZero) {
    start();
    stop();
    EXPECT_EQ(status, 0);
}
