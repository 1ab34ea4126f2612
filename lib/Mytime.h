#pragma once
// Local time as a 32-bit count of seconds since 1970-01-01 00:00:00 (no time-zone
// conversion), its calendar fields, and the journal's Russian long date format.
//
// Pure functions apart from now_seconds(), which reads the clock; all are thread-safe and
// never throw except std::bad_alloc. Every year divisible by 4 is a leap year (no century
// rule), so to_seconds and split_seconds stay exact inverses over the whole count range.

#include <cstdint>
#include <string>

namespace lib {

struct TimeFields {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0; // 0..59
    int second = 0; // 0..59

    bool operator==(const TimeFields&) const = default;
};

// A year before 1970 gives 0. Fields are not range-checked, except that a month outside
// 1..12 adds no month days (only the day and time of day count). The result is taken
// modulo 2^32, so dates after early February 2106 wrap.
std::uint32_t to_seconds(int year, int month, int day, int hour, int minute, int second);
std::uint32_t to_seconds(const TimeFields& fields);

TimeFields split_seconds(std::uint32_t count);

// The local clock as a count; the milliseconds of the same reading go to `milliseconds`
// when it is not null.
std::uint32_t now_seconds(int* milliseconds = nullptr);

// "7 марта 2021г. 9:05", with ":3" appended when with_seconds. A count below 10 is taken
// as "no time" and gives fifteen dashes.
std::string format_time(std::uint32_t count, bool with_seconds);

} // namespace lib
