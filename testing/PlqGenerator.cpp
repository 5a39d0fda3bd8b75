#include "testing/PlqGenerator.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <stdexcept>

namespace plqgen {

namespace {

constexpr std::size_t kHeaderSize = 256;
constexpr std::size_t kSystemNameBytes = 36;
constexpr std::size_t kBlockPrefixSize = 4;
// Samples are generated and written in pieces of this many bytes.
constexpr std::size_t kChunkBytes = 1 << 20;

// Largest magnitude a gain-ranged word holds: 1023 * 2^7.
constexpr double kGainRangedMax = 1023.0 * 128.0;

// Bytes a uniform stream of output goes through: sinks see every byte in file order.
using ByteSink = std::function<void(const unsigned char* bytes, std::size_t count)>;

void PutInt16(unsigned char* out, std::size_t offset, int16_t value) {
    auto bits = static_cast<uint16_t>(value);
    out[offset] = static_cast<unsigned char>(bits & 0xFF);
    out[offset + 1] = static_cast<unsigned char>(bits >> 8);
}

void PutInt32(unsigned char* out, std::size_t offset, int32_t value) {
    auto bits = static_cast<uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i)
        out[offset + i] = static_cast<unsigned char>(bits >> (8 * i));
}

// A reproducible pseudo-random 64-bit value for (seed, channel, index): splitmix64 of their
// combination, so any sample can be computed on its own.
uint64_t Mix(uint64_t seed, int channel, int32_t index) {
    uint64_t z = seed * 0x9E3779B97F4A7C15ULL +
                 static_cast<uint64_t>(channel) * 0xD1B54A32D192ED03ULL +
                 static_cast<uint32_t>(index);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// Uniform in [-1, 1).
double UnitNoise(const RecordingSpec& spec, int channel, int32_t index) {
    return static_cast<double>(Mix(spec.seed, channel, index) >> 11) * 0x1.0p-52 - 1.0;
}

// Samples after which every channel's sine repeats itself: two seconds.
int32_t SinePeriod(const RecordingSpec& spec) {
    return spec.samplesPerSecond > 0 ? 2 * spec.samplesPerSecond : 2;
}

// The physical value of a synthetic signal, in counts.
double SignalValue(const RecordingSpec& spec, int channel, int32_t index) {
    const double rate = spec.samplesPerSecond > 0 ? spec.samplesPerSecond : 1.0;
    const double t = index / rate;
    switch (spec.signal) {
        case Signal::Sine: {
            // Channel c runs at c/2 Hz: c whole cycles in every SinePeriod samples. The
            // phase restarts there exactly, so a block can repeat one period's values.
            const double phase = (index % SinePeriod(spec)) / rate;
            return 1000.0 * channel * std::sin(std::numbers::pi * channel * phase);
        }
        case Signal::Noise:
            return 500.0 * UnitNoise(spec, channel, index);
        case Signal::Burst: {
            double value = 20.0 * UnitNoise(spec, channel, index);
            const double since = t - (spec.samplesPerChannel / 2) / rate;
            // After five minutes the oscillation is far below one count: quiet again.
            if (since >= 0 && since < 300.0) {
                value += 50000.0 / channel * std::exp(-since / 10.0) *
                         std::sin(2.0 * std::numbers::pi * 2.0 * since);
            }
            return value;
        }
        case Signal::Ramp:
            break;
    }
    return 0;
}

// Nearest gain-ranged word: magnitude bits 0-9, exponent bits 10-12, sign bit 15.
int32_t EncodeGainRanged(double value) {
    const double magnitude = std::min(std::fabs(value), kGainRangedMax);
    int exponent = 0;
    while (exponent < 7 && std::lround(magnitude / std::ldexp(1.0, exponent)) > 1023) ++exponent;
    const long mantissa = std::min(1023L, std::lround(magnitude / std::ldexp(1.0, exponent)));
    const int32_t sign = value < 0 && mantissa > 0 ? 0x8000 : 0;
    return sign | (exponent << 10) | static_cast<int32_t>(mantissa);
}

// The stored value that decodes to `value` in the recording's sample format.
int32_t EncodeStored(const RecordingSpec& spec, double value) {
    if (spec.sampleFormat == 0) return EncodeGainRanged(value);
    const double clamped = std::clamp(std::round(value), -2147483647.0, 2147483647.0);
    const auto stored = static_cast<int32_t>(clamped);
    return spec.sampleFormat == 1 ? -stored : stored;  // format 1 stores the negation
}

int BytesPerSample(const RecordingSpec& spec) {
    return spec.sampleFormat == 0 ? 2 : 4;
}

// The length of a well-formed file with the recording's header fields (before any deliberate
// size adjustment). Counts below zero give blocks of no bytes.
int64_t NaturalLength(const RecordingSpec& spec) {
    const int64_t block = std::max<int64_t>(
        0, static_cast<int64_t>(BytesPerSample(spec)) * spec.samplesPerChannel + kBlockPrefixSize);
    return static_cast<int64_t>(kHeaderSize) + std::max<int64_t>(0, spec.channelCount) * block;
}

//  FIELD               TYPE    OFFSET
//  systemName          char36     0    zero-filled, cut to 36 bytes
//  (4 words)           int16     36    zero
//  year                int16     44
//  month               int16     46
//  day                 int16     48
//  hour                int16     50
//  minute              int16     52
//  second              int16     54
//  millisecond         int16     56
//  samplesPerSecond    int16     58
//  (2 words)           int16     60    zero
//  channelCount        int16     64
//  samplesPerChannel   int32     66
//  sampleFormat        int16     70
//  (rest)                        72    zero up to byte 255
void EmitHeader(const RecordingSpec& spec, const ByteSink& sink) {
    unsigned char header[kHeaderSize] = {};
    std::memcpy(header, spec.systemName.data(), std::min(spec.systemName.size(), kSystemNameBytes));
    PutInt16(header, 44, spec.year);
    PutInt16(header, 46, spec.month);
    PutInt16(header, 48, spec.day);
    PutInt16(header, 50, spec.hour);
    PutInt16(header, 52, spec.minute);
    PutInt16(header, 54, spec.second);
    PutInt16(header, 56, spec.millisecond);
    PutInt16(header, 58, spec.samplesPerSecond);
    PutInt16(header, 64, spec.channelCount);
    PutInt32(header, 66, spec.samplesPerChannel);
    PutInt16(header, 70, spec.sampleFormat);
    sink(header, sizeof header);
}

// Channel block: a 4-byte prefix (the channel number; readers skip it) and the samples,
// each 2 (format 0) or 4 bytes, little-endian.
void EmitBlock(const RecordingSpec& spec, int channel, const ByteSink& sink) {
    unsigned char prefix[kBlockPrefixSize];
    PutInt32(prefix, 0, channel);
    const int64_t blockBytes =
        static_cast<int64_t>(BytesPerSample(spec)) * spec.samplesPerChannel + kBlockPrefixSize;
    // A negative sample count shrinks the block below its prefix.
    sink(prefix, static_cast<std::size_t>(std::clamp<int64_t>(blockBytes, 0, kBlockPrefixSize)));

    // A sine repeats with its period: compute one period and repeat it.
    std::vector<int32_t> period;
    if (spec.signal == Signal::Sine && spec.rawSamples.empty() && spec.samplesPerChannel > 0) {
        period.resize(static_cast<std::size_t>(std::min(SinePeriod(spec), spec.samplesPerChannel)));
        for (std::size_t i = 0; i < period.size(); ++i) {
            period[i] = RawSample(spec, channel, static_cast<int32_t>(i));
        }
    }

    const auto width = static_cast<std::size_t>(BytesPerSample(spec));
    std::vector<unsigned char> chunk(kChunkBytes);
    std::size_t filled = 0;
    for (int32_t index = 0; index < spec.samplesPerChannel; ++index) {
        const int32_t raw = period.empty()
                                ? RawSample(spec, channel, index)
                                : period[static_cast<std::size_t>(index) % period.size()];
        unsigned char bytes[4];
        PutInt32(bytes, 0, raw);
        std::memcpy(chunk.data() + filled, bytes, width);
        filled += width;
        if (filled + width > chunk.size()) {
            sink(chunk.data(), filled);
            filled = 0;
        }
    }
    if (filled > 0) sink(chunk.data(), filled);
}

// Emits the whole file, size adjustment included: bytes beyond a shortened length are
// dropped, an extended file is padded with 0xEE.
void EmitRecording(const RecordingSpec& spec, const ByteSink& out) {
    const int64_t natural = NaturalLength(spec);
    const int64_t target = std::max<int64_t>(0, natural + spec.sizeAdjustment);
    int64_t written = 0;
    ByteSink limited = [&](const unsigned char* bytes, std::size_t count) {
        const auto room = static_cast<std::size_t>(std::max<int64_t>(0, target - written));
        const std::size_t taken = std::min(count, room);
        if (taken > 0) out(bytes, taken);
        written += static_cast<int64_t>(taken);
    };
    EmitHeader(spec, limited);
    for (int channel = 1; channel <= spec.channelCount; ++channel) {
        EmitBlock(spec, channel, limited);
    }
    const std::vector<unsigned char> padding(kChunkBytes, 0xEE);
    while (written < target) {
        const auto count = static_cast<std::size_t>(
            std::min<int64_t>(target - written, static_cast<int64_t>(padding.size())));
        out(padding.data(), count);
        written += static_cast<int64_t>(count);
    }
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

int32_t RawSample(const RecordingSpec& spec, int channel, int32_t index) {
    int32_t raw = 0;
    if (!spec.rawSamples.empty()) {
        const auto slot = static_cast<std::size_t>(channel - 1);
        if (slot < spec.rawSamples.size() && index >= 0 &&
            static_cast<std::size_t>(index) < spec.rawSamples[slot].size()) {
            raw = spec.rawSamples[slot][static_cast<std::size_t>(index)];
        }
    } else if (spec.signal == Signal::Ramp) {
        raw = static_cast<int32_t>(static_cast<uint32_t>(index) +
                                   1000u * static_cast<uint32_t>(channel));
    } else {
        raw = EncodeStored(spec, SignalValue(spec, channel, index));
    }
    // Format 0 stores 16-bit words.
    return spec.sampleFormat == 0 ? static_cast<int32_t>(raw & 0xFFFF) : raw;
}

std::vector<unsigned char> MakeRecording(const RecordingSpec& spec) {
    std::vector<unsigned char> bytes;
    bytes.reserve(
        static_cast<std::size_t>(std::max<int64_t>(0, NaturalLength(spec) + spec.sizeAdjustment)));
    EmitRecording(spec, [&](const unsigned char* data, std::size_t count) {
        bytes.insert(bytes.end(), data, data + count);
    });
    return bytes;
}

void WriteRecording(const std::string& path, const RecordingSpec& spec) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) throw std::runtime_error("cannot create " + path);
    struct stat info {};
    const bool regularFile = ::fstat(::fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode);
    bool failed = false;
    EmitRecording(spec, [&](const unsigned char* data, std::size_t count) {
        if (!failed && std::fwrite(data, 1, count, file.get()) != count) failed = true;
    });
    if (std::fflush(file.get()) != 0) failed = true;
    if (std::fclose(file.release()) != 0) failed = true;
    if (failed) {
        // A partial recording is of no use and may be large: do not leave it behind (but
        // never remove what is not a plain file, such as a device).
        if (regularFile) std::remove(path.c_str());
        throw std::runtime_error("cannot write " + path);
    }
}

}  // namespace plqgen
