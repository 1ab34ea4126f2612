// The first look at a real-time file: the records of its first sectors, each as a whole read
// has it, and nothing where only a whole read can judge the file.

#include "storage/Realtime_prefix.h"

#include "storage/Realtimedatareader.h"

#include "support/TempDir.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::TempDir;

namespace {

constexpr std::size_t records = 400;
constexpr std::size_t params = 5;

std::string write_file(const TempDir& dir, const std::string& name)
{
    const std::string path = dir.file(name);
    testkit::write_file(path, testkit::realtime_file(testkit::synthetic_params(params),
                                                     testkit::synthetic_records(records, params, 9), {"Куст=3"}, 2));
    return path;
}

TEST(RealtimePrefix, ReadsTheFirstSectorsAsTheWholeReadHasThem)
{
    TempDir dir;
    const std::string path = write_file(dir, "well.realtim");
    FileStorage whole;
    whole.load(path);
    FileStorage first;
    ASSERT_TRUE(storage::load_realtime_prefix(first, path, 6000));
    EXPECT_TRUE(first.warnings.empty());
    ASSERT_GT(first.records.size(), 0u);
    ASSERT_LT(first.records.size(), whole.records.size());
    EXPECT_EQ(first.param_count, whole.param_count);
    for (std::size_t r = 0; r < first.records.size(); ++r) {
        EXPECT_EQ(first.records[r]->time, whole.records[r]->time);
        EXPECT_EQ(first.records[r]->depth_z, whole.records[r]->depth_z);
        EXPECT_EQ(first.records[r]->values, whole.records[r]->values);
    }
}

TEST(RealtimePrefix, LeavesToTheWholeReadWhatOnlyItJudges)
{
    TempDir dir;
    const std::string path = write_file(dir, "well.realtim");
    const std::size_t size = std::filesystem::file_size(path);
    const std::string classic = dir.file("well.tim");
    std::filesystem::copy_file(path, classic);
    const std::string damaged = write_file(dir, "damaged.realtim");
    std::string bytes = testsupport::read_file(damaged);
    bytes[0] = 0; // no sector type
    dir.write("damaged.realtim", bytes);

    const struct {
        const char* what;
        std::string path;
        std::size_t bytes;
    } cases[] = {
        {"the whole file fits", path, size},
        {"not one sector fits", path, 10},
        {"a classic file", classic, 6000},
        {"a damaged start", damaged, 6000},
        {"no file", dir.file("none.realtim"), 6000},
    };
    for (const auto& c : cases) {
        FileStorage first;
        EXPECT_FALSE(storage::load_realtime_prefix(first, c.path, c.bytes)) << c.what;
    }
}

} // namespace
