#pragma once
// Where dravinex-cli finds the program's own files: the settings, the state folder, the
// temporary folder and the run lock all live in the home folder (--home DIR), else where
// program_folders() puts them: the XDG folders for an installed copy, the folder of the
// executable for a copy run from its build folder.

#include "settings/Configuration_folders.h"

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

class RunLock;

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

// --form-version 0|2: FILE is the base of a compressed column-file set of that form (dump, export).
void add_form_version_option(CLI::App& command, std::optional<int>& form_version);

// The program's folders of a run (program_folders(): under --home, else the installed or
// the build folder's layout) and the store's folders of the run.
struct StorePaths : ProgramFolders {
    std::string from_path;  // ends with '/'
    std::string to_path;    // ends with '/'
    std::string time_zone;  // the settings' zone of WITSML exports, "" for the machine's
};

// The paths of a run: the settings file's folders unless overridden. Every folder is
// absolute: those of the command line against the current folder, those of the settings
// against the settings file's folder.
StorePaths resolve_store(const StoreOptions& options);

// What is wrong with --home, --from or --to (a path that is missing or not a folder), as
// one line that names the option and the path; "" when they are fine. Checked before a
// subcommand creates anything.
std::string check_store_options(const StoreOptions& options);

// The home's run lock, waited for (saying so on `err`) for a command that changes what a
// run of the home writes; null, with the reason on `err`, when the lock file cannot be made.
std::unique_ptr<RunLock> wait_for_run_lock(const StorePaths& paths, std::ostream& err);

} // namespace dravinex_cli
