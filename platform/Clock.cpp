#include "platform/Clock.h"

#include <ctime>

namespace platform {

namespace {

constexpr long nanoseconds_per_millisecond = 1'000'000;
constexpr int tm_year_base = 1900;

// localtime_r need not read TZ by itself; do it once before the first conversion.
void ensure_time_zone() {
    static const bool done = (tzset(), true);
    (void)done;
}

} // namespace

LocalTime local_now() {
    ensure_time_zone();
    timespec now{};
    std::tm fields{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0 || localtime_r(&now.tv_sec, &fields) == nullptr)
        return LocalTime{};
    return LocalTime{fields.tm_year + tm_year_base,
                     fields.tm_mon + 1,
                     fields.tm_mday,
                     fields.tm_hour,
                     fields.tm_min,
                     fields.tm_sec,
                     static_cast<int>(now.tv_nsec / nanoseconds_per_millisecond)};
}

} // namespace platform
