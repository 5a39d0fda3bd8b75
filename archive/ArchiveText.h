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

// "ddmmyyyy-hhmmss-CHN.STA" for a file whose first sample lies in the second `start`: the
// channel and station names right-aligned in fields of at least three characters ("  Z"
// for channel Z), longer names kept whole.
std::string ArchiveFileName(const ArchiveTime& start, std::string_view channel,
                            std::string_view station);

// Names and paths of archive files. The catalog (column CPATH) carries each file's path
// relative to the data directory as the station name, a backslash and the file name; on
// disk the backslash is the directory separator '/'.

// "STA\ddmmyyyy-hhmmss-CHN.STA": the station name, a backslash and the file name.
std::string CatalogPath(std::string_view station, std::string_view fileName);
// The catalog path of a file on disk: the name of its directory, a backslash, its name.
std::string CatalogPathOfFile(const std::string& path);
// Where a catalog path lies below `dataDir` on disk; an empty data directory is the
// current one.
std::string DiskPathOfCatalogPath(const std::string& dataDir, std::string_view catalogPath);

// True when a catalog path stays below the data directory: none of its parts (between
// '\\' and '/') is empty, "." or "..", so it neither starts at the root nor climbs out. A
// row whose path does not is never read, whatever file it names.
bool CatalogPathStaysBelow(std::string_view catalogPath);

// A station name becomes a directory directly below the data directory: it must name
// exactly one new level there (not empty, not "." or "..", no '/' or '\\', no blank at
// either end).
bool IsUsableStationName(std::string_view name);
// A channel name becomes part of a file name: it must not lead out of the station
// directory (no '/' or '\\'; the catalog's paths separate with '\\').
bool IsUsableChannelName(std::string_view name);

// Size of the archive file header; the samples start at this offset.
inline constexpr std::size_t kArchiveHeaderSize = 512;
// Bytes of one sample: a 32-bit IEEE float, little-endian.
inline constexpr std::size_t kArchiveSampleSize = 4;
// Gain and sample data type (the catalog's code for float) of every archive file: the
// samples are unscaled 32-bit floats.
inline constexpr int32_t kArchiveGain = 1;
inline constexpr int32_t kArchiveDataTypeFloat = 3;

// Fills `header` with the header text of a file starting at `start` (NUL-terminated, the
// rest spaces). The text is cut at 511 bytes if longer; the result tells whether it fit.
bool ComposeHeader(std::span<char, kArchiveHeaderSize> header, const ArchiveTime& start,
                   const ArchiveTime& duration, double rate, const char* station,
                   const char* channel);
// The header the writer gives a new file whose first sample is at `start`: the start's
// whole seconds, a zero duration, the rate, the station and the channel. False when the
// text had to be cut.
bool ComposeFileHeader(std::span<char, kArchiveHeaderSize> header, EpochSeconds start, double rate,
                       const char* station, const char* channel);
