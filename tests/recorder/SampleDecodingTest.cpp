// Sample decoding: the three encodings bit for bit (signed zeros, rounding, the extremes),
// every possible gain-ranged word, and input at odd addresses.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "recorder/SampleDecoding.h"

namespace {

uint32_t FloatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

std::vector<unsigned char> LittleEndianWords(const std::vector<uint16_t>& words) {
    std::vector<unsigned char> bytes;
    for (uint16_t w : words) {
        bytes.push_back(static_cast<unsigned char>(w & 0xFF));
        bytes.push_back(static_cast<unsigned char>(w >> 8));
    }
    return bytes;
}

std::vector<unsigned char> LittleEndianInt32s(const std::vector<int32_t>& values) {
    std::vector<unsigned char> bytes;
    for (int32_t v : values) {
        const auto u = static_cast<uint32_t>(v);
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<unsigned char>((u >> shift) & 0xFF));
        }
    }
    return bytes;
}

std::vector<float> Decode(int format, const std::vector<unsigned char>& raw) {
    std::vector<float> samples(raw.size() / BytesPerSample(format), -99.0f);
    DecodeSamples(format, raw.data(), samples.size(), samples.data());
    return samples;
}

// A straightforward reading of a gain-ranged word, independent of the decoder's tricks.
float ReferenceGainRanged(uint16_t word) {
    const int magnitude = word % 1024;
    const int exponent = (word / 1024) % 8;
    const bool negative = word >= 0x8000;
    double value = std::ldexp(static_cast<double>(magnitude), exponent);
    if (negative) value = -value;
    return static_cast<float>(value);
}

TEST(SampleDecodingTest, GainRangedWords) {
    const struct {
        uint16_t word;
        float value;
        bool negative;
    } cases[] = {
        {0x0001, 1.0f, false}, {0x0401, 2.0f, false},      {0x1FFF, 130944.0f, false},
        {0x8005, -5.0f, true}, {0x6001, 1.0f, false},      {0x8000, -0.0f, true},
        {0x0000, 0.0f, false}, {0x9FFF, -130944.0f, true}, {0x03FF, 1023.0f, false},
        {0x1C00, 0.0f, false}, {0xE001, -1.0f, true},      {0x7FFF, 130944.0f, false},
    };
    std::vector<uint16_t> words;
    for (const auto& c : cases) words.push_back(c.word);
    const std::vector<float> samples = Decode(0, LittleEndianWords(words));
    ASSERT_EQ(samples.size(), std::size(cases));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i], cases[i].value) << std::hex << cases[i].word;
        EXPECT_EQ(std::signbit(samples[i]), cases[i].negative) << std::hex << cases[i].word;
    }
}

TEST(SampleDecodingTest, EveryGainRangedWordMatchesTheReference) {
    std::vector<uint16_t> words(65536);
    for (std::size_t w = 0; w < words.size(); ++w) words[w] = static_cast<uint16_t>(w);
    const std::vector<float> samples = Decode(0, LittleEndianWords(words));
    int mismatches = 0;
    for (std::size_t w = 0; w < words.size(); ++w) {
        const float expected = ReferenceGainRanged(static_cast<uint16_t>(w));
        if (FloatBits(samples[w]) != FloatBits(expected) && ++mismatches <= 10) {
            ADD_FAILURE() << "word 0x" << std::hex << w << ": got " << samples[w] << " expected "
                          << expected;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(SampleDecodingTest, NegatedInt32) {
    const struct {
        int32_t stored;
        uint32_t bits;  // of the expected float
    } cases[] = {
        {5, FloatBits(-5.0f)},
        {-7, FloatBits(7.0f)},
        {0, FloatBits(0.0f)},  // +0.0, sign clear
        {INT32_MIN, FloatBits(2147483648.0f)},
        {INT32_MAX, FloatBits(-2147483648.0f)},
        {16777217, FloatBits(-16777216.0f)},  // tie, rounded to even
        {16777219, FloatBits(-16777220.0f)},  // tie, rounded to even
        {-16777217, FloatBits(16777216.0f)},
        {1, FloatBits(-1.0f)},
        {-1, FloatBits(1.0f)},
    };
    std::vector<int32_t> stored;
    for (const auto& c : cases) stored.push_back(c.stored);
    const std::vector<float> samples = Decode(1, LittleEndianInt32s(stored));
    ASSERT_EQ(samples.size(), std::size(cases));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(FloatBits(samples[i]), cases[i].bits)
            << cases[i].stored << " gave " << samples[i];
    }
}

TEST(SampleDecodingTest, PlainInt32ForEveryOtherFormat) {
    const struct {
        int32_t stored;
        float value;
    } cases[] = {
        {16777217, 16777216.0f},
        {16777219, 16777220.0f},
        {-16777217, -16777216.0f},
        {INT32_MIN, -2147483648.0f},
        {INT32_MAX, 2147483648.0f},
        {0, 0.0f},
        {-5, -5.0f},
        {123456, 123456.0f},
    };
    std::vector<int32_t> stored;
    for (const auto& c : cases) stored.push_back(c.stored);
    for (int format : {2, 3, -1, -32768, 32767}) {
        const std::vector<float> samples = Decode(format, LittleEndianInt32s(stored));
        ASSERT_EQ(samples.size(), std::size(cases));
        for (std::size_t i = 0; i < samples.size(); ++i) {
            EXPECT_EQ(FloatBits(samples[i]), FloatBits(cases[i].value))
                << "format " << format << ": " << cases[i].stored;
        }
    }
}

TEST(SampleDecodingTest, InputAtOddAddressesAndInByteOrder) {
    // One byte of padding in front: the raw data need no alignment.
    std::vector<unsigned char> raw = {0xAA, 0x01, 0x04, 0x05, 0x80};  // 0x0401, 0x8005
    std::vector<float> samples(2);
    DecodeSamples(0, raw.data() + 1, 2, samples.data());
    EXPECT_EQ(samples[0], 2.0f);
    EXPECT_EQ(samples[1], -5.0f);

    raw = {0xAA, 0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0xFF, 0xFF};  // 0x04030201, -1
    DecodeSamples(2, raw.data() + 1, 2, samples.data());
    EXPECT_EQ(samples[0], 67305984.0f);  // 0x04030201 = 67305985, rounded to even
    EXPECT_EQ(samples[1], -1.0f);
    DecodeSamples(1, raw.data() + 1, 2, samples.data());
    EXPECT_EQ(samples[0], -67305984.0f);
    EXPECT_EQ(samples[1], 1.0f);
}

TEST(SampleDecodingTest, DecodesExactlyTheCountGiven) {
    const std::vector<unsigned char> raw = LittleEndianWords({1, 2, 3, 4});
    std::vector<float> samples(4, -99.0f);
    DecodeSamples(0, raw.data(), 3, samples.data());
    EXPECT_EQ(samples, (std::vector<float>{1.0f, 2.0f, 3.0f, -99.0f}));
    DecodeSamples(0, raw.data(), 0, samples.data());
    EXPECT_EQ(samples, (std::vector<float>{1.0f, 2.0f, 3.0f, -99.0f}));
}

}  // namespace
