#pragma once
// The texts of the archive: file names and the 512-byte header that opens every archive
// file. Pure composition, no I/O.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "recorder/Calendar.h"

// Calendar fields of a time as names and headers show them: whole seconds, fraction cut.
struct ArchiveTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The fields of `t`. Times the calendar cannot split (before 0001-01-01) give zero date
// fields; the writer does not accept such times in the first place.
ArchiveTime ArchiveTimeOf(EpochSeconds t);

// Appends "\ddmmyyyy-hhmmss-CHN.STA" (backslash first) to `out`: the channel and station
// names right-aligned in fields of at least three characters, longer names kept whole.
void AppendFileName(std::string& out, const ArchiveTime& start, const char* channel,
                    const char* station);

// A station name becomes a directory directly below the data directory: it must name
// exactly one new level there (not empty, not "." or "..", no '/' or '\\').
bool IsUsableStationName(std::string_view name);
// A channel name becomes part of a file name: it must not lead out of the station
// directory (no '/' or '\\'; the catalog's paths separate with '\\').
bool IsUsableChannelName(std::string_view name);

// Size of the archive file header; the samples start at this offset.
inline constexpr std::size_t kArchiveHeaderSize = 512;
// Gain and sample data type (the catalog's code for float) of every archive file: the
// samples are unscaled 32-bit floats.
inline constexpr int32_t kArchiveGain = 1;
inline constexpr int32_t kArchiveDataTypeFloat = 3;

// Fills `header` with the header text of a file starting at `start` (NUL-terminated, the
// rest spaces). The text is cut at 511 bytes if longer; the result tells whether it fit.
bool ComposeHeader(std::span<char, kArchiveHeaderSize> header, const ArchiveTime& start,
                   const ArchiveTime& duration, double rate, const char* station,
                   const char* channel);
