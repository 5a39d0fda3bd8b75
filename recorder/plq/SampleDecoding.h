#pragma once
// Decoding of the samples of one recorder channel block into 32-bit floats. Pure
// computation: no I/O, no allocation. The raw bytes are little-endian as stored in the
// file, need no particular alignment, and are decoded in one pass.
//
// Stored sample encodings, by the header's sample format code:
//
//  FORMAT   BYTES  STORED                       DECODED VALUE
//  0        2      gain-ranged word w           m = bits 0-9, e = bits 10-12, bit 15 = sign,
//                                               bits 13-14 ignored: 2^e * (+-1) * m
//                                               (a set sign with m = 0 gives -0.0)
//  1        4      signed 32-bit integer v      -v, with 0 giving +0.0 and -2^31 giving +2^31
//  other    4      signed 32-bit integer v      v
//
// Every value is rounded to the nearest float (ties to even); format 0 values are exact.

#include <cstddef>
#include <cstdint>

// The format codes with their own encoding; every other code is a plain 32-bit integer.
inline constexpr int kGainRangedFormat = 0;
inline constexpr int kNegatedInt32Format = 1;

// Bytes of one stored sample: 2 for format 0, 4 for every other code.
constexpr std::size_t BytesPerSample(int sampleFormat) {
    return sampleFormat == kGainRangedFormat ? 2 : 4;
}

// The exponent of a gain-ranged word (format 0): bits 10 to 12, 0 to 7.
constexpr unsigned GainRangedExponent(uint16_t word) {
    return (word >> 10) & 0x7u;
}

// Decodes `count` samples of the given format from `raw` (count * BytesPerSample bytes)
// into `samples`. The two ranges must not overlap.
void DecodeSamples(int sampleFormat, const unsigned char* raw, std::size_t count, float* samples);

// The individual decoders, one per encoding.
void DecodeGainRanged16(const unsigned char* raw, std::size_t count, float* samples);
void DecodeNegatedInt32(const unsigned char* raw, std::size_t count, float* samples);
void DecodeInt32(const unsigned char* raw, std::size_t count, float* samples);
