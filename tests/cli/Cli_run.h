#pragma once
// Runs dravinex-cli in-process and keeps what it printed.

#include "cli/Cli.h"

#include <locale>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace clitest {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// `args` without the program name; standard output goes through `locale`.
inline CliRun run_cli(std::vector<std::string> args, const std::locale& locale = std::locale::classic())
{
    args.insert(args.begin(), "dravinex-cli");
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    std::ostringstream out;
    std::ostringstream err;
    out.imbue(locale);
    CliRun run;
    run.status = dravinex_cli::run_cli(static_cast<int>(argv.size()), argv.data(), out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

// The journal printed by extract with the date and time of each run header taken off
// ("Распаковка данных: 7 марта 2021г. 9:05" becomes "Распаковка данных:"); a header
// without them is left as it is, so that the comparison shows it.
inline std::string without_run_time(const std::string& out)
{
    static const std::regex header("^Распаковка данных: \\d+ \\S+ \\d{4}г\\. \\d+:\\d\\d$");
    std::istringstream lines(out);
    std::string result;
    for (std::string line; std::getline(lines, line);)
        result += (std::regex_match(line, header) ? std::string("Распаковка данных:") : line) + "\n";
    return result;
}

} // namespace clitest
