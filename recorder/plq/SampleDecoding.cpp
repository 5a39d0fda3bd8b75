#include "recorder/plq/SampleDecoding.h"

#include <bit>
#include <cstring>
#include <type_traits>

namespace {

// One stored value of type T from its little-endian bytes, at any alignment.
template <typename T>
inline T LoadLittleEndian(const unsigned char* bytes) {
    if constexpr (std::endian::native == std::endian::little) {
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    } else {
        using Unsigned = std::make_unsigned_t<T>;
        Unsigned value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            value |= static_cast<Unsigned>(static_cast<Unsigned>(bytes[i]) << (8 * i));
        }
        return static_cast<T>(value);
    }
}

// Format 0. The factor 2^e * (+-1) is built directly as float bits (sign, biased
// exponent e + 127, empty mantissa); multiplying the magnitude by it is exact, and a
// magnitude of 0 with the sign set gives -0.0 as the encoding requires.
inline float GainRangedValue(uint16_t word) {
    const uint32_t magnitude = word & 0x3FFu;
    const uint32_t exponent = GainRangedExponent(word);
    const uint32_t sign = static_cast<uint32_t>(word & 0x8000u) << 16;
    const float factor = std::bit_cast<float>(sign | ((exponent + 127u) << 23));
    return factor * static_cast<float>(static_cast<int32_t>(magnitude));
}

// Format 1: the complement plus one, in double precision, where it is exact for every
// 32-bit v (so -2^31 gives +2^31 and 0 gives +0.0), then rounded to float once. Shorter
// float-only forms such as 0.0f - float(v) are folded by optimising compilers into
// -float(v), which turns 0 into -0.0.
inline float NegatedInt32Value(int32_t value) {
    return static_cast<float>(static_cast<double>(~value) + 1.0);
}

inline float Int32Value(int32_t value) {
    return static_cast<float>(value);
}

// Applies `decodeOne` to every stored value of type T. The loop body has no branch and
// no table lookup, so optimising builds turn it into vector instructions.
template <typename T, typename DecodeOne>
inline void DecodeAll(const unsigned char* raw, std::size_t count, float* samples,
                      DecodeOne decodeOne) {
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = decodeOne(LoadLittleEndian<T>(raw + i * sizeof(T)));
    }
}

}  // namespace

void DecodeGainRanged16(const unsigned char* raw, std::size_t count, float* samples) {
    DecodeAll<uint16_t>(raw, count, samples, GainRangedValue);
}

void DecodeNegatedInt32(const unsigned char* raw, std::size_t count, float* samples) {
    DecodeAll<int32_t>(raw, count, samples, NegatedInt32Value);
}

void DecodeInt32(const unsigned char* raw, std::size_t count, float* samples) {
    DecodeAll<int32_t>(raw, count, samples, Int32Value);
}

void DecodeSamples(int sampleFormat, const unsigned char* raw, std::size_t count, float* samples) {
    switch (sampleFormat) {
        case kGainRangedFormat:
            DecodeGainRanged16(raw, count, samples);
            break;
        case kNegatedInt32Format:
            DecodeNegatedInt32(raw, count, samples);
            break;
        default:
            DecodeInt32(raw, count, samples);
            break;
    }
}
