#include "storage/Realtimedatareader.h"

#include "support/Expect.h"
#include "support/TempDir.h"
#include "testkit/Bytes.h"

#include <gtest/gtest.h>

#include <cmath>

using testsupport::TempDir;
using testsupport::times_of;
using testsupport::message_of;

namespace {

FileStorageParam param(std::string name, std::string text1 = "t1", std::string text2 = "t2", std::string text3 = "t3")
{
    FileStorageParam p;
    p.name = std::move(name);
    p.text1 = std::move(text1);
    p.text2 = std::move(text2);
    p.text3 = std::move(text3);
    return p;
}

FileStorageItem record(std::uint32_t time, std::vector<float> values = {})
{
    FileStorageItem item;
    item.time = time;
    item.depth_z = static_cast<float>(time) / 10;
    item.depth_cur = item.depth_z + 1;
    item.lag_depth = item.depth_z - 1;
    item.operation = 3;
    item.values = std::move(values);
    return item;
}

// A saved real-time file with the given record times and two parameters.
std::string write_well_file(const TempDir& dir, const std::string& name, std::vector<std::uint32_t> times, int version = 2)
{
    FileStorage model;
    model.version = version;
    model.add_parameter(param("Глубина"));
    model.add_parameter(param("Вес"));
    for (std::uint32_t time : times)
        model.add_record(record(time, {1.5f, static_cast<float>(time)}));
    const std::string path = dir.file(name);
    model.save_realtime(path);
    return path;
}

} // namespace

TEST(FileStorageModel, StartsEmptyWithTheDefaults)
{
    FileStorage model;
    EXPECT_EQ(model.version, 2);
    EXPECT_EQ(model.time_from, 0u);
    EXPECT_EQ(model.time_to, 4294967295u);
    EXPECT_EQ(model.param_count, 0);
    EXPECT_EQ(model.params.size(), 512u);
    EXPECT_EQ(model.params[7].float_attr, 100.0f);
    EXPECT_EQ(model.lock.name(), "reg_data_file_mutex");
    const FileStorageItem item;
    EXPECT_EQ(item.reserved, (std::array<std::int32_t, 4>{-1, -1, -1, -1}));
    EXPECT_EQ(item.stamped, 1);
}

TEST(FileStorageModel, AParameterOfTheSameNameInAnyCaseIsTheSameParameter)
{
    FileStorage model;
    FileStorageParam first = param("Depth", "a", "b", "c");
    first.int_attr = 5;
    EXPECT_EQ(model.add_parameter(first), 0);
    FileStorageParam second = param("DEPTH", "x", "y", "z");
    second.int_attr = 9;
    EXPECT_EQ(model.add_parameter(second), 0);
    EXPECT_EQ(model.add_parameter(param("глубина")), 1);
    EXPECT_EQ(model.add_parameter(param("ГЛУБИНА")), 1);
    EXPECT_EQ(model.param_count, 2);
    EXPECT_EQ(model.params[0].text1, "x");
    EXPECT_EQ(model.params[0].text3, "z");
    EXPECT_EQ(model.params[0].name, "Depth");
    EXPECT_EQ(model.params[0].int_attr, 5); // only the three texts change
}

TEST(FileStorageModel, The513thParameterIsRefusedAndThe512Stay)
{
    FileStorage model;
    for (int i = 0; i < 512; ++i)
        model.add_parameter(param(testkit::numbered("p", i)));
    try {
        model.add_parameter(param("one too many"));
        FAIL() << "no exception";
    }
    catch (const FileStorageException& error) {
        EXPECT_STREQ(error.what(), "слишком много параметров");
        EXPECT_FALSE(error.critical());
    }
    EXPECT_EQ(model.param_count, 512);
}

TEST(FileStorageModel, ClearKeepsWarningsVariantAndTimeRange)
{
    FileStorage model;
    model.add_parameter(param("a"));
    model.add_record(record(5, {1}));
    model.text_values.set_value("Скважина", "12");
    model.warnings.push_back("msg_data_skips");
    model.version = 0;
    model.set_time_filter(10, 20);
    model.clear();
    EXPECT_TRUE(model.records.empty());
    EXPECT_EQ(model.param_count, 0);
    EXPECT_TRUE(model.text_values.lines().empty());
    EXPECT_EQ(model.warnings, std::vector<std::string>{"msg_data_skips"});
    EXPECT_EQ(model.version, 0);
    EXPECT_EQ(model.time_from, 10u);
}

TEST(FileStorageModel, RecordsPassedOverStillCountForTheLargestTimeUntilClear)
{
    FileStorage model;
    model.keep_records(false);
    model.add_record(record(30));
    model.add_record(record(70));
    model.add_record(record(50));
    model.keep_records(true);
    model.add_record(record(40));
    EXPECT_EQ(times_of(model), std::vector<std::uint32_t>{40});
    EXPECT_EQ(model.largest_time(), 70u);
    model.clear();
    EXPECT_EQ(model.largest_time(), 0u);
}

TEST(FileStorageModel, LoadChoosesTheReaderByTheExtensionInAnyCase)
{
    TempDir dir;
    const std::string realtime = write_well_file(dir, "x.RealTim", {100});
    FileStorage model;
    EXPECT_TRUE(model.load(realtime));
    EXPECT_EQ(model.realtime_form, 1);
    EXPECT_NE(model.file_time, 0);
    try {
        model.load(dir.write("x.TXT", "text"));
        FAIL() << "no exception";
    }
    catch (const FileStorageException& error) {
        EXPECT_STREQ(error.what(), "Неправильное расширение открываемого файла: .txt");
        EXPECT_TRUE(error.critical());
    }
    EXPECT_EQ(message_of([&] { model.load(dir.file("no-extension")); }), "Неправильное расширение открываемого файла: ");
}

TEST(FileStorageTextValuesTest, SetsReplacesAndRemovesByNameWithoutRegardToCase)
{
    FileStorage model;
    FileStorageTextValues& values = model.text_values;
    values.set_value("Куст", "5");
    values.set_value("Скважина", "12");
    values.set_value("КУСТ", "6");
    EXPECT_EQ(values.value("куст"), "6");
    EXPECT_EQ(values.lines(), (std::vector<std::string>{"КУСТ=6", "Скважина=12"}));
    values.set_value("куст", "");
    EXPECT_EQ(values.text(), "Скважина=12\r\n");
    EXPECT_EQ(&values.owner(), &model);
}

TEST(RealtimeWriter, ANewVariantFileStartsWithItsFormatSector)
{
    TempDir dir;
    const std::string bytes = testsupport::read_file(write_well_file(dir, "a.realtim", {100}));
    const std::string expected_prefix = std::string("\x63\x08\x00", 3)        // type 99, body of 8 bytes
                                        + std::string("\x02\x00\x00\x00", 4)  // version 2
                                        + std::string("\x03\x00\x00\x00", 4)  // encoding 3: UTF-8
                                        + std::string("\x02", 1);             // then the parameter sector
    EXPECT_EQ(bytes.substr(0, expected_prefix.size()), expected_prefix);
}

TEST(RealtimeWriter, AnOldVariantFileStartsWithTheParameterSectorAndAnEightBitCount)
{
    TempDir dir;
    const std::string bytes = testsupport::read_file(write_well_file(dir, "a.realtim", {100}, 0));
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 2);
    EXPECT_EQ(bytes[3], 2); // two parameters
}

TEST(RealtimeWriter, RoundTripsParametersRecordsTextsAndRemarksInBothVariants)
{
    for (const int version : {0, 2}) {
        TempDir dir;
        FileStorage model;
        model.version = version;
        model.add_parameter(param("Глубина", "Глубина забоя", "м", "ГЛБ"));
        model.add_parameter(param("Нагрузка", "Вес на крюке", "т", "ВЕС"));
        FileStorageItem item = record(1000, {12.5f, -3.25f});
        item.subsecond = 7;
        model.add_record(item);
        model.add_record(record(1002, {std::nanf(""), 1e-7f}));
        FileStorageItem values_only;
        values_only.time = 1003;
        values_only.stamped = 0;
        values_only.operation = 255;
        values_only.values = {4.5f, 6};
        model.add_record(values_only);
        model.text_values.set_value("Месторождение", "Южное");
        model.text_values.set_value("Скважина", "12-бис");
        model.remarks.push_back(SimpleRemark{1, 2, 3, "Долив в 14:20"});
        const std::string path = dir.file("w.realtim");
        model.save_realtime(path);

        FileStorage back;
        back.load(path);
        ASSERT_EQ(back.param_count, 2) << version;
        EXPECT_EQ(back.version, version);
        EXPECT_EQ(back.params[0].text1, "Глубина забоя");
        EXPECT_EQ(back.params[0].text2, "м");
        EXPECT_EQ(back.params[0].text3, "ГЛБ");
        ASSERT_EQ(back.records.size(), 3u);
        EXPECT_EQ(back.records[0]->values, (std::vector<float>{12.5f, -3.25f}));
        EXPECT_EQ(back.records[0]->subsecond, version == 2 ? 7 : 0);
        EXPECT_EQ(back.records[0]->depth_cur, 101.0f);
        EXPECT_EQ(back.records[0]->lag_depth, 99.0f);
        EXPECT_EQ(back.records[0]->operation, 3);
        EXPECT_TRUE(std::isnan(back.records[1]->values[0]));
        // A values-only record stays one: no head, so no depths of 0 that were never measured.
        EXPECT_EQ(back.records[2]->stamped, 0) << version;
        EXPECT_EQ(back.records[2]->operation, 255);
        EXPECT_EQ(back.records[2]->time, 1003u);
        EXPECT_EQ(back.records[2]->values, (std::vector<float>{4.5f, 6}));
        EXPECT_EQ(back.text_values.lines(), model.text_values.lines());
        EXPECT_EQ(back.remarks, model.remarks) << version;
        EXPECT_TRUE(back.warnings.empty());
    }
}

TEST(RealtimeWriter, OldVariantKeepsCp1251AndLosesWhatItCannotHold)
{
    TempDir dir;
    FileStorage model;
    model.version = 0;
    model.add_parameter(param("Σ-сумма"));
    const std::string path = dir.file("o.realtim");
    model.save_realtime(path);
    FileStorage back;
    back.load(path);
    EXPECT_EQ(back.params[0].name, "?-сумма");
}

TEST(RealtimeWriter, ATextAreaLongerThanOneSectorIsSplitBetweenLines)
{
    TempDir dir;
    FileStorage model;
    for (int i = 0; i < 3000; ++i)
        model.text_values.set_value("ключ" + std::to_string(i), std::string(20, 'x'));
    const std::string path = dir.file("long.realtim");
    model.save_realtime(path);
    FileStorage back;
    back.load(path);
    EXPECT_EQ(back.text_values.lines(), model.text_values.lines());
    EXPECT_TRUE(back.warnings.empty());
}

TEST(RealtimeWriter, SectorsThatCannotBeWrittenWholeAreRefusedAndTheOldFileStays)
{
    TempDir dir;
    const std::string path = dir.write("keep.realtim", "old");
    struct Case {
        const char* name;
        std::function<void(FileStorage&)> fill;
    };
    const Case cases[] = {
        {"one text line over 32767 bytes", [](FileStorage& m) { m.text_values.set_value("k", std::string(40000, 'y')); }},
        {"parameters over 32767 bytes",
         [](FileStorage& m) {
             for (int i = 0; i < 100; ++i)
                 m.add_parameter(param(testkit::numbered("p", i), std::string(400, 'z')));
         }},
        {"old variant with 300 parameters",
         [](FileStorage& m) {
             m.version = 0;
             for (int i = 0; i < 300; ++i)
                 m.add_parameter(param(testkit::numbered("p", i)));
         }},
    };
    for (const Case& c : cases) {
        FileStorage model;
        c.fill(model);
        EXPECT_THROW(model.save_realtime(path), FileStorageException) << c.name;
        EXPECT_EQ(testsupport::read_file(path), "old") << c.name;
    }
}

TEST(FileStorageMerge, OnlyRecordsTwoUnitsNewerThanTheLastAreAdded)
{
    TempDir dir;
    const std::string existing = write_well_file(dir, "well.realtim", {100, 200});
    const std::string arriving = write_well_file(dir, "new.realtim", {150, 201, 202, 300});
    FileStorage model;
    model.load(existing);
    model.set_time_filter(model.largest_time() + 2, FileStorage::no_time_limit);
    model.load(arriving);
    EXPECT_EQ(times_of(model), (std::vector<std::uint32_t>{100, 200, 202, 300}));
    EXPECT_EQ(model.param_count, 2); // the same names got the same indexes
}

TEST(FileStorageMerge, SaveOfAClassicModelWritesNothing)
{
    TempDir dir;
    FileStorage model;
    model.realtime_form = 0;
    model.save(dir.file("x.tim"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.tim")));
    model.realtime_form = 1;
    model.save(dir.file("x.realtim"));
    EXPECT_TRUE(std::filesystem::exists(dir.file("x.realtim")));
}
