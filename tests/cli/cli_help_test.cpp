// The help of dravinex-cli and of each subcommand against its golden file in data/help/,
// and the usage errors as Russian sentences that name the option or argument at fault.
//
// After a deliberate change of the help, DRAVINEX_UPDATE_GOLDEN=1 writes the files anew;
// read their diff before committing it.

#include "Cli_run.h"

#include "cli/Help.h"
#include "cli/Output.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#ifndef DRAVINEX_CLI_HELP_DATA
#error "DRAVINEX_CLI_HELP_DATA must name tests/cli/data/help"
#endif

namespace {

std::string golden_path(const std::string& command)
{
    return std::string(DRAVINEX_CLI_HELP_DATA) + "/" + (command.empty() ? "dravinex-cli" : command) + ".txt";
}

std::string read_golden(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

const char* const commands[] = {"", "dump", "export", "extract", "tree", "cache", "watch", "verify", "status"};

} // namespace

TEST(CliHelp, EachSubcommandsHelpIsItsGoldenFile)
{
    const bool update = std::getenv("DRAVINEX_UPDATE_GOLDEN") != nullptr;
    for (const std::string command : commands) {
        std::vector<std::string> args = {"--help"};
        if (!command.empty())
            args.insert(args.begin(), command);
        const clitest::CliRun help = clitest::run_cli(args);
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.err, "") << command;
        if (update)
            std::ofstream(golden_path(command), std::ios::binary) << help.out;
        EXPECT_EQ(help.out, read_golden(golden_path(command))) << "dravinex-cli " << command << " --help";
    }
}

// A description that does not fit begins in the same character column on every line, and
// no line is wider than the help: the column is counted in letters, not in bytes.
TEST(CliHelp, DescriptionsLineUpByCharactersAndFitTheWidth)
{
    using dravinex_cli::HelpFormatter;
    for (const std::string command : commands) {
        std::vector<std::string> args = {"--help"};
        if (!command.empty())
            args.insert(args.begin(), command);
        for (const std::string& line : lines_of(clitest::run_cli(args).out)) {
            EXPECT_LE(dravinex_cli::display_width(line), HelpFormatter::line_width) << command << ": " << line;
            // An entry line: two blanks, a name, blanks up to the column, the description.
            if (line.starts_with("  ") && line.size() > 2 && line[2] != ' ') {
                const std::size_t name_end = line.find("  ", 2);
                if (name_end == std::string::npos)
                    continue; // a long name; its description is on the next line
                const std::size_t text_start = line.find_first_not_of(' ', name_end);
                EXPECT_EQ(dravinex_cli::display_width(line.substr(0, text_start)), HelpFormatter::description_column)
                    << command << ": " << line;
            }
            else if (line.starts_with("   ")) {
                EXPECT_EQ(line.find_first_not_of(' '), HelpFormatter::description_column) << command << ": " << line;
            }
        }
    }
}

TEST(CliHelp, TwoColumnsCountLettersWrapByWordsAndMoveUnderALongName)
{
    using dravinex_cli::HelpFormatter;
    const std::string pad(HelpFormatter::description_column, ' ');
    struct Case {
        const char* what;
        std::string name;
        std::string description;
        std::string expected;
    };
    const std::string long_text = std::string(40, 'a') + " " + std::string(20, 'b') + " ё";
    const Case cases[] = {
        {"ASCII", "--to ТЕКСТ", "Хранилище", "  --to ТЕКСТ" + std::string(18, ' ') + "Хранилище\n"},
        {"no description", "--repair", "", "  --repair\n"},
        {"a name to the column", std::string(28, 'x'), "d", "  " + std::string(28, 'x') + "\n" + pad + "d\n"},
        {"wrapped by words, Cyrillic counted as letters", "-x",
         std::string(25, 'a') + " " + std::string(12, 'b') + " " + "ююююююююююююю",
         "  -x" + std::string(26, ' ') + std::string(25, 'a') + " " + std::string(12, 'b') + "\n" + pad
             + "ююююююююююююю\n"},
        {"a word longer than the column stands alone", "-y", long_text,
         "  -y" + std::string(26, ' ') + std::string(40, 'a') + "\n" + pad + std::string(20, 'b') + " ё\n"},
        {"the description's own line breaks", "-z", "раз\nдва", "  -z" + std::string(26, ' ') + "раз\n" + pad + "два\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HelpFormatter::two_columns(c.name, c.description), c.expected) << c.what;
}

// Each kind of usage error CLI11 knows, with what it was given, becomes our sentence; the
// status is 2 and the hint to --help follows.
TEST(CliUsageErrors, EachKindSaysInRussianWhatIsWrongAndWhere)
{
    struct Case {
        std::vector<std::string> args;
        const char* sentence;
    };
    const Case cases[] = {
        {{}, "не задана подкоманда"},
        {{"dump"}, "не задан обязательный аргумент FILE"},
        {{"export", "x.realtim"}, "не задан обязательный параметр --format"},
        {{"cache"}, "не задан обязательный аргумент ACTION"},
        {{"dump", "x.realtim", "--bogus"}, "неизвестный параметр --bogus"},
        {{"dump", "a.realtim", "b.realtim"}, "лишний аргумент «b.realtim»"},
        {{"cache", "list", "more", "most"}, "лишние аргументы: more most"},
        {{"dump", "x.realtim", "--format", "xml"}, "--format: недопустимое значение «xml»; можно: text, csv, json"},
        {{"cache", "frob"}, "ACTION: недопустимое значение «frob»; можно: list, clear"},
        {{"status", "--older-than", "-1"}, "--older-than: нужно число от 0 до 8760, а не «-1»"},
        {{"status", "--older-than", "abc"}, "--older-than: нужно число от 0 до 8760, а не «abc»"},
        {{"watch", "--settle", "-1"}, "--settle: нужно число от 0 до 86400, а не «-1»"},
        {{"export", "x.realtim", "--format", "csv", "--separator", "|"}, "--separator: ожидается «,» или «;», а не |"},
        {{"export", "x.realtim", "--format", "csv", "--from-time", "2020"},
         "--from-time: ожидается дата и время вида 2020-09-13T12:26:40, а не 2020"},
        {{"extract", "--home"}, "--home: не задано значение"},
        {{"status", "--older-than", "1", "--older-than", "2"}, "--older-than задан несколько раз, а можно только один"},
        {{"verify", "--repair=maybe"}, "--repair: не удалось понять значение «maybe»"},
        {{"export", "x.realtim", "--well", "А/1", "--format", "witsml"}, "FILE и --well нельзя задать вместе"},
    };
    for (const Case& c : cases) {
        const clitest::CliRun run = clitest::run_cli(c.args);
        std::string said;
        for (const std::string& arg : c.args)
            said += " " + arg;
        EXPECT_EQ(run.status, dravinex_cli::exit_usage) << said;
        EXPECT_EQ(run.out, "") << said;
        EXPECT_EQ(run.err, "dravinex-cli: " + std::string(c.sentence) + "\nЗапустите с --help, чтобы узнать больше.\n")
            << said;
    }
}

// A kind of error that has no wording of ours still reads as Russian, never as CLI11's text.
TEST(CliUsageErrors, AnUnknownKindReadsAsAWrongCommandLine)
{
    EXPECT_EQ(dravinex_cli::usage_error_text(CLI::HorribleError("something odd")), "неверная командная строка");
    EXPECT_EQ(dravinex_cli::usage_error_text(CLI::ValidationError("--x", "Value is odd")), "--x: недопустимое значение");
}
