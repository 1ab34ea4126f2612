#pragma once
// The command line of dravinex-cli: one subcommand per run. run_cli parses the arguments,
// runs the chosen subcommand and returns the process's exit status, writing only to the
// streams it is given, so tests can call it without a process.

#include <iosfwd>
#include <string_view>

namespace dravinex_cli {

inline constexpr std::string_view program_name = "dravinex-cli";

inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1; // the work itself failed: unreadable file, output error
inline constexpr int exit_usage = 2;   // the command line was wrong

// `progress_bar`: extraction draws a bar on `err` (main() sets it when that is a terminal).
int run_cli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool progress_bar = false);

} // namespace dravinex_cli
