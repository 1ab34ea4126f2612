#pragma once
// The wall clock as local calendar fields.
//
// Thread-safe (clock_gettime and localtime_r, no shared buffers); never throws. If the
// system cannot read or convert the clock, the fields are all zero.

namespace platform {

struct LocalTime {
    int year;        // e.g. 2021
    int month;       // 1..12
    int day;         // 1..31
    int hour;        // 0..23
    int minute;      // 0..59
    int second;      // 0..59 (60 only under a leap-second time zone)
    int millisecond; // 0..999
};

LocalTime local_now();

} // namespace platform
