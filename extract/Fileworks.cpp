#include "extract/Fileworks.h"

namespace lib {

bool file_times(const std::string& path, platform::FileTime* last_access, platform::FileTime* last_write)
{
    platform::FileTimes times;
    if (!platform::read_path_times(path, times))
        return false;
    if (last_access)
        *last_access = times.last_access;
    if (last_write)
        *last_write = times.last_write;
    return true;
}

} // namespace lib
