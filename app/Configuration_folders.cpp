#include "app/Configuration_folders.h"

#include "lib/Sys_utils.h"

ProgramFolders program_folders(const std::string& home)
{
    ProgramFolders folders;
    folders.home = home.empty() ? lib::program_folder() : lib::with_slash(lib::absolute_path(home));
    folders.settings = folders.home + program_files::settings;
    folders.cache = folders.home + program_files::cache;
    folders.temp_dir = folders.home + program_files::temp_dir;
    folders.handle = folders.home + program_files::handle;
    folders.files = folders.home + program_files::files;
    folders.run_lock = folders.home + program_files::run_lock;
    return folders;
}
