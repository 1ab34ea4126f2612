#include "lib/Mytime.h"

#include "platform/Clock.h"

#include <array>
#include <string_view>

namespace lib {

namespace {

constexpr int epoch_year = 1970;
constexpr int months_per_year = 12;
constexpr std::int64_t seconds_per_minute = 60;
constexpr std::int64_t seconds_per_hour = 3600;
constexpr std::int64_t seconds_per_day = 86400;
constexpr std::int64_t minutes_per_hour = 60;
constexpr std::int64_t hours_per_day = 24;
constexpr std::int64_t days_per_year = 365;
constexpr std::uint32_t no_time_below = 10;
constexpr std::string_view no_time_text = "---------------";

constexpr std::array<int, months_per_year> month_days{31, 28, 31, 30, 31, 30,
                                                      31, 31, 30, 31, 30, 31};
constexpr std::array<std::string_view, months_per_year> month_names{
    "января", "февраля", "марта",    "апреля",  "мая",    "июня",
    "июля",   "августа", "сентября", "октября", "ноября", "декабря"};

bool is_leap(int year) { return year % 4 == 0; }

int year_length(int year) { return is_leap(year) ? 366 : 365; }

// month must be 1..12.
int month_length(int year, int month) {
    return month == 2 && is_leap(year) ? 29 : month_days[static_cast<std::size_t>(month - 1)];
}

// Leap years in [1970, year); year is at least 1970, so the floor division is plain.
std::int64_t leap_days_before(int year) {
    const std::int64_t before = static_cast<std::int64_t>(year) - 1;
    return before / 4 - (epoch_year - 1) / 4;
}

std::int64_t days_before_month(int year, int month) {
    if (month < 1 || month > months_per_year)
        return 0;
    std::int64_t days = 0;
    for (int m = 1; m < month; ++m)
        days += month_length(year, m);
    return days;
}

} // namespace

std::uint32_t to_seconds(int year, int month, int day, int hour, int minute, int second) {
    if (year < epoch_year)
        return 0;
    const std::int64_t days = days_per_year * (year - epoch_year) + leap_days_before(year) +
                              days_before_month(year, month) + (static_cast<std::int64_t>(day) - 1);
    const std::int64_t total = days * seconds_per_day + hour * seconds_per_hour +
                               minute * seconds_per_minute + second;
    return static_cast<std::uint32_t>(total);
}

std::uint32_t to_seconds(const TimeFields& f) {
    return to_seconds(f.year, f.month, f.day, f.hour, f.minute, f.second);
}

TimeFields split_seconds(std::uint32_t count) {
    TimeFields f;
    f.second = static_cast<int>(count % seconds_per_minute);
    f.minute = static_cast<int>(count / seconds_per_minute % minutes_per_hour);
    f.hour = static_cast<int>(count / seconds_per_hour % hours_per_day);
    auto days = static_cast<int>(count / seconds_per_day);

    f.year = epoch_year;
    while (days >= year_length(f.year))
        days -= year_length(f.year++);
    f.month = 1;
    while (days >= month_length(f.year, f.month))
        days -= month_length(f.year, f.month++);
    f.day = days + 1;
    return f;
}

std::uint32_t now_seconds(int* milliseconds) {
    const platform::LocalTime now = platform::local_now();
    if (milliseconds != nullptr)
        *milliseconds = now.millisecond;
    return to_seconds(now.year, now.month, now.day, now.hour, now.minute, now.second);
}

std::string format_time(std::uint32_t count, bool with_seconds) {
    if (count < no_time_below)
        return std::string(no_time_text);
    const TimeFields f = split_seconds(count);
    std::string text = std::to_string(f.day);
    text += ' ';
    text += month_names[static_cast<std::size_t>(f.month - 1)];
    text += ' ';
    text += std::to_string(f.year);
    text += "г. ";
    text += std::to_string(f.hour);
    text += ':';
    if (f.minute < 10)
        text += '0';
    text += std::to_string(f.minute);
    if (with_seconds) {
        text += ':';
        text += std::to_string(f.second);
    }
    return text;
}

} // namespace lib
