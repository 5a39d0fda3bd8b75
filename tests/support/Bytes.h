#pragma once
// Bytes as the tests build and read them, written byte by byte so that nothing depends on
// the machine's byte order, and the recorder formats decoded anew, independently of the
// converter's decoder, from their description:
//   format 0   16-bit word: magnitude bits 0-9, exponent bits 10-12, sign bit 15
//              value = +-magnitude * 2^exponent
//   format 1   int32 v, value -v
//   other      int32 v, value v

#include <xxhash.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "archive/FileChecksum.h"
#include "testing/PlqGenerator.h"

namespace testsupport {

// Overwrites `size` bytes of `bytes` at `offset` with `value`, little-endian.
inline void PutLittleEndian(std::string& bytes, std::size_t offset, uint64_t value,
                            std::size_t size) {
    if (bytes.size() < offset + size) bytes.resize(offset + size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}

inline uint32_t LittleEndian32(const std::string& bytes, std::size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value =
            (value << 8) | static_cast<unsigned char>(bytes[offset + static_cast<std::size_t>(i)]);
    }
    return value;
}

inline std::string FloatBytes(const std::vector<float>& samples) {
    std::string bytes;
    for (float value : samples) {
        uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        PutLittleEndian(bytes, bytes.size(), bits, 4);
    }
    return bytes;
}

// The samples of an archive file's bytes: float32 little-endian after the 512-byte header.
inline std::vector<float> ArchiveSamples(const std::string& fileBytes) {
    std::vector<float> samples;
    for (std::size_t offset = 512; offset + 4 <= fileBytes.size(); offset += 4) {
        const uint32_t bits = LittleEndian32(fileBytes, offset);
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        samples.push_back(value);
    }
    return samples;
}

// The checksum the catalog keeps for a file of these bytes, made anew from its description
// with xxHash's one-shot XXH3-128 in the digits `xxh128sum` prints: the whole, then each MiB.
inline FileChecksum ReferenceChecksum(const std::string& bytes) {
    auto hex = [](const char* data, std::size_t size) {
        XXH128_canonical_t canonical;
        XXH128_canonicalFromHash(&canonical, XXH3_128bits(data, size));
        std::string text;
        for (unsigned char byte : canonical.digest)
            text += "0123456789abcdef"[byte >> 4], text += "0123456789abcdef"[byte & 15];
        return text;
    };
    FileChecksum checksum{static_cast<int64_t>(bytes.size()), hex(bytes.data(), bytes.size()), {}};
    for (std::size_t at = 0; at < bytes.size(); at += 1 << 20) {
        checksum.blockHashes.push_back(
            hex(bytes.data() + at, std::min<std::size_t>(1 << 20, bytes.size() - at)));
    }
    return checksum;
}

// The text of an archive file header, padded as the file carries it: NUL, then spaces.
inline std::string PaddedHeader(const std::string& text) {
    std::string header = text;
    header += '\0';
    header.resize(512, ' ');
    return header;
}

// The value a stored sample stands for (see the top of this file).
inline double ReferenceValue(int format, int32_t stored) {
    if (format == 0) {
        const auto word = static_cast<uint16_t>(stored);
        const double value = (word & 0x3FF) * static_cast<double>(1 << ((word >> 10) & 7));
        return (word & 0x8000) ? -value : value;
    }
    return format == 1 ? -static_cast<double>(stored) : static_cast<double>(stored);
}

// Samples [first, first + count) of channel `channel` of a generated recording, as floats.
inline std::vector<float> ReferenceSamples(const plqgen::RecordingSpec& spec, int channel,
                                           int32_t first, int32_t count) {
    std::vector<float> samples;
    for (int32_t i = first; i < first + count; ++i) {
        samples.push_back(static_cast<float>(
            ReferenceValue(spec.sampleFormat, plqgen::RawSample(spec, channel, i))));
    }
    return samples;
}

// How many records of `records` (SEED 2.4 data records of `length` bytes, big-endian) carry
// each encoding in their Blockette 1000 (11 Steim-2, 4 float32): the first blockette's
// offset at bytes 46-47, each blockette's type and the next one's offset in its first 4.
inline std::map<int, int> RecordEncodings(const std::string& records, std::size_t length = 4096) {
    std::map<int, int> encodings;
    for (std::size_t at = 0; at + length <= records.size(); at += length) {
        const auto byte = [&](std::size_t i) {
            return static_cast<unsigned char>(records[at + i]);
        };
        for (std::size_t b = byte(46) << 8 | byte(47); b != 0 && b + 4 < length;
             b = byte(b + 2) << 8 | byte(b + 3)) {
            if ((byte(b) << 8 | byte(b + 1)) == 1000) ++encodings[byte(b + 4)];
        }
    }
    return encodings;
}

// A recording of October 2013 for the tests that find data by time: two channels (BHZ,
// BHN) at 1 sample per second in format 2, a ramp, so that every sample's value tells
// where it came from.
inline plqgen::RecordingSpec RampRecording(int16_t day, int16_t hour, int16_t minute,
                                           int16_t millisecond, int32_t samples) {
    plqgen::RecordingSpec input;
    input.year = 2013, input.month = 10, input.day = day, input.hour = hour;
    input.minute = minute, input.second = 0, input.millisecond = millisecond;
    input.samplesPerSecond = 1;
    input.channelCount = 2;
    input.samplesPerChannel = samples;
    input.sampleFormat = 2;
    input.signal = plqgen::Signal::Ramp;
    return input;
}

}  // namespace testsupport
