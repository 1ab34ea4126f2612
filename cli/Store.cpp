#include "cli/Store.h"

#include "app/Configuration.h"
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
    paths.home = options.home.empty() ? lib::program_folder() : lib::with_slash(options.home);
    paths.settings = paths.home + "dravinex2.ini";
    paths.cache = paths.home + "TemporaryFileData.bin";
    paths.temp_dir = paths.home + "temp.dir.tmp";
    CONFIGURATION settings;
    settings.set_defaults();
    settings.load(paths.settings);
    paths.from_path = options.from ? lib::with_slash(*options.from) : lib::with_slash(settings.from_path);
    paths.to_path = options.to ? lib::with_slash(*options.to) : lib::with_slash(settings.to_path);
    return paths;
}

} // namespace dravinex_cli
