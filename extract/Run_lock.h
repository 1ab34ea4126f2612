#pragma once
// One extraction run at a time per program home.
//
// Every run unpacks into the home's temporary folder "temp.dir.tmp" and empties it before
// and after each package, so two runs of one home at once would unpack into each other's
// files. Whoever starts a run (dravinex-cli extract, the window's extraction, a watch)
// takes a RunLock on ProgramFolders::run_lock (settings/Configuration_folders.h) before it
// touches the temporary folder or the package cache, and keeps it until the run has
// ended and the cache is saved.
//
// The lock is an exclusive flock on that file, created when missing. It is released when
// the object is destroyed, and by the system when the process ends in any way (a crash or
// kill -9 leaves no stale lock). It holds between processes and between two RunLock
// objects of one process; it does not hold against programs that ignore it.
//
// Errors: a lock file that cannot be created or opened (the home is missing or not
// writable) raises lib::io::FileError naming it. Waiting blocks the calling thread: a
// window program takes the lock on its worker thread, or tries first with wait = false.

#include "platform/File.h"

#include <functional>
#include <string>

class RunLock {
public:
    // Takes the lock. When another run holds it: with `wait`, calls `on_wait` once (to say
    // so to the user) and blocks until that run ends; without `wait`, returns at once with
    // held() false.
    RunLock(const std::string& lock_path, bool wait, const std::function<void()>& on_wait = {});
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // True when this object holds the lock (always, after a waiting construction).
    bool held() const { return held_; }

private:
    platform::UniqueFd fd_; // closing it releases the lock
    bool held_ = false;
};

namespace run_lock_text {
// What a run that has to wait says, followed by the lock file's path.
inline constexpr const char* waiting = "Идёт другая распаковка с теми же файлами программы, ждём её окончания: ";
// What a run that may not wait says, followed by the lock file's path.
inline constexpr const char* busy = "Идёт другая распаковка с теми же файлами программы: ";
} // namespace run_lock_text
