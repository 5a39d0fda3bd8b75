#include "recorder/UtcTime.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "recorder/Calendar.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;

int DaysInMonth(int year, int month) {
    static constexpr int kDays[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month];
}

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

std::string Format(double epochSeconds, int decimals, char dateTimeSeparator, const char* suffix) {
    if (decimals < 0 || decimals > 6) throw std::invalid_argument("FormatUtc: decimals 0..6");
    // The calendar's fields start at 0001-01-01; beyond about year 30000 nobody asks.
    if (!std::isfinite(epochSeconds) || epochSeconds < kFirstArchiveTime || epochSeconds > 9.0e11) {
        return "(not a time)";
    }
    int64_t scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    // Round once, in units of the last digit shown, so that .9996 s with three decimals
    // carries into the next second instead of printing 1000 ms.
    const auto ticks =
        static_cast<int64_t>(std::llround(epochSeconds * static_cast<double>(scale)));
    const int64_t second = FloorDiv(ticks, scale);
    const int64_t fraction = ticks - second * scale;
    const CivilTime civil = EpochSecondsToCivil(second);
    char text[64];
    int length =
        std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d", civil.year, civil.month,
                      civil.day, dateTimeSeparator, civil.hour, civil.minute, civil.second);
    if (decimals > 0) {
        std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), ".%0*lld",
                      decimals, static_cast<long long>(fraction));
    }
    return std::string(text) + suffix;
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
    return month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

int64_t CivilToEpochSeconds(const CivilTime& time) {
    // Days from 1970-01-01 of the proleptic Gregorian date, counted in 400-year eras from
    // 0000-03-01 so that the leap day ends its year.
    const int64_t y = int64_t{time.year} - (time.month <= 2 ? 1 : 0);
    const int64_t era = FloorDiv(y, 400);
    const int64_t yearOfEra = y - era * 400;
    const int64_t monthFromMarch = (time.month + 9) % 12;
    const int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + time.day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const int64_t days = era * 146097 + dayOfEra - 719468;
    return days * kSecondsPerDay + int64_t{time.hour} * 3600 + int64_t{time.minute} * 60 +
           time.second;
}

CivilTime EpochSecondsToCivil(int64_t epochSecond) {
    CivilTime civil;
    float seconds = 0;
    if (!EpochSecondsToDate(static_cast<double>(epochSecond), civil.year, civil.month, civil.day,
                            civil.hour, civil.minute, seconds)) {
        return CivilTime{0, 0, 0, 0, 0, 0};
    }
    civil.second = static_cast<int>(seconds);
    return civil;
}

std::string FormatUtc(double epochSeconds, int decimals) {
    return Format(epochSeconds, decimals, ' ', "");
}

std::string FormatIsoUtc(double epochSeconds, int decimals) {
    return Format(epochSeconds, decimals, 'T', "Z");
}

std::string FormatIsoUtcMicroseconds(int64_t microseconds) {
    const int64_t second = FloorDiv(microseconds, 1000000);
    const auto fraction = static_cast<long long>(microseconds - second * 1000000);
    const CivilTime civil = EpochSecondsToCivil(second);
    if (civil.year <= 0) return "(not a time)";
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06lldZ", civil.year,
                  civil.month, civil.day, civil.hour, civil.minute, civil.second, fraction);
    return text;
}

namespace {

// Reads exactly `digits` decimal digits at `position`, advancing it.
std::optional<int> ReadDigits(std::string_view text, std::size_t& position, int digits) {
    if (position + static_cast<std::size_t>(digits) > text.size()) return std::nullopt;
    int value = 0;
    for (int i = 0; i < digits; ++i, ++position) {
        const char c = text[position];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool Expect(std::string_view text, std::size_t& position, char wanted) {
    if (position >= text.size() || text[position] != wanted) return false;
    ++position;
    return true;
}

// ".ffffff" at `position` (one to six digits) as microseconds; 0 when there is no '.'.
std::optional<int64_t> ReadFraction(std::string_view text, std::size_t& position) {
    if (!Expect(text, position, '.')) return 0;
    int64_t microseconds = 0;
    int digits = 0;
    for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position) {
        if (++digits > 6) return std::nullopt;
        microseconds = microseconds * 10 + (text[position] - '0');
    }
    if (digits == 0) return std::nullopt;
    for (; digits < 6; ++digits) microseconds *= 10;
    return microseconds;
}

// "hh:mm[:ss[.f]]" at `position` into `time`, with the fraction as microseconds.
std::optional<int64_t> ReadClock(std::string_view text, std::size_t& position, CivilTime& time) {
    const auto hour = ReadDigits(text, position, 2);
    if (!hour || !Expect(text, position, ':')) return std::nullopt;
    const auto minute = ReadDigits(text, position, 2);
    if (!minute) return std::nullopt;
    std::optional<int> second = 0;
    std::optional<int64_t> fraction = 0;
    if (Expect(text, position, ':')) {
        second = ReadDigits(text, position, 2);
        if (!second) return std::nullopt;
        fraction = ReadFraction(text, position);
    }
    // No leap seconds: the archive's time scale has none.
    if (*hour > 23 || *minute > 59 || *second > 59 || !fraction) return std::nullopt;
    time.hour = *hour;
    time.minute = *minute;
    time.second = *second;
    return fraction;
}

}  // namespace

std::optional<int64_t> ParseIsoUtcMicroseconds(std::string_view text) {
    std::size_t position = 0;
    CivilTime time;
    const auto year = ReadDigits(text, position, 4);
    if (!year || !Expect(text, position, '-')) return std::nullopt;
    const auto month = ReadDigits(text, position, 2);
    if (!month || !Expect(text, position, '-')) return std::nullopt;
    const auto day = ReadDigits(text, position, 2);
    if (!day || *year < 1 || !IsValidDate(*year, *month, *day)) return std::nullopt;
    time.year = *year;
    time.month = *month;
    time.day = *day;
    std::optional<int64_t> fraction = 0;
    if (Expect(text, position, 'T') || Expect(text, position, ' ')) {
        fraction = ReadClock(text, position, time);
    }
    Expect(text, position, 'Z');
    if (!fraction || position != text.size()) return std::nullopt;
    return CivilToEpochSeconds(time) * 1000000 + *fraction;
}
