#include "settings/Configuration_folders.h"

#include "lib/Sys_utils.h"
#include "storage/Merge_index.h"
#include "platform/Process.h"
#include "platform/Session.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>


namespace {

ProgramFolders in_one_folder(const std::string& folder)
{
    ProgramFolders folders;
    folders.home = lib::with_slash(folder);
    folders.settings = folders.home + program_files::settings;
    folders.state = folders.home;
    folders.cache = folders.state + program_files::cache;
    folders.temp_dir = folders.home + program_files::temp_dir;
    folders.runtime = folders.home;
    folders.handle = folders.runtime + program_files::handle;
    folders.files = folders.runtime + program_files::files;
    folders.run_lock = folders.home + program_files::run_lock;
    return folders;
}

// An XDG base folder: the variable when it holds an absolute path (the XDG rules ignore
// relative ones), else the fallback under the home folder.
std::string base_folder(const char* variable, const char* fallback_under_home)
{
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/')
        return lib::with_slash(value);
    return user_home_folder() + "/" + fallback_under_home + "/";
}

// Our subfolder of a base folder, created with its parents when missing. Private to the
// user: it holds the settings, the package list and the hand-off files.
std::string own_subfolder(const std::string& base)
{
    namespace fs = std::filesystem;
    const std::string folder = base + program_files::xdg_subfolder;
    std::error_code error;
    if (!fs::is_directory(folder, error) && fs::create_directories(folder, error))
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, error);
    return folder + "/";
}

// Copies installed before the state folder kept the merge index, the overview's notes and
// the arrivals beside the temporary folder: they move over once, so that no merge reads a
// well whole again and no count of arrivals is lost.
void move_state_from(const std::string& old_folder, const std::string& state)
{
    for (const char* name : {storage::MergeIndex::file_name, program_files::overview_notes, program_files::arrivals}) {
        std::error_code error;
        if (!std::filesystem::exists(old_folder + name, error) || std::filesystem::exists(state + name, error))
            continue;
        std::filesystem::rename(old_folder + name, state + name, error);
        // The two XDG folders may lie on two file systems: then a copy, and the old one goes
        // only once the copy is whole.
        if (error && std::filesystem::copy_file(old_folder + name, state + name, error))
            std::filesystem::remove(old_folder + name, error);
    }
}

ProgramFolders in_xdg_folders()
{
    ProgramFolders folders;
    folders.installed = true;
    folders.home = own_subfolder(base_folder("XDG_CONFIG_HOME", ".config"));
    folders.settings = folders.home + program_files::settings;
    folders.state = own_subfolder(base_folder("XDG_STATE_HOME", ".local/state"));
    folders.cache = folders.state + program_files::cache;
    const std::string cache_folder = own_subfolder(base_folder("XDG_CACHE_HOME", ".cache"));
    folders.temp_dir = cache_folder + program_files::temp_dir;
    folders.run_lock = cache_folder + program_files::run_lock;
    move_state_from(cache_folder, folders.state);
    // The session's runtime folder, as the single-copy guard uses it.
    folders.runtime = own_subfolder(platform::runtime_folder());
    folders.handle = folders.runtime + program_files::handle;
    folders.files = folders.runtime + program_files::files;
    return folders;
}

bool is_installed_copy(const std::string& executable_folder)
{
    std::error_code error;
    return std::filesystem::is_regular_file(executable_folder + program_files::installed_marker, error);
}

} // namespace

std::string user_home_folder()
{
    std::string home;
    if (const char* variable = std::getenv("HOME"); variable != nullptr && *variable != '\0')
        home = variable;
    else
        home = platform::account_home_folder();
    while (!home.empty() && home.back() == '/')
        home.pop_back();
    return home;
}

ProgramFolders program_folders_for(const std::string& home, const std::string& executable_folder)
{
    if (!home.empty())
        return in_one_folder(lib::absolute_path(home));
    if (is_installed_copy(executable_folder))
        return in_xdg_folders();
    return in_one_folder(executable_folder);
}

ProgramFolders program_folders(const std::string& home)
{
    return program_folders_for(home, home.empty() ? lib::program_folder() : std::string());
}
