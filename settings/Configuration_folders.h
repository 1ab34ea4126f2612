#pragma once
// Where the program keeps its own files: the settings "dravinex2.ini", the state folder (the
// package cache "TemporaryFileData.bin", the merge index, the overview's notes, the wells'
// arrivals and the memory of failed packages), the temporary folder "temp.dir.tmp", the
// window program's hand-off files ".handle" and ".files", and the lock file of extraction
// runs. The window
// program and dravinex-cli both take them from here, so that they share one home and never
// disagree about it.
//
// Three layouts, chosen in this order:
//  - a home named by the caller (dravinex-cli --home): every file in that folder;
//  - an installed copy (the marker file "dravinex.installed" lies beside the executable):
//    each user's files in the XDG folders, settings under $XDG_CONFIG_HOME/dravinex/, the
//    state folder $XDG_STATE_HOME/dravinex/, the temporary folder under
//    $XDG_CACHE_HOME/dravinex/ and the hand-off files under $XDG_RUNTIME_DIR/dravinex/;
//    these folders are created (mode 0700) when missing;
//  - otherwise (a copy run from its build folder): every file in the executable's folder.
// Only the installed layout touches the disk, to create its folders; a folder that cannot
// be created shows later as a file that cannot be written, with that file's name.

#include <string>

namespace program_files {
inline constexpr const char* settings = "dravinex2.ini";
inline constexpr const char* cache = "TemporaryFileData.bin";
inline constexpr const char* temp_dir = "temp.dir.tmp";
inline constexpr const char* handle = ".handle";
inline constexpr const char* files = ".files";
inline constexpr const char* run_lock = ".extract.lock";
// The overview's notes and the wells' arrivals, in the state folder.
inline constexpr const char* overview_notes = "WellOverview.bin";
inline constexpr const char* arrivals = "WellArrivals.bin";
// Installed beside the executables of a packaged copy, never present in a build folder.
inline constexpr const char* installed_marker = "dravinex.installed";
// The subfolder of each XDG base folder.
inline constexpr const char* xdg_subfolder = "dravinex";
} // namespace program_files

struct ProgramFolders {
    std::string home;     // ends with '/': the folder of the settings
    std::string settings; // home + "dravinex2.ini"
    // Ends with '/': what the program keeps between runs besides its settings (the cache
    // below, the merge index, the overview's notes, the arrivals, the failed packages).
    std::string state;
    std::string cache;    // state + "TemporaryFileData.bin"
    std::string temp_dir; // "temp.dir.tmp", no trailing '/'
    std::string runtime;  // ends with '/': the folder of the hand-off files
    std::string handle;   // runtime + ".handle"
    std::string files;    // runtime + ".files"
    // Held by the one extraction run of these folders: beside the temporary folder it guards.
    std::string run_lock; // ".extract.lock"
    bool installed = false;
};

// The program's files under `home`, or else by the layout of the running executable.
// A relative `home` is taken from the current folder and made absolute here, since the
// archiver runs in another folder and must get full paths.
ProgramFolders program_folders(const std::string& home = {});

// The same choice for an executable in `executable_folder` (ends with '/').
ProgramFolders program_folders_for(const std::string& home, const std::string& executable_folder);

// The user's home folder without a trailing '/': HOME when set, else the account's entry;
// "" when neither is known.
std::string user_home_folder();
