#pragma once
// Starting a program and waiting for its end, without a shell.
//
// The arguments go to the program as they are (a path may hold any character). Standard
// input is /dev/null; standard output and standard error are captured together so that a
// caller can quote the program's own message. Blocks the calling thread until the end.

#include <string>
#include <vector>

namespace platform {

struct ProcessResult {
    bool started = false;
    int exit_code = -1;   // the exit status; 128 + signal number when killed by a signal
    std::string output;   // standard output and error, at most the last output_limit bytes
};

inline constexpr std::size_t output_limit = 64 * 1024;

// `folder` is the working folder of the program; empty keeps ours.
ProcessResult spawn_and_wait(const std::string& program, const std::vector<std::string>& arguments,
                             const std::string& folder);

// The path of the running executable; "" when the system does not say.
std::string executable_path();

// The id of the running process, and of the account it runs as.
long current_process_id();
unsigned current_user_id();

// Whether the process's standard error goes to a terminal.
bool error_output_is_terminal();

// The home folder of the account the process runs as, from the account database; "" when
// unknown.
std::string account_home_folder();

} // namespace platform
