// The classic record and its packed forms, byte by byte: each hex table below is written out
// from the layout by hand, so that the encoder and the decoders are checked against the
// bytes the stations write, not only against each other.

#include "storage/Classic_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

namespace {

using storage::ClassicDivisors;
using storage::ClassicFactors;

std::string bytes(std::initializer_list<std::initializer_list<int>> fields)
{
    std::string out;
    for (const auto& field : fields)
        for (const int byte : field)
            out.push_back(static_cast<char>(byte));
    return out;
}

std::string zeros(std::size_t count)
{
    return std::string(count, '\0');
}

std::string repeated(std::initializer_list<int> field, std::size_t times)
{
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += bytes({field});
    return out;
}

std::string hex(std::string_view data)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : data) {
        const auto byte = static_cast<unsigned char>(c);
        out += {digits[byte >> 4], digits[byte & 15], ' '};
    }
    return out;
}

#define EXPECT_BYTES(actual, expected) EXPECT_EQ(hex(actual), hex(expected))

// Operation 7, time 1000, depth_z 1.5, depth_cur 2.0, values 0.25, -1, 100, the rest 0.
const std::string record_bytes = bytes({
                                     {0x07},                   //   0 operation 7
                                     {0xE8, 0x03, 0x00, 0x00}, //   1 time 1000
                                     {0x00, 0x00, 0xC0, 0x3F}, //   5 depth_z 1.5
                                     {0x00, 0x00, 0x00, 0x40}, //   9 depth_cur 2.0
                                     {0x00, 0x00, 0x80, 0x3E}, //  13 value 0: 0.25
                                     {0x00, 0x00, 0x80, 0xBF}, //  17 value 1: -1.0
                                     {0x00, 0x00, 0xC8, 0x42}, //  21 value 2: 100.0
                                 }) +
                                 zeros(29 * 4) +                   //  25 values 3-31: 0
                                 bytes({{0x00, 0x00, 0x00, 0x00}}); // 141 tail: written as zeros

FileStorageItem record_item()
{
    FileStorageItem item;
    item.operation = 7;
    item.time = 1000;
    item.depth_z = 1.5f;
    item.lag_depth = 1.5f;
    item.depth_cur = 2.0f;
    item.values.assign(32, 0.0f);
    item.values[0] = 0.25f;
    item.values[1] = -1.0f;
    item.values[2] = 100.0f;
    return item;
}

// The bits of a float, so that NaN compares equal to itself.
std::uint32_t bits(float value)
{
    std::uint32_t out;
    std::memcpy(&out, &value, sizeof out);
    return out;
}

void expect_same_item(const FileStorageItem& actual, const FileStorageItem& expected)
{
    EXPECT_EQ(actual.operation, expected.operation);
    EXPECT_EQ(actual.time, expected.time);
    EXPECT_EQ(bits(actual.depth_z), bits(expected.depth_z));
    EXPECT_EQ(bits(actual.lag_depth), bits(expected.lag_depth));
    EXPECT_EQ(bits(actual.depth_cur), bits(expected.depth_cur));
    ASSERT_EQ(actual.values.size(), expected.values.size());
    for (std::size_t k = 0; k < actual.values.size(); ++k)
        EXPECT_EQ(bits(actual.values[k]), bits(expected.values[k])) << "value " << k;
    EXPECT_EQ(actual.stamped, 1);
    EXPECT_EQ(actual.subsecond, 0);
    EXPECT_EQ(actual.reserved, (std::array<std::int32_t, 4>{-1, -1, -1, -1}));
}

// A record of the given time whose fields and tail differ from record to record.
std::string varied_record(std::uint32_t i)
{
    FileStorageItem item;
    item.operation = static_cast<std::uint8_t>(i * 37 + 1);
    item.time = 5000 + i * 3;
    item.depth_z = 100.0f + static_cast<float>(i) / 8;
    item.depth_cur = 101.0f + static_cast<float>(i) / 4;
    for (std::size_t k = 0; k < 32; ++k)
        item.values.push_back(static_cast<float>(i + k) / 2);
    std::string record;
    storage::append_classic_record(record, item);
    record[141] = static_cast<char>(0xA0 + i);
    record[144] = static_cast<char>(i);
    return record;
}

std::string varied_records(std::size_t count)
{
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out += varied_record(static_cast<std::uint32_t>(i));
    return out;
}

// A record with its 32 values replaced by `values`.
std::string with_values(std::string record, const std::vector<float>& values)
{
    std::memcpy(record.data() + 13, values.data(), 4 * values.size());
    return record;
}

struct ByteAt {
    std::size_t offset;
    int byte;
    const char* what;
};

void expect_bytes_at(const std::string& data, std::initializer_list<ByteAt> table)
{
    for (const ByteAt& row : table) {
        ASSERT_LT(row.offset, data.size()) << row.what;
        EXPECT_EQ(static_cast<unsigned char>(data[row.offset]), row.byte) << row.what;
    }
}

} // namespace

// --- the record ---------------------------------------------------------------------

TEST(ClassicRecord, TheEncoderWritesTheHexTable)
{
    std::string out;
    storage::append_classic_record(out, record_item());
    EXPECT_BYTES(out, record_bytes);
}

TEST(ClassicRecord, TheDecoderReadsTheHexTableAndIgnoresTheTail)
{
    std::string record = record_bytes;
    record.replace(141, 4, bytes({{0xA5, 0x5A, 0xC3, 0x3C}}));
    expect_same_item(storage::classic_item(record.data()), record_item());
}

TEST(ClassicRecord, TheEncoderKeepsThirtyTwoValuesAndNoLagDepth)
{
    struct Case {
        const char* name;
        std::size_t values;
        float lag_depth;
    };
    const Case cases[] = {
        {"fewer values: the rest are 0", 3, 1.5f},
        {"more values: the 33rd and later are dropped", 40, 1.5f},
        {"a lag depth of its own is not written", 32, 77.0f},
    };
    for (const Case& c : cases) {
        FileStorageItem item = record_item();
        item.values.resize(c.values, 5.0f);
        item.lag_depth = c.lag_depth;
        std::string out;
        storage::append_classic_record(out, item);
        ASSERT_EQ(out.size(), 145u) << c.name;
        const FileStorageItem back = storage::classic_item(out.data());
        for (std::size_t k = 0; k < 32; ++k)
            EXPECT_EQ(back.values[k], k < c.values ? item.values[k] : 0.0f) << c.name << ", value " << k;
        EXPECT_EQ(back.lag_depth, 1.5f) << c.name;
    }
}

TEST(ClassicRecord, RoundTripsThroughTheEncoderAndTheDecoder)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float tiny = std::numeric_limits<float>::denorm_min();
    struct Case {
        const char* name;
        std::uint8_t operation;
        std::uint32_t time;
        float depth_z;
        float depth_cur;
        std::vector<float> some_values;
    };
    const Case cases[] = {
        {"an ordinary record", 7, 1000, 1.5f, 2.0f, {0.25f, -1.0f, 100.0f}},
        {"the largest time and operation", 255, 0xFFFFFFFFu, 0.0f, 0.0f, {}},
        {"an empty record (time 0)", 0, 0, 0.0f, 0.0f, {}},
        {"negative depths", 1, 5, -3.0f, -0.0f, {-1e30f}},
        {"NaN, infinities and denormals", 2, 6, nan, inf, {nan, -inf, tiny, -tiny}},
    };
    for (const Case& c : cases) {
        FileStorageItem item;
        item.operation = c.operation;
        item.time = c.time;
        item.depth_z = c.depth_z;
        item.lag_depth = c.depth_z;
        item.depth_cur = c.depth_cur;
        item.values = c.some_values;
        item.values.resize(32, 0.0f);
        std::string out;
        storage::append_classic_record(out, item);
        SCOPED_TRACE(c.name);
        expect_same_item(storage::classic_item(out.data()), item);
    }
}

// --- the planar form ----------------------------------------------------------------

TEST(ClassicPlanar, ByteJOfRecordIIsAtJTimesNPlusI)
{
    // Two records: the second of operation 8, time 1001, value 0 0.5, tail ending 4D.
    std::string first = record_bytes;
    first[144] = 0x3C;
    std::string second = with_values(record_bytes, {0.5f});
    second[0] = 0x08;
    second[1] = static_cast<char>(0xE9);
    second[144] = 0x4D;
    const std::string planar = storage::classic_to_planar(first + second);
    ASSERT_EQ(planar.size(), 290u);
    expect_bytes_at(planar, {
                                {0, 0x07, "column 0: operation of record 0"},
                                {1, 0x08, "column 0: operation of record 1"},
                                {2, 0xE8, "column 1: time byte 0 of record 0"},
                                {3, 0xE9, "column 1: time byte 0 of record 1"},
                                {4, 0x03, "column 2: time byte 1 of record 0"},
                                {5, 0x03, "column 2: time byte 1 of record 1"},
                                {16, 0x3F, "column 8: depth_z byte 3 of record 0"},
                                {32, 0x3E, "column 16: value 0 byte 3 of record 0"},
                                {33, 0x3F, "column 16: value 0 byte 3 of record 1"},
                                {288, 0x3C, "column 144: tail byte 3 of record 0"},
                                {289, 0x4D, "column 144: tail byte 3 of record 1"},
                            });
    EXPECT_BYTES(storage::classic_from_planar(planar), first + second);
}

TEST(ClassicPlanar, RoundTripsAnyNumberOfRecords)
{
    for (const std::size_t count : {0u, 1u, 2u, 3u, 7u, 81u}) {
        const std::string records = varied_records(count);
        const std::string planar = storage::classic_to_planar(records);
        EXPECT_EQ(planar.size(), records.size()) << count;
        EXPECT_BYTES(storage::classic_from_planar(planar), records) << count;
    }
}

TEST(ClassicPlanar, BytesPastTheLastWholeRecordStayAtTheEnd)
{
    const std::string planar = storage::classic_to_planar(varied_records(2)) + "xyz";
    const std::string rows = storage::classic_from_planar(planar);
    EXPECT_BYTES(rows, varied_records(2) + "xyz");
}

// --- the compact form ---------------------------------------------------------------

// Divisors 4, 2, then 1; one record (so its columns are the record itself): operation 7,
// time 1000, depth_z 1.5, depth_cur 2.0, q 1 and 3, the rest 0, tail A5 5A C3 3C.
const std::string compact_bytes = bytes({
                                      {0x04, 0x00}, //   0 divisor 0: 4
                                      {0x02, 0x00}, //   2 divisor 1: 2
                                  }) +
                                  repeated({0x01, 0x00}, 30) + //   4 divisors 2-31: 1
                                  bytes({
                                      {0x01, 0x00, 0x00, 0x00}, //  64 count 1
                                      {0x07},                   //  68 operation 7
                                      {0xE8, 0x03, 0x00, 0x00}, //  69 time 1000
                                      {0x00, 0x00, 0xC0, 0x3F}, //  73 depth_z 1.5
                                      {0x00, 0x00, 0x00, 0x40}, //  77 depth_cur 2.0
                                      {0x01, 0x00},             //  81 q 0: 1 -> 1 / 4 = 0.25
                                      {0x03, 0x00},             //  83 q 1: 3 -> 3 / 2 = 1.5
                                  }) +
                                  zeros(30 * 2) +                    //  85 q 2-31: 0
                                  bytes({{0xA5, 0x5A, 0xC3, 0x3C}}); // 145 tail

// The record the compact table stands for.
const std::string compact_record = with_values(record_bytes, {0.25f, 1.5f, 0.0f}).replace(141, 4, bytes({{0xA5, 0x5A, 0xC3, 0x3C}}));

ClassicDivisors compact_divisors()
{
    ClassicDivisors divisors;
    divisors.fill(1);
    divisors[0] = 4;
    divisors[1] = 2;
    return divisors;
}

TEST(ClassicCompact, TheDecoderReadsTheHexTable)
{
    ASSERT_EQ(compact_bytes.size(), 68u + 81u);
    const auto records = storage::classic_from_compact(compact_bytes);
    ASSERT_TRUE(records);
    EXPECT_BYTES(*records, compact_record);
}

TEST(ClassicCompact, TheEncoderWritesTheHexTable)
{
    EXPECT_BYTES(storage::classic_to_compact(compact_record, compact_divisors()), compact_bytes);
}

TEST(ClassicCompact, ByteJOfRecordIIsAt68PlusJTimesNPlusI)
{
    std::string second = with_values(compact_record, {0.5f, 2.0f});
    second[0] = 0x08;
    const std::string file = storage::classic_to_compact(compact_record + second, compact_divisors());
    ASSERT_EQ(file.size(), 68u + 2 * 81u);
    expect_bytes_at(file, {
                              {64, 0x02, "count 2"},
                              {68, 0x07, "column 0: operation of record 0"},
                              {69, 0x08, "column 0: operation of record 1"},
                              {94, 0x01, "column 13: q 0 byte 0 of record 0 (0.25 x 4)"},
                              {95, 0x02, "column 13: q 0 byte 0 of record 1 (0.5 x 4)"},
                              {98, 0x03, "column 15: q 1 byte 0 of record 0 (1.5 x 2)"},
                              {99, 0x04, "column 15: q 1 byte 0 of record 1 (2.0 x 2)"},
                              {228, 0x3C, "column 80: tail byte 3 of record 0"},
                              {229, 0x3C, "column 80: tail byte 3 of record 1"},
                          });
    const auto records = storage::classic_from_compact(file);
    ASSERT_TRUE(records);
    EXPECT_BYTES(*records, compact_record + second);
}

TEST(ClassicCompact, RoundTripsValuesOnTheDivisorsSteps)
{
    struct Case {
        const char* name;
        ClassicDivisors divisors;
        std::vector<float> values; // of the first parameters, in every record
    };
    ClassicDivisors mixed;
    mixed.fill(100);
    mixed[0] = 1;
    mixed[1] = -4; // a negative divisor holds negative values
    mixed[2] = 0;  // and a divisor of 0 only 0
    mixed[3] = 32767;
    ClassicDivisors ones;
    ones.fill(1);
    const Case cases[] = {
        {"mixed divisors", mixed, {65535.0f, -0.25f, 0.0f, 2.0f, 0.5f}},
        {"whole numbers", ones, {0.0f, 1.0f, 65535.0f}},
    };
    for (const Case& c : cases) {
        for (const std::size_t count : {1u, 2u, 5u}) {
            std::string records;
            for (std::size_t i = 0; i < count; ++i)
                records += with_values(varied_record(static_cast<std::uint32_t>(i)), c.values);
            // Values past the given ones: 0 stays 0 whatever the divisor.
            for (std::size_t i = 0; i < count; ++i)
                std::memset(records.data() + i * 145 + 13 + 4 * c.values.size(), 0, 4 * (32 - c.values.size()));
            const std::string file = storage::classic_to_compact(records, c.divisors);
            ASSERT_EQ(file.size(), 68 + 81 * count);
            const auto back = storage::classic_from_compact(file);
            ASSERT_TRUE(back) << c.name;
            EXPECT_BYTES(*back, records) << c.name << ", " << count << " records";
            const auto detected = storage::classic_from_rearranged(file);
            ASSERT_TRUE(detected) << c.name;
            EXPECT_BYTES(*detected, records) << c.name << ", as an archive's file";
        }
    }
}

TEST(ClassicCompact, TheEncoderRoundsToTheNearestStepWithinSixteenBits)
{
    ClassicDivisors divisors;
    divisors.fill(2);
    divisors[3] = 0;
    const std::string record = with_values(varied_record(0), {0.7f, -3.0f, 1e9f, 5.0f, std::nanf("")});
    const auto back = storage::classic_from_compact(storage::classic_to_compact(record, divisors));
    ASSERT_TRUE(back);
    const FileStorageItem item = storage::classic_item(back->data());
    EXPECT_EQ(item.values[0], 0.5f);     // 1.4 steps -> 1
    EXPECT_EQ(item.values[1], 0.0f);     // below 0 -> 0
    EXPECT_EQ(item.values[2], 32767.5f); // above 65535 steps -> 65535
    EXPECT_EQ(item.values[3], 0.0f);     // divisor 0
    EXPECT_EQ(item.values[4], 0.0f);     // NaN
}

TEST(ClassicCompact, AHeadThatDoesNotFitItsSizeGivesNothing)
{
    const std::string two = storage::classic_to_compact(compact_record + compact_record, compact_divisors());
    const auto with_count = [&](std::int32_t count) {
        std::string file = two;
        std::memcpy(file.data() + 64, &count, 4);
        return file;
    };
    struct Case {
        const char* name;
        std::string file;
        bool expanded;
    };
    const Case cases[] = {
        {"the head alone", two.substr(0, 68), false},
        {"count 0", with_count(0), false},
        {"a negative count", with_count(-2), false},
        {"a count larger than the records", with_count(3), false},
        {"a count smaller than the records", with_count(1), false},
        {"a record cut short", two.substr(0, two.size() - 1), false},
        {"up to 80 bytes past the last record are ignored", two + std::string(80, 'x'), true},
        {"the count of the records", two, true},
    };
    for (const Case& c : cases) {
        const auto records = storage::classic_from_compact(c.file);
        EXPECT_EQ(records.has_value(), c.expanded) << c.name;
        if (records) {
            EXPECT_BYTES(*records, compact_record + compact_record) << c.name;
        }
    }
}

// --- the quantised form -------------------------------------------------------------

// Offsets 1 and -2, scales 0.5 and 2, the rest offset 0 and scale 1; one record: operation 7,
// time 1000, depth_z 1.5, depth_cur 2.0, q 20 and 15, the rest 0, tail A5 5A C3 3C. With the
// package's divisor 10: value = q x scale / 10 + offset.
const std::string quantised_bytes = bytes({
                                        {0x00, 0x00, 0x80, 0x3F}, //   0 offset 0: 1.0
                                        {0x00, 0x00, 0x00, 0xC0}, //   4 offset 1: -2.0
                                    }) +
                                    zeros(30 * 4) + //   8 offsets 2-31: 0
                                    bytes({
                                        {0x00, 0x00, 0x00, 0x3F}, // 128 scale 0: 0.5
                                        {0x00, 0x00, 0x00, 0x40}, // 132 scale 1: 2.0
                                    }) +
                                    repeated({0x00, 0x00, 0x80, 0x3F}, 30) + // 136 scales 2-31: 1.0
                                    bytes({
                                        {0x07},                   // 256 operation 7
                                        {0xE8, 0x03, 0x00, 0x00}, // 257 time 1000
                                        {0x00, 0x00, 0xC0, 0x3F}, // 261 depth_z 1.5
                                        {0x00, 0x00, 0x00, 0x40}, // 265 depth_cur 2.0
                                        {0x14, 0x00},             // 269 q 0: 20 -> 20 x 0.5 / 10 + 1 = 2.0
                                        {0x0F, 0x00},             // 271 q 1: 15 -> 15 x 2 / 10 - 2 = 1.0
                                    }) +
                                    zeros(30 * 2) +                    // 273 q 2-31: 0
                                    bytes({{0xA5, 0x5A, 0xC3, 0x3C}}); // 333 tail

const std::string quantised_record = with_values(compact_record, {2.0f, 1.0f});

ClassicFactors factors(float first, float second, float rest)
{
    ClassicFactors out;
    out.fill(rest);
    out[0] = first;
    out[1] = second;
    return out;
}

TEST(ClassicQuantised, TheDecoderReadsTheHexTable)
{
    ASSERT_EQ(quantised_bytes.size(), 256u + 81u);
    const auto records = storage::classic_from_quantised(quantised_bytes, 10);
    ASSERT_TRUE(records);
    EXPECT_BYTES(*records, quantised_record);
}

TEST(ClassicQuantised, TheEncoderWritesTheHexTable)
{
    EXPECT_BYTES(storage::classic_to_quantised(quantised_record, factors(1, -2, 0), factors(0.5f, 2, 1), 10),
                 quantised_bytes);
}

TEST(ClassicQuantised, RoundTripsValuesOnTheSteps)
{
    struct Case {
        const char* name;
        ClassicFactors offsets;
        ClassicFactors scales;
        std::uint16_t divisor;
        std::vector<float> values; // of the first two parameters; the rest at their offsets
    };
    const Case cases[] = {
        {"steps of 0.25 from -100", factors(-100, -100, -100), factors(2, 2, 2), 8, {-100.0f, -99.75f}},
        {"the largest quantum", factors(0, 10, 0), factors(1, 1, 1), 1, {65535.0f, 10.0f}},
        {"negative scales", factors(0, 0, 5), factors(-1, -4, -1), 4, {-2.5f, -16383.0f}},
    };
    for (const Case& c : cases) {
        for (const std::size_t count : {0u, 1u, 3u}) {
            std::string records;
            for (std::size_t i = 0; i < count; ++i) {
                std::vector<float> values(c.offsets.begin(), c.offsets.end());
                values[0] = c.values[0];
                values[1] = c.values[1];
                records += with_values(varied_record(static_cast<std::uint32_t>(i)), values);
            }
            const std::string file = storage::classic_to_quantised(records, c.offsets, c.scales, c.divisor);
            ASSERT_EQ(file.size(), 256 + 81 * count);
            const auto back = storage::classic_from_quantised(file, c.divisor);
            ASSERT_TRUE(back) << c.name;
            EXPECT_BYTES(*back, records) << c.name << ", " << count << " records";
        }
    }
}

TEST(ClassicQuantised, ShortFilesAndCutRecords)
{
    const std::string two = storage::classic_to_quantised(quantised_record + quantised_record, factors(1, -2, 0),
                                                          factors(0.5f, 2, 1), 10);
    struct Case {
        const char* name;
        std::string file;
        bool expanded;
        std::size_t records;
    };
    const Case cases[] = {
        {"shorter than the head", two.substr(0, 255), false, 0},
        {"the head alone: no records", two.substr(0, 256), true, 0},
        {"a cut third record is dropped", two + std::string(80, 'x'), true, 2},
    };
    for (const Case& c : cases) {
        const auto records = storage::classic_from_quantised(c.file, 10);
        EXPECT_EQ(records.has_value(), c.expanded) << c.name;
        if (records) {
            EXPECT_EQ(records->size(), c.records * 145) << c.name;
        }
    }
}

TEST(ClassicQuantised, ADivisorOfZeroGivesTheFormulasInfinity)
{
    const auto records = storage::classic_from_quantised(quantised_bytes, 0);
    ASSERT_TRUE(records);
    const FileStorageItem item = storage::classic_item(records->data());
    EXPECT_TRUE(std::isinf(item.values[0])); // 20 x 0.5 / 0
    EXPECT_TRUE(std::isnan(item.values[2])); // 0 x 1 / 0
}

// --- an archive's classic file: planar or compact -----------------------------------

TEST(ClassicRearranged, TheSizeAndTheCountTellTheForm)
{
    using storage::RearrangedForm;
    // 11745 bytes are 81 planar records or a compact head and 144 records.
    const auto both_sizes = [](std::int32_t count) {
        std::string file(11745, '\0');
        std::memcpy(file.data() + 64, &count, 4);
        return file;
    };
    struct Case {
        const char* name;
        std::string file;
        RearrangedForm form;
    };
    const Case cases[] = {
        {"no multiple of 145", std::string(230, '\0'), RearrangedForm::compact},
        {"a multiple of 145 only", std::string(435, '\0'), RearrangedForm::planar},
        {"both, the count fits", both_sizes(144), RearrangedForm::compact},
        {"both, another count", both_sizes(143), RearrangedForm::planar},
        {"both, a negative count", both_sizes(-1), RearrangedForm::planar},
        {"empty", std::string(), RearrangedForm::planar},
    };
    for (const Case& c : cases)
        EXPECT_EQ(storage::rearranged_form_of(c.file), c.form) << c.name;
}

TEST(ClassicRearranged, PlanarFilesRoundTripAndEmptyOrUnfittingFilesGiveNothing)
{
    const std::string records = varied_records(3);
    const auto planar = storage::classic_from_rearranged(storage::classic_to_planar(records));
    ASSERT_TRUE(planar);
    EXPECT_BYTES(*planar, records);
    EXPECT_FALSE(storage::classic_from_rearranged(""));
    EXPECT_FALSE(storage::classic_from_rearranged(std::string(100, '\0'))); // compact by size, count 0
}
