#pragma once
// Where the program keeps its own files: the settings "dravinex2.ini", the package cache
// "TemporaryFileData.bin", the temporary folder "temp.dir.tmp", the window program's
// hand-off files ".handle" and ".files", and the lock file of extraction runs. The window
// program and dravinex-cli both take them from here, so that they share one home and never
// disagree about it.
//
// The home is the folder of the executable unless a caller names another (dravinex-cli
// --home). Nothing here touches the disk.

#include <string>

namespace program_files {
inline constexpr const char* settings = "dravinex2.ini";
inline constexpr const char* cache = "TemporaryFileData.bin";
inline constexpr const char* temp_dir = "temp.dir.tmp";
inline constexpr const char* handle = ".handle";
inline constexpr const char* files = ".files";
inline constexpr const char* run_lock = ".extract.lock";
} // namespace program_files

struct ProgramFolders {
    std::string home;     // ends with '/'
    std::string settings; // home + "dravinex2.ini"
    std::string cache;    // home + "TemporaryFileData.bin"
    std::string temp_dir; // home + "temp.dir.tmp", no trailing '/'
    std::string handle;   // home + ".handle"
    std::string files;    // home + ".files"
    std::string run_lock; // home + ".extract.lock": held by the one extraction run of this home
};

// The program's files under `home`, or under the executable's folder when `home` is empty.
// A relative `home` is taken from the current folder and made absolute here, since the
// archiver runs in another folder and must get full paths.
ProgramFolders program_folders(const std::string& home = {});
