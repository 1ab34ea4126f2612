// The test kit's writers against hand-written bytes: if these drift, every reader test
// built on the kit would be checking the wrong layout.
#include "testkit/Bytes.h"
#include "testkit/Classic_writer.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"

#include "lib/Strworks.h"

#include "support/Testkit_fixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

using namespace testkit;
using testsupport::cat;
using testsupport::depth_param;

namespace {

Bytes prefix(const Bytes& bytes, std::size_t n)
{
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(n, bytes.size())));
}

FileStorageItem sample_item()
{
    FileStorageItem item;
    item.time = 1'600'000'000;
    item.depth_z = 1234.5f;
    item.lag_depth = 1230.0f;
    item.depth_cur = 1000.0f;
    item.operation = 3;
    item.values = {1.0f, -1.0f};
    return item;
}

} // namespace

TEST(TestkitBytes, ByteWriterPutsLittleEndianNumbersAndZeroEndedStrings)
{
    struct Case {
        const char* what;
        std::function<void(ByteWriter&)> put;
        Bytes expected;
    };
    const Case cases[] = {
        {"u8", [](ByteWriter& w) { w.put_u8(0xAB); }, {0xAB}},
        {"i16 negative", [](ByteWriter& w) { w.put_i16(-2); }, {0xFE, 0xFF}},
        {"u32", [](ByteWriter& w) { w.put_u32(0x01020304); }, {0x04, 0x03, 0x02, 0x01}},
        {"i32 negative", [](ByteWriter& w) { w.put_i32(-1); }, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"f32", [](ByteWriter& w) { w.put_f32(1.0f); }, {0x00, 0x00, 0x80, 0x3F}},
        {"1251", [](ByteWriter& w) { w.put_string("Да", lib::enc_1251); }, {0xC4, 0xE0, 0x00}},
        {"866", [](ByteWriter& w) { w.put_string("Да", lib::enc_866); }, {0x84, 0xA0, 0x00}},
        {"UTF-8", [](ByteWriter& w) { w.put_string("Да", lib::enc_utf8); }, {0xD0, 0x94, 0xD0, 0xB0, 0x00}},
        {"empty string", [](ByteWriter& w) { w.put_string("", lib::enc_none); }, {0x00}},
    };
    for (const Case& c : cases) {
        ByteWriter writer;
        c.put(writer);
        EXPECT_EQ(hex_dump(writer.bytes()), hex_dump(c.expected)) << c.what;
    }
}

TEST(TestkitBytes, TextWithoutAConverterIsRefusedRatherThanDropped)
{
    ByteWriter writer;
    EXPECT_THROW(writer.put_string("abc", lib::enc_none), std::invalid_argument);
    EXPECT_THROW(writer.put_string("abc", 42), std::invalid_argument);
}

TEST(TestkitBytes, DamageHelpersChangeOnlyWhatTheySayAndRefuseOffsetsPastTheEnd)
{
    Bytes bytes = {0x00, 0x01, 0xFF};
    increment_byte(bytes, 2); // wraps
    set_byte(bytes, 0, 0x42);
    insert_garbage(bytes, 1, {0xEE, 0xEE});
    insert_garbage(bytes, bytes.size(), {0x77}); // at the end appends
    EXPECT_EQ(hex_dump(bytes), "42 EE EE 01 00 77");
    shrink(bytes, 2);
    EXPECT_EQ(hex_dump(bytes), "42 EE EE 01");

    EXPECT_THROW(increment_byte(bytes, 4), std::out_of_range);
    EXPECT_THROW(set_byte(bytes, 4, 0), std::out_of_range);
    EXPECT_THROW(insert_garbage(bytes, 5, {0}), std::out_of_range);
    EXPECT_THROW(shrink(bytes, 5), std::out_of_range);
    EXPECT_EQ(bytes.size(), 4u);
}

TEST(TestkitClassic, RecordIs145BytesWithGarbageInTheUnusedTail)
{
    ClassicRecord record;
    record.operation = 3;
    record.time = 1'600'000'000;
    record.depth_z = 1234.5f;
    record.depth_cur = 1000.0f;
    record.values[0] = 1.0f;
    record.values[1] = -1.0f;
    record.values[31] = 2.5f;

    const Bytes expected = cat({
        {0x03},                   // 0: operation
        {0x00, 0x10, 0x5E, 0x5F}, // 1: time 1600000000
        {0x00, 0x50, 0x9A, 0x44}, // 5: depth_z 1234.5
        {0x00, 0x00, 0x7A, 0x44}, // 9: depth_cur 1000.0
        {0x00, 0x00, 0x80, 0x3F}, // 13: value 0 = 1.0
        {0x00, 0x00, 0x80, 0xBF}, // 17: value 1 = -1.0
        Bytes(29 * 4, 0x00),      // 21: values 2..30
        {0x00, 0x00, 0x20, 0x40}, // 137: value 31 = 2.5
        {0xA5, 0x5A, 0xC3, 0x3C}, // 141: unused, nonzero
    });
    ASSERT_EQ(expected.size(), 145u);
    EXPECT_EQ(hex_dump(classic_record(record)), hex_dump(expected));
    EXPECT_EQ(classic_file({record, record}).size(), 290u);
}

TEST(TestkitClassic, ListEntryHoldsFourStringsThenGarbageAroundTheAttributes)
{
    const Bytes expected = {
        0xEC, 0x00,                                     // text1 "м" (1251)
        0x44, 0x45, 0x50, 0x54, 0x00,                   // text2 "DEPT"
        0xEA, 0x30, 0x00,                               // text3 "к0"
        0xC3, 0xEB, 0xF3, 0xE1, 0xE8, 0xED, 0xE0, 0x00, // name "Глубина"
        0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6,             // 12 unused bytes
        0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC,             //
        0x07, 0x00, 0x00, 0x00,                         // int_attr 7
        0x00, 0x00, 0xC8, 0x42,                         // float_attr 100.0
        0xD1, 0xD2, 0xD3, 0xD4, 0xD5,                   // 5 unused bytes
    };
    EXPECT_EQ(hex_dump(classic_param_entry(depth_param())), hex_dump(expected));
}

TEST(TestkitClassic, ListEndsWithAnEmptyNamedEntryOnlyWhenAsked)
{
    ClassicListLayout layout;
    layout.gap.fill(0);
    layout.tail.fill(0);
    const Bytes entry = classic_param_entry(depth_param(), layout);
    EXPECT_EQ(hex_dump(classic_param_list({depth_param()}, layout)), hex_dump(entry));

    layout.terminator = true;
    const Bytes terminator = cat({
        {0x00, 0x00, 0x00, 0x00}, // text1, text2, text3, name: all empty
        Bytes(12, 0x00),          // unused
        {0x00, 0x00, 0x00, 0x00}, // int_attr 0
        {0x00, 0x00, 0xC8, 0x42}, // float_attr 100.0
        Bytes(5, 0x00),           // unused
    });
    EXPECT_EQ(hex_dump(classic_param_list({depth_param()}, layout)), hex_dump(cat({entry, terminator})));
}

TEST(TestkitRealtime, NewVariantFileOpensWithFormatThenParameters)
{
    const Bytes expected = {
        0x63, 0x08, 0x00,             // sector 99, body 8
        0x02, 0x00, 0x00, 0x00,       // version 2
        0x03, 0x00, 0x00, 0x00,       // encoding 3 (UTF-8)
        0x02, 0x27, 0x00,             // sector 2, body 39
        0x01, 0x00, 0x00, 0x00,       // column count, 32-bit
        0xD0, 0xBC, 0x00,             // text1 "м"
        0xD0, 0xBA, 0x30, 0x00,       // text3 "к0": second in this form
        0x44, 0x45, 0x50, 0x54, 0x00, // text2 "DEPT"
        0xD0, 0x93, 0xD0, 0xBB, 0xD1, 0x83, 0xD0, 0xB1, 0xD0, 0xB8, 0xD0, 0xBD, 0xD0, 0xB0, 0x00, // name "Глубина"
        0x07, 0x00, 0x00, 0x00,       // int_attr 7
        0x00, 0x00, 0xC8, 0x42,       // float_attr 100.0
    };
    RealtimeFile file;
    file.format(2, lib::enc_utf8).params({depth_param()});
    EXPECT_TRUE(file.new_variant());
    EXPECT_EQ(hex_dump(file.bytes()), hex_dump(expected));

    const Bytes whole = realtime_file({depth_param()}, {sample_item()}, {"a=b"}, 2);
    EXPECT_EQ(hex_dump(prefix(whole, expected.size())), hex_dump(expected));
}

TEST(TestkitRealtime, OldVariantFileStartsWithParametersIn1251AndAnEightBitCount)
{
    const Bytes whole = realtime_file({depth_param()}, {sample_item()}, {"a=b"}, 0);
    const Bytes expected = {
        0x02, 0x1B, 0x00, // sector 2, body 27
        0x01,             // column count, 8-bit
        0xEC, 0x00,       // text1 "м" (1251)
        0xEA, 0x30, 0x00, // text3 "к0"
    };
    EXPECT_EQ(hex_dump(prefix(whole, expected.size())), hex_dump(expected));
}

TEST(TestkitRealtime, OldRecordHeadIs18BytesWithAnEightBitCount)
{
    const Bytes expected = {
        0x01, 0x1A, 0x00,       // sector 1, body 18 + 2 * 4
        0x00, 0x10, 0x5E, 0x5F, // 0: time 1600000000
        0x00, 0x50, 0x9A, 0x44, // 4: depth_z 1234.5
        0x00, 0xC0, 0x99, 0x44, // 8: lag_depth 1230.0
        0x03,                   // 12: operation
        0x00, 0x00, 0x7A, 0x44, // 13: depth_cur 1000.0
        0x02,                   // 17: count of values
        0x00, 0x00, 0x80, 0x3F, // 18: value 0 = 1.0
        0x00, 0x00, 0x80, 0xBF, // 22: value 1 = -1.0
    };
    RealtimeFile file;
    file.record(sample_item());
    EXPECT_EQ(hex_dump(file.bytes()), hex_dump(expected));

    RealtimeFile declared;
    declared.record(sample_item(), 300); // the field keeps the low 8 bits
    EXPECT_EQ(declared.bytes()[3 + 17], 0x2C);
}

TEST(TestkitRealtime, NewRecordHeadIs45BytesWithItsConstantsAndTheDeclaredCount)
{
    FileStorageItem item = sample_item();
    item.reserved = {1, 2, 3, 4};
    item.subsecond = 9;
    const Bytes expected = {
        0x01, 0x35, 0x00,       // sector 1, body 45 + 2 * 4
        0x00, 0x10, 0x5E, 0x5F, // 0: time
        0x00, 0x50, 0x9A, 0x44, // 4: depth_z
        0x00, 0xC0, 0x99, 0x44, // 8: lag_depth
        0x03,                   // 12: operation
        0x00, 0x00, 0x7A, 0x44, // 13: depth_cur
        0x03, 0x00, 0x00, 0x00, // 17: reserved[2]
        0x04, 0x00, 0x00, 0x00, // 21: reserved[3]
        0x0E, 0x00, 0x00, 0x00, // 25: 14
        0x05, 0x00, 0x00, 0x00, // 29: 5
        0x04, 0x00, 0x00, 0x00, // 33: 4
        0x07, 0x2F, 0x6B,       // 37: 7, 47, 107
        0x09,                   // 40: subsecond
        0x0C, 0x00, 0x00, 0x00, // 41: count of values, declared 12 against 2 written
        0x00, 0x00, 0x80, 0x3F, // 45: value 0
        0x00, 0x00, 0x80, 0xBF, // 49: value 1
    };
    RealtimeFile file(2, lib::enc_utf8);
    file.record(item, 12);
    EXPECT_EQ(hex_dump(file.bytes()), hex_dump(expected));
}

TEST(TestkitRealtime, TextAreaEndsEveryLineWithCrLfAndTheBodyWithAZero)
{
    const Bytes expected = {
        0x03, 0x12, 0x00,                                     // sector 3, body 18
        0x57, 0x65, 0x6C, 0x6C, 0x3D, 0x31, 0x32, 0x0D, 0x0A, // "Well=12" CR LF
        0xCA, 0xF3, 0xF1, 0xF2, 0x3D, 0x33, 0x0D, 0x0A,       // "Куст=3" CR LF (1251)
        0x00,                                                 // the zero byte, last of the body
    };
    RealtimeFile file;
    file.text_area({"Well=12", "Куст=3"});
    EXPECT_EQ(hex_dump(file.bytes()), hex_dump(expected));

    RealtimeFile empty;
    empty.text_area({});
    EXPECT_EQ(hex_dump(empty.bytes()), "03 01 00 00");
}

TEST(TestkitRealtime, SmallSectorsAndRawPieces)
{
    struct Case {
        const char* what;
        std::function<void(RealtimeFile&)> write;
        const char* expected;
    };
    const Case cases[] = {
        {"remark: three words, then text",
         [](RealtimeFile& f) { f.remark({1, 2, 3, "ok"}); },
         "04 0F 00 01 00 00 00 02 00 00 00 03 00 00 00 6F 6B 00"},
        {"values-only: time, then floats",
         [](RealtimeFile& f) { f.values_only(7, {1.0f}); },
         "05 08 00 07 00 00 00 00 00 80 3F"},
        {"raw sector with an empty body", [](RealtimeFile& f) { f.raw_sector(42, {}); }, "2A 00 00"},
        {"raw header with a negative size", [](RealtimeFile& f) { f.raw_header(1, -1); }, "01 FF FF"},
        {"raw bytes", [](RealtimeFile& f) { f.raw_bytes({0xDE, 0xAD}); }, "DE AD"},
    };
    for (const Case& c : cases) {
        RealtimeFile file;
        c.write(file);
        EXPECT_EQ(hex_dump(file.bytes()), c.expected) << c.what;
    }
}

TEST(TestkitRealtime, BodyTooLongForASixteenBitSizeIsRefused)
{
    RealtimeFile file;
    EXPECT_NO_THROW(file.raw_sector(42, Bytes(32767, 0x11)));
    const std::size_t before = file.size();
    EXPECT_THROW(file.raw_sector(42, Bytes(32768, 0x11)), std::length_error);
    EXPECT_THROW(file.text_area({std::string(40000, 'x')}), std::length_error);
    EXPECT_EQ(file.size(), before);
}

TEST(TestkitSynthetic, SameSeedSameRecordsWithIncreasingTimesAndGrowingDepths)
{
    const auto records = synthetic_records(500, 6, 17);
    ASSERT_EQ(records.size(), 500u);
    for (std::size_t i = 1; i < records.size(); ++i) {
        EXPECT_GT(records[i].time, records[i - 1].time);
        EXPECT_GE(records[i].depth_z, records[i - 1].depth_z);
        EXPECT_LE(records[i].depth_cur, records[i].depth_z);
        ASSERT_EQ(records[i].values.size(), 6u);
    }
    EXPECT_EQ(realtime_file({}, records, {}), realtime_file({}, synthetic_records(500, 6, 17), {}));
    EXPECT_NE(realtime_file({}, records, {}), realtime_file({}, synthetic_records(500, 6, 18), {}));
}

TEST(TestkitSynthetic, FiveHundredTwelveDistinctParametersFitOneSector)
{
    const auto params = synthetic_params(512);
    std::set<std::string> names;
    for (const FileStorageParam& param : params)
        names.insert(lib::to_lower(param.name));
    EXPECT_EQ(names.size(), 512u);
    EXPECT_NO_THROW(realtime_file(params, {}, {}, 2));
}
