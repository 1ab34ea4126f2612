#include "Cli_run.h"
#include "cli/Cli.h"
#include "cli/Dump.h"

#include "core/support/TempDir.h"
#include "storage/Load_warnings.h"
#include "storage/Realtimedatareader.h"
#include "testkit/Bytes.h"
#include "testkit/Realtime_writer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <bit>
#include <filesystem>
#include <cstdint>
#include <limits>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

using dravinex_cli::DumpFormat;
using nlohmann::json;
using clitest::CliRun;
using clitest::run_cli;
using testsupport::TempDir;

namespace {

constexpr float nan_value = std::numeric_limits<float>::quiet_NaN();
constexpr float infinity = std::numeric_limits<float>::infinity();

FileStorageParam param(std::string name, std::string text1 = "", std::string text2 = "", std::string text3 = "")
{
    FileStorageParam result;
    result.name = std::move(name);
    result.text1 = std::move(text1);
    result.text2 = std::move(text2);
    result.text3 = std::move(text3);
    return result;
}

FileStorageItem record(std::uint32_t time, std::vector<float> values)
{
    FileStorageItem item;
    item.time = time;
    item.values = std::move(values);
    return item;
}

std::string dump_model(const FileStorage& model, DumpFormat format)
{
    std::ostringstream out;
    dravinex_cli::write_dump(model, format, out);
    return out.str();
}

bool same_float(const json& number, float expected)
{
    return number.is_number() && std::bit_cast<std::uint32_t>(static_cast<float>(number.get<double>())) ==
                                     std::bit_cast<std::uint32_t>(expected);
}

// Decimal comma and digit grouping: anything printed through the stream's locale shows.
struct CommaNumpunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

std::locale comma_locale()
{
    return std::locale(std::locale::classic(), new CommaNumpunct);
}

// A small real-time file of the current variant: two parameters, two records, two texts.
class DumpFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FileStorageParam depth = param("DEPTH", "Глубина", "м", "забой");
        depth.int_attr = 7;
        depth.float_attr = 0.1f;
        FileStorageItem first = record(1234567, {0.1f, nan_value});
        first.subsecond = 5;
        first.depth_z = 1500.25f;
        first.depth_cur = infinity;
        first.lag_depth = -infinity;
        first.operation = 3;
        FileStorageItem second = record(1234568, {-2.5f, 123456.79f});
        second.depth_z = 0.3f;
        path = dir.file("well.realtim");
        testkit::write_file(path, testkit::realtime_file({depth, param("Вес, т \"брутто\"")}, {first, second},
                                                         {"WELL=12", "Площадь=Север"}));
    }

    TempDir dir;
    std::string path;
};

} // namespace

TEST_F(DumpFileTest, JsonHoldsTheWholeModelAndReadsBackToTheSameFloats)
{
    const CliRun run = run_cli({"dump", path, "--format", "json"}, comma_locale());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const json dump = json::parse(run.out);

    EXPECT_EQ(dump["version"], 2);
    EXPECT_EQ(dump["encoding"], 3);
    EXPECT_EQ(dump["realtime_form"], 1);

    ASSERT_EQ(dump["params"].size(), 2u);
    const json& depth = dump["params"][0];
    EXPECT_EQ(depth["name"], "DEPTH");
    EXPECT_EQ(depth["text1"], "Глубина");
    EXPECT_EQ(depth["text2"], "м");
    EXPECT_EQ(depth["text3"], "забой");
    EXPECT_EQ(depth["int_attr"], 7);
    EXPECT_TRUE(same_float(depth["float_attr"], 0.1f));
    EXPECT_EQ(dump["params"][1]["name"], "Вес, т \"брутто\"");

    ASSERT_EQ(dump["records"].size(), 2u);
    const json& first = dump["records"][0];
    EXPECT_EQ(first["time"], 1234567);
    EXPECT_EQ(first["datetime"], "15 января 1970г. 6:56:7"); // as the journal writes dates
    EXPECT_EQ(first["subsecond"], 5);
    EXPECT_TRUE(same_float(first["depth_z"], 1500.25f));
    EXPECT_EQ(first["depth_cur"], "Infinity");
    EXPECT_EQ(first["lag_depth"], "-Infinity");
    EXPECT_EQ(first["operation"], 3);
    EXPECT_EQ(first["stamped"], 1);
    EXPECT_EQ(first["values"], json::parse(R"([0.1, "NaN"])"));
    const json& second = dump["records"][1];
    EXPECT_TRUE(same_float(second["depth_z"], 0.3f));
    EXPECT_TRUE(same_float(second["values"][1], 123456.79f));

    EXPECT_EQ(dump["text_values"], json::parse(R"(["WELL=12", "Площадь=Север"])"));
    EXPECT_EQ(dump["warnings"], json::array());
    EXPECT_EQ(dump["warning_texts"], json::array());

    // Shortest forms in the text itself, not the float widened to a double.
    EXPECT_NE(run.out.find(R"("depth_z":0.3,)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(R"("values":[0.1,"NaN"])"), std::string::npos) << run.out;
}

TEST(DumpJsonTest, FloatsPrintInTheirShortestFormAndReadBackExactly)
{
    const struct {
        float value;
        const char* text;
    } cases[] = {
        {0.1f, "0.1"},
        {1.0f / 3.0f, "0.33333334"},
        {100.0f, "100.0"},
        {-0.0f, "-0.0"},
        {16777216.0f, "16777216.0"},
        {std::numeric_limits<float>::max(), "3.4028235e+38"},
        {std::numeric_limits<float>::min(), "1.1754944e-38"},
        {std::numeric_limits<float>::denorm_min(), "1e-45"},
        // Its shortest text, 7.038531e-26, read as a double and narrowed, is the next float.
        {std::bit_cast<float>(0x15ae43fdu), "7.038530691851209e-26"},
        {nan_value, "\"NaN\""},
        {-nan_value, "\"NaN\""},
        {infinity, "\"Infinity\""},
        {-infinity, "\"-Infinity\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        FileStorage model;
        model.add_parameter(param("X"));
        model.add_record(record(1, {c.value}));
        const std::string out = dump_model(model, DumpFormat::json);
        EXPECT_NE(out.find(std::string("\"values\":[") + c.text + "]"), std::string::npos) << out;
        const json dump = json::parse(out);
        const json& value = dump["records"][0]["values"][0];
        if (value.is_number()) {
            EXPECT_TRUE(same_float(value, c.value));
        }
    }
}

TEST(DumpJsonTest, AnEmptyModelIsStillOneValidObject)
{
    FileStorage model;
    const json dump = json::parse(dump_model(model, DumpFormat::json));
    EXPECT_EQ(dump["params"], json::array());
    EXPECT_EQ(dump["records"], json::array());
    EXPECT_EQ(dump["text_values"], json::array());
}

TEST(DumpJsonTest, BrokenUtf8InATextIsReplacedInsteadOfThrowing)
{
    FileStorage model;
    model.add_parameter(param("bad\xff"));
    const json dump = json::parse(dump_model(model, DumpFormat::json));
    EXPECT_EQ(dump["params"][0]["name"], "bad\xef\xbf\xbd");
}

TEST_F(DumpFileTest, CsvHasAHeaderRowQuotedFieldsAndNoLocaleInItsNumbers)
{
    const CliRun run = run_cli({"dump", path, "--format", "csv"}, comma_locale());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "time,subsecond,depth_z,depth_cur,lag_depth,operation,stamped,DEPTH,\"Вес, т \"\"брутто\"\"\"\n"
                       "1234567,5,1500.25,Infinity,-Infinity,3,1,0.1,NaN\n"
                       "1234568,0,0.3,0,0,0,1,-2.5,123456.79\n");
}

TEST(DumpCsvTest, ValuesARecordLacksAreEmptyCells)
{
    FileStorage model;
    model.add_parameter(param("A"));
    model.add_parameter(param("B\nC"));
    model.add_record(record(7, {1.5f}));
    EXPECT_EQ(dump_model(model, DumpFormat::csv), "time,subsecond,depth_z,depth_cur,lag_depth,operation,stamped,A,\"B\nC\"\n"
                                                  "7,0,0,0,0,0,1,1.5,\n");
}

TEST(DumpTextTest, ListsParametersRecordsTextsAndWarningsOnePerLine)
{
    TempDir dir;
    FileStorageItem item = record(42, {2.5f, 0.1f});
    testkit::RealtimeFile file;
    file.format(2, lib::enc_utf8)
        .params({param("DEPTH"), param("Нагрузка")})
        .record(item, 1) // a head that disagrees with the columns: the load warns
        .text_area({"Note=a\tb\x1b[31m"});
    const std::string path = dir.file("well.realtim");
    file.save(path);

    const CliRun run = run_cli({"dump", path});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* expected : {"Кодировка: 3 (UTF-8)", "Нагрузка", "2.5", "0.1", " 1 января 1970г. 0:00:42 ", "Note=a\\tb\\x1b[31m\n",
                                 "Предупреждения: 1\n"})
        EXPECT_NE(run.out.find(expected), std::string::npos) << expected << " missing in\n" << run.out;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << "a control character reached the terminal";
}

// The reader keeps its warnings as keys: the text form shows the sentence a person reads,
// JSON keeps the key for scripts and the sentence beside it.
TEST(DumpWarningsTest, EachReaderWarningIsASentenceWhileJsonKeepsItsKey)
{
    TempDir dir;
    for (const testkit::WarnedFile& file : testkit::realtime_files_with_warnings()) {
        const std::string path = dir.file("well.realtim");
        testkit::write_file(path, file.bytes);
        const std::string sentence = storage::warning_text(file.key);
        ASSERT_NE(sentence, file.key);

        const CliRun text = run_cli({"dump", path});
        ASSERT_EQ(text.status, 0) << text.err;
        EXPECT_NE(text.out.find("Предупреждения: 1\n  " + sentence + "\n"), std::string::npos) << file.key << ":\n" << text.out;
        EXPECT_EQ(text.out.find(file.key), std::string::npos) << file.key << " shown as a key:\n" << text.out;

        const CliRun as_json = run_cli({"dump", path, "--format", "json"});
        ASSERT_EQ(as_json.status, 0) << as_json.err;
        const json dump = json::parse(as_json.out);
        EXPECT_EQ(dump["warnings"], json::array({file.key}));
        EXPECT_EQ(dump["warning_texts"], json::array({sentence}));
    }
}

TEST(DumpErrorTest, AFileThatCannotBeReadGivesOneLineOnStderrAndStatus1)
{
    TempDir dir;
    const std::string folder_path = dir.file("folder.realtim");
    std::filesystem::create_directory(folder_path);

    const struct {
        const char* name;
        std::string path;
        const char* reason;
    } cases[] = {
        {"missing file", dir.file("absent.realtim"), "Файл не найден!"},
        {"missing folder", dir.file("absent/well.tim"), "Файл не найден!"},
        {"wrong extension", dir.write("notes.txt", "WELL=1"), "Неправильное расширение открываемого файла: .txt"},
        {"folder in its place", folder_path, "Невозможно открыть файл!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun run = run_cli({"dump", c.path, "--format", "json"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "") << "nothing is listed from a file that did not load";
        EXPECT_EQ(run.err.rfind("dravinex-cli: " + c.path + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    }
}

TEST_F(DumpFileTest, AnOutputThatCannotBeWrittenIsAFailureNotSuccess)
{
    std::ostream closed(nullptr); // every write fails, as on a full disk
    std::ostringstream err;
    const int status = dravinex_cli::run_dump({path, DumpFormat::csv, std::nullopt}, closed, err);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.str().find("dravinex-cli: "), std::string::npos);
}

TEST(CliUsageTest, WrongCommandLinesExitWith2AndCli11sMessage)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"dump"},
        {"dump", "well.realtim", "--format", "xml"},
        {"dump", "well.realtim", "--format", "1"},
        {"dump", "well.realtim", "--format"},
        {"dump", "well.realtim", "--bogus"},
        {"dump", "a.realtim", "b.realtim"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const CliRun run = run_cli(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("Запустите с --help, чтобы узнать больше."), std::string::npos) << run.err;
    }
}

TEST(CliUsageTest, HelpIsRussianAndKeepsTheSubcommandNames)
{
    const std::vector<std::string> subcommands = {"dump", "export", "extract", "tree", "cache", "watch"};
    const CliRun top = run_cli({"--help"});
    EXPECT_EQ(top.status, 0);
    EXPECT_NE(top.out.find("Подкоманды:"), std::string::npos) << top.out;
    for (const std::string& name : subcommands)
        EXPECT_NE(top.out.find("  " + name), std::string::npos) << name << "\n" << top.out;
    std::vector<std::string> helps = {top.out};
    for (const std::string& name : subcommands)
        helps.push_back(run_cli({name, "--help"}).out);
    for (const std::string& help : helps) {
        EXPECT_NE(help.find("Показать эту справку и выйти"), std::string::npos) << help;
        for (const char* english : {"Usage:", "Options:", "Subcommands:", "Positionals:", "Print this help", " the ",
                                    " of ", " or ", "file"})
            EXPECT_EQ(help.find(english), std::string::npos) << english << " in\n" << help;
    }
}

TEST(CliUsageTest, HelpOfTheSubcommandGoesToStdoutWithStatus0)
{
    const CliRun run = run_cli({"dump", "--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("--format"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");
}
