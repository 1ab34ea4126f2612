#pragma once
// Starting an external program (the archiver) and waiting for it.

#include <string>
#include <vector>

namespace lib {

struct RunResult {
    bool started = false;
    int exit_code = -1;
    std::string output; // what the program printed, for error messages

    explicit operator bool() const { return started; }
};

// Runs `program` with `arguments` as they are (no shell, no quoting) in `folder`, or in the
// program's own folder when `folder` is empty, and waits for its end. Not started when the
// program file does not exist. `console` has no meaning here: the program never gets a
// terminal, its standard input is /dev/null and its output is captured.
RunResult run_and_wait(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& folder, bool console);

// The folder part of a path, with its trailing '/', or "" when it has none.
std::string folder_of(const std::string& path);

// The file name of a path, without its folder part.
std::string name_of(const std::string& path);
// The last extension of the path's file name with its dot, lower-cased; "" without one.
std::string extension_of(const std::string& path);
// The folder with a trailing '/' (an empty text stays empty).
std::string with_slash(const std::string& folder);
// The folder without its trailing '/', for messages and system calls; "/" stays "/".
std::string without_slash(const std::string& folder);
// An area or well name as a folder name: no folder separators, never "." or "..".
std::string folder_name_of(std::string name);

// The path made absolute against `base` (a folder; the current folder when empty), with
// "." and ".." steps resolved by name. An absolute path and an empty one are returned as
// they are; a trailing '/' is kept.
std::string absolute_path(const std::string& path, const std::string& base = {});

// The folder of the running executable, ending with '/'.
std::string program_folder();

} // namespace lib
