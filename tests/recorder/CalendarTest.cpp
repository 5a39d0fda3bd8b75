// The calendar both ways and the UTC texts: literal epoch seconds (worked out with Python's
// datetime, not with this code), the leap and month boundaries, invalid input, and every day
// of the years 1..9999 against std::chrono's civil calendar.

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <tuple>

#include "recorder/Calendar.h"
#include "recorder/UtcTime.h"

namespace {

// {id, way, year, month, day, hour, minute, seconds, epoch seconds}
// 'b': both ways; 'f': DateToEpochSeconds only (fields beyond their ranges, the recorders'
// arithmetic before 1969); 'r': EpochSecondsToDate only; 'x': refused, nothing written.
using CalendarRow = std::tuple<const char*, char, int, int, int, int, int, float, double>;

const double kBeyond2To53 = 9007199254740994.0 - 62135596800.0;  // from 0001-01-01

const CalendarRow kCalendar[] = {
    {"1.1", 'b', 1970, 1, 1, 0, 0, 0.0f, 0.0},
    {"1.2", 'b', 1969, 12, 31, 23, 59, 59.0f, -1.0},
    {"1.3", 'b', 2000, 2, 29, 23, 59, 59.999f, 951868799.99900054931640625},
    {"1.4", 'b', 2000, 3, 1, 0, 0, 0.0f, 951868800.0},
    {"1.5", 'b', 2100, 2, 28, 23, 59, 59.0f, 4107542399.0},
    {"1.6", 'b', 2100, 3, 1, 0, 0, 0.0f, 4107542400.0},
    {"1.7", 'b', 9999, 12, 31, 23, 59, 59.0f, 253402300799.0},
    {"1.8", 'r', 1900, 2, 28, 23, 59, 59.0f, -2203891201.0},
    {"1.9", 'r', 1900, 3, 1, 0, 0, 0.0f, -2203891200.0},
    {"1.10", 'r', 1968, 1, 1, 0, 0, 0.0f, -63158400.0},
    {"1.11", 'f', 1968, 1, 1, 0, 0, 0.0f, -63072000.0},  // the truncating leap-day count
    {"1.12", 'r', 1, 1, 1, 0, 0, 0.0f, -62135596800.0},
    {"1.13", 'f', 1970, 1, 1, 25, 0, 61.5f, 90061.5},
    {"1.14", 'f', 1970, 1, 0, 0, 0, 0.0f, -86400.0},
    {"1.15", 'f', 2000, 0, 10, 6, 0, 0.0f, 947484000.0},  // months outside 1..12: January
    {"1.16", 'f', 2000, 13, 10, 6, 0, 0.0f, 947484000.0},
    {"1.17", 'f', INT_MAX, 12, INT_MAX, INT_MAX, INT_MAX, 0.0f, 6.796137860801682e+16},
    {"1.18", 'x', -1, -1, -1, -1, -1, -1.0f, NAN},
    {"1.19", 'x', -1, -1, -1, -1, -1, -1.0f, kBeyond2To53},
};

TEST(Calendar, KnownTimesBothWaysAndRefusals) {
    for (const auto& [id, way, year, month, day, hour, minute, seconds, t] : kCalendar) {
        if (way == 'b' || way == 'f') {
            EXPECT_EQ(DateToEpochSeconds(year, month, day, hour, minute, seconds), t) << id;
        }
        if (way == 'f') continue;
        int f[5] = {-1, -1, -1, -1, -1};
        float s = -1;
        EXPECT_EQ(EpochSecondsToDate(t, f[0], f[1], f[2], f[3], f[4], s), way != 'x') << id;
        EXPECT_EQ(std::tie(f[0], f[1], f[2], f[3], f[4], s),
                  std::tie(year, month, day, hour, minute, seconds))
            << id;
    }
    int y, mo = -1, d = -1, h, mi;
    float s;
    EXPECT_TRUE(EpochSecondsToDate(kBeyond2To53 - 2, y, mo, d, h, mi, s));  // 2^53 itself
    EXPECT_FALSE(DayOfYearToMonthDay(366, mo, d, 1900) || mo || d);
    EXPECT_FALSE(IsValidDate(2000, 0, 1) || IsValidDate(2000, 13, 1) || IsValidDate(2000, 1, 0));
}

// One second of every day from 0001-01-01 to 9999-12-31, against the standard library: the
// fields back from the seconds (both ways of getting them), the exact civil seconds, the
// recorders' arithmetic from 1969 on, and the day after a month's last day being invalid.
TEST(Calendar, EveryDayOfYears1To9999AgreesWithStdChrono) {
    using namespace std::chrono;
    for (sys_days day = 1y / January / 1; day <= sys_days{9999y / December / 31}; day += days{1}) {
        const year_month_day ymd{day};
        const int64_t daysSince1970 = day.time_since_epoch().count();
        const int second = int((daysSince1970 * 7919 % 86400 + 86400) % 86400);
        const int64_t t = daysSince1970 * 86400 + second;
        const CivilTime c{int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())),
                          second / 3600,   second / 60 % 60,           second % 60};
        const auto same = [&c](const CivilTime& x) { return std::memcmp(&x, &c, sizeof c) == 0; };
        CivilTime got{-1, -1, -1, -1, -1, c.second};
        float seconds = -1;
        const bool ok =
            EpochSecondsToDate(double(t), got.year, got.month, got.day, got.hour, got.minute,
                               seconds) &&
            same(got) && seconds == float(c.second) && same(EpochSecondsToCivil(t)) &&
            CivilToEpochSeconds(c) == t &&
            (c.year < 1969 || DateToEpochSeconds(c.year, c.month, c.day, c.hour, c.minute,
                                                 float(c.second)) == double(t)) &&
            IsValidDate(c.year, c.month, c.day) &&
            (year_month_day{day + days{1}}.day() != 1d || !IsValidDate(c.year, c.month, c.day + 1));
        ASSERT_TRUE(ok) << c.year << "-" << c.month << "-" << c.day;  // the first wrong day
    }
}

TEST(UtcTime, TextsOfTimes) {
    const std::pair<std::string, const char*> rows[] = {
        {FormatUtc(1382449654.25, 3), "2013-10-22 13:47:34.250"},
        {FormatIsoUtc(1382449654.25, 3), "2013-10-22T13:47:34.250Z"},
        {FormatUtc(1382449654.9996, 3), "2013-10-22 13:47:35.000"},  // carried
        {FormatUtc(-0.25, 1), "1969-12-31 23:59:59.7"},              // -2.5 tenths round to -3
        {FormatIsoUtc(951868799.5, 6), "2000-02-29T23:59:59.500000Z"},
        {FormatUtc(-62135596800.0, 0), "0001-01-01 00:00:00"},
        {FormatUtc(-62135596800.5, 0), "(not a time)"},
        {FormatIsoUtc(NAN, 3), "(not a time)"},
    };
    for (const auto& [text, expected] : rows) EXPECT_EQ(text, expected);
    EXPECT_THROW(FormatUtc(0, 7), std::invalid_argument);  // 0 to 6 decimals
    EXPECT_THROW(FormatIsoUtc(0, -1), std::invalid_argument);
    EXPECT_EQ(CivilToEpochSeconds({1970, 1, 1, 25, 61, 61}), 93721);  // fields not limited
}

}  // namespace
