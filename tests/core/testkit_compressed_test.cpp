// The compressed-form writers against hand-written bytes: the program's column decoders are
// tested with these, so a drift here would have them checked against the wrong layout.
#include "testkit/Bytes.h"
#include "testkit/Compressed_writer.h"

#include "support/TempDir.h"
#include "support/Testkit_fixtures.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

using namespace testkit;
using testsupport::cat;
using testsupport::depth_param;
using testsupport::TempDir;

namespace {

// One record, one parameter: small enough to spell out every byte.
CompressedSet one_record_set()
{
    CompressedSet set;
    set.params = {depth_param()};
    set.text_lines = {"a=1"};
    set.times = {5};
    set.depth_z = {1.0f};
    set.depth_cur = {2.0f};
    set.lag_depth = {3.0f};
    set.operations = {4};
    set.columns = {{.column = {RawColumn{.values = {0.5f}}}}};
    return set;
}

// The coefficients a wavelet column stands for, worked out here by hand from its blocks.
std::vector<double> coefficients_of(const WaveletColumn& column)
{
    std::vector<double> coefficients(static_cast<std::size_t>(column.coefficient_count), 0.0);
    std::size_t i = 0;
    for (const WaveletBlock& block : column.blocks)
        for (std::uint16_t q : block.codes)
            if (i < coefficients.size())
                coefficients[i++] = block.low + (static_cast<double>(block.high) - block.low) * q / block.levels;
    return coefficients;
}

} // namespace

TEST(TestkitCompressed, PlanarListsHoldTheCountThenOnePlanePerByteLeastSignificantFirst)
{
    struct Case {
        const char* what;
        Bytes list;
        const char* expected;
    };
    const Case cases[] = {
        {"8-bit: count, then the bytes", planar_list_8({0x07, 0x09}), "02 00 00 00 07 09"},
        {"16-bit: all low bytes, then all high bytes", planar_list_16({0x0201, 0x0403, 0x0605}),
         "03 00 00 00 01 03 05 02 04 06"},
        {"32-bit: a0 b0 a1 b1 a2 b2 a3 b3", planar_list_32({0xA3A2A1A0, 0xB3B2B1B0}), "02 00 00 00 A0 B0 A1 B1 A2 B2 A3 B3"},
        {"32-bit floats: 1.0 and -2.0 by bit pattern", planar_list_32f({1.0f, -2.0f}), "02 00 00 00 00 00 00 00 80 00 3F C0"},
        {"64-bit: eight planes", planar_list_64({0x0807060504030201}), "01 00 00 00 01 02 03 04 05 06 07 08"},
        {"empty list: the count alone", planar_list_32({}), "00 00 00 00"},
        {"declared count that lies", planar_list_8({0x07}, -1), "FF FF FF FF 07"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hex_dump(c.list), c.expected) << c.what;
}

TEST(TestkitCompressed, QuantisedColumnIsItsHeaderThenPositionsExactValuesAndCodes)
{
    // n = 4, low 0, high 100, L 100, exact 1000 at position 2, codes 10, 20, 30.
    const QuantisedColumn column = quantise({10.0f, 20.0f, 1000.0f, 30.0f}, 1, 100, 0.0, std::array{0.0f, 100.0f});
    const Bytes expected = {
        0x02, 0x00, 0x00, 0x00,             // method 2
        0x01, 0x00, 0x00, 0x00,             // kind 1
        0x64, 0x00, 0x00, 0x00,             // L 100
        0x00, 0x00, 0xC8, 0x42,             // high 100.0
        0x00, 0x00, 0x00, 0x00,             // low 0.0
        0x04, 0x00, 0x00, 0x00,             // n 4
        0x01, 0x00, 0x00, 0x00,             // positions: count 1
        0x02, 0x00, 0x00, 0x00,             //   2, one byte per plane
        0x01, 0x00, 0x00, 0x00,             // exact values: count 1
        0x00, 0x00, 0x7A, 0x44,             //   1000.0, one byte per plane
        0x03, 0x00, 0x00, 0x00,             // codes: 8-bit list of 3
        0x0A, 0x14, 0x1E,                   //   10, 20, 30
    };
    EXPECT_EQ(hex_dump(column_bytes({column})), hex_dump(expected));
    EXPECT_EQ(dequantise(column), (std::vector<float>{10.0f, 20.0f, 1000.0f, 30.0f}));
}

TEST(TestkitCompressed, CodeListFollowsTheKindAndDamagedFieldsAreWrittenAsGiven)
{
    const auto tail = [](const Column& column, std::size_t from) {
        const Bytes bytes = column_bytes(column);
        return hex_dump(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end()));
    };
    constexpr std::size_t codes_offset = 4 + compressed::quantised_head_size + 2 * compressed::list_count_size;
    struct Case {
        const char* what;
        Column column;
        std::size_t from;
        const char* expected;
    };
    const Case cases[] = {
        {"kind 2: 16-bit list", {QuantisedColumn{.kind = 2, .levels = 0xFFFF, .count = 1, .codes = {0x0102}}},
         codes_offset, "01 00 00 00 02 01"},
        {"kind 4: 32-bit list", {QuantisedColumn{.kind = 4, .levels = 0xFFFFFFFF, .count = 1, .codes = {0x01020304}}},
         codes_offset, "01 00 00 00 04 03 02 01"},
        {"kind field 3 over an 8-bit code list", {QuantisedColumn{.kind = 1, .count = 0, .kind_field = 3}}, 4,
         "03 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
        {"method 7 over a raw body", {RawColumn{.values = {}}, 7}, 0, "07 00 00 00 00 00 00 00"},
        {"raw list count that lies", {RawColumn{.values = {}, .declared_count = 3}}, 0, "01 00 00 00 03 00 00 00"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tail(c.column, c.from), c.expected) << c.what;

    // No code list belongs to kind 3, and a code wider than its kind would be cut.
    EXPECT_THROW(column_bytes({QuantisedColumn{.kind = 3}}), std::invalid_argument);
    EXPECT_THROW(column_bytes({QuantisedColumn{.kind = 1, .count = 1, .codes = {256}}}), std::invalid_argument);
}

TEST(TestkitCompressed, QuantiseKeepsAsExactWhatTheCodesCannotGiveBack)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* what;
        std::vector<float> values;
        std::uint32_t levels;
        double tolerance;
        std::vector<std::int32_t> positions;
        std::vector<std::uint32_t> codes;
    };
    const Case cases[] = {
        {"every value on a level", {1, 2, 3, 4}, 3, 0.0, {}, {0, 1, 2, 3}},
        {"constant column: low == high, code 0", {5, 5, 5}, 10, 0.0, {}, {0, 0, 0}},
        {"not finite: exact, and left out of low and high", {0, nan, 10, inf}, 10, 0.0, {1, 3}, {0, 10}},
        {"farther than the tolerance from its level", {0, 0.26f, 1}, 2, 0.1, {1}, {0, 2}},
        {"within the tolerance", {0, 0.26f, 1}, 2, 0.25, {}, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        const QuantisedColumn column = quantise(c.values, 1, c.levels, c.tolerance);
        EXPECT_EQ(column.positions, c.positions) << c.what;
        EXPECT_EQ(column.codes, c.codes) << c.what;
        EXPECT_EQ(column.count, static_cast<std::int32_t>(c.values.size())) << c.what;
        const std::vector<float> back = dequantise(column);
        ASSERT_EQ(back.size(), c.values.size()) << c.what;
        for (std::size_t i = 0; i < back.size(); ++i) {
            if (!std::isfinite(c.values[i]))
                EXPECT_EQ(std::bit_cast<std::uint32_t>(back[i]), std::bit_cast<std::uint32_t>(c.values[i]))
                    << c.what << " at " << i;
            else
                EXPECT_NEAR(back[i], c.values[i], std::max(c.tolerance, 1e-6)) << c.what << " at " << i;
        }
    }

    EXPECT_THROW(quantise({1}, 1, 0), std::invalid_argument);   // L = 0 divides by zero
    EXPECT_THROW(quantise({1}, 3, 10), std::invalid_argument);  // no such kind
    EXPECT_THROW(quantise({1}, 1, 256), std::invalid_argument); // code 256 needs kind 2
    QuantisedColumn short_of_codes = quantise({1, 2}, 1, 1);
    short_of_codes.count = 3;
    EXPECT_THROW(dequantise(short_of_codes), std::invalid_argument);
}

TEST(TestkitCompressed, WaveletBlockIsLowHighLevelsCountThenLowAndHighBytes)
{
    const WaveletColumn column{.coefficient_count = 64,
                               .blocks = {{.low = -1.0f, .high = 1.0f, .levels = 2, .codes = {0x0102, 0x0304}}}};
    const Bytes expected = {
        0x03, 0x00, 0x00, 0x00, // method 3
        0x40, 0x00, 0x00, 0x00, // N 64
        0x00, 0x00, 0x80, 0xBF, // low -1.0
        0x00, 0x00, 0x80, 0x3F, // high 1.0
        0x02, 0x00, 0x00, 0x00, // L 2
        0x02, 0x00, 0x00, 0x00, // c 2
        0x02, 0x04,             // low bytes
        0x01, 0x03,             // high bytes
    };
    EXPECT_EQ(hex_dump(column_bytes({column})), hex_dump(expected));

    WaveletColumn lying = column;
    lying.blocks[0].declared_count = 1000;
    EXPECT_EQ(column_bytes({lying})[20], 0xE8); // low byte of c = 1000; the codes stay two
    EXPECT_EQ(column_bytes({lying}).size(), expected.size());
}

TEST(TestkitCompressed, ConstantWaveletColumnHasApproximationsAAndZeroDetails)
{
    const float a = 3.7f;
    for (bool two_blocks : {false, true}) {
        for (std::int32_t n : {64, 128}) {
            const WaveletColumn column = wavelet_constant_column(n, a, two_blocks);
            ASSERT_EQ(column.blocks.size(), two_blocks ? 2u : 1u);
            const std::vector<double> coefficients = coefficients_of(column);
            std::size_t codes = 0;
            for (const WaveletBlock& block : column.blocks)
                codes += block.codes.size();
            EXPECT_EQ(codes, static_cast<std::size_t>(n)) << "every coefficient has its code";
            for (std::size_t i = 0; i < coefficients.size(); ++i)
                EXPECT_EQ(coefficients[i], i < compressed::approximation_count ? static_cast<double>(a) : 0.0)
                    << "N " << n << (two_blocks ? " in two blocks" : "") << " at " << i;
        }
    }
}

TEST(TestkitCompressed, ColumnFileSetMembers)
{
    CompressedSet set = one_record_set();
    set.text_lines = {"a=1", "b=2"};
    set.subseconds = {7};
    set.columns[0].exponent = true;
    set.columns[0].column = {RawColumn{.values = {1.0f, 2.0f}}};
    struct Case {
        const char* what;
        std::string_view suffix;
        int form_version;
        const char* expected;
    };
    const Case cases[] = {
        {".params, 1251: count, text1, text2, text3, name, int_attr, float_attr", ".params", 0,
         "01 00 00 00 EC 00 44 45 50 54 00 EA 30 00 C3 EB F3 E1 E8 ED E0 00 07 00 00 00 00 00 C8 42"},
        {".params, UTF-8 from form 2", ".params", 2,
         "01 00 00 00 D0 BC 00 44 45 50 54 00 D0 BA 30 00 D0 93 D0 BB D1 83 D0 B1 D0 B8 D0 BD D0 B0 00 07 00 00 00 00 00 C8 42"},
        {".values: R, exponent flag, zero flag, method, list", ".values", 2,
         "01 00 00 00 01 00 01 00 00 00 02 00 00 00 00 00 00 00 80 00 3F 40"},
        {".text: lines joined with CR LF, one zero", ".text", 2, "61 3D 31 0D 0A 62 3D 32 00"},
        {".time, form 0: 32-bit list, no subsecond", ".time", 0, "01 00 00 00 05 00 00 00"},
        {".time, form 2: subsecond 7 in bits 0-7, time 5 in bits 32-63", ".time", 2,
         "01 00 00 00 07 00 00 00 05 00 00 00"},
        {".depth_z", ".depth_z", 2, "01 00 00 00 00 00 80 3F"},
        {".depth_cur", ".depth_cur", 2, "01 00 00 00 00 00 00 40"},
        {".lag_depth", ".lag_depth", 2, "01 00 00 00 00 00 40 40"},
        {".operation", ".operation", 2, "01 00 00 00 04"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hex_dump(compressed_set_member_bytes(set, c.suffix, c.form_version)), c.expected) << c.what;

    set.record_count_override = 9;
    set.param_count_override = -1;
    EXPECT_EQ(compressed_set_member_bytes(set, ".values", 2)[0], 9);
    EXPECT_EQ(compressed_set_member_bytes(set, ".params", 2)[0], 0xFF);
    EXPECT_THROW(compressed_set_member_bytes(set, ".depth", 2), std::invalid_argument);
    set.subseconds = {7, 8};
    EXPECT_THROW(compressed_set_member_bytes(set, ".time", 2), std::invalid_argument);
}

TEST(TestkitCompressed, SetIsWrittenAsEightFilesAndAMemberCanBeDamagedBeforeWriting)
{
    TempDir dir;
    const CompressedSet set = one_record_set();
    const std::string base = dir.file("well.rt");
    write_compressed_set(set, base, 2);
    std::vector<CompressedMember> members = compressed_set_members(set, 2);
    ASSERT_EQ(members.size(), compressed::member_suffixes.size());
    for (const CompressedMember& member : members)
        EXPECT_EQ(testsupport::read_file(base + member.suffix), as_chars(member.bytes)) << member.suffix;

    shrink(members[1].bytes, 1);
    write_compressed_members({members[1]}, base);
    EXPECT_EQ(testsupport::read_file(base + ".values").size(), members[1].bytes.size());
    EXPECT_THROW(write_compressed_set(set, dir.file("no/such/folder/x"), 2), std::runtime_error);
}

TEST(TestkitCompressed, SingleStreamHoldsTheGroupsInOrderWithColumnsWithoutFlags)
{
    const Bytes expected = cat({
        {0x43, 0x52, 0x45, 0x47, 0x46, 0x49, 0x4C, 0x45, 0x00}, // magic "CREGFILE"
        {0x01, 0x00, 0x00, 0x00},                               // version 1
        {0x01, 0x00, 0x00, 0x00},                               // N 1
        {0xEC, 0x00, 0x44, 0x45, 0x50, 0x54, 0x00, 0xEA, 0x30, 0x00}, // text1, text2, text3 (1251)
        {0xC3, 0xEB, 0xF3, 0xE1, 0xE8, 0xED, 0xE0, 0x00},       // name
        {0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC8, 0x42},       // int_attr 7, float_attr 100.0
        {0x61, 0x3D, 0x31, 0x00},                               // text "a=1"
        {0x01, 0x00, 0x00, 0x00},                               // R 1
        {0x01, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00},       // times: 5
        {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F},       // depth_z: 1.0
        {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40},       // depth_cur: 2.0
        {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x40},       // lag_depth: 3.0
        {0x01, 0x00, 0x00, 0x00, 0x04},                         // operation: 4
        {0x01, 0x00, 0x00, 0x00},                               // column: method 1, no flags
        {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3F},       //   0.5
    });
    EXPECT_EQ(hex_dump(single_stream(one_record_set())), hex_dump(expected));

    const Bytes damaged = single_stream(one_record_set(), {.magic = "CREGFILX", .version = 2});
    EXPECT_EQ(hex_dump(Bytes(damaged.begin(), damaged.begin() + 13)), "43 52 45 47 46 49 4C 58 00 02 00 00 00");
}

TEST(TestkitCompressed, SyntheticSetMixesMethodsWithRColumnsOfEachKind)
{
    constexpr std::size_t records = 100;
    const CompressedSet set = synthetic_compressed_set(records, 10, 3);
    ASSERT_EQ(set.times.size(), records);
    ASSERT_EQ(set.operations.size(), records);
    ASSERT_EQ(set.columns.size(), 10u);
    for (std::size_t u = 0; u < set.columns.size(); ++u) {
        const Column& column = set.columns[u].column;
        EXPECT_EQ(set.columns[u].exponent, u == 5) << u;
        EXPECT_EQ(column.body.index(), u % 5 == 0 ? 0u : u % 5 == 4 ? 2u : 1u) << u;
        if (const auto* raw = std::get_if<RawColumn>(&column.body)) {
            EXPECT_EQ(raw->values.size(), records) << u;
        }
        else if (const auto* quantised = std::get_if<QuantisedColumn>(&column.body)) {
            EXPECT_EQ(dequantise(*quantised).size(), records) << u;
            EXPECT_FALSE(quantised->positions.empty()) << "dropouts as exact values in " << u;
        }
        else {
            const auto& wavelet = std::get<WaveletColumn>(column.body);
            EXPECT_EQ(wavelet.coefficient_count, 128) << u;
            EXPECT_EQ(wavelet.blocks.size(), 2u) << u;
        }
    }
    EXPECT_EQ(single_stream(set), single_stream(synthetic_compressed_set(records, 10, 3)));
    EXPECT_NE(single_stream(set), single_stream(synthetic_compressed_set(records, 10, 4)));
    EXPECT_NO_THROW(compressed_set_members(synthetic_compressed_set(0, 5, 3), 0));
}
