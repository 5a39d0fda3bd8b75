#pragma once
// Writes PLQ recorder files for tests, benchmarks and demonstrations: well-formed ones of
// any format, channel count, rate, length and start time with synthetic signals, and
// deliberately broken ones.

#include <cstdint>
#include <string>
#include <vector>

namespace plqgen {

enum class Signal {
    Sine,   // a sine per channel, frequency and amplitude differing by channel
    Noise,  // reproducible pseudo-random noise (seeded)
    Burst,  // quiet noise with a decaying oscillation in the middle
    Ramp,   // raw value = sample index + 1000 * channel number (easy to check)
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

// The raw stored value of sample `index` of channel `channel` (1-based).
int32_t RawSample(const RecordingSpec& spec, int channel, int32_t index);

// The complete file contents.
std::vector<unsigned char> MakeRecording(const RecordingSpec& spec);

// Writes the file; throws std::runtime_error when it cannot be written.
void WriteRecording(const std::string& path, const RecordingSpec& spec);

}  // namespace plqgen
