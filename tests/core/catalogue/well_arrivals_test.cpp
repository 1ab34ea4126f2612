#include "catalogue/Well_overview.h"

#include "lib/io/Field_record.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include <sys/stat.h>

using testsupport::TempDir;

namespace {

using Arrivals = std::map<std::string, catalogue::WellArrivals>;

ino_t inode_of(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class WellArrivalsTest : public ::testing::Test {
protected:
    TempDir home;
    std::string path = home.file(catalogue::overview_files::arrivals);

    // Records `packages` arrivals in turn over the wells, returning what they should add up to.
    Arrivals record(int packages, const std::vector<std::string>& wells, std::uint32_t first_when = 1000)
    {
        Arrivals expected;
        for (int i = 0; i < packages; ++i) {
            const std::string& well = wells[static_cast<std::size_t>(i) % wells.size()];
            const std::uint32_t when = first_when + static_cast<std::uint32_t>(i);
            catalogue::record_arrival(path, "/store/" + well + "/", when);
            catalogue::WellArrivals& entry = expected["/store/" + well];
            ++entry.count;
            entry.last = when;
        }
        return expected;
    }
};

TEST_F(WellArrivalsTest, CountsAddUpAcrossManyPackagesAndSnapshots)
{
    // Past two snapshots of the file: every package counts once, the last arrival is the latest.
    const Arrivals expected = record(2500, {"A/1", "A/2", "B/7"});
    EXPECT_EQ(catalogue::read_arrivals(path), expected);
    // The records after the last snapshot stay few, whatever the number of packages.
    EXPECT_LT(std::filesystem::file_size(path), 64u * 1024);
}

TEST_F(WellArrivalsTest, APackageAppendsToTheFileWithoutReplacingIt)
{
    record(1, {"A/1"});
    const ino_t first = inode_of(path);
    record(5, {"A/1", "A/2"}, 2000);
    EXPECT_EQ(inode_of(path), first);
}

TEST_F(WellArrivalsTest, AFileOfTheOlderFormKeepsItsCounts)
{
    lib::io::FieldWriter w;
    w.out = "DRVXARR1";
    w.put(std::string("/store/A/1"));
    w.put(std::uint32_t{41});
    w.put(std::uint32_t{500});
    home.write(catalogue::overview_files::arrivals, w.out);
    EXPECT_EQ(catalogue::read_arrivals(path), (Arrivals{{"/store/A/1", {41, 500}}}));

    catalogue::record_arrival(path, "/store/A/1/", 900);
    catalogue::record_arrival(path, "/store/A/1/", 950);
    EXPECT_EQ(catalogue::read_arrivals(path), (Arrivals{{"/store/A/1", {43, 950}}}));
}

// A crash, or an overview reading while a run appends, meets the last record cut anywhere or
// with a byte not yet written: only that package is missing, and the next one counts on from
// what the file holds whole.
TEST_F(WellArrivalsTest, ARecordCutOrDamagedLosesOnlyItsPackage)
{
    record(3, {"A/1"});
    const std::string whole = testsupport::read_file(path);
    const Arrivals before_last = catalogue::read_arrivals(path);
    record(1, {"A/1"}, 5000);
    const std::string with_last = testsupport::read_file(path);
    ASSERT_GT(with_last.size(), whole.size());
    const Arrivals without_last = {{"/store/A/1", {3, 1002}}};
    ASSERT_EQ(before_last, without_last);

    std::vector<std::string> damaged;
    for (std::size_t cut = whole.size() + 1; cut < with_last.size(); ++cut)
        damaged.push_back(with_last.substr(0, cut));
    for (std::size_t at = whole.size(); at < with_last.size(); ++at) {
        std::string flipped = with_last;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x10);
        damaged.push_back(flipped);
    }
    for (const std::string& bytes : damaged) {
        SCOPED_TRACE(bytes.size());
        home.write(catalogue::overview_files::arrivals, bytes);
        const Arrivals read = catalogue::read_arrivals(path);
        EXPECT_EQ(read.at("/store/A/1"), without_last.at("/store/A/1"));
        catalogue::record_arrival(path, "/store/A/1/", 6000);
        EXPECT_EQ(catalogue::read_arrivals(path).at("/store/A/1"), (catalogue::WellArrivals{4, 6000}));
    }
}

TEST_F(WellArrivalsTest, ADamagedSnapshotOrAMissingFileReadsAsNone)
{
    EXPECT_TRUE(catalogue::read_arrivals(path).empty());
    EXPECT_TRUE(catalogue::read_arrivals("").empty());
    record(2, {"A/1"});
    std::string bytes = testsupport::read_file(path);
    bytes[12] = static_cast<char>(bytes[12] ^ 1); // inside the snapshot's first folder
    home.write(catalogue::overview_files::arrivals, bytes);
    EXPECT_TRUE(catalogue::read_arrivals(path).empty());
}

} // namespace
