#pragma once
// Where dravinex-cli finds the program's own files: the settings "dravinex2.ini", the
// package cache "TemporaryFileData.bin" and the temporary folder "temp.dir.tmp" live in the
// home folder (--home DIR), else where program_folders() puts them: the XDG folders for an
// installed copy, the folder of the executable for a copy run from its build folder.

#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace dravinex_cli {

struct StoreOptions {
    std::string home;                 // empty: the copy's own folders
    std::optional<std::string> from;  // overrides the settings for this run
    std::optional<std::string> to;
};

void add_store_options(CLI::App& command, StoreOptions& options, bool with_from);

struct StorePaths {
    std::string home;       // ends with '/'
    std::string settings;   // home + "dravinex2.ini"
    std::string cache;      // home + "TemporaryFileData.bin"
    std::string temp_dir;   // home + "temp.dir.tmp", no trailing '/'
    std::string from_path;  // ends with '/'
    std::string to_path;    // ends with '/'
};

// The paths of a run: the settings file's folders unless overridden.
StorePaths resolve_store(const StoreOptions& options);

} // namespace dravinex_cli
