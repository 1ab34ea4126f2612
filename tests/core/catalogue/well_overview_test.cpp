#include "catalogue/Well_overview.h"

#include "storage/Merge_index.h"
#include "storage/Realtime_merge.h"
#include "support/TempDir.h"
#include "testkit/Classic_writer.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include <sys/inotify.h>
#include <unistd.h>

using testsupport::TempDir;

namespace {

constexpr std::uint32_t now = 1700000000;
constexpr std::uint32_t hour = 3600;

FileStorageItem record_at(std::uint32_t time, float depth, std::size_t params = 3)
{
    FileStorageItem item;
    item.time = time;
    item.depth_z = depth;
    item.depth_cur = depth - 1;
    item.values.assign(params, 1.5f);
    return item;
}

// A real-time file whose records end at `newest`, one a minute, the depth growing to `depth`.
testkit::Bytes realtime_ending_at(std::uint32_t newest, float depth, int version = 2, std::size_t count = 5)
{
    std::vector<FileStorageItem> records;
    for (std::size_t i = 0; i < count; ++i)
        records.push_back(record_at(newest - static_cast<std::uint32_t>(count - 1 - i) * 60,
                                    depth - static_cast<float>(count - 1 - i)));
    return testkit::realtime_file(testkit::synthetic_params(3), records, {"Скважина=1"}, version);
}

testkit::Bytes classic_ending_at(std::uint32_t newest, float depth)
{
    std::vector<testkit::ClassicRecord> records(3);
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].time = newest - static_cast<std::uint32_t>(2 - i) * 60;
        records[i].depth_z = depth - static_cast<float>(2 - i);
    }
    records.push_back({}); // an empty record at the end is passed over
    return testkit::classic_file(records);
}

// Which of the watched files are opened while `run` runs.
class OpenWatch {
public:
    explicit OpenWatch(const std::vector<std::string>& paths) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        for (const std::string& path : paths)
            names_[::inotify_add_watch(fd_, path.c_str(), IN_OPEN)] = std::filesystem::path(path).filename().string();
    }
    ~OpenWatch() { ::close(fd_); }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    std::set<std::string> opened()
    {
        std::set<std::string> names;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                names.insert(names_[event->wd]);
                at += sizeof(inotify_event) + event->len;
            }
        }
        return names;
    }

private:
    int fd_;
    std::map<int, std::string> names_;
};

class WellOverviewTest : public ::testing::Test {
protected:
    std::string well(const std::string& area, const std::string& name)
    {
        const std::string folder = store.folder() + area + "/" + name + "/";
        std::filesystem::create_directories(folder);
        return folder;
    }

    std::vector<catalogue::WellOverviewRow> overview(int hours = 6)
    {
        catalogue::OverviewRequest request;
        request.data_root = store.folder();
        request.state_folder = home.folder();
        request.older_than_hours = hours;
        request.now = now;
        return catalogue::build_overview(request);
    }

    TempDir store;
    TempDir home;
};

TEST_F(WellOverviewTest, RowsComeOldestFirstWithTheirNewestRecordsDepthAndMark)
{
    const std::string fresh = well("Северная", "1");
    testkit::write_file(fresh + "0001.realtim", realtime_ending_at(now - hour, 1500.5f));
    testkit::write_file(fresh + "0001.realdep", realtime_ending_at(now - 2 * hour, 1499.f, 0));
    testkit::write_file(fresh + "inpgti.ini", testkit::Bytes{});
    testkit::write_file(well("Северная", "2") + "7.tim", classic_ending_at(now - 10 * hour, 812.f));
    testkit::write_file(well("Южная", "3") + "inpgti.ini", testkit::Bytes{});
    testkit::write_file(well("Южная", "4") + "5.realtim", realtime_ending_at(now - 7 * hour, 300.f));
    std::filesystem::create_directories(store.folder() + ".hidden/5");
    testkit::write_file(store.folder() + "stray.realtim", realtime_ending_at(now, 1.f));

    const auto rows = overview();
    ASSERT_EQ(rows.size(), 4u);
    const struct {
        const char* area;
        const char* well;
        std::uint32_t newest_time;
        std::uint32_t newest_depth;
        std::optional<float> depth;
        const char* age;
        bool old;
    } expected[] = {
        {"Южная", "3", 0, 0, std::nullopt, "нет данных", true},
        {"Северная", "2", now - 10 * hour, 0, 812.f, "10,0 ч", true},
        {"Южная", "4", now - 7 * hour, 0, 300.f, "7,0 ч", true},
        {"Северная", "1", now - hour, now - 2 * hour, 1500.5f, "1,0 ч", false},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].area, expected[i].area);
        EXPECT_EQ(rows[i].well, expected[i].well);
        EXPECT_EQ(rows[i].newest_time_file, expected[i].newest_time);
        EXPECT_EQ(rows[i].newest_depth_file, expected[i].newest_depth);
        EXPECT_EQ(rows[i].depth, expected[i].depth);
        EXPECT_EQ(catalogue::age_text(rows[i]), expected[i].age);
        EXPECT_EQ(rows[i].old, expected[i].old);
        EXPECT_EQ(catalogue::mark_text(rows[i]), expected[i].old ? "молчит" : "");
        EXPECT_FALSE(rows[i].packages);
        EXPECT_TRUE(rows[i].unreadable.empty());
    }
    EXPECT_EQ(catalogue::depth_text(rows[3]), "1500,5");

    // Two days and more read as days.
    catalogue::WellOverviewRow long_silent;
    for (const auto& [age, text] : std::vector<std::pair<std::uint32_t, std::string>>{
             {48 * hour - 1, "48,0 ч"}, {48 * hour, "2,0 сут"}, {1000 * 86400 + 8640, "1000,1 сут"}}) {
        long_silent.age = age;
        EXPECT_EQ(catalogue::age_text(long_silent), text);
    }

    // The limit decides the mark; a well without records stays marked whatever the limit.
    const auto lenient = overview(8);
    EXPECT_TRUE(lenient[0].old);
    EXPECT_TRUE(lenient[1].old);
    EXPECT_FALSE(lenient[2].old);
    EXPECT_FALSE(lenient[3].old);
}

TEST_F(WellOverviewTest, AFileThatGrewOrWasReplacedGivesItsNewNewestRecord)
{
    const std::string folder = well("A", "1");
    const std::string path = folder + "1.realtim";
    testkit::RealtimeFile file(2, lib::enc_utf8);
    file.format(2, lib::enc_utf8).params(testkit::synthetic_params(3)).record(record_at(now - 9 * hour, 100.f));
    file.save(path);
    EXPECT_EQ(overview()[0].newest_time_file, now - 9 * hour);

    // Appended sectors, as a merge writes them: read from where the last call stopped.
    file.record(record_at(now - 5 * hour, 140.f)).text_area({"a=b"});
    file.save(path);
    auto rows = overview();
    EXPECT_EQ(rows[0].newest_time_file, now - 5 * hour);
    EXPECT_EQ(rows[0].depth, 140.f);
    EXPECT_FALSE(rows[0].old);

    // Replaced by a shorter file of older data: not mistaken for a grown one.
    testkit::write_file(path, realtime_ending_at(now - 20 * hour, 50.f));
    rows = overview();
    EXPECT_EQ(rows[0].newest_time_file, now - 20 * hour);
    EXPECT_EQ(rows[0].depth, 50.f);

    // Without the home's notes the answer is the same.
    std::filesystem::remove(home.file(catalogue::overview_files::notes));
    EXPECT_EQ(overview()[0].newest_time_file, now - 20 * hour);
}

TEST_F(WellOverviewTest, ADamagedFileIsReadByTheReaderAndAnUnreadableOneIsNamed)
{
    const std::string folder = well("A", "1");
    testkit::RealtimeFile damaged(2, lib::enc_utf8);
    damaged.format(2, lib::enc_utf8).params(testkit::synthetic_params(3)).record(record_at(now - 3 * hour, 10.f));
    damaged.raw_header(0, 0).raw_bytes(testkit::Bytes(7, 0xEE));
    // The reader finds its way back after the damage where several whole sectors follow.
    for (std::uint32_t i = 0; i <= 6; ++i)
        damaged.record(record_at(now - 2 * hour + i * 60, 20.f + static_cast<float>(i)));
    damaged.save(folder + "1.realtim");
    // A depth file that cannot be opened (a link to nothing; a permission would not stop a
    // test run as root) is named, and the time file still counts.
    std::filesystem::create_symlink(folder + "gone.realdep", folder + "1.realdep");

    const auto rows = overview();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].newest_time_file, now - 2 * hour + 360);
    EXPECT_EQ(rows[0].depth, std::optional<float>(26.f));
    EXPECT_EQ(rows[0].unreadable, std::vector<std::string>{"1.realdep"});
}

TEST_F(WellOverviewTest, TheMergeIndexGivesTheNewestRecordOfAMergedFile)
{
    const std::string folder = well("A", "1");
    const std::string target = folder + "1.realtim";
    testkit::write_file(target, realtime_ending_at(now - 8 * hour, 700.f));
    const std::string source = home.file("arriving.realtim");
    testkit::write_file(source, realtime_ending_at(now - 4 * hour, 760.f));
    storage::MergeIndex index(home.file(storage::MergeIndex::file_name));
    ASSERT_TRUE(storage::merge_realtime(target, source, storage::MergeWrite::append, &index));
    index.save();

    const auto rows = overview();
    EXPECT_EQ(rows[0].newest_time_file, now - 4 * hour);
    EXPECT_EQ(rows[0].depth, 760.f);
    EXPECT_FALSE(rows[0].old);
}

// The first overview after a run's merges takes each merged file's newest record from the
// merge index, where the file is as the merge left it: a stat, never an open. A file grown
// since by another machine is opened and walked.
TEST_F(WellOverviewTest, FilesAsTheMergeLeftThemAreNotOpened)
{
    const std::string merged = well("A", "1") + "1.realtim";
    const std::string grown = well("A", "2") + "2.realtim";
    const std::string values_only = well("A", "3") + "3.realtim";
    for (const std::string& path : {merged, grown, values_only})
        testkit::write_file(path, realtime_ending_at(now - 8 * hour, 700.f));
    storage::MergeIndex index(home.file(storage::MergeIndex::file_name));
    const auto merge = [&](const std::string& target, const testkit::Bytes& bytes, storage::MergeIndex* into) {
        const std::string source = home.file("arriving.realtim");
        testkit::write_file(source, bytes);
        ASSERT_TRUE(storage::merge_realtime(target, source, storage::MergeWrite::append, into));
    };
    merge(merged, realtime_ending_at(now - 4 * hour, 760.f), &index);
    merge(grown, realtime_ending_at(now - 4 * hour, 760.f), &index);
    testkit::RealtimeFile last_without_depth(2, lib::enc_utf8);
    last_without_depth.format(2, lib::enc_utf8).params(testkit::synthetic_params(3)).record(record_at(now - 3 * hour, 780.f)).values_only(now - 2 * hour, {1, 2, 3});
    merge(values_only, last_without_depth.bytes(), &index);
    index.save();
    merge(grown, realtime_ending_at(now - hour, 790.f), nullptr); // another machine's run

    OpenWatch watch({merged, grown, values_only});
    const auto rows = overview();
    EXPECT_EQ(watch.opened(), std::set<std::string>{"2.realtim"});
    ASSERT_EQ(rows.size(), 3u);
    const std::map<std::string, std::pair<std::uint32_t, std::optional<float>>> expected = {
        {"1", {now - 4 * hour, 760.f}}, {"2", {now - hour, 790.f}}, {"3", {now - 2 * hour, 780.f}}};
    for (const catalogue::WellOverviewRow& row : rows)
        EXPECT_EQ(std::make_pair(row.newest_time_file, row.depth), expected.at(row.well)) << row.well;
}

TEST_F(WellOverviewTest, ArrivalsCountThePackagesOfEachWell)
{
    const std::string folder = well("A", "1");
    testkit::write_file(folder + "1.realtim", realtime_ending_at(now - hour, 10.f));
    well("A", "2");
    const std::string arrivals = home.file(catalogue::overview_files::arrivals);
    catalogue::record_arrival(arrivals, folder, now - 3 * hour);
    catalogue::record_arrival(arrivals, store.folder() + "A/1", now - 2 * hour);

    const auto rows = overview();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].well, "1");
    EXPECT_EQ(rows[1].packages, 2u);
    EXPECT_EQ(rows[1].last_arrival, now - 2 * hour);
    EXPECT_EQ(rows[0].well, "2");
    EXPECT_FALSE(rows[0].packages);
}

TEST(WellOverviewFiles, DamagedHomeFilesCountFromNothing)
{
    TempDir home;
    TempDir store;
    std::filesystem::create_directories(store.folder() + "A/1");
    testkit::write_file(store.folder() + "A/1/1.realtim", realtime_ending_at(now - hour, 5.f));
    // Notes cut inside an entry: read as none, the file is read again.
    home.write(catalogue::overview_files::notes, std::string("DRVXOVW2\x20\0\0\0/store", 17));
    const std::string arrivals = home.write(catalogue::overview_files::arrivals, std::string("DRVXARR1\x05", 9));
    catalogue::record_arrival(arrivals, store.folder() + "A/1/", 10);
    catalogue::OverviewRequest request;
    request.data_root = store.folder();
    request.state_folder = home.folder();
    request.now = now;
    const auto rows = catalogue::build_overview(request);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].packages, 1u);
    EXPECT_EQ(rows[0].last_arrival, 10u);
    EXPECT_EQ(rows[0].newest_time_file, now - hour);
}

} // namespace

TEST(WellOverviewTexts, TheCommandLineAndTheWindowShareTitlesCellsAndSummary)
{
    using catalogue::OverviewColumn;
    EXPECT_STREQ(catalogue::overview_columns[static_cast<int>(OverviewColumn::newest_time)].title, "Посл. запись\n(время)");
    EXPECT_EQ(catalogue::one_line_title(OverviewColumn::newest_time), "Посл. запись (время)");
    EXPECT_EQ(catalogue::one_line_title(OverviewColumn::last_package), "Последний пакет");

    catalogue::WellOverviewRow quiet;
    quiet.area = "Куст";
    quiet.old = true;
    catalogue::WellOverviewRow fed = quiet;
    fed.old = false;
    fed.packages = 3;
    fed.age = 1800;
    EXPECT_EQ(catalogue::cell_text(quiet, OverviewColumn::area), "Куст");
    EXPECT_EQ(catalogue::cell_text(quiet, OverviewColumn::packages), "");
    EXPECT_EQ(catalogue::cell_text(fed, OverviewColumn::packages), "3");
    EXPECT_EQ(catalogue::cell_text(quiet, OverviewColumn::age), "нет данных");
    EXPECT_EQ(catalogue::cell_text(fed, OverviewColumn::age), "0,5 ч");
    EXPECT_EQ(catalogue::cell_text(quiet, OverviewColumn::mark), "молчит");
    EXPECT_EQ(catalogue::summary_text({quiet, fed, quiet}, 6), "Скважин: 3, молчат более 6 ч: 2");
}
