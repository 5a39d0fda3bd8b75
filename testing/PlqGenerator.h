#pragma once
// Writes PLQ recorder files for tests, benchmarks and demonstrations: well-formed ones of
// any format, channel count, rate, length and start time with synthetic signals, and
// deliberately broken ones.

#include <cstdint>
#include <string>
#include <vector>

namespace plqgen {

// Synthetic signals, as physical values in counts, stored in the recording's sample format
// (format 0 as the nearest gain-ranged word, format 1 negated, others as they are).
enum class Signal {
    Sine,   // channel c: 1000 c sin(pi c t), i.e. c/2 Hz; repeats every 2 s
    Noise,  // uniform in [-500, 500), reproducible from the seed, channel and index
    Burst,  // noise of +-20 with a decaying 2 Hz oscillation (50000 / c) from the middle on
    Ramp,   // raw stored value = sample index + 1000 * channel number (easy to check)
};

struct RecordingSpec {
    std::string systemName = "Kelvo PLQ-4 recorder";  // at most 36 bytes are stored
    // Header fields exactly as stored (the year may be two-digit).
    int16_t year = 13;
    int16_t month = 10;
    int16_t day = 22;
    int16_t hour = 13;
    int16_t minute = 47;
    int16_t second = 34;
    int16_t millisecond = 0;
    int16_t samplesPerSecond = 100;
    int16_t channelCount = 3;
    int32_t samplesPerChannel = 360000;
    int16_t sampleFormat = 0;
    Signal signal = Signal::Sine;
    uint32_t seed = 1;
    // When not empty: the raw stored values per channel (format 0 keeps the low 16 bits),
    // used instead of the signal; each channel holds samplesPerChannel values.
    std::vector<std::vector<int32_t>> rawSamples;
    // Deliberate faults.
    int64_t sizeAdjustment = 0;  // bytes appended (positive) or cut off the end (negative)
};

// The raw stored value of sample `index` of channel `channel` (1-based); format 0 keeps
// the low 16 bits.
int32_t RawSample(const RecordingSpec& spec, int channel, int32_t index);

// The complete file contents: the 256-byte header, then per channel a 4-byte prefix (the
// channel number) and the samples, little-endian. Its length is
// (B * samplesPerChannel + 4) * channelCount + 256 + sizeAdjustment (B = 2 for format 0,
// else 4); counts below zero give no blocks or blocks shorter than their prefix.
std::vector<unsigned char> MakeRecording(const RecordingSpec& spec);

// Writes the file; throws std::runtime_error when it cannot be written.
void WriteRecording(const std::string& path, const RecordingSpec& spec);

}  // namespace plqgen
