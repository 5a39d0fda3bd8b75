#pragma once
// Civil UTC dates and times of the archive as whole fields and as text, on the proleptic
// Gregorian calendar without leap seconds (the converter's own time scale). Fields of a
// time come from the calendar arithmetic (Calendar.h) that names the archive's files; the
// way back is exact for every year, where DateToEpochSeconds keeps the recorders' own
// arithmetic (a day short before 1969).

#include <cstdint>
#include <string>

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
