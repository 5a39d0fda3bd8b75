#pragma once
// The 256-byte header at the start of a PLQ recorder file.
//
//  FIELD               TYPE    OFFSET  NOTE
//  systemName          char36     0    text up to the first NUL, at most 36 bytes
//  reserved36..42      int16     36    4 words, not interpreted
//  year                int16     44    below 100: two-digit year, widened on reading
//  month               int16     46
//  day                 int16     48
//  hour                int16     50
//  minute              int16     52
//  second              int16     54
//  millisecond         int16     56
//  samplesPerSecond    int16     58
//  reserved60, 62      int16     60    not interpreted
//  channelCount        int16     64
//  samplesPerChannel   int32     66    unaligned
//  sampleFormat        int16     70    0: gain-ranged 16 bit, 1: negated int32, else int32
//  reserved72          int16     72    not interpreted
//  (bytes 74..255 are not interpreted)
// All numbers are little-endian and signed.

#include <cstddef>
#include <cstdint>

namespace platform {
class BinaryFile;
}

inline constexpr std::size_t kRecorderHeaderSize = 256;
inline constexpr std::size_t kSystemNameLength = 36;
// Must occur, case-sensitive, somewhere in systemName of a PLQ file.
inline constexpr char kFormatKey[] = "Kelvo";

struct RecorderHeader {
    char systemName[kSystemNameLength + 1] = {};
    int16_t reserved36 = 0;
    int16_t reserved38 = 0;
    int16_t reserved40 = 0;
    int16_t reserved42 = 0;
    int16_t year = 0;
    int16_t month = 0;
    int16_t day = 0;
    int16_t hour = 0;
    int16_t minute = 0;
    int16_t second = 0;
    int16_t millisecond = 0;
    int16_t samplesPerSecond = 0;
    int16_t reserved60 = 0;
    int16_t reserved62 = 0;
    int16_t channelCount = 0;
    int32_t samplesPerChannel = 0;
    int16_t sampleFormat = 0;
    int16_t reserved72 = 0;
};

// The four-digit year of a stored year: below 100 a two-digit year (0..90 -> 2000..2090,
// 91..99 -> 1991..1999, negative values + 2000); 100 and above unchanged.
int WidenRecorderYear(int16_t stored);

// Decodes a header from its 256 raw bytes (no I/O, no printing); widens the year.
RecorderHeader DecodeRecorderHeader(const unsigned char (&raw)[kRecorderHeaderSize]);

// Reads the 256-byte header from the file's current position, fills `header` and prints
// the three dump lines. Returns 0 on success, 1 when fewer than 256 bytes could be read
// (then `header` is untouched and nothing is printed).
int ReadRecorderHeader(platform::BinaryFile& file, RecorderHeader& header);

// True when kFormatKey occurs in header.systemName.
bool HasFormatKey(const RecorderHeader& header);
