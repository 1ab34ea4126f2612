#include "storage/Realtimedatareader.h"

#include "support/Expect.h"
#include "support/TempDir.h"
#include "testkit/Bytes.h"
#include "testkit/Realtime_writer.h"

#include <gtest/gtest.h>

using testkit::Bytes;
using testkit::RealtimeFile;
using testsupport::TempDir;
using testsupport::times_of;

namespace {

FileStorageParam named(std::string name, std::string text2 = "ед", std::string text3 = "кр")
{
    FileStorageParam p;
    p.name = std::move(name);
    p.text1 = "описание";
    p.text2 = std::move(text2);
    p.text3 = std::move(text3);
    return p;
}

const std::vector<FileStorageParam> two_params = {named("Глубина"), named("Вес")};

FileStorageItem at(std::uint32_t time, std::vector<float> values = {1, 2})
{
    FileStorageItem item;
    item.time = time;
    item.depth_z = 5;
    item.values = std::move(values);
    return item;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class RealtimeLoad : public ::testing::Test {
protected:
    FileStorage& load(const Bytes& bytes)
    {
        const std::string path = dir.file("well.realtim");
        testkit::write_file(path, bytes);
        EXPECT_TRUE(model.load(path));
        return model;
    }

    TempDir dir;
    FileStorage model;
};

using Warnings = std::vector<std::string>;

} // namespace

TEST_F(RealtimeLoad, ASectorThatFailsInTheNewVariantIsReadAgainAsOld)
{
    const Bytes bytes = RealtimeFile().format(2, lib::enc_utf8).bytes()
                        + RealtimeFile(0).params(two_params).record(at(10)).record(at(11)).bytes();
    load(bytes);
    EXPECT_EQ(model.warnings, Warnings{"msg_data_old_version"});
    EXPECT_EQ(model.version, 0);
    EXPECT_EQ(model.encoding, lib::enc_1251);
    EXPECT_EQ(model.params[1].name, "Вес");
    EXPECT_EQ(times_of(model), (std::vector<std::uint32_t>{10, 11}));
}

TEST_F(RealtimeLoad, TheSubsecondByteCountsFromVersionTwoOn)
{
    FileStorageItem item = at(10);
    item.subsecond = 9;
    for (const int version : {1, 2}) {
        FileStorage fresh;
        testkit::write_file(dir.file("v.realtim"), RealtimeFile().format(version, lib::enc_utf8).params(two_params).record(item).bytes());
        fresh.load(dir.file("v.realtim"));
        ASSERT_EQ(fresh.records.size(), 1u);
        EXPECT_EQ(fresh.records[0]->subsecond, version == 2 ? 9 : 0);
        EXPECT_EQ(fresh.version, version);
    }
}

TEST_F(RealtimeLoad, ARecordWithFewerValuesThanColumnsIsKeptAndWarnedOnce)
{
    std::vector<FileStorageParam> twelve;
    for (int i = 0; i < 12; ++i)
        twelve.push_back(named(testkit::numbered("p", i)));
    RealtimeFile file(2, lib::enc_utf8);
    file.format(2, lib::enc_utf8).params(twelve);
    file.record(at(1, std::vector<float>(10, 3.0f)));
    file.record(at(2, std::vector<float>(10, 4.0f)));
    load(file.bytes());
    ASSERT_EQ(model.records.size(), 2u);
    EXPECT_EQ(model.records[0]->values.size(), 12u);
    EXPECT_EQ(model.records[0]->values[9], 3.0f);
    EXPECT_EQ(model.records[0]->values[10], 0.0f);
    EXPECT_EQ(model.warnings, Warnings{"msg_data_skips"});
}

TEST_F(RealtimeLoad, AValueBeyondTenToTheTwentyZeroesTheWholeRecord)
{
    load(RealtimeFile(0).params(two_params).record(at(1, {7, 3e20f})).record(at(2, {7, -2e20f})).record(at(3, {7, 9e19f})).bytes());
    EXPECT_EQ(model.records[0]->values, (std::vector<float>{0, 0}));
    EXPECT_EQ(model.records[1]->values, (std::vector<float>{0, 0}));
    EXPECT_EQ(model.records[2]->values, (std::vector<float>{7, 9e19f}));
}

TEST_F(RealtimeLoad, TextValuesLoseEnclosingQuotesAndUnsetValues)
{
    load(RealtimeFile(0)
             .params(two_params)
             .text_area({"Куст=\"abc\"", "Скважина=\"::НЕ ЗАДАНО::\"", "Пласт=\"", "без знака равенства", "Куст2=\"\""})
             .bytes());
    EXPECT_EQ(model.text_values.lines(), (std::vector<std::string>{"Куст=abc", "Пласт=\""}));
    EXPECT_TRUE(model.warnings.empty());
}

TEST_F(RealtimeLoad, ATextAreaWithoutItsZeroByteFailsAndTheReaderSearchesOn)
{
    load(RealtimeFile(0)
             .params(two_params)
             .record(at(1))
             .raw_sector(testkit::realtime::type_text_area, {'a', '=', 'b'})
             .record(at(2))
             .record(at(3))
             .bytes());
    EXPECT_EQ(times_of(model), (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_TRUE(model.text_values.lines().empty());
    EXPECT_EQ(model.warnings, Warnings{"msg_data_corrupt"});
}

TEST_F(RealtimeLoad, ReservedSectorTypesAreSkippedQuietly)
{
    load(RealtimeFile(0).params(two_params).raw_sector(42, Bytes(10, 0xEE)).record(at(1)).bytes());
    EXPECT_EQ(times_of(model), std::vector<std::uint32_t>{1});
    EXPECT_TRUE(model.warnings.empty());
}

TEST_F(RealtimeLoad, RecordsOutsideTheTimeRangeAddNothingAndReadingGoesOn)
{
    model.set_time_filter(100, 200);
    load(RealtimeFile(0)
             .params(two_params)
             .record(at(99))
             .values_only(50, {1, 2})
             .record(at(150))
             .values_only(160, {8, 9})
             .record(at(201))
             .text_area({"a=b"})
             .bytes());
    EXPECT_EQ(times_of(model), (std::vector<std::uint32_t>{150, 160}));
    EXPECT_EQ(model.records[1]->stamped, 0);
    EXPECT_EQ(model.records[1]->operation, 255);
    EXPECT_EQ(model.records[1]->values, (std::vector<float>{8, 9}));
    EXPECT_EQ(model.text_values.value("a"), "b");
    EXPECT_TRUE(model.warnings.empty());
}

TEST_F(RealtimeLoad, ASecondFileWithTheSameNamesInAnotherOrderLandsUnderTheSameParameters)
{
    load(RealtimeFile(0).params(two_params).record(at(1, {10, 20})).bytes());
    const std::string second = dir.file("second.realtim");
    testkit::write_file(second, RealtimeFile().format(2, lib::enc_utf8)
                                    .params({named("Обороты"), named("ВЕС"), named("глубина")})
                                    .record(at(2, {30, 21, 11}))
                                    .bytes());
    model.load(second);
    EXPECT_EQ(model.param_count, 3);
    EXPECT_EQ(model.records[0]->values, (std::vector<float>{10, 20, 0})); // widened
    EXPECT_EQ(model.records[1]->values, (std::vector<float>{11, 21, 30}));
}

TEST_F(RealtimeLoad, ADamagedSectorIsPassedByAndTheRecordsAfterItAreKept)
{
    RealtimeFile file(0);
    file.params(two_params).record(at(1)).record(at(2));
    const std::size_t damaged = file.size();
    file.record(at(3));
    for (std::uint32_t t = 4; t < 12; ++t)
        file.record(at(t));
    Bytes bytes = file.bytes();
    testkit::set_byte(bytes, damaged, 0); // type 0 cannot be
    load(bytes);
    EXPECT_EQ(times_of(model), (std::vector<std::uint32_t>{1, 2, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(model.warnings, Warnings{"msg_data_corrupt"});
}

TEST_F(RealtimeLoad, TheTailAfterADamagedSectorNearTheEndIsKept)
{
    RealtimeFile file(0);
    file.params(two_params).record(at(1));
    const std::size_t damaged = file.size();
    file.record(at(2)).record(at(3)).record(at(4));
    Bytes bytes = file.bytes();
    testkit::set_byte(bytes, damaged, 120); // no such type
    load(bytes);
    EXPECT_EQ(times_of(model), (std::vector<std::uint32_t>{1, 3, 4}));
    EXPECT_EQ(model.warnings, Warnings{"msg_data_corrupt"});
}

TEST_F(RealtimeLoad, ALastSectorCutOffByTheEndLosesOnlyThatSector)
{
    struct Case {
        const char* name;
        std::size_t cut;
    };
    for (const Case c : {Case{"inside the values", 5}, Case{"inside the head", 30}, Case{"inside the header", 47}}) {
        Bytes bytes = RealtimeFile().format(2, lib::enc_utf8).params(two_params).record(at(1)).record(at(2)).record(at(3)).bytes();
        testkit::shrink(bytes, c.cut);
        FileStorage fresh;
        testkit::write_file(dir.file("cut.realtim"), bytes);
        ASSERT_NO_THROW(fresh.load(dir.file("cut.realtim"))) << c.name;
        EXPECT_EQ(times_of(fresh), (std::vector<std::uint32_t>{1, 2})) << c.name;
        EXPECT_EQ(fresh.warnings, Warnings{"msg_data_corrupt"}) << c.name;
    }
}

TEST_F(RealtimeLoad, AnUnknownEncodingInTheFormatSectorKeepsTheCurrentOne)
{
    RealtimeFile file(0);
    file.raw_sector(testkit::realtime::type_format, testkit::ByteWriter().put_i32(2).put_i32(77).take());
    load(file.use_encoding(lib::enc_1251).params(two_params).record(at(1)).bytes());
    EXPECT_EQ(model.params[0].name, "Глубина");
    EXPECT_EQ(model.encoding, lib::enc_1251);
}

TEST_F(RealtimeLoad, ValuesOfColumnsWithoutAParameterAreDropped)
{
    // Records before any parameter sector, and more values than declared columns.
    load(RealtimeFile().format(2, lib::enc_utf8).record(at(1, {5, 6})).params({named("a")}).record(at(2, {7, 8, 9})).bytes());
    ASSERT_EQ(model.records.size(), 2u);
    EXPECT_EQ(model.records[0]->values, std::vector<float>{0}); // widened when "a" arrived
    EXPECT_EQ(model.records[1]->values, std::vector<float>{7});
    FileStorage old_model;
    testkit::write_file(dir.file("old.realtim"), RealtimeFile(0).record(at(1)).bytes());
    old_model.load(dir.file("old.realtim"));
    EXPECT_TRUE(old_model.records.empty()); // the old variant drops records without parameters
}

TEST_F(RealtimeLoad, RemarksAreRead)
{
    load(RealtimeFile(0).params(two_params).remark(SimpleRemark{1, 2, 3, "Примечание"}).bytes());
    ASSERT_EQ(model.remarks.size(), 1u);
    EXPECT_EQ(model.remarks[0].value3, 3u);
    EXPECT_EQ(model.remarks[0].text, "Примечание");
}

TEST_F(RealtimeLoad, ANoLockingMarkerLetsAFileLockedByAnotherReaderBeRead)
{
    const std::string path = dir.file("well.realtim");
    testkit::write_file(path, RealtimeFile(0).params(two_params).record(at(1)).bytes());
    lib::io::OSFile reader; // another reader: the lock cannot be had while it reads
    reader.open(path, lib::io::open_read, false);
    testkit::write_file(dir.file(".nolocking"), {});
    EXPECT_TRUE(model.load(path));
    EXPECT_EQ(model.records.size(), 1u);
}
