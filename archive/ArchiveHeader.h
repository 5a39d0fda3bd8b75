#pragma once
// Reading the 512-byte text header at the start of every archive file (ArchiveText.h
// composes it), as the converter writes it:
//
//  FIELD        TYPE     OFFSET  CONTENT
//  header text  ASCII       0    lines ending in CR LF (below), then one NUL byte
//  padding      spaces   text+1  0x20 up to byte 511
//  samples      float32   512    little-endian IEEE 754, one per sample, in time order
//
// Header lines, in the order the converter writes them:
//   [TRQ5.x]
//   Data offset=512
//   Start time=hh mi ss          whole seconds of the file's first sample
//   Start date=dd mm yyyy
//   Time duration=00 00 00
//   Data Type=FLOAT
//   SpS=100.000000
//   Gain=1
//   Station=ABC
//   Channels="SHZ"
// The reader accepts the key lines in any order and keeps lines it does not know, but each
// known key must appear exactly once and hold a value of the form above.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/ArchiveText.h"

inline constexpr char kArchiveFormatLine[] = "[TRQ5.x]";

// A header, a file size or a sample block that does not follow the archive format.
class ArchiveFormatError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct ArchiveHeader {
    int dataOffset = 0;
    int startHour = 0;
    int startMinute = 0;
    int startSecond = 0;
    int startDay = 0;
    int startMonth = 0;
    int startYear = 0;
    int durationHours = 0;
    int durationMinutes = 0;
    int durationSeconds = 0;
    std::string dataType;
    double samplesPerSecond = 0;
    std::string samplesPerSecondText;  // as written, e.g. "100.000000"
    int gain = 0;
    std::string station;
    std::string channel;                  // without the double quotes
    std::vector<std::string> otherLines;  // lines with keys this reader does not know

    // Start of the file's first sample, whole seconds since 1970-01-01 00:00:00 UTC.
    int64_t StartSecond() const;
    // "STA\ddmmyyyy-hhmmss-CHN.STA": where the converter put the file this header opens.
    std::string CatalogPathItGives() const;
};

// Parses the first 512 bytes of an archive file. Throws ArchiveFormatError naming the first
// fault: no NUL within the 512 bytes, padding other than spaces, a line without CR LF, a
// missing "[TRQ5.x]" line, a missing, repeated or malformed key line, a data offset other
// than 512, a data type other than FLOAT, a sample rate that is not a positive number,
// a time or date outside the calendar.
ArchiveHeader ParseArchiveHeader(std::span<const unsigned char, kArchiveHeaderSize> bytes);
