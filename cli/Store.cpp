#include "cli/Store.h"

#include "settings/Configuration.h"
#include "settings/Configuration_folders.h"
#include "cli/Output.h"
#include "extract/Run_lock.h"
#include "lib/Fileworks.h"
#include "lib/Sys_utils.h"
#include "lib/io/Binary_io.h"

#include <CLI/CLI.hpp>

#include <ostream>
#include <utility>

namespace dravinex_cli {

void add_store_options(CLI::App& command, StoreOptions& options, bool with_from)
{
    command.add_option("--home", options.home, "Папка dravinex2.ini, TemporaryFileData.bin и temp.dir.tmp");
    if (with_from)
        command.add_option("--from", options.from, "Папка пакетов для этого запуска (вместо настроек)");
    command.add_option("--to", options.to, "Хранилище данных для этого запуска (вместо настроек)");
}

void add_form_version_option(CLI::App& command, std::optional<int>& form_version)
{
    command
        .add_option_function<std::string>(
            "--form-version", [&form_version](const std::string& version) { form_version = version == "2" ? 2 : 0; },
            "FILE — общее начало имён набора файлов столбцов (x.realtim для x.realtim.params ...) этой версии формы")
        ->check(CLI::IsMember({"0", "2"}));
}

StorePaths resolve_store(const StoreOptions& options)
{
    StorePaths paths;
    static_cast<ProgramFolders&>(paths) = program_folders(options.home);
    CONFIGURATION settings;
    settings.set_defaults();
    settings.load(paths.settings);
    // Folders of the command line are taken from the current folder at once: the archiver
    // runs elsewhere and must get full paths.
    paths.from_path = options.from ? normalised_folder(*options.from, {}) : settings.from_path;
    paths.to_path = options.to ? normalised_folder(*options.to, {}) : settings.to_path;
    paths.time_zone = settings.time_zone;
    return paths;
}

std::string check_folder_option(const std::string& option, const std::optional<std::string>& folder)
{
    if (!folder)
        return {};
    if (folder->empty())
        return option + ": пустой путь";
    const std::string path = lib::absolute_path(*folder);
    if (!lib::file_exists(path))
        return option + " " + path + ": такой папки нет";
    if (!lib::folder_exists(path))
        return option + " " + path + ": это не папка";
    return {};
}

std::string check_store_options(const StoreOptions& options)
{
    const std::optional<std::string> home =
        options.home.empty() ? std::nullopt : std::optional<std::string>(options.home);
    for (const auto& [option, folder] : {std::pair{"--home", home}, std::pair{"--from", options.from},
                                         std::pair{"--to", options.to}}) {
        if (std::string problem = check_folder_option(option, folder); !problem.empty())
            return problem;
    }
    return {};
}

std::unique_ptr<RunLock> wait_for_run_lock(const StorePaths& paths, std::ostream& err)
{
    try {
        return std::make_unique<RunLock>(paths.run_lock, true, [&] {
            err << run_lock_text::waiting << printable(paths.run_lock) << std::endl;
        });
    }
    catch (const std::exception& error) {
        report(err, lib::io::describe_error(error));
        return nullptr;
    }
}

} // namespace dravinex_cli
