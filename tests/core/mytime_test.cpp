#include "lib/Mytime.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace lib {
void PrintTo(const TimeFields& f, std::ostream* os) {
    *os << f.year << '-' << f.month << '-' << f.day << ' ' << f.hour << ':' << f.minute << ':'
        << f.second;
}
} // namespace lib

namespace {

using lib::TimeFields;

constexpr std::uint32_t day_seconds = 86400;
constexpr const char* dashes = "---------------";

struct ToSecondsCase {
    const char* name;
    TimeFields fields;
    std::uint32_t expected;
};

TEST(Mytime, ToSecondsKnownCounts) {
    const std::vector<ToSecondsCase> cases{
        {"epoch", {1970, 1, 1, 0, 0, 0}, 0},
        {"before epoch", {1969, 12, 31, 23, 59, 59}, 0},
        {"journal example", {2021, 3, 7, 9, 5, 3}, 1615107903},
        {"leap day", {2020, 2, 29, 0, 0, 0}, 1582934400},
        {"2100 is a leap year", {2100, 3, 1, 0, 0, 0}, 4107542400u + day_seconds},
        {"month 0 adds no month days", {2021, 0, 5, 1, 0, 0}, 1609804800 + 3600},
        {"month 13 adds no month days", {2021, 13, 5, 1, 0, 0}, 1609804800 + 3600},
    };
    for (const ToSecondsCase& c : cases) {
        EXPECT_EQ(lib::to_seconds(c.fields), c.expected) << c.name;
        const TimeFields& f = c.fields;
        EXPECT_EQ(lib::to_seconds(f.year, f.month, f.day, f.hour, f.minute, f.second), c.expected)
            << c.name;
    }
}

bool test_leap(int year) { return year % 4 == 0; }

int test_month_length(int year, int month) {
    static constexpr int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && test_leap(year) ? 29 : lengths[month - 1];
}

// Walks the calendar day by day, so each date must land exactly one day after the last and
// split back into itself.
TEST(Mytime, EveryDayRoundTripsAndIsOneDayAfterThePrevious) {
    const std::vector<std::vector<int>> times_of_day{{0, 0, 0}, {9, 5, 3}, {23, 59, 59}};
    std::uint32_t day_index = 0;
    for (int year = 1970; year <= 2105; ++year)
        for (int month = 1; month <= 12; ++month)
            for (int day = 1; day <= test_month_length(year, month); ++day, ++day_index)
                for (const auto& t : times_of_day) {
                    const TimeFields f{year, month, day, t[0], t[1], t[2]};
                    const std::uint32_t count = lib::to_seconds(f);
                    ASSERT_EQ(count, day_index * day_seconds + t[0] * 3600u + t[1] * 60u + t[2])
                        << testing::PrintToString(f);
                    ASSERT_EQ(lib::split_seconds(count), f);
                }
}

TEST(Mytime, LastCountSplitsAndRoundTrips) {
    const std::uint32_t last = std::numeric_limits<std::uint32_t>::max();
    const TimeFields f = lib::split_seconds(last);
    EXPECT_EQ(f, (TimeFields{2106, 2, 6, 6, 28, 15})); // a day before the Gregorian date
    EXPECT_EQ(lib::to_seconds(f), last);
}

struct FormatCase {
    const char* name;
    std::uint32_t count;
    bool with_seconds;
    std::string expected;
};

TEST(Mytime, FormatTime) {
    const std::uint32_t march7 = lib::to_seconds(2021, 3, 7, 9, 5, 3);
    const std::uint32_t leap_day = lib::to_seconds(2020, 2, 29, 23, 59, 0);
    const std::uint32_t new_year_eve = lib::to_seconds(2021, 12, 31, 12, 0, 0);
    const std::vector<FormatCase> cases{
        {"journal form", march7, false, "7 марта 2021г. 9:05"},
        {"with seconds", march7, true, "7 марта 2021г. 9:05:3"},
        {"leap day", leap_day, false, "29 февраля 2020г. 23:59"},
        {"after leap day", leap_day + 60, false, "1 марта 2020г. 0:00"},
        {"end of year", new_year_eve, false, "31 декабря 2021г. 12:00"},
        {"next year", new_year_eve + day_seconds, false, "1 января 2022г. 12:00"},
        {"1969", lib::to_seconds(1969, 6, 1, 12, 0, 0), false, dashes},
        {"1969 with seconds", lib::to_seconds(1969, 6, 1, 12, 0, 0), true, dashes},
        {"just below the threshold", 9, true, dashes},
        {"threshold", 10, true, "1 января 1970г. 0:00:10"},
        {"two-digit hour and minute", lib::to_seconds(1999, 10, 15, 14, 37, 59), true,
         "15 октября 1999г. 14:37:59"},
        {"last count", std::numeric_limits<std::uint32_t>::max(), true, "6 февраля 2106г. 6:28:15"},
    };
    for (const FormatCase& c : cases)
        EXPECT_EQ(lib::format_time(c.count, c.with_seconds), c.expected) << c.name;
}

TEST(Mytime, FormatUsesGenitiveMonthNames) {
    const char* names[] = {"января", "февраля", "марта",    "апреля",  "мая",    "июня",
                           "июля",   "августа", "сентября", "октября", "ноября", "декабря"};
    for (int month = 1; month <= 12; ++month)
        EXPECT_EQ(lib::format_time(lib::to_seconds(2023, month, 15, 8, 0, 0), false),
                  "15 " + std::string(names[month - 1]) + " 2023г. 8:00");
}

TEST(Mytime, NowAgreesWithTheLocalClock) {
    const platform::LocalTime before = platform::local_now();
    int milliseconds = -1;
    const std::uint32_t now = lib::now_seconds(&milliseconds);
    const std::uint32_t expected =
        lib::to_seconds(before.year, before.month, before.day, before.hour, before.minute,
                        before.second);

    EXPECT_GE(before.year, 2020);
    EXPECT_LE(std::llabs(static_cast<long long>(now) - static_cast<long long>(expected)), 2);
    EXPECT_GE(milliseconds, 0);
    EXPECT_LE(milliseconds, 999);
    EXPECT_GE(before.millisecond, 0);
    EXPECT_LE(before.millisecond, 999);
    EXPECT_NE(lib::now_seconds(), 0u); // the out-parameter is optional
}

} // namespace
