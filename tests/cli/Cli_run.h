#pragma once
// Runs dravinex-cli in-process and keeps what it printed.

#include "cli/Cli.h"

#include <locale>
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

} // namespace clitest
