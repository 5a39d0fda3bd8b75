#include "recorder/Calendar.h"

#include <cmath>
#include <cstdint>

namespace {

// Days of a common year before the first day of each month (index = month 1..12).
constexpr int kDaysBeforeMonth[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
// Days in each month of a common year (index = month 1..12).
constexpr int kDaysInMonth[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Seconds from 0001-01-01 00:00:00 to 1970-01-01 00:00:00.
constexpr double kSecondsFromYearOne = 62135596800.0;
// Beyond 2^53 seconds a double no longer holds whole seconds, and the year would not fit
// an int: such times (and NaN / infinity) are not converted at all.
constexpr double kLargestConvertible = 9007199254740992.0;

constexpr int kDaysPer400Years = 146097;
constexpr int kDaysPerCommonCentury = 36524;
constexpr int kDaysPer4Years = 1461;
// Last day of a 400-year cycle: it ends a fourth century of 36525 days.
constexpr int kLastDayOf400Years = kDaysPer400Years - 1;

bool IsMonth(int month) {
    return month >= 1 && month <= 12;
}

}  // namespace

bool IsLeapYear(int year) {
    if (year % 400 == 0) return true;
    if (year % 4 != 0) return false;
    return year % 100 != 0;
}

EpochSeconds DateToEpochSeconds(int year, int month, int day, int hour, int minute, float seconds) {
    // 64-bit throughout: the fields are unchecked header values, and no combination of
    // 32-bit inputs overflows 64 bits here.
    int64_t dayOfYear = day;
    if (IsMonth(month)) {
        dayOfYear += kDaysBeforeMonth[month];
        if (month > 2 && IsLeapYear(year)) ++dayOfYear;
    }
    const int64_t y = year;
    // Integer division truncates toward zero; for years before 1969 this makes the count
    // differ from the calendar, and the archive has always used it that way.
    const int64_t leapDaysBefore = (y - 1601) / 400 - (y - 1901) / 100 + (y - 1969) / 4;
    const int64_t days = (y - 1970) * 365 + leapDaysBefore + dayOfYear - 1;
    const int64_t wholeSeconds = days * 86400 + int64_t{hour} * 3600 + int64_t{minute} * 60;
    return static_cast<double>(wholeSeconds) + static_cast<double>(seconds);
}

bool DayOfYearToMonthDay(int dayOfYear, int& month, int& day, int year) {
    month = 0;
    day = 0;
    if (dayOfYear < 1) return false;
    int remaining = dayOfYear;
    for (int m = 1; m <= 12; ++m) {
        const int length = (m == 2 && IsLeapYear(year)) ? 29 : kDaysInMonth[m];
        if (remaining <= length) {
            month = m;
            day = remaining;
            return true;
        }
        remaining -= length;
    }
    return false;
}

bool EpochSecondsToDate(EpochSeconds t, int& year, int& month, int& day, int& hour, int& minute,
                        float& seconds) {
    const double sinceYearOne = t + kSecondsFromYearOne;
    if (!(std::fabs(sinceYearOne) <= kLargestConvertible)) return false;

    // Time of day. The divisions by 86400, 3600 and 60 are multiplications by the
    // double reciprocals; for whole seconds they truncate exactly as integer division.
    const double whole = std::trunc(sinceYearOne);
    const double fraction = sinceYearOne - whole;
    const double days = std::trunc(whole * (1.0 / 86400));
    const double secondOfDay = whole - 86400 * days;
    const double hours = std::trunc(secondOfDay * (1.0 / 3600));
    const double secondOfHour = secondOfDay - 3600 * hours;
    const double minutes = std::trunc(secondOfHour * (1.0 / 60));
    hour = static_cast<int>(hours);
    minute = static_cast<int>(minutes);
    seconds = static_cast<float>((secondOfHour - 60 * minutes) + fraction);

    // Date: 400-year cycles, centuries, 4-year cycles, years. The last day of each cycle
    // belongs to its final (longer) century or leap year, not to the next one.
    const double cycles400 = std::trunc(days / kDaysPer400Years);
    const double dayOfCycle400 = days - kDaysPer400Years * cycles400;
    const double centuries =
        dayOfCycle400 == kLastDayOf400Years ? 3 : std::trunc(dayOfCycle400 / kDaysPerCommonCentury);
    const double dayOfCentury = dayOfCycle400 - kDaysPerCommonCentury * centuries;
    const double cycles4 = std::trunc(dayOfCentury / kDaysPer4Years);
    const double dayOfCycle4 = dayOfCentury - kDaysPer4Years * cycles4;
    double years = std::trunc(dayOfCycle4 * (1.0 / 365));
    if (years == 4) years = 3;
    const int dayOfYear = static_cast<int>(dayOfCycle4 - 365 * years + 1);
    const int fullYear =
        static_cast<int>(400 * cycles400 + 100 * centuries + 4 * cycles4 + years + 1);

    int monthOfYear = 0;
    int dayOfMonth = 0;
    if (!DayOfYearToMonthDay(dayOfYear, monthOfYear, dayOfMonth, fullYear)) return false;
    year = fullYear;
    month = monthOfYear;
    day = dayOfMonth;
    return true;
}
