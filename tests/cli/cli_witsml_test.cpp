// WITSML export end to end: every data file of the sample packages, and files with NaN and
// infinite values, Cyrillic names and units and two passes over the same depths, exported by
// dravinex-cli, valid against the published schemas and read back equal to `dump`.

#include "Cli_run.h"
#include "Witsml_reader.h"
#include "cli/Cli.h"

#include "core/support/TempDir.h"
#include "extract/Regrarclass.h"
#include "storage/Data_file.h"
#include "storage/Export.h"
#include "testkit/Bytes.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>

using clitest::run_cli;
using testsupport::TempDir;
using witsmltest::Document;
using witsmltest::Object;

namespace {

const std::string schemas = std::string(WITSML_SCHEMAS) + "/witsml_v1.4.1.1_data/xsd_schemas/";

// A value as the export writes it: none for the null value, which stands for NaN, the
// infinities and values a record lacks.
std::optional<float> exported_value(const std::string& field)
{
    if (field == "-999.25")
        return std::nullopt;
    float value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size())
        throw std::runtime_error("not a number: " + field);
    return value;
}

// A value as `dump --format json` prints it: NaN and the infinities as strings.
std::optional<float> dumped_value(const nlohmann::json& value)
{
    if (value.is_string())
        return std::nullopt;
    const float number = value.get<float>();
    return std::isfinite(number) ? std::optional<float>(number) : std::nullopt;
}

// The station's time of "2020-09-13T12:26:40+05:00", the offset checked.
std::uint32_t exported_time(const std::string& field, const std::string& offset)
{
    EXPECT_EQ(field.size(), 25u) << field;
    EXPECT_EQ(field.substr(19), offset) << field;
    const auto time = data_export::parse_iso_date_time(field.substr(0, 19));
    EXPECT_TRUE(time.has_value()) << field;
    return time.value_or(0);
}

std::size_t column_of(const Object& log, const std::string& mnemonic)
{
    const auto it = std::find(log.mnemonics.begin(), log.mnemonics.end(), mnemonic);
    if (it == log.mnemonics.end())
        throw std::runtime_error("no column " + mnemonic);
    return static_cast<std::size_t>(it - log.mnemonics.begin());
}

// The records a WITSML export holds, in its order: a time file sorted by time, a depth file
// in file order without the records that have no depth.
std::vector<nlohmann::json> expected_rows(const nlohmann::json& dump, data_file::IndexKind index)
{
    std::vector<nlohmann::json> rows;
    for (const auto& record : dump["records"]) {
        if (index == data_file::IndexKind::depth && (record["stamped"] == 0 || !dumped_value(record["depth_z"])))
            continue;
        rows.push_back(record);
    }
    if (index == data_file::IndexKind::time)
        std::stable_sort(rows.begin(), rows.end(),
                         [](const auto& a, const auto& b) { return a["time"].template get<std::uint32_t>() < b["time"].template get<std::uint32_t>(); });
    return rows;
}

// Validates the export of `path` and compares it, value by value, with `dump --format json`.
void expect_log_equals_dump(const std::string& path, const std::string& xml, const std::string& offset)
{
    SCOPED_TRACE(path);
    ASSERT_EQ(witsmltest::schema_problems(schemas + "obj_log.xsd", xml), "");
    const Document document = witsmltest::read_document(xml);
    EXPECT_EQ(document.root, "logs");
    EXPECT_EQ(document.root_attributes.at("version"), "1.4.1.1");
    ASSERT_FALSE(document.objects.empty());

    const auto dump_run = run_cli({"dump", path, "--format", "json"});
    ASSERT_EQ(dump_run.status, dravinex_cli::exit_ok) << dump_run.err;
    const nlohmann::json dump = nlohmann::json::parse(dump_run.out);
    const data_file::IndexKind index = data_file::index_kind_of(path);
    const std::vector<nlohmann::json> expected = expected_rows(dump, index);
    const auto& params = dump["params"];

    std::size_t row = 0;
    int pass = 0;
    for (const Object& log : document.objects) {
        ++pass;
        SCOPED_TRACE("log " + std::to_string(pass));
        const bool depth = index == data_file::IndexKind::depth;
        EXPECT_EQ(log.fields.at("indexType"), depth ? "measured depth" : "date time");
        EXPECT_EQ(log.fields.at("indexCurve"), depth ? "DEPT" : "TIME");
        EXPECT_EQ(log.fields.at("nullValue"), "-999.25");
        EXPECT_NE(log.fields.at("comments").find("UTC" + offset), std::string::npos);
        if (document.objects.size() > 1) {
            EXPECT_EQ(log.fields.at("pass"), std::to_string(pass));
        }
        ASSERT_EQ(log.curves.size(), log.mnemonics.size());
        ASSERT_EQ(log.units.size(), log.mnemonics.size());
        ASSERT_EQ(log.mnemonics.front(), log.fields.at("indexCurve"));
        std::set<std::string> unique(log.mnemonics.begin(), log.mnemonics.end());
        EXPECT_EQ(unique.size(), log.mnemonics.size());

        // The parameters follow the four record fields, with their names and units.
        const std::size_t first_value = 4;
        for (std::size_t p = 0; p < params.size() && first_value + p < log.curves.size(); ++p) {
            const auto& curve = log.curves[first_value + p].fields;
            const std::string unit = params[p]["text1"];
            const std::string name = params[p]["name"];
            // A text without a symbol is kept, but for the list's separator.
            std::string kept = unit;
            std::replace(kept.begin(), kept.end(), ',', ';');
            EXPECT_EQ(log.units[first_value + p], std::string(data_export::witsml_unit(unit).value_or(kept)));
            EXPECT_EQ(curve.at("curveDescription"), name.empty() ? log.mnemonics[first_value + p] : name);
            EXPECT_EQ(curve.at("typeLogData"), "float");
        }

        const std::size_t time = column_of(log, "TIME");
        const std::size_t depths[] = {column_of(log, "DEPT"), column_of(log, "DCUR"), column_of(log, "DLAG")};
        for (const auto& fields : log.rows) {
            ASSERT_LT(row, expected.size());
            const nlohmann::json& record = expected[row++];
            SCOPED_TRACE("row " + std::to_string(row));
            ASSERT_EQ(fields.size(), log.mnemonics.size());
            EXPECT_EQ(exported_time(fields[time], offset), record["time"].get<std::uint32_t>());
            const char* names[] = {"depth_z", "depth_cur", "lag_depth"};
            for (int d = 0; d < 3; ++d)
                EXPECT_EQ(exported_value(fields[depths[d]]), dumped_value(record[names[d]])) << names[d];
            const auto& values = record["values"];
            for (std::size_t c = first_value; c < fields.size(); ++c) {
                const std::size_t v = c - first_value;
                EXPECT_EQ(exported_value(fields[c]), v < values.size() ? dumped_value(values[v]) : std::nullopt)
                    << log.mnemonics[c];
            }
        }
    }
    EXPECT_EQ(row, expected.size());
}

// Cyrillic names and units (some with a WITSML symbol, some without), XML's own characters,
// and NaN and infinities among the values.
std::vector<FileStorageParam> odd_params()
{
    const char* texts[][3] = {
        {"Давление на входе", "кгс/см²", "ДАВЛ"}, {"Расход & <смесь>", "л/мин", ""}, {"Плотность \"вх\"", "г/см³", "ПЛ"},
        {"Уровень, ёмкость 1", "усл.ед, шкала", "УР,1"}, {"", "", ""},
    };
    std::vector<FileStorageParam> params;
    for (const auto& text : texts) {
        FileStorageParam param;
        param.name = text[0];
        param.text1 = text[1];
        param.text2 = text[2];
        params.push_back(param);
    }
    return params;
}

std::vector<FileStorageItem> odd_records(bool two_passes)
{
    std::vector<FileStorageItem> records;
    for (int i = 0; i < 30; ++i) {
        FileStorageItem record;
        record.time = 1600000000u + static_cast<std::uint32_t>(i) * 7;
        const int step = two_passes ? i % 15 : i;
        record.depth_z = 1200.0f + static_cast<float>(step) * 0.5f;
        record.depth_cur = record.depth_z;
        record.lag_depth = record.depth_z - 3;
        record.values = {static_cast<float>(i) * 0.1f, NAN, INFINITY, -INFINITY, -0.0f};
        if (i % 4 == 0)
            record.values[1] = 12.5f;
        records.push_back(record);
    }
    if (two_passes)
        records[20].depth_z = NAN; // no place on the depth axis
    return records;
}

// A store with the sample packages unpacked, shared by the tests of this file.
class WitsmlExport : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        set_archiver_path(DRAVINEX_ARCHIVER);
        dir = std::make_unique<TempDir>();
        const std::string samples = dir->file("samples");
        ASSERT_EQ(std::system(("'" + std::string(DRAVINEX_SAMPLES) + "' '" + samples + "' > /dev/null").c_str()), 0);
        std::filesystem::create_directories(dir->file("home"));
        std::filesystem::create_directories(dir->file("store"));
        const auto run = run_cli({"extract", "--home", dir->file("home"), "--from", samples, "--to", dir->file("store")});
        ASSERT_EQ(run.status, dravinex_cli::exit_ok) << run.err;
        ASSERT_NE((run.out + run.err).find("с ошибками: 0"), std::string::npos) << run.out << run.err;

        std::filesystem::create_directories(dir->file("store/Опытная/3"));
        testkit::write_file(dir->file("store/Опытная/3/odd.realtim"),
                            testkit::realtime_file(odd_params(), odd_records(false), {"Станция=ГТИ-7 & <Б>"}, 2));
        testkit::write_file(dir->file("store/Опытная/3/passes.realdep"),
                            testkit::realtime_file(odd_params(), odd_records(true), {}, 2));
    }
    static void TearDownTestSuite()
    {
        dir.reset();
    }

    // The data files of the store, every kind the samples bring.
    static std::vector<std::string> data_files()
    {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir->file("store")))
            if (entry.is_regular_file() && data_file::readable(entry.path().string()))
                files.push_back(entry.path().string());
        std::sort(files.begin(), files.end());
        return files;
    }

    static inline std::unique_ptr<TempDir> dir;
};

} // namespace

TEST_F(WitsmlExport, EveryDataFileOfTheSamplesIsValidAndReadsBackEqualToDump)
{
    const std::vector<std::string> files = data_files();
    std::set<std::string> kinds;
    for (const std::string& file : files)
        kinds.insert(std::filesystem::path(file).extension().string());
    EXPECT_EQ(kinds, (std::set<std::string>{".realdep", ".realtim", ".tim"}));
    ASSERT_GE(files.size(), 6u);
    for (const std::string& file : files) {
        const std::string xml = file + ".xml";
        const auto run = run_cli({"export", file, "--format", "witsml", "--time-zone", "+05:00", "-o", xml});
        ASSERT_EQ(run.status, dravinex_cli::exit_ok) << run.err;
        expect_log_equals_dump(file, xml, "+05:00");
        std::filesystem::remove(xml);
    }
}

TEST_F(WitsmlExport, TimesCarryTheZoneOfTheSettingOrOfTheMachineEastAndWestOfUtc)
{
    const struct {
        const char* tz;        // the machine's zone, as POSIX TZ
        const char* option;    // --time-zone, or none
        const char* offset;
    } cases[] = {
        {"UTC0", "+05:00", "+05:00"},
        {"UTC0", "-03:30", "-03:30"},
        {"EKT-5", nullptr, "+05:00"}, // east: five hours ahead of UTC
        {"PST8", nullptr, "-08:00"},  // west
        {"NST3:30", nullptr, "-03:30"},
    };
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        setenv("TZ", c.tz, 1);
        for (const char* name : {"odd.realtim", "passes.realdep"}) {
            const std::string file = dir->file(std::string("store/Опытная/3/") + name);
            std::vector<std::string> args = {"export", file, "--format", "witsml", "-o", file + ".xml"};
            if (c.option)
                args.insert(args.end(), {"--time-zone", c.option});
            const auto run = run_cli(args);
            ASSERT_EQ(run.status, dravinex_cli::exit_ok) << run.err;
            expect_log_equals_dump(file, file + ".xml", c.offset);
        }
    }
    if (saved)
        setenv("TZ", previous.c_str(), 1);
    else
        unsetenv("TZ");
}

TEST_F(WitsmlExport, TwoPassesOverTheSameDepthsAreTwoLogsAndUnitsWithoutSymbolsAreSaid)
{
    const std::string file = dir->file("store/Опытная/3/passes.realdep");
    const auto run = run_cli({"export", file, "--format", "witsml", "--time-zone", "+03:00", "-o", file + ".xml"});
    ASSERT_EQ(run.status, dravinex_cli::exit_ok) << run.err;
    const Document document = witsmltest::read_document(file + ".xml");
    ASSERT_EQ(document.objects.size(), 2u);
    EXPECT_EQ(document.objects[0].fields.at("startIndex"), "1200");
    EXPECT_EQ(document.objects[1].fields.at("startIndex"), "1200");
    EXPECT_EQ(document.objects[0].fields.at("endIndex"), "1207");
    EXPECT_NE(document.objects[0].attributes.at("uid"), document.objects[1].attributes.at("uid"));
    EXPECT_EQ(document.objects[0].attributes.at("uidWell"), document.objects[1].attributes.at("uidWell"));
    // Units: kgf/cm2, L/min and g/cm3 have symbols; "усл.ед, шкала" has none and is kept
    // without the list's separator; the record with no depth is left out and counted.
    const Object& log = document.objects[0];
    EXPECT_EQ(std::vector<std::string>(log.units.begin() + 4, log.units.end()),
              (std::vector<std::string>{"kgf/cm2", "L/min", "g/cm3", "усл.ед; шкала", ""}));
    EXPECT_EQ(log.curves[5].fields.at("curveDescription"), "Расход & <смесь>");
    EXPECT_EQ(log.curves[8].fields.at("curveDescription"), log.curves[8].fields.at("mnemonic"));
    for (const std::string& mnemonic : log.mnemonics)
        EXPECT_EQ(mnemonic.find(','), std::string::npos);
    EXPECT_NE(run.err.find("«усл.ед, шкала»"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("без глубины"), std::string::npos) << run.err;
}

TEST_F(WitsmlExport, AWellExportsItsWellWellboreAndLogsWithUidsThatStayTheSame)
{
    const std::string first = dir->file("well-first");
    const std::string second = dir->file("well-second");
    for (const std::string& target : {first, second}) {
        const auto run = run_cli({"export", "--well", "Северная/12", "--to", dir->file("store"), "--format", "witsml",
                                  "--time-zone", "+05:00", "-o", target});
        ASSERT_EQ(run.status, dravinex_cli::exit_ok) << run.err;
    }
    EXPECT_EQ(witsmltest::schema_problems(schemas + "obj_well.xsd", first + "/well.xml"), "");
    EXPECT_EQ(witsmltest::schema_problems(schemas + "obj_wellbore.xsd", first + "/wellbore.xml"), "");
    expect_log_equals_dump(dir->file("store/Северная/12/well.realtim"), first + "/well.realtim.xml", "+05:00");

    const Object well = witsmltest::read_document(first + "/well.xml").objects.at(0);
    const Object wellbore = witsmltest::read_document(first + "/wellbore.xml").objects.at(0);
    const Object log = witsmltest::read_document(first + "/well.realtim.xml").objects.at(0);
    EXPECT_EQ(well.fields.at("name"), "12");
    EXPECT_EQ(well.fields.at("field"), "Северная");
    EXPECT_EQ(well.fields.at("timeZone"), "+05:00");
    EXPECT_EQ(wellbore.attributes.at("uidWell"), well.attributes.at("uid"));
    EXPECT_EQ(log.attributes.at("uidWell"), well.attributes.at("uid"));
    EXPECT_EQ(log.attributes.at("uidWellbore"), wellbore.attributes.at("uid"));
    // A second export, and the export of the file alone, name the same objects.
    EXPECT_EQ(testsupport::read_file(first + "/well.xml"), testsupport::read_file(second + "/well.xml"));
    EXPECT_EQ(witsmltest::read_document(second + "/well.realtim.xml").objects.at(0).attributes, log.attributes);
    const auto alone = run_cli({"export", dir->file("store/Северная/12/well.realtim"), "--format", "witsml"});
    EXPECT_NE(alone.out.find("uid=\"" + log.attributes.at("uid") + "\""), std::string::npos);
    // Another well, other uids.
    const auto other = run_cli({"export", "--well", "Южная/7", "--to", dir->file("store"), "--format", "witsml", "-o",
                                dir->file("well-other")});
    ASSERT_EQ(other.status, dravinex_cli::exit_ok) << other.err;
    EXPECT_NE(witsmltest::read_document(dir->file("well-other/well.xml")).objects.at(0).attributes.at("uid"),
              well.attributes.at("uid"));
}

TEST_F(WitsmlExport, RangesOfTimeAndDepthTakeOnlyTheRecordsWithinInEveryFormat)
{
    const std::string file = dir->file("store/Опытная/3/odd.realtim");
    // Records are 7 s apart from 1600000000 (2020-09-13T12:26:40) and 0.5 m from 1200 m.
    const struct {
        std::vector<std::string> range;
        std::size_t records;
    } cases[] = {
        {{"--from-time", "2020-09-13T12:27:00", "--to-time", "2020-09-13T12:28:00"}, 9},
        {{"--from-depth", "1201", "--to-depth", "1202.5"}, 4},
        {{"--from-depth", "1210"}, 10},
        {{"--to-time", "2020-09-13T12:26:40"}, 1},
        {{"--from-time", "2030-01-01T00:00:00"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.range[0] + " " + c.range[1]);
        for (const char* format : {"witsml", "csv", "las"}) {
            std::vector<std::string> args = {"export", file, "--format", format, "-o", file + ".out"};
            args.insert(args.end(), c.range.begin(), c.range.end());
            const auto run = run_cli(args);
            ASSERT_EQ(run.status, dravinex_cli::exit_ok) << run.err;
            const std::string text = testsupport::read_file(file + ".out");
            std::size_t rows = 0;
            if (std::string(format) == "witsml") {
                std::filesystem::rename(file + ".out", file + ".xml");
                EXPECT_EQ(witsmltest::schema_problems(schemas + "obj_log.xsd", file + ".xml"), "");
                for (const Object& log : witsmltest::read_document(file + ".xml").objects)
                    rows += log.rows.size();
            }
            else {
                const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
                const std::size_t ascii = text.find("~ASCII");
                rows = std::string(format) == "csv"
                           ? lines - 1
                           : static_cast<std::size_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(ascii), text.end(), '\n')) - 1;
            }
            EXPECT_EQ(rows, c.records) << format;
        }
    }
}

TEST_F(WitsmlExport, WrongRangesZonesAndWellsAreUsageErrors)
{
    const std::string file = dir->file("store/Опытная/3/odd.realtim");
    const std::vector<std::string> cases[] = {
        {"export", file, "--format", "witsml", "--from-time", "13.09.2020"},
        {"export", file, "--format", "witsml", "--from-time", "2020-02-30T00:00:00"},
        {"export", file, "--format", "witsml", "--to-depth", "10,5"},
        {"export", file, "--format", "witsml", "--time-zone", "+25:00"},
        {"export", file, "--format", "witsml", "--time-zone", "Europe/Moscow"},
        {"export", "--format", "witsml"},
        {"export", "--well", "Северная/12", "--format", "csv", "-o", dir->file("x")},
        {"export", "--well", "Северная/12", "--format", "witsml"},
        {"export", "--well", "../12", "--to", dir->file("store"), "--format", "witsml", "-o", dir->file("x")},
        {"export", file, "--well", "Северная/12", "--format", "witsml", "-o", dir->file("x")},
    };
    for (const auto& args : cases) {
        const auto run = run_cli(args);
        EXPECT_EQ(run.status, dravinex_cli::exit_usage) << args.back() << run.err;
        EXPECT_TRUE(run.out.empty());
    }
    const auto missing = run_cli({"export", "--well", "Северная/99", "--to", dir->file("store"), "--format", "witsml",
                                  "-o", dir->file("x")});
    EXPECT_EQ(missing.status, dravinex_cli::exit_failure);
    EXPECT_FALSE(std::filesystem::exists(dir->file("x")));
}
