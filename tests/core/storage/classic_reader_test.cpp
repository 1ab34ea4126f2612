#include "storage/Realtimedatareader.h"

#include "support/Expect.h"
#include "support/TempDir.h"
#include "testkit/Classic_writer.h"

#include <gtest/gtest.h>

#include <cmath>

using testsupport::TempDir;
using testsupport::times_of;

namespace {

FileStorageParam named(std::string name)
{
    FileStorageParam p;
    p.text1 = "Описание " + name;
    p.text2 = "ед";
    p.text3 = "кр";
    p.name = std::move(name);
    p.int_attr = 7;
    p.float_attr = 2.5f;
    return p;
}

testkit::ClassicRecord at(std::uint32_t time, float depth = 10)
{
    testkit::ClassicRecord r;
    r.time = time;
    r.operation = 4;
    r.depth_z = depth;
    r.depth_cur = depth + 1;
    for (std::size_t i = 0; i < r.values.size(); ++i)
        r.values[i] = static_cast<float>(time) + static_cast<float>(i) / 100;
    return r;
}

// A folder with "inpgti.nbl" and a data file.
class ClassicFolder : public ::testing::Test {
protected:
    std::string write(const std::vector<FileStorageParam>& params, const std::vector<testkit::ClassicRecord>& records,
                      const testkit::ClassicListLayout& layout = {})
    {
        testkit::write_file(dir.file("inpgti.nbl"), testkit::classic_param_list(params, layout));
        const std::string path = dir.file("run1.TIM");
        testkit::write_file(path, testkit::classic_file(records));
        return path;
    }

    TempDir dir;
    FileStorage model;
};

} // namespace

TEST_F(ClassicFolder, AShortListStillShowsThirtyTwoParametersWithDefaultsBehind)
{
    const std::string path = write({named("Глубина"), named("Вес"), named("Обороты")}, {at(100)});
    ASSERT_TRUE(model.load(path));
    EXPECT_EQ(model.realtime_form, 0);
    EXPECT_EQ(model.file_name, path);
    EXPECT_EQ(model.param_count, 32);
    EXPECT_EQ(model.params[2].name, "Обороты");
    EXPECT_EQ(model.params[0].text1, "Описание Глубина");
    EXPECT_EQ(model.params[0].int_attr, 7);
    EXPECT_EQ(model.params[3].name, "");
    EXPECT_EQ(model.params[3].float_attr, 100.0f);
    const FileStorageItem& r = *model.records.at(0);
    EXPECT_EQ(r.operation, 4);
    EXPECT_EQ(r.depth_z, 10.0f);
    EXPECT_EQ(r.lag_depth, 10.0f); // the classic form has one depth for both
    EXPECT_EQ(r.depth_cur, 11.0f);
    ASSERT_EQ(r.values.size(), 32u);
    EXPECT_EQ(r.values[31], 100.31f);
    EXPECT_TRUE(model.warnings.empty());
}

TEST_F(ClassicFolder, AnEntryWithAnEmptyNameEndsTheList)
{
    testkit::ClassicListLayout layout;
    layout.terminator = true;
    testkit::Bytes list = testkit::classic_param_list({named("a"), named("b"), named("c")}, layout);
    const testkit::Bytes more = testkit::classic_param_entry(named("after the end"));
    list.insert(list.end(), more.begin(), more.end());
    testkit::write_file(dir.file("inpgti.nbl"), list);
    testkit::write_file(dir.file("x.dep"), testkit::classic_file({at(5)}));
    model.load(dir.file("x.dep"));
    EXPECT_EQ(model.params[2].name, "c");
    EXPECT_EQ(model.params[3].name, "");
}

TEST_F(ClassicFolder, ADamagedListEndsWhereItBreaksAndTheLoadGoesOn)
{
    testkit::Bytes list = testkit::classic_param_list({named("a"), named("b")});
    testkit::shrink(list, 3);
    testkit::write_file(dir.file("inpgti.nbl"), list);
    testkit::write_file(dir.file("x.ldp"), testkit::classic_file({at(5)}));
    EXPECT_TRUE(model.load(dir.file("x.ldp")));
    EXPECT_EQ(model.params[0].name, "a");
    EXPECT_EQ(model.params[1].name, "");
}

TEST_F(ClassicFolder, EmptyRecordsAndRecordsOutsideTheTimeRangeAreSkipped)
{
    const std::string path = write({named("a")}, {at(0), at(999), at(1000), at(0), at(5000)});
    model.set_time_filter(1000, FileStorage::no_time_limit);
    model.load(path);
    EXPECT_EQ(times_of(model), (std::vector<std::uint32_t>{1000, 5000}));
}

TEST_F(ClassicFolder, ANegativeDepthStopsTheReadWithAWarningNamingTheAcceptedCount)
{
    std::vector<testkit::ClassicRecord> records = {at(0), at(1), at(2), at(3), at(4), at(5), at(6, -1.0f), at(7)};
    records[2].depth_cur = std::nanf(""); // not below 0: passes
    const std::string path = write({named("a")}, records);
    EXPECT_TRUE(model.load(path));
    EXPECT_EQ(model.records.size(), 5u);
    EXPECT_EQ(model.warnings, std::vector<std::string>{"Некорректная глубина на записи №5"});
}

TEST_F(ClassicFolder, ATrailingPartialRecordIsAWarningAndTheWholeRecordsStay)
{
    testkit::write_file(dir.file("inpgti.nbl"), testkit::classic_param_list({named("a")}));
    testkit::Bytes data = testkit::classic_file({at(1), at(2)});
    testkit::shrink(data, 10);
    testkit::write_file(dir.file("cut.tim"), data);
    EXPECT_TRUE(model.load(dir.file("cut.tim")));
    EXPECT_EQ(model.records.size(), 1u);
    EXPECT_EQ(model.warnings, std::vector<std::string>{"InputMappedFile::read: eof"});
}

TEST_F(ClassicFolder, LoadingTwiceDoublesTheRecords)
{
    const std::string path = write({named("a")}, {at(1), at(2)});
    model.load(path);
    model.load(path);
    EXPECT_EQ(model.records.size(), 4u);
    EXPECT_EQ(model.param_count, 32);
}

TEST_F(ClassicFolder, AMissingListOrDataFileIsTheCallersError)
{
    testkit::write_file(dir.file("x.tim"), testkit::classic_file({at(1)}));
    EXPECT_THROW(model.load(dir.file("x.tim")), lib::io::FileNotFoundError); // no inpgti.nbl
    EXPECT_EQ(model.file_name, dir.file("x.tim"));
    testkit::write_file(dir.file("inpgti.nbl"), testkit::classic_param_list({named("a")}));
    EXPECT_THROW(model.load(dir.file("y.tim")), lib::io::FileNotFoundError);
    EXPECT_EQ(model.params[0].name, "a"); // the list read before the data file stays
    EXPECT_FALSE(model.load(dir.write("empty.tim", "")));
}
