#pragma once
// File helpers of the extraction pipeline. For now: the times of a file by its path.

#include "platform/File.h"

#include <string>

namespace lib {

// The last-access and last-write times of the file at `path` (100-ns ticks since 1601);
// either output may be null. False when there is no such file.
bool file_times(const std::string& path, platform::FileTime* last_access, platform::FileTime* last_write);

} // namespace lib
