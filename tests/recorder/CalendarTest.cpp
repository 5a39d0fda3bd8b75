// Calendar arithmetic: exact values at the boundaries, invalid input, and a round trip
// over whole seconds of 1970..2400 checked against the standard library's civil calendar.

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "recorder/Calendar.h"

namespace {

struct Fields {
    int year, month, day, hour, minute;
    float seconds;
};

// Bit-for-bit equality of doubles (also distinguishes -0.0 and +0.0).
bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Seconds since 1970 of a civil date, from the standard library's calendar.
int64_t CivilSeconds(int year, int month, int day, int hour, int minute, int second) {
    using namespace std::chrono;
    const sys_days date{std::chrono::year{year} / month / day};
    return int64_t{date.time_since_epoch().count()} * 86400 + hour * 3600 + minute * 60 + second;
}

TEST(IsLeapYearTest, GregorianRule) {
    const struct {
        int year;
        bool leap;
    } cases[] = {{2000, true},  {1996, true},  {2400, true},  {1900, false},
                 {2100, false}, {2013, false}, {1970, false}, {1972, true},
                 {0, true},     {-4, true},    {-100, false}, {-1, false}};
    for (const auto& c : cases) EXPECT_EQ(IsLeapYear(c.year), c.leap) << c.year;
}

TEST(DateToEpochSecondsTest, KnownTimes) {
    const struct {
        Fields in;
        double expected;
    } cases[] = {
        {{1970, 1, 1, 0, 0, 0.0f}, 0.0},
        {{2000, 3, 1, 0, 0, 0.0f}, 951868800.0},
        {{1999, 12, 31, 23, 59, 59.0f}, 946684799.0},
        {{2100, 3, 1, 0, 0, 0.0f}, 4107542400.0},
        {{2013, 10, 22, 13, 47, 34.25f}, 1382449654.25},
        // For years before 1969 the truncating leap-day count is one day short.
        {{1968, 1, 1, 0, 0, 0.0f}, -63072000.0},
        {{1969, 12, 31, 23, 59, 59.0f}, -1.0},
        // Hour, minute and seconds beyond their ranges simply add up.
        {{1970, 1, 1, 0, 75, 0.0f}, 4500.0},
        {{1970, 1, 1, 25, 0, 61.5f}, 90061.5},
        {{1970, 1, 0, 0, 0, 0.0f}, -86400.0},
        // The largest year a recorder header can hold.
        {{32767, 12, 31, 23, 59, 59.0f}, 971890963199.0},
        // Extreme 32-bit fields overflow nothing (the sum is rounded to double once).
        {{INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, 0.0f}, -6.796150294531008e+16},
        {{INT_MAX, 12, INT_MAX, INT_MAX, INT_MAX, 0.0f}, 6.796137860801682e+16},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Fields& f = cases[i].in;
        const double got = DateToEpochSeconds(f.year, f.month, f.day, f.hour, f.minute, f.seconds);
        EXPECT_TRUE(SameBits(got, cases[i].expected))
            << "case " << i << ": got " << got << " expected " << cases[i].expected;
    }
}

TEST(DateToEpochSecondsTest, SinglePrecisionSecondsAreAddedLast) {
    // 59.999 as a float is 59.99900054931640625; it is widened and added to the whole
    // seconds of 2000-02-29 23:59, giving 951868799.99900054931640625 exactly.
    const float seconds = static_cast<float>(59 + 999 * 0.001);
    ASSERT_EQ(seconds, 59.999f);
    const double got = DateToEpochSeconds(2000, 2, 29, 23, 59, seconds);
    EXPECT_TRUE(SameBits(got, 951868740.0 + static_cast<double>(59.999f)));
    EXPECT_TRUE(SameBits(got, 951868799.99900054931640625));
}

TEST(DateToEpochSecondsTest, MonthOutsideTheYearCountsAsJanuary) {
    // The header's month is not checked; a month outside 1..12 adds no days (no offset
    // and no leap day), so it never reads outside the month table.
    const double january = DateToEpochSeconds(2000, 1, 10, 6, 0, 0.0f);
    ASSERT_EQ(january, 947484000.0);
    for (int month : {0, 13, -1, 100, INT_MIN, INT_MAX}) {
        EXPECT_EQ(DateToEpochSeconds(2000, month, 10, 6, 0, 0.0f), january) << month;
    }
    EXPECT_EQ(DateToEpochSeconds(2001, 0, 1, 0, 0, 0.0f), 978307200.0);
}

TEST(DayOfYearToMonthDayTest, SplitsAndFails) {
    const struct {
        int dayOfYear, year;
        bool ok;
        int month, day;
    } cases[] = {
        {1, 2001, true, 1, 1},        {31, 2001, true, 1, 31},   {32, 2001, true, 2, 1},
        {59, 2000, true, 2, 28},      {60, 2000, true, 2, 29},   {60, 2001, true, 3, 1},
        {61, 2000, true, 3, 1},       {365, 2001, true, 12, 31}, {365, 2000, true, 12, 30},
        {366, 2000, true, 12, 31},    {366, 2001, false, 0, 0},  {367, 2000, false, 0, 0},
        {0, 2000, false, 0, 0},       {-1, 2000, false, 0, 0},   {INT_MIN, 2000, false, 0, 0},
        {INT_MAX, 2000, false, 0, 0}, {60, 1900, true, 3, 1},    {60, 2100, true, 3, 1},
    };
    for (const auto& c : cases) {
        int month = -7;
        int day = -7;
        EXPECT_EQ(DayOfYearToMonthDay(c.dayOfYear, month, day, c.year), c.ok)
            << c.dayOfYear << "/" << c.year;
        EXPECT_EQ(month, c.month) << c.dayOfYear << "/" << c.year;
        EXPECT_EQ(day, c.day) << c.dayOfYear << "/" << c.year;
    }
}

TEST(EpochSecondsToDateTest, KnownTimes) {
    const struct {
        double t;
        Fields expected;
    } cases[] = {
        {0.0, {1970, 1, 1, 0, 0, 0.0f}},
        // The fraction keeps T's resolution of 2^-17 s; here it rounds back to 59.999f.
        {951868799.99900054931640625, {2000, 2, 29, 23, 59, 0x1.dffdf4p+5f}},
        {1382449654.25, {2013, 10, 22, 13, 47, 34.25f}},
        // Last day of a 400-year cycle and of a 4-year cycle: still December 31.
        {978307199.0, {2000, 12, 31, 23, 59, 59.0f}},
        {978220800.0, {2000, 12, 31, 0, 0, 0.0f}},
        {851990400.0, {1996, 12, 31, 0, 0, 0.0f}},
        {851990400.0 + 86400.0, {1997, 1, 1, 0, 0, 0.0f}},
        {4107501296.0, {2100, 2, 28, 12, 34, 56.0f}},
        {13601087999.0, {2400, 12, 31, 23, 59, 59.0f}},
        {253402300799.0, {9999, 12, 31, 23, 59, 59.0f}},
        {-1.0, {1969, 12, 31, 23, 59, 59.0f}},
        // The first second the conversion covers.
        {-62135596800.0, {1, 1, 1, 0, 0, 0.0f}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Fields got{-1, -1, -1, -1, -1, -1.0f};
        ASSERT_TRUE(EpochSecondsToDate(cases[i].t, got.year, got.month, got.day, got.hour,
                                       got.minute, got.seconds))
            << "case " << i;
        const Fields& e = cases[i].expected;
        EXPECT_EQ(got.year, e.year) << "case " << i;
        EXPECT_EQ(got.month, e.month) << "case " << i;
        EXPECT_EQ(got.day, e.day) << "case " << i;
        EXPECT_EQ(got.hour, e.hour) << "case " << i;
        EXPECT_EQ(got.minute, e.minute) << "case " << i;
        EXPECT_EQ(got.seconds, e.seconds) << "case " << i;
    }
}

TEST(EpochSecondsToDateTest, NotANumberOrOutOfRangeWritesNothing) {
    const double cases[] = {std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            1e300,
                            -1e300,
                            1e16};
    for (double t : cases) {
        Fields got{-1, -1, -1, -1, -1, -1.0f};
        EXPECT_FALSE(
            EpochSecondsToDate(t, got.year, got.month, got.day, got.hour, got.minute, got.seconds))
            << t;
        EXPECT_EQ(got.year, -1);
        EXPECT_EQ(got.month, -1);
        EXPECT_EQ(got.day, -1);
        EXPECT_EQ(got.hour, -1);
        EXPECT_EQ(got.minute, -1);
        EXPECT_EQ(got.seconds, -1.0f);
    }
}

// Every second of days at the calendar's turning points, plus one pseudo-random second of
// every day from 1970 to 2400: the forward conversion matches the civil calendar, and the
// backward conversion gives back the fields.
class CalendarRoundTrip : public ::testing::Test {
  protected:
    void Check(int year, int month, int day, int hour, int minute, int second) {
        const double t =
            DateToEpochSeconds(year, month, day, hour, minute, static_cast<float>(second));
        const double expected =
            static_cast<double>(CivilSeconds(year, month, day, hour, minute, second));
        Fields got{};
        const bool ok =
            EpochSecondsToDate(t, got.year, got.month, got.day, got.hour, got.minute, got.seconds);
        if (t != expected || !ok || got.year != year || got.month != month || got.day != day ||
            got.hour != hour || got.minute != minute || got.seconds != static_cast<float>(second)) {
            ++failures_;
            if (failures_ <= 10) {
                ADD_FAILURE() << year << "-" << month << "-" << day << " " << hour << ":" << minute
                              << ":" << second << " -> " << t << " (expected " << expected
                              << ") -> " << got.year << "-" << got.month << "-" << got.day << " "
                              << got.hour << ":" << got.minute << ":" << got.seconds;
            }
        }
    }
    int failures_ = 0;
};

TEST_F(CalendarRoundTrip, EverySecondOfTurningPointDays) {
    const int days[][3] = {
        {1970, 1, 1},   {1972, 2, 29}, {1972, 12, 31}, {1996, 12, 31}, {1997, 1, 1},
        {1999, 12, 31}, {2000, 1, 1},  {2000, 2, 28},  {2000, 2, 29},  {2000, 3, 1},
        {2000, 12, 31}, {2001, 1, 1},  {2013, 10, 22}, {2038, 1, 19},  {2099, 12, 31},
        {2100, 2, 28},  {2100, 3, 1},  {2100, 12, 31}, {2399, 12, 31}, {2400, 2, 29},
        {2400, 12, 31},
    };
    for (const auto& d : days) {
        for (int s = 0; s < 86400; ++s) Check(d[0], d[1], d[2], s / 3600, s / 60 % 60, s % 60);
    }
    EXPECT_EQ(failures_, 0);
}

TEST_F(CalendarRoundTrip, OneSecondOfEveryDay1970To2400) {
    using namespace std::chrono;
    std::mt19937 random(20131022);
    int dayCount = 0;
    for (sys_days d = sys_days{1970y / January / 1}; d <= sys_days{2400y / December / 31};
         d += days{1}) {
        const year_month_day ymd{d};
        const int s = static_cast<int>(random() % 86400);
        Check(static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
              static_cast<int>(static_cast<unsigned>(ymd.day())), s / 3600, s / 60 % 60, s % 60);
        ++dayCount;
    }
    EXPECT_EQ(dayCount, 157420);
    EXPECT_EQ(failures_, 0);
}

}  // namespace
