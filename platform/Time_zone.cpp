#include "platform/Time_zone.h"

#include <ctime>

namespace platform {

long utc_offset_at(std::int64_t utc_seconds)
{
    // TZ is read again on every call, so that a changed setting counts from the next export.
    tzset();
    const std::time_t instant = static_cast<std::time_t>(utc_seconds);
    std::tm fields{};
    if (localtime_r(&instant, &fields) == nullptr)
        return 0;
    return fields.tm_gmtoff;
}

} // namespace platform
