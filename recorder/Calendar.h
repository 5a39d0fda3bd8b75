#pragma once
// Civil date and time <-> EpochSeconds, on the proleptic Gregorian calendar without time
// zones, daylight saving time or leap seconds. The arithmetic is fixed to the operation
// (truncating integer divisions forward, double divisions and reciprocals backward,
// seconds as single-precision floats) because its results name archive files and fill
// catalog rows, so they must come out identical to the last bit on every run.

// Seconds since 1970-01-01 00:00:00, with fractions; earlier times are negative.
using EpochSeconds = double;

bool IsLeapYear(int year);

// Exact for years from 1969 on. Hour, minute and seconds are not limited to their ranges.
// `month` must lie in 1..12; other months are treated as January's offset of 0 days.
EpochSeconds DateToEpochSeconds(int year, int month, int day, int hour, int minute,
                                float seconds);

// Splits the 1-based day of the year into month and day. On failure (day below 1 or past
// the end of the year) month and day are set to 0 and false is returned.
bool DayOfYearToMonthDay(int dayOfYear, int& month, int& day, int year);

// The calendar fields of `t`. Hour, minute and seconds are always written; year, month
// and day only on success. Fails only for times before 0001-01-01.
bool EpochSecondsToDate(EpochSeconds t, int& year, int& month, int& day, int& hour,
                        int& minute, float& seconds);
