#include "cli/Store.h"

#include "app/Configuration.h"
#include "lib/Sys_utils.h"

#include <CLI/CLI.hpp>

#include <filesystem>

namespace dravinex_cli {

namespace {

std::string with_slash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace

void add_store_options(CLI::App& command, StoreOptions& options, bool with_from)
{
    command.add_option("--home", options.home, "Folder of dravinex2.ini, TemporaryFileData.bin and temp.dir.tmp");
    if (with_from)
        command.add_option("--from", options.from, "Package folder for this run (instead of the settings)");
    command.add_option("--to", options.to, "Data store for this run (instead of the settings)");
}

std::string program_folder()
{
    return lib::program_folder();
}

StorePaths resolve_store(const StoreOptions& options)
{
    StorePaths paths;
    paths.home = options.home.empty() ? program_folder() : with_slash(options.home);
    paths.settings = paths.home + "dravinex2.ini";
    paths.cache = paths.home + "TemporaryFileData.bin";
    paths.temp_dir = paths.home + "temp.dir.tmp";
    CONFIGURATION settings;
    settings.set_defaults();
    settings.load(paths.settings);
    paths.from_path = options.from ? with_slash(*options.from) : with_slash(settings.from_path);
    paths.to_path = options.to ? with_slash(*options.to) : with_slash(settings.to_path);
    return paths;
}

} // namespace dravinex_cli
