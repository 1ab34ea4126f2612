#include "cli/Store.h"

#include "app/Configuration.h"
#include "app/Configuration_folders.h"
#include "lib/Sys_utils.h"

#include <CLI/CLI.hpp>

namespace dravinex_cli {

void add_store_options(CLI::App& command, StoreOptions& options, bool with_from)
{
    command.add_option("--home", options.home, "Folder of dravinex2.ini, TemporaryFileData.bin and temp.dir.tmp");
    if (with_from)
        command.add_option("--from", options.from, "Package folder for this run (instead of the settings)");
    command.add_option("--to", options.to, "Data store for this run (instead of the settings)");
}

StorePaths resolve_store(const StoreOptions& options)
{
    StorePaths paths;
    const ProgramFolders folders = program_folders(options.home);
    paths.home = folders.home;
    paths.settings = folders.settings;
    paths.cache = folders.cache;
    paths.temp_dir = folders.temp_dir;
    CONFIGURATION settings;
    settings.set_defaults();
    settings.load(paths.settings);
    paths.from_path = options.from ? lib::with_slash(*options.from) : lib::with_slash(settings.from_path);
    paths.to_path = options.to ? lib::with_slash(*options.to) : lib::with_slash(settings.to_path);
    return paths;
}

} // namespace dravinex_cli
