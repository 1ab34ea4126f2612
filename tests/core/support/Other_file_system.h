#pragma once
// A folder on another file system than a test's own, for the paths that must copy where a
// rename between file systems is refused.

#include "support/Scoped_env.h"
#include "support/TempDir.h"

#include <filesystem>
#include <memory>
#include <string>

#include <sys/stat.h>

namespace testsupport {

// A fresh folder on a file system other than the one of the test's own folder (the tmpfs of
// /dev/shm), so that a placement there must copy; nullptr where there is none.
inline std::unique_ptr<TempDir> folder_on_another_file_system(const TempDir& here)
{
    std::unique_ptr<TempDir> other;
    {
        const testsupport::ScopedEnv tmpdir("TMPDIR", std::string("/dev/shm"));
        if (std::filesystem::is_directory("/dev/shm"))
            other = std::make_unique<TempDir>();
    }
    struct stat a {};
    struct stat b {};
    if (!other || ::stat(here.folder().c_str(), &a) != 0 || ::stat(other->folder().c_str(), &b) != 0
        || a.st_dev == b.st_dev)
        return nullptr;
    return other;
}

} // namespace testsupport
