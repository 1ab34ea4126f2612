#pragma once
// What one desktop session shares between copies of the window program: the folder for
// per-user runtime files, the single-copy guard and the locked hand-off file.
//
// The guard is a file "Dravinex3.exe.exists" in the runtime folder, held with flock: the
// first copy gets the exclusive lock and keeps a shared one for its life; later copies see
// the exclusive lock refused and hold a shared lock too. The kernel drops the locks with the
// processes, so the guard goes with the last copy even after a crash.
//
// Nothing here throws except std::bad_alloc; failures show in the results.

#include "platform/File.h"

#include <string>
#include <vector>

namespace platform {

// The one policy for per-user runtime files (the guard, the hand-off socket and files):
// $XDG_RUNTIME_DIR when it is an absolute path of a folder, else /tmp/dravinex-<uid>/
// (created with mode 0700; when that name is taken by a folder this account does not own
// alone, the folder ~/.dravinex-runtime/ instead); ends with '/'.
std::string runtime_folder();

struct InstanceGuard {
    UniqueFd handle; // the lock file, locked while the process lives
    bool exists = false; // another copy held the guard at start-up
};

// Opens or creates the guard file `name` in `folder` and takes its lock as described above.
// When the file cannot be opened at all, the copy counts as the first one.
InstanceGuard open_instance_guard(const std::string& folder, const std::string& name);

// Appends `line` and a line feed to the file under its exclusive lock, creating the file.
// False (with errno in `error`) when the file could not be opened, locked or written.
bool append_line_locked(const std::string& path, const std::string& line, int& error);

// Every line of the file, taken under its exclusive lock, after which the file is emptied.
// A missing file gives no lines; `found` says whether the file was there.
std::vector<std::string> take_lines_locked(const std::string& path, bool& found);

} // namespace platform
