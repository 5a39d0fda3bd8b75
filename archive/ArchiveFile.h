#pragma once
// Reading one archive file: its header, its size and its samples.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/ArchiveHeader.h"

// The file could not be opened or read; the message names the call, the path and the
// system's error text.
class ArchiveReadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct ArchiveFile {
    std::string path;
    ArchiveHeader header;
    int64_t fileSize = 0;
    int64_t sampleCount = 0;  // (fileSize - 512) / 4

    // Time of the first sample as far as the header tells it: whole seconds.
    double StartTime() const { return static_cast<double>(header.StartSecond()); }
    // Seconds covered by the samples: sampleCount / sample rate.
    double Duration() const { return static_cast<double>(sampleCount) / header.samplesPerSecond; }
};

// Reads and checks the header and the size of the file at `path`. Throws ArchiveReadError
// when the file cannot be read and ArchiveFormatError when it is not an archive file: a
// header fault (see ParseArchiveHeader), or a size other than 512 + 4k bytes.
ArchiveFile OpenArchiveFile(const std::string& path);

// All samples of a file opened with OpenArchiveFile. Throws ArchiveReadError, or
// ArchiveFormatError when the file has changed size since it was opened.
std::vector<float> ReadArchiveSamples(const ArchiveFile& file);

// Samples first .. first + count - 1 of a file opened with OpenArchiveFile, so that a few
// minutes of an hour's file cost a few minutes' reading. The range must lie within the
// sample count. Throws ArchiveReadError, or ArchiveFormatError when the file has become
// shorter since it was opened.
std::vector<float> ReadArchiveSampleRange(const ArchiveFile& file, int64_t first, int64_t count);

// Decodes little-endian float32 samples; `bytes` holds 4 bytes per element of `samples`.
void DecodeArchiveSamples(std::span<const unsigned char> bytes, std::span<float> samples);
