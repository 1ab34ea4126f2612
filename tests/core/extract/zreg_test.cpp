#include "extract/Regzipclass.h"

#include "lib/Inistorage.h"
#include "support/Expect.h"
#include "support/TempDir.h"
#include "testkit/Classic_writer.h"
#include "testkit/Compressed_writer.h"
#include "testkit/Zreg_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>

using testkit::Bytes;
using testkit::CompactRecord;
using testkit::ZregMember;
using testsupport::message_of;
using testsupport::TempDir;

namespace {

namespace fs = std::filesystem;

Bytes bytes_of(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

// Every path below the folder, relative to it, hidden temporary files included.
std::set<std::string> tree_of(const std::string& folder)
{
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        paths.insert(fs::relative(entry.path(), folder).string());
    return paths;
}

// A package written to the test folder and unpacked into its subfolder "out/".
struct Unpacked {
    const TempDir dir;
    std::string package;
    std::string out = dir.file("out/");

    explicit Unpacked(const Bytes& bytes) : package(dir.file("p.zreg")) { testkit::write_file(package, bytes); }

    // The text of what extract_all threw, or "(no exception)".
    std::string extract() { return message_of([&] { rzip::Decompression(package).extract_all(out); }); }
    Bytes file(std::string_view name) const
    {
        const std::string text = testsupport::read_file(out + std::string(name));
        return bytes_of(text);
    }
    std::set<std::string> files() const { return tree_of(out); }
};

std::array<float, 32> filled(float first, float step)
{
    std::array<float, 32> values{};
    for (std::size_t k = 0; k < values.size(); ++k)
        values[k] = first + step * static_cast<float>(k);
    return values;
}

float value_at(const Bytes& file, std::size_t record, std::size_t k)
{
    float value;
    std::memcpy(&value, file.data() + record * testkit::classic::record_size + testkit::classic::values_offset + 4 * k,
                sizeof value);
    return value;
}

// Three records and two raw columns in the single compressed stream.
testkit::CompressedSet small_set()
{
    testkit::CompressedSet set;
    FileStorageParam depth;
    depth.name = "Глубина";
    FileStorageParam weight;
    weight.name = "Вес";
    set.params = {depth, weight};
    set.text_lines = {"Скважина=12"};
    set.times = {100, 101, 105};
    set.depth_z = {1, 2, 3};
    set.depth_cur = {1.5f, 2.5f, 3.5f};
    set.lag_depth = {0.5f, 1.5f, 2.5f};
    set.operations = {4, 5, 6};
    set.columns = {{false, false, testkit::Column{testkit::RawColumn{{10, 11, 12}}}},
                   {false, false, testkit::Column{testkit::RawColumn{{20, 21, 22}}}}};
    return set;
}

} // namespace

TEST(ZregPackage, PackageWithoutMembersOrUnreadableExtractsNothingWithoutError)
{
    struct Case {
        const char* what;
        std::optional<Bytes> package;
    };
    const std::vector<Case> cases = {
        {"only the header", Bytes{0x0A, 0x00}},
        {"shorter than the header", Bytes{0x0A}},
        {"empty file", Bytes{}},
        {"no file", std::nullopt},
    };
    for (const Case& c : cases) {
        const TempDir dir;
        const std::string package = dir.file("p.zreg");
        if (c.package)
            testkit::write_file(package, *c.package);
        EXPECT_EQ(message_of([&] { rzip::Decompression(package).extract_all(dir.file("out/")); }), "(no exception)")
            << c.what;
        EXPECT_TRUE(fs::is_directory(dir.file("out"))) << c.what;
        EXPECT_TRUE(tree_of(dir.file("out")).empty()) << c.what;
    }
}

TEST(ZregPackage, PlainMembersAreWrittenByTheirDecodedNamesAndNothingElse)
{
    const Bytes ini = testkit::inpgti_ini("12", "Северная", lib::enc_1251);
    const Bytes notes = bytes_of("заметки бурильщика\r\n");
    Bytes big(70000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    Unpacked p(testkit::zreg_package(10, {{0, "inpgti.ini", ini},
                                          {0, "Замечания.txt", notes},
                                          {7, "0001.rac", big},
                                          {0, "empty.txt", {}},
                                          // The suffix is compared exactly: this is a plain file.
                                          {0, "b.realtim.NEWCOMPR1", notes}}));

    ASSERT_EQ(p.extract(), "(no exception)");
    EXPECT_EQ(p.files(), (std::set<std::string>{"inpgti.ini", "Замечания.txt", "0001.rac", "empty.txt",
                                                "b.realtim.NEWCOMPR1"}));
    EXPECT_EQ(p.file("inpgti.ini"), ini);
    EXPECT_EQ(p.file("Замечания.txt"), notes);
    EXPECT_EQ(p.file("0001.rac"), big);
    EXPECT_TRUE(p.file("empty.txt").empty());
    EXPECT_EQ(p.file("b.realtim.NEWCOMPR1"), notes);
}

TEST(ZregPackage, StreamMemberBecomesTheRealtimeFileOfItsNameWithoutTheSuffix)
{
    Unpacked p(testkit::zreg_package(10, {{0, "a.realtim.newcompr1", testkit::single_stream(small_set())}}));

    ASSERT_EQ(p.extract(), "(no exception)");
    EXPECT_EQ(p.files(), std::set<std::string>{"a.realtim"});
    FileStorage model;
    ASSERT_TRUE(model.load(p.out + "a.realtim"));
    EXPECT_EQ(testsupport::times_of(model), (std::vector<std::uint32_t>{100, 101, 105}));
    ASSERT_EQ(model.param_count, 2);
    EXPECT_EQ(model.params[1].name, "Вес");
    EXPECT_EQ(model.records.at(2)->values, (std::vector<float>{12, 22}));
}

// Members are written and rebuilt in the background while the next ones are inflated; two
// members that give the same file must still land in package order.
TEST(ZregPackage, LaterMemberOfTheSameFileWins)
{
    const Bytes later = bytes_of("the later member");
    const Bytes stream = testkit::single_stream(small_set());
    struct Case {
        const char* what;
        std::vector<ZregMember> members;
        bool stream_wins;
    };
    const Case cases[] = {
        {"plain after plain", {{0, "a.realtim", bytes_of("earlier")}, {0, "a.realtim", later}}, false},
        {"plain after a stream", {{0, "a.realtim.newcompr1", stream}, {0, "a.realtim", later}}, false},
        {"stream after plain", {{0, "a.realtim", later}, {0, "a.realtim.newcompr1", stream}}, true},
    };
    for (const Case& c : cases) {
        Unpacked p(testkit::zreg_package(10, c.members));
        ASSERT_EQ(p.extract(), "(no exception)") << c.what;
        EXPECT_EQ(p.files(), std::set<std::string>{"a.realtim"}) << c.what;
        if (!c.stream_wins) {
            EXPECT_EQ(p.file("a.realtim"), later) << c.what;
            continue;
        }
        FileStorage model;
        ASSERT_TRUE(model.load(p.out + "a.realtim")) << c.what;
        EXPECT_EQ(testsupport::times_of(model), (std::vector<std::uint32_t>{100, 101, 105})) << c.what;
    }
}

TEST(ZregPackage, StreamMemberThatIsNoStreamStopsThePackageWithTheModelError)
{
    Unpacked p(testkit::zreg_package(10, {{0, "a.realtim.newcompr1", bytes_of("not a stream")}}));

    EXPECT_NE(p.extract(), "(no exception)");
    EXPECT_TRUE(p.files().empty());
}

TEST(ZregPackage, UnpackedLengthOutsideItsRangeStopsThePackage)
{
    for (const std::int32_t length : {100000001, -1, std::numeric_limits<std::int32_t>::min()}) {
        Unpacked p(testkit::zreg_package(10, {{0, "a.txt", bytes_of("abc"), std::nullopt, length}}));
        EXPECT_EQ(p.extract(), "extract_next_file: wrong uncompr_len!") << length;
        EXPECT_TRUE(p.files().empty()) << length;
    }
}

TEST(ZregPackage, CorruptStreamReportsZlibsStatus)
{
    const std::string name = "a.txt";
    Bytes package = testkit::zreg_package(10, {{0, name, bytes_of("some text to pack")}});
    // divisor, kind, name length, name, two lengths: then the stream's header byte.
    testkit::set_byte(package, 2 + 2 + name.size() + 8, 0x00);
    Unpacked p(package);

    EXPECT_EQ(p.extract(), "extract_simple_file: uncompress=-3");
    EXPECT_TRUE(p.files().empty());
}

TEST(ZregPackage, StreamShorterThanItsDeclaredLengthIsDamagedNotPadded)
{
    Unpacked p(testkit::zreg_package(10, {{0, "a.txt", bytes_of("0123456789"), std::nullopt, 20}}));

    EXPECT_EQ(p.extract(), "Размер распакованного файла 'a.txt' (10 байт) не совпадает с заявленным (20 байт)");
    EXPECT_TRUE(p.files().empty());
}

TEST(ZregPackage, StreamLongerThanItsDeclaredLengthIsZlibsBufferError)
{
    Unpacked p(testkit::zreg_package(10, {{0, "a.txt", bytes_of("0123456789"), std::nullopt, 4}}));

    EXPECT_EQ(p.extract(), "extract_simple_file: uncompress=-5");
    EXPECT_TRUE(p.files().empty());
}

TEST(ZregPackage, MembersWhoseNamesAreNoPlainFileNamesAreReadPastAndNotWritten)
{
    const std::vector<std::pair<const char*, Bytes>> names = {
        {"empty", {}},
        {"dot", bytes_of(".")},
        {"two dots", bytes_of("..")},
        {"up and out", bytes_of("../evil.txt")},
        {"subfolder", bytes_of("sub/evil.txt")},
        {"backslash", bytes_of("..\\evil.txt")},
        {"zero byte", Bytes{'a', 0, '/', '.', '.'}},
        {"stream saved as the folder", bytes_of("..newcompr1")},
        {"stream saved as the parent", bytes_of("...newcompr1")},
    };
    for (const auto& [what, name] : names) {
        ZregMember unsafe{0, "", bytes_of("must not be written")};
        unsafe.name_bytes = name;
        ZregMember after{0, "after.txt", bytes_of("after")};
        const TempDir dir;
        testkit::write_file(dir.file("p.zreg"), testkit::zreg_package(10, {unsafe, after}));
        fs::create_directories(dir.file("out/sub"));

        EXPECT_EQ(message_of([&] { rzip::Decompression(dir.file("p.zreg")).extract_all(dir.file("out/")); }),
                  "(no exception)")
            << what;
        EXPECT_EQ(tree_of(dir.folder()), (std::set<std::string>{"p.zreg", "out", "out/sub", "out/after.txt"})) << what;
        EXPECT_EQ(testsupport::read_file(dir.file("out/after.txt")), "after") << what;
    }
}

TEST(ZregPackage, TruncatedPackageEndsQuietlyOnlyBetweenMembersAndIsDamagedAnywhereElse)
{
    const Bytes first = bytes_of("first member");
    const Bytes full = testkit::zreg_package(10, {{0, "a.txt", first}, {0, "b.txt", bytes_of("second member")}});
    const std::size_t second = testkit::zreg_package(10, {{0, "a.txt", first}}).size();
    struct Case {
        const char* what;
        std::size_t keep;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"cut before the kind", second, "(no exception)"},
        {"cut in the name length", second + 1, "Пакет обрывается в заголовке очередного файла"},
        {"cut in the name", second + 4, "Пакет обрывается в заголовке очередного файла"},
        {"cut in the lengths", second + 2 + 5 + 6, "Пакет обрывается в заголовке файла 'b.txt'"},
        {"cut in the data", full.size() - 3,
         "Файл 'b.txt' в пакете обрезан: заявлено " + std::to_string(full.size() - second - 15) +
             " байт сжатых данных, а до конца пакета " + std::to_string(full.size() - second - 18) + " байт"},
    };
    for (const Case& c : cases) {
        Bytes package = full;
        testkit::shrink(package, full.size() - c.keep);
        Unpacked p(package);
        EXPECT_EQ(p.extract(), c.message) << c.what;
        // The member before the cut is complete, and nothing of the cut one is there.
        EXPECT_EQ(p.files(), std::set<std::string>{"a.txt"}) << c.what;
        EXPECT_EQ(p.file("a.txt"), first) << c.what;
    }
}

TEST(ZregPackage, PackedLengthBeyondThePackageIsRefusedBeforeAnythingIsAllocated)
{
    for (const bool plain : {true, false}) {
        ZregMember member{0, plain ? "a.txt" : "../a.txt", bytes_of("abc"), 0xFFFFFFF0u};
        Unpacked p(testkit::zreg_package(10, {member}));
        const std::string name = plain ? "a.txt" : "../a.txt";
        EXPECT_EQ(p.extract(), "Файл '" + name + "' в пакете обрезан: заявлено 4294967280 байт сжатых данных, а до конца пакета " +
                                   std::to_string(testkit::zreg_package(10, {{0, "", bytes_of("abc")}}).size() - 12) + " байт")
            << name;
        EXPECT_TRUE(p.files().empty()) << name;
    }
}

TEST(ZregPackage, FileThatCannotBeWrittenFailsLoudlyAndLeavesNoPartOfIt)
{
    Unpacked p(testkit::zreg_package(10, {{0, "a.txt", bytes_of("abc")}}));

    // The folder is missing: extract_next_file does not create it.
    const std::string missing = p.dir.file("missing/");
    {
        rzip::Decompression reader(p.package);
        EXPECT_THROW(reader.extract_next_file(missing), lib::io::FileError);
    }
    EXPECT_FALSE(fs::exists(missing));

    // The name is taken by a folder: the rename over it fails and the temporary goes.
    fs::create_directories(p.out + "a.txt");
    EXPECT_THROW(rzip::Decompression(p.package).extract_all(p.out), lib::io::FileError);
    EXPECT_EQ(p.files(), std::set<std::string>{"a.txt"});
    EXPECT_TRUE(fs::is_directory(p.out + "a.txt"));
}

TEST(ZregQuantised, AllZeroCodesExpandToRecordsHoldingTheOffsets)
{
    const auto offsets = filled(-3.5f, 1.25f);
    const auto scales = filled(2.0f, 0.5f);
    CompactRecord a;
    a.operation = 4;
    a.time = 1700000000;
    a.depth_z = 1234.5f;
    a.depth_cur = 1230.25f;
    CompactRecord b = a;
    b.time = 1700000005;
    b.filler = {1, 2, 3, 4};
    Unpacked p(testkit::zreg_package(10, {{1, "0001.tim", testkit::compact_classic(offsets, scales, {a, b})}}));

    ASSERT_EQ(p.extract(), "(no exception)");
    const Bytes file = p.file("0001.tim");
    ASSERT_EQ(file.size(), 290u);
    const auto expected = [&](const CompactRecord& r) {
        testkit::ClassicRecord classic{r.operation, r.time, r.depth_z, r.depth_cur, offsets, r.filler};
        return testkit::classic_record(classic);
    };
    Bytes both = expected(a);
    const Bytes second = expected(b);
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(testkit::hex_dump(file), testkit::hex_dump(both));
}

TEST(ZregQuantised, CodesAreScaledByTheDivisorFromColumnsOfBytes)
{
    const auto offsets = filled(100.0f, -7.0f);
    const auto scales = filled(0.1f, 0.3f);
    const std::uint16_t divisor = 1000;
    std::vector<CompactRecord> records(3);
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].operation = static_cast<std::uint8_t>(i + 1);
        records[i].time = 1000 + static_cast<std::uint32_t>(i);
        records[i].depth_z = 10.0f * static_cast<float>(i);
        records[i].depth_cur = 10.5f * static_cast<float>(i);
        for (std::size_t k = 0; k < 32; ++k)
            records[i].q[k] = static_cast<std::uint16_t>(i * 20000 + k * 997 + 1);
        records[i].filler = {static_cast<std::uint8_t>(i), 0xFF, 0x00, 0x80};
    }
    Bytes content = testkit::compact_classic(offsets, scales, records);
    // Bytes after the last whole record are not part of any.
    content.insert(content.end(), {0xEE, 0xEE, 0xEE, 0xEE, 0xEE});
    Unpacked p(testkit::zreg_package(divisor, {{1, "0001.dep", content}}));

    ASSERT_EQ(p.extract(), "(no exception)");
    Bytes expected;
    for (const CompactRecord& r : records) {
        testkit::ClassicRecord classic{r.operation, r.time, r.depth_z, r.depth_cur, {}, r.filler};
        for (std::size_t k = 0; k < 32; ++k)
            classic.values[k] = static_cast<float>(r.q[k] * static_cast<double>(scales[k]) / divisor + offsets[k]);
        const Bytes record = testkit::classic_record(classic);
        expected.insert(expected.end(), record.begin(), record.end());
    }
    EXPECT_EQ(testkit::hex_dump(p.file("0001.dep")), testkit::hex_dump(expected));
}

TEST(ZregQuantised, DivisorZeroGivesInfinitiesAndNaN)
{
    auto scales = filled(1.0f, 0.0f);
    scales[2] = -1.0f;
    CompactRecord r;
    r.q[1] = 5;
    r.q[2] = 5;
    Unpacked p(testkit::zreg_package(0, {{1, "0001.tim", testkit::compact_classic(filled(3.0f, 0.0f), scales, {r})}}));

    ASSERT_EQ(p.extract(), "(no exception)");
    const Bytes file = p.file("0001.tim");
    ASSERT_EQ(file.size(), 145u);
    EXPECT_TRUE(std::isnan(value_at(file, 0, 0))); // 0 / 0
    EXPECT_EQ(value_at(file, 0, 1), std::numeric_limits<float>::infinity());
    EXPECT_EQ(value_at(file, 0, 2), -std::numeric_limits<float>::infinity());
}

TEST(ZregQuantised, ContentWithoutWholeHeadIsKeptAndWithoutRecordsIsEmptied)
{
    struct Case {
        std::size_t size;
        std::size_t expanded;
    };
    for (const Case c : {Case{0, 0}, Case{255, 255}, Case{256, 0}, Case{256 + 80, 0}}) {
        Bytes content(c.size);
        for (std::size_t i = 0; i < content.size(); ++i)
            content[i] = static_cast<std::uint8_t>(i);
        Unpacked p(testkit::zreg_package(10, {{1, "0001.tim", content}}));
        ASSERT_EQ(p.extract(), "(no exception)") << c.size;
        const Bytes file = p.file("0001.tim");
        EXPECT_EQ(file.size(), c.expanded) << c.size;
        if (c.expanded == c.size) {
            EXPECT_EQ(file, content) << c.size;
        }
    }
}

TEST(ZregPackage, KitIdentityFileReadsBackThroughTheProgramsIniReader)
{
    struct Case {
        const char* what;
        testkit::Bytes bytes;
        const char* section;
        const char* well_key;
        const char* area_key;
    };
    const std::vector<Case> cases = {
        {"1251", testkit::inpgti_ini("12", "Северная", lib::enc_1251), "скважина", "номер", "площадь"},
        {"UTF-8 with marker", testkit::inpgti_ini("12", "Северная", lib::enc_utf8), "скважина", "номер", "площадь"},
        {"old section", testkit::inpgti_ini_pore("12", "Северная", lib::enc_1251), "pore", "hole", "field"},
    };
    for (const Case& c : cases) {
        const TempDir dir;
        testkit::write_file(dir.file("inpgti.ini"), c.bytes);
        const auto ini = lib::open_ini_for_reading(dir.file("inpgti.ini"));
        EXPECT_EQ(ini->read_string(c.section, c.well_key, ""), "12") << c.what;
        EXPECT_EQ(ini->read_string(c.section, c.area_key, ""), "Северная") << c.what;
    }
    EXPECT_THROW(testkit::inpgti_ini("12", "日本", lib::enc_1251), std::invalid_argument);
}
