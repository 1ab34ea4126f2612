#pragma once
// The machine's time zone as an offset from UTC, for exports that must state a zone while
// the station's clock has none.
//
// Thread-safe (localtime_r); never throws. A zone the system cannot convert reads as UTC.

#include <cstdint>

namespace platform {

// Seconds east of UTC that the machine's zone (TZ, else /etc/localtime) has at the UTC
// instant `utc_seconds`.
long utc_offset_at(std::int64_t utc_seconds);

} // namespace platform
