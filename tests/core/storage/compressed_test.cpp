#include "storage/Realtimedatareader.h"

#include "support/Expect.h"
#include "support/TempDir.h"
#include "testkit/Compressed_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using testkit::Bytes;
using testkit::Column;
using testkit::CompressedSet;
using testkit::QuantisedColumn;
using testkit::RawColumn;
using testsupport::message_of;
using testsupport::TempDir;
using testsupport::times_of;

namespace {

std::unique_ptr<lib::io::BinaryMemoryInputStream> stream_of(const Bytes& bytes)
{
    auto in = std::make_unique<lib::io::BinaryMemoryInputStream>();
    in->set_data(bytes.data(), bytes.size());
    return in;
}

std::vector<float> decoded(const Bytes& column_bytes, std::size_t length = 0)
{
    auto in = stream_of(column_bytes);
    std::vector<float> column(length);
    decode_column(*in, column);
    return column;
}

FileStorageParam named(std::string name)
{
    FileStorageParam p;
    p.name = std::move(name);
    p.text1 = "описание";
    return p;
}

// Three records and two raw columns.
CompressedSet small_set()
{
    CompressedSet set;
    set.params = {named("Глубина"), named("Вес")};
    set.text_lines = {"Куст=\"5\"", "Скважина=12"};
    set.times = {100, 101, 105};
    set.subseconds = {1, 2, 3};
    set.depth_z = {1, 2, 3};
    set.depth_cur = {1.5f, 2.5f, 3.5f};
    set.lag_depth = {0.5f, 1.5f, 2.5f};
    set.operations = {4, 5, 6};
    set.columns = {{false, false, Column{RawColumn{{10, 11, 12}}}}, {false, false, Column{RawColumn{{20, 21, 22}}}}};
    return set;
}

std::vector<float> values_of(const FileStorage& model, std::size_t param)
{
    std::vector<float> values;
    for (const auto& record : model.records)
        values.push_back(record->values.at(param));
    return values;
}

} // namespace

TEST(PlanarList, ElementsAreRebuiltFromTheirBytePlanes)
{
    // Count 2, then plane 0 (a0 b0), plane 1, plane 2, plane 3.
    const Bytes bytes = {0x01, 0x00, 0x00, 0x00,                          // method 1: raw floats
                         0x02, 0x00, 0x00, 0x00,                          // two elements
                         0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x3F, 0xC0}; // 1.0f and -2.0f
    EXPECT_EQ(decoded(bytes), (std::vector<float>{1.0f, -2.0f}));
}

TEST(QuantisedColumnTest, ExactValuesStandAtTheirPositionsAndCodesFillTheRest)
{
    struct Case {
        const char* name;
        QuantisedColumn column;
        std::vector<float> expected;
    };
    const Case cases[] = {
        {"one exact value", QuantisedColumn{1, 100, 100, 0, 4, {2}, {1000}, {10, 20, 30}}, {10, 20, 1000, 30}},
        {"codes only, kind 2", QuantisedColumn{2, 4, 8, 0, 3, {}, {}, {0, 2, 4}}, {0, 4, 8}},
        {"kind 4, exact first and last", QuantisedColumn{4, 10, 1, -1, 4, {0, 3}, {7, 9}, {0, 10}}, {7, -1, 1, 9}},
        {"no levels: every code is low", QuantisedColumn{1, 0, 5, 2, 2, {}, {}, {3, 9}}, {2, 2}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decoded(testkit::column_bytes(Column{c.column})), c.expected) << c.name;
}

TEST(QuantisedColumnTest, DamagedColumnsAreClearErrors)
{
    struct Case {
        const char* name;
        Column column;
        std::string message;
    };
    QuantisedColumn kind3{1, 10, 1, 0, 1, {}, {}, {1}};
    kind3.kind_field = 3;
    const Case cases[] = {
        {"method 7", Column{RawColumn{{1}}, 7}, "Неизвестный способ сжатия столбца: 7"},
        {"kind 3", Column{kind3}, "Неизвестная разрядность кодов квантованного столбца: 3"},
        {"fewer codes than values", Column{QuantisedColumn{1, 10, 1, 0, 5, {}, {}, {1, 2}}},
         "В квантованном столбце не хватает кодов для 5 значений"},
        {"more exact values than positions", Column{QuantisedColumn{1, 10, 1, 0, 2, {0}, {1, 2}, {1}}},
         "В квантованном столбце 1 позиций точных значений и 2 значений"},
        // The decoder walks the positions; a list out of order is damage, not a search.
        {"positions out of order", Column{QuantisedColumn{1, 10, 1, 0, 3, {2, 0}, {7, 9}, {1}}},
         "В квантованном столбце позиции точных значений идут не по возрастанию"},
        {"negative n", Column{QuantisedColumn{1, 10, 1, 0, -1, {}, {}, {}}}, "Отрицательное число элементов в сжатых данных: -1"},
        {"a list longer than the input", Column{RawColumn{{1, 2}, 1000000}},
         "Список из 1000000 элементов по 4 байт длиннее остатка сжатых данных (8 байт)"},
        {"a negative list count", Column{RawColumn{{}, -5}}, "Отрицательное число элементов в сжатых данных: -5"},
    };
    for (const Case& c : cases) {
        const std::string message = message_of([&] { decoded(testkit::column_bytes(c.column)); });
        EXPECT_EQ(message, c.message) << c.name;
    }
}

TEST(CompressedSetLoad, ReadsEveryMemberIntoTheRecords)
{
    for (const int version : {0, 2}) {
        TempDir dir;
        const std::string base = dir.file("a.realtim");
        testkit::write_compressed_set(small_set(), base, version);
        FileStorage model;
        model.load_compressed(base, version);
        EXPECT_EQ(model.version, version);
        EXPECT_EQ(model.realtime_form, 1);
        EXPECT_EQ(model.params[0].name, "Глубина");
        EXPECT_EQ(times_of(model), (std::vector<std::uint32_t>{100, 101, 105}));
        EXPECT_EQ(model.records[2]->subsecond, version >= 2 ? 3 : 0) << version;
        EXPECT_EQ(model.records[1]->depth_cur, 2.5f);
        EXPECT_EQ(model.records[1]->lag_depth, 1.5f);
        EXPECT_EQ(model.records[2]->operation, 6);
        EXPECT_EQ(values_of(model, 1), (std::vector<float>{20, 21, 22}));
        EXPECT_EQ(model.text_values.lines(), (std::vector<std::string>{"Куст=\"5\"", "Скважина=12"}));
    }
}

TEST(CompressedSetLoad, ATimeElementHoldsTheSubsecondLowAndTheTimeHigh)
{
    TempDir dir;
    CompressedSet set = small_set();
    set.times = {5, 5, 5};
    set.subseconds = {7, 7, 7};
    testkit::write_compressed_set(set, dir.file("t.realtim"), 2);
    FileStorage model;
    model.load_compressed(dir.file("t.realtim"), 2);
    EXPECT_EQ(model.records[0]->time, 5u);
    EXPECT_EQ(model.records[0]->subsecond, 7);
}

TEST(CompressedSetLoad, TheExponentFlagRaisesEAndTheZeroFlagCutsTheLowestHundredth)
{
    struct Case {
        bool zero;
        std::vector<float> expected;
    };
    const Case cases[] = {
        {true, {0.0f, 1.0f, 148.41316f}},
        {false, {static_cast<float>(std::pow(2.718281828459045, -5.0)), 1.0f, 148.41316f}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        CompressedSet set = small_set();
        set.columns[0] = {true, c.zero, Column{RawColumn{{-5, 0, 5}}}};
        testkit::write_compressed_set(set, dir.file("e.realtim"), 0);
        FileStorage model;
        model.load_compressed(dir.file("e.realtim"), 0);
        EXPECT_EQ(values_of(model, 0), c.expected) << c.zero;
    }
}

TEST(CompressedSetLoad, TwoEntriesOfOneNameMakeOneParameterAndOneColumnIsRead)
{
    TempDir dir;
    CompressedSet set = small_set();
    set.params = {named("Depth"), named("DEPTH")};
    set.columns[1].column.method_override = 99; // never reached
    testkit::write_compressed_set(set, dir.file("d.realtim"), 2);
    FileStorage model;
    model.load_compressed(dir.file("d.realtim"), 2);
    EXPECT_EQ(model.param_count, 1);
    EXPECT_EQ(values_of(model, 0), (std::vector<float>{10, 11, 12}));
}

TEST(CompressedSetLoad, DamagedSetsAreClearErrors)
{
    struct Case {
        const char* name;
        std::function<void(CompressedSet&)> damage;
        std::string message;
    };
    const Case cases[] = {
        {"a column shorter than the records", [](CompressedSet& s) { s.columns[1].column = Column{RawColumn{{1, 2}}}; },
         "Столбец из 2 значений при 3 записях"},
        {"a record count beyond the times", [](CompressedSet& s) { s.record_count_override = 2000000000; },
         "Столбец из 3 значений при 2000000000 записях"},
        {"fewer depths than records", [](CompressedSet& s) { s.depth_z = {1}; }, "Столбец из 1 значений при 3 записях"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        CompressedSet set = small_set();
        c.damage(set);
        testkit::write_compressed_set(set, dir.file("x.realtim"), 2);
        FileStorage model;
        EXPECT_EQ(message_of([&] { model.load_compressed(dir.file("x.realtim"), 2); }), c.message) << c.name;
    }
}

TEST(CompressedSetLoad, AMissingMemberIsTheOpenError)
{
    TempDir dir;
    auto members = testkit::compressed_set_members(small_set(), 2);
    std::erase_if(members, [](const auto& m) { return m.suffix == ".depth_cur"; });
    testkit::write_compressed_members(members, dir.file("m.realtim"));
    FileStorage model;
    EXPECT_THROW(model.load_compressed(dir.file("m.realtim"), 2), lib::io::FileNotFoundError);
    EXPECT_EQ(model.records.size(), 3u); // what the earlier members gave stays
}

TEST(CompressedSetLoad, TheFormVersionDecidesTheVariantOfTheSavedFile)
{
    for (const int version : {0, 2}) {
        TempDir dir;
        testkit::write_compressed_set(small_set(), dir.file("s.realtim"), version);
        FileStorage model;
        model.load_compressed(dir.file("s.realtim"), version);
        model.save(dir.file("out.realtim"));
        const std::string bytes = testsupport::read_file(dir.file("out.realtim"));
        EXPECT_EQ(bytes[0], version == 0 ? 2 : 99) << version;
        FileStorage back;
        back.load(dir.file("out.realtim"));
        EXPECT_EQ(values_of(back, 0), (std::vector<float>{10, 11, 12}));
        EXPECT_TRUE(back.warnings.empty());
    }
}

TEST(SingleStream, LoadsTheWholeModelAndReplacesWhatWasThere)
{
    FileStorage model;
    model.text_values.set_value("старое", "1");
    const CompressedSet set = small_set();
    model.load_after_decompressing(*stream_of(testkit::single_stream(set)));
    EXPECT_EQ(model.version, 2);
    EXPECT_EQ(model.param_count, 2);
    EXPECT_EQ(times_of(model), (std::vector<std::uint32_t>{100, 101, 105}));
    EXPECT_EQ(model.records[0]->subsecond, 0);
    EXPECT_EQ(values_of(model, 0), (std::vector<float>{10, 11, 12}));
    EXPECT_EQ(model.text_values.lines().size(), 2u);
}

TEST(SingleStream, AWrongMagicOrVersionIsRefused)
{
    FileStorage model;
    EXPECT_EQ(message_of([&] { model.load_after_decompressing(*stream_of(testkit::single_stream(small_set(), {"CREGFILX", 1}))); }),
              "FileStorage::load_after_decompressing: Некорркетный заголовок файла");
    EXPECT_EQ(message_of([&] { model.load_after_decompressing(*stream_of(testkit::single_stream(small_set(), {"CREGFILE", 2}))); }),
              "FileStorage::load_after_decompressing: Некорркетная версия файла");
}

TEST(SingleStream, MixedMethodsDecodeToWhatTheWriterMeant)
{
    const CompressedSet set = testkit::synthetic_compressed_set(300, 10, 4);
    FileStorage model;
    model.load_after_decompressing(*stream_of(testkit::single_stream(set)));
    ASSERT_EQ(model.records.size(), 300u);
    for (std::size_t u = 0; u < set.columns.size(); ++u) {
        const auto& body = set.columns[u].column.body;
        if (const auto* raw = std::get_if<RawColumn>(&body)) {
            EXPECT_EQ(values_of(model, u), raw->values) << u;
        }
        else if (const auto* quantised = std::get_if<QuantisedColumn>(&body)) {
            EXPECT_EQ(values_of(model, u), testkit::dequantise(*quantised)) << u;
        }
    }
}

// What a stream rebuilt without a model writes, or the error it stops with; the same of a
// load and a save.
std::string rebuilt(const Bytes& stream, const TempDir& dir, bool through_the_model)
{
    const std::string path = dir.file(through_the_model ? "model.realtim" : "direct.realtim");
    try {
        if (through_the_model) {
            FileStorage model;
            model.load_after_decompressing(*stream_of(stream));
            model.save_realtime(path, lib::io::Durability::scratch);
        }
        else {
            rebuild_single_stream(*stream_of(stream), path, lib::io::Durability::scratch);
        }
    }
    catch (const std::runtime_error& error) {
        return std::string("error: ") + error.what();
    }
    return testsupport::read_file(path);
}

TEST(SingleStream, RebuiltWithoutAModelWritesWhatTheModelWould)
{
    CompressedSet twice_named = small_set();
    twice_named.params = {named("Depth"), named("DEPTH")};
    CompressedSet empty = small_set();
    empty.times = {};
    empty.subseconds = {};
    empty.depth_z = {};
    empty.depth_cur = {};
    empty.lag_depth = {};
    empty.operations = {};
    empty.columns = {{false, false, Column{RawColumn{{}}}}, {false, false, Column{RawColumn{{}}}}};
    CompressedSet long_text = testkit::synthetic_compressed_set(1000, 3, 2);
    for (int i = 0; i < 3000; ++i)
        long_text.text_lines.push_back("Строка" + std::to_string(i) + "=значение");
    const std::vector<std::pair<const char*, CompressedSet>> cases = {
        {"raw columns", small_set()},
        {"every method, 300 records", testkit::synthetic_compressed_set(300, 10, 4)},
        {"more records than one block of rows", testkit::synthetic_compressed_set(1000, 7, 5)},
        {"two entries of one name", twice_named},
        {"no records", empty},
        {"a text area of several sectors", long_text},
    };
    TempDir dir;
    for (const auto& [name, set] : cases) {
        const Bytes stream = testkit::single_stream(set);
        const std::string direct = rebuilt(stream, dir, false);
        EXPECT_EQ(direct.rfind("error", 0), std::string::npos) << name << ": " << direct.substr(0, 200);
        EXPECT_TRUE(direct == rebuilt(stream, dir, true)) << name;
    }
}

// A stream may name one parameter many times: its records then carry a value per name, and
// more than a sector holds must be refused, never written with a wrapped size.
TEST(SingleStream, RecordsTooLongForASectorAreRefusedByBothWays)
{
    CompressedSet set = small_set();
    set.params.assign(9000, named("Вес"));
    set.columns.resize(1);
    const Bytes stream = testkit::single_stream(set);
    TempDir dir;
    const std::string direct = rebuilt(stream, dir, false);
    EXPECT_EQ(direct, "error: Слишком длинный сектор записи: 36045 байт");
    EXPECT_EQ(rebuilt(stream, dir, true), direct);
}

TEST(SingleStream, DamagedStreamsNeverCrash)
{
    const Bytes original = testkit::single_stream(testkit::synthetic_compressed_set(70, 5, 9));
    const TempDir dir;
    std::mt19937 rng(44);
    for (int round = 0; round < 400; ++round) {
        Bytes bytes = original;
        for (int i = 0; i < 4; ++i)
            bytes[rng() % bytes.size()] = static_cast<std::uint8_t>(rng());
        if (round % 3 == 0)
            bytes.resize(rng() % bytes.size());
        // Rebuilt without a model, the stream gives the same file or the same refusal.
        EXPECT_TRUE(rebuilt(bytes, dir, false) == rebuilt(bytes, dir, true)) << "round " << round;
        FileStorage model;
        try {
            model.load_after_decompressing(*stream_of(bytes));
        }
        catch (const std::runtime_error&) {
            // FileStorageException or the stream's end-of-input: both are clear refusals.
            continue;
        }
        // What loads is a model the rest of the program can walk: no record holds more
        // values than there are parameters.
        for (const auto& record : model.records) {
            ASSERT_NE(record, nullptr) << "round " << round;
            ASSERT_LE(record->values.size(), static_cast<std::size_t>(model.param_count)) << "round " << round;
        }
    }
}
