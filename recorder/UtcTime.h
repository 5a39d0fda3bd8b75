#pragma once
// Civil UTC dates and times of the archive as whole fields and as text, on the proleptic
// Gregorian calendar without leap seconds (the converter's own time scale). Fields of a
// time come from the calendar arithmetic (Calendar.h) that names the archive's files; the
// way back is exact for every year, where DateToEpochSeconds keeps the recorders' own
// arithmetic (a day short before 1969).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct CivilTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

bool IsValidDate(int year, int month, int day);

// Whole seconds since 1970-01-01 00:00:00. Hour, minute and second are not limited.
int64_t CivilToEpochSeconds(const CivilTime& time);

// The civil fields of the second that contains `epochSecond`.
CivilTime EpochSecondsToCivil(int64_t epochSecond);

// "2013-10-22 13:47:34" followed by `decimals` (0 to 6) digits of the second's fraction,
// rounded: FormatUtc(1382449654.25, 3) is "2013-10-22 13:47:34.250".
std::string FormatUtc(double epochSeconds, int decimals);

// The same as ISO 8601 with a trailing Z: "2013-10-22T13:47:34.250Z".
std::string FormatIsoUtc(double epochSeconds, int decimals);

// Microseconds since 1970-01-01 00:00:00 UTC as ISO 8601 with six decimals and a trailing
// Z, exact where a double of seconds would round: "2013-10-22T13:47:34.250000Z".
std::string FormatIsoUtcMicroseconds(int64_t microseconds);

// Microseconds since 1970-01-01 00:00:00 UTC of an ISO 8601 time in UTC: a date
// "2013-10-22", optionally followed by "T" (or a blank) and "13:47", "13:47:34" or
// "13:47:34.25" (one to six digits of a fraction), optionally ending in "Z". Nothing when
// the text is not such a time, names a day the calendar lacks, or carries another offset
// from UTC: a window must never be shifted by a guess. Years 0001 to 9999.
std::optional<int64_t> ParseIsoUtcMicroseconds(std::string_view text);
