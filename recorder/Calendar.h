#pragma once
// Civil date and time <-> EpochSeconds, on the proleptic Gregorian calendar without time
// zones, daylight saving time or leap seconds. The arithmetic is fixed to the operation
// (truncating integer divisions forward, double divisions and reciprocals backward,
// seconds as single-precision floats) because its results name archive files and fill
// catalog rows, so they must come out identical to the last bit on every run.
// All functions are pure: no state, no I/O.

// Seconds since 1970-01-01 00:00:00, with fractions; earlier times are negative.
using EpochSeconds = double;

// The times the archive can name: from 0001-01-01 00:00:00 to before 10000-01-01, the
// years its file names and headers write with four digits.
inline constexpr EpochSeconds kFirstArchiveTime = -62135596800.0;
inline constexpr EpochSeconds kEndOfArchiveTimes = 253402300800.0;
inline bool IsArchiveTime(EpochSeconds t) {
    return t >= kFirstArchiveTime && t < kEndOfArchiveTimes;
}

// Divisible by 400, or by 4 but not by 100.
bool IsLeapYear(int year);

// The time of the given fields: whole days and hours/minutes exact, the single-precision
// seconds widened and added last. Exact for years from 1969 on; for earlier years the
// truncating leap-day count can be a day short (1968-01-01 gives -63072000). Day, hour,
// minute and seconds are not limited to their ranges (a minute of 75 adds 4500 s).
// A month outside 1..12 (recorder headers are not checked) contributes no days at all:
// neither a days-before-month offset nor a leap day, as if it were January. It never
// reads outside the month table.
EpochSeconds DateToEpochSeconds(int year, int month, int day, int hour, int minute, float seconds);

// Splits the 1-based day of the year into month and day. On failure (day below 1 or past
// the end of the year) month and day are set to 0 and false is returned.
bool DayOfYearToMonthDay(int dayOfYear, int& month, int& day, int year);

// The calendar fields of `t`, with seconds = whole seconds plus the fraction of `t` at
// the resolution `t` has (about 7.6 microseconds for present-day times), rounded to
// single precision. Exact for every time from 0001-01-01 00:00:00 on; earlier times give
// fields without calendar meaning. Hour, minute and seconds are written whenever `t` is a
// finite number within +-2^53 seconds of 0001-01-01; year, month and day only on success.
// Returns false when the day of the year cannot be split (only before year 1), and for a
// `t` outside that range or not a number (then nothing is written).
bool EpochSecondsToDate(EpochSeconds t, int& year, int& month, int& day, int& hour, int& minute,
                        float& seconds);
