#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "testing/PlqGenerator.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

using plqgen::RecordingSpec;
using plqgen::Signal;
using testsupport::TempDir;

namespace {

using Bytes = std::vector<unsigned char>;

int Int16At(const Bytes& b, std::size_t offset) {
    return static_cast<int16_t>(b.at(offset) | (b.at(offset + 1) << 8));
}

int32_t Int32At(const Bytes& b, std::size_t offset) {
    return static_cast<int32_t>(static_cast<uint32_t>(b.at(offset)) | (b.at(offset + 1) << 8) |
                                (b.at(offset + 2) << 16) |
                                (static_cast<uint32_t>(b.at(offset + 3)) << 24));
}

// Decodes a gain-ranged word the way a reader of format 0 does.
double GainRanged(int word) {
    const double value = std::ldexp(word & 0x3FF, (word >> 10) & 7);
    return (word & 0x8000) ? -value : value;
}

TEST(PlqGenerator, FileLengthFollowsTheHeaderAndTheSizeAdjustment) {
    struct Case {
        int16_t format, channels;
        int32_t samples;
        int64_t adjustment;
        std::size_t length;
    };
    const std::vector<Case> cases = {
        {0, 3, 1000, 0, (2 * 1000 + 4) * 3 + 256},
        {1, 2, 10, 0, (4 * 10 + 4) * 2 + 256},
        {7, 1, 5, 0, 4 * 5 + 4 + 256},
        {-1, 1, 5, 0, 4 * 5 + 4 + 256},
        {0, 0, 100, 0, 256},
        {0, 1, 0, 0, 260},
        {0, 3, 1000, -1, 6267},
        {0, 3, 1000, 1, 6269},
        {0, 2, -2, 0, 256},
        {0, 3, 10, -1000, 0},
    };
    for (const Case& c : cases) {
        RecordingSpec spec;
        spec.sampleFormat = c.format;
        spec.channelCount = c.channels;
        spec.samplesPerChannel = c.samples;
        spec.sizeAdjustment = c.adjustment;
        EXPECT_EQ(plqgen::MakeRecording(spec).size(), c.length)
            << c.format << " " << c.channels << " " << c.samples << " " << c.adjustment;
    }
}

TEST(PlqGenerator, HeaderFieldsAreStoredAsGivenAtTheirOffsets) {
    RecordingSpec spec;
    spec.systemName = "Kelvo " + std::string(40, 'x');  // cut to 36 bytes
    spec.year = -1;
    spec.month = 13;
    spec.day = 32;
    spec.hour = 24;
    spec.minute = 61;
    spec.second = -2;
    spec.millisecond = 999;
    spec.samplesPerSecond = 250;
    spec.channelCount = 2;
    spec.samplesPerChannel = 3;
    spec.sampleFormat = 1;
    const Bytes b = plqgen::MakeRecording(spec);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 36), spec.systemName.substr(0, 36));
    const int expected[][2] = {{36, 0},  {38, 0},  {40, 0},  {42, 0},  {44, -1},  {46, 13},
                               {48, 32}, {50, 24}, {52, 61}, {54, -2}, {56, 999}, {58, 250},
                               {60, 0},  {62, 0},  {64, 2},  {70, 1},  {72, 0}};
    for (const auto& [offset, value] : expected) EXPECT_EQ(Int16At(b, offset), value) << offset;
    EXPECT_EQ(Int32At(b, 66), 3);
    for (std::size_t i = 74; i < 256; ++i) ASSERT_EQ(b[i], 0) << i;

    spec.samplesPerChannel = -2;
    EXPECT_EQ(Int32At(plqgen::MakeRecording(spec), 66), -2);
}

TEST(PlqGenerator, BlocksHoldAPrefixAndTheSamplesLittleEndian) {
    RecordingSpec spec;
    spec.signal = Signal::Ramp;
    spec.sampleFormat = 2;
    spec.channelCount = 3;
    spec.samplesPerChannel = 4;
    Bytes b = plqgen::MakeRecording(spec);
    for (int channel = 1; channel <= 3; ++channel) {
        const std::size_t block = 256 + (channel - 1) * (4 * 4 + 4);
        EXPECT_EQ(Int32At(b, block), channel);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(Int32At(b, block + 4 + 4 * i), i + 1000 * channel);
    }

    // Format 0 keeps the low 16 bits of each raw value.
    spec.sampleFormat = 0;
    spec.rawSamples = {{0x0001, 0x8005, -1, 0x12345}, {7}};
    b = plqgen::MakeRecording(spec);
    const int firstChannel[] = {0x0001, 0x8005, 0xFFFF, 0x2345};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Int16At(b, 260 + 2 * i) & 0xFFFF, firstChannel[i]);
    EXPECT_EQ(Int16At(b, 256 + 12 + 4), 7);
    EXPECT_EQ(Int16At(b, 256 + 12 + 6), 0);  // missing values are 0
}

TEST(PlqGenerator, StoredBytesMatchRawSampleForEverySignalAndFormat) {
    for (Signal signal : {Signal::Sine, Signal::Noise, Signal::Burst, Signal::Ramp}) {
        for (int16_t format : {0, 1, 2}) {
            RecordingSpec spec;
            spec.signal = signal;
            spec.sampleFormat = format;
            spec.channelCount = 2;
            spec.samplesPerChannel = 700;
            spec.samplesPerSecond = 20;
            spec.seed = 9;
            const Bytes b = plqgen::MakeRecording(spec);
            const int width = format == 0 ? 2 : 4;
            for (int channel = 1; channel <= 2; ++channel) {
                const std::size_t first = 256 + (channel - 1) * (width * 700 + 4) + 4;
                for (int32_t i = 0; i < 700; ++i) {
                    const int32_t stored = width == 2 ? (Int16At(b, first + 2 * i) & 0xFFFF)
                                                      : Int32At(b, first + 4 * i);
                    ASSERT_EQ(stored, plqgen::RawSample(spec, channel, i))
                        << static_cast<int>(signal) << " format " << format << " ch " << channel
                        << " i " << i;
                }
            }
        }
    }
}

// Channel c carries 1000 c sin(pi c t): the decoded samples of every format follow it.
TEST(PlqGenerator, SineDecodesToItsAmplitudeInEveryFormat) {
    for (int16_t format : {0, 1, 2}) {
        RecordingSpec spec;
        spec.sampleFormat = format;
        spec.samplesPerSecond = 50;
        for (int channel = 1; channel <= 3; ++channel) {
            for (int32_t i = 0; i < 500; ++i) {
                const double exact =
                    1000.0 * channel * std::sin(std::numbers::pi * channel * i / 50.0);
                const int32_t raw = plqgen::RawSample(spec, channel, i);
                const double decoded = format == 0 ? GainRanged(raw) : format == 1 ? -raw : raw;
                ASSERT_NEAR(decoded, exact, std::max(0.5, std::fabs(exact) / 1023.0) + 1e-9)
                    << format << " " << channel << " " << i;
            }
        }
    }
}

TEST(PlqGenerator, NoiseIsReproducibleAndDependsOnTheSeed) {
    RecordingSpec spec;
    spec.signal = Signal::Noise;
    spec.samplesPerChannel = 1000;
    EXPECT_EQ(plqgen::MakeRecording(spec), plqgen::MakeRecording(spec));
    RecordingSpec other = spec;
    other.seed = 2;
    EXPECT_NE(plqgen::MakeRecording(spec), plqgen::MakeRecording(other));
}

TEST(PlqGenerator, WrittenFileEqualsTheContentsAndExtraBytesArePadding) {
    TempDir dir;
    RecordingSpec spec;
    spec.samplesPerChannel = 300000;  // more than one write chunk per channel
    spec.sizeAdjustment = 5;
    plqgen::WriteRecording(dir / "r.plq", spec);
    const std::string written = testsupport::ReadFile(dir / "r.plq");
    const Bytes expected = plqgen::MakeRecording(spec);
    ASSERT_EQ(written.size(), expected.size());
    EXPECT_TRUE(std::memcmp(written.data(), expected.data(), expected.size()) == 0);
    EXPECT_EQ(written.substr(written.size() - 5), std::string(5, '\xEE'));

    EXPECT_THROW(plqgen::WriteRecording(dir / "missing/r.plq", spec), std::runtime_error);
}

TEST(PlqGenerator, FileThatCannotBeWrittenWholeIsRemoved) {
    TempDir dir;
    RecordingSpec spec;
    spec.samplesPerChannel = 1000;
    {
        testsupport::FileSizeLimit limit(1000);
        EXPECT_THROW(plqgen::WriteRecording(dir / "r.plq", spec), std::runtime_error);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "r.plq"));
}

TEST(PlqgenTool, WritesTheRecordingItsOptionsDescribe) {
    TempDir dir;
    const auto result = testsupport::RunProcess(PLQGEN_EXE,
                                                {"out.plq",
                                                 "--format",
                                                 "1",
                                                 "--channels",
                                                 "2",
                                                 "--rate",
                                                 "20",
                                                 "--samples",
                                                 "64",
                                                 "--start",
                                                 "2013-10-22T13:47:34.25",
                                                 "--hour",
                                                 "5",
                                                 "--signal",
                                                 "noise",
                                                 "--seed",
                                                 "4",
                                                 "--system",
                                                 "Kelvo test",
                                                 "--size-adjust",
                                                 "-3"},
                                                dir.Path());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    RecordingSpec spec;
    spec.sampleFormat = 1;
    spec.channelCount = 2;
    spec.samplesPerSecond = 20;
    spec.samplesPerChannel = 64;
    spec.year = 2013;
    spec.hour = 5;  // the field option wins over --start
    spec.millisecond = 250;
    spec.signal = Signal::Noise;
    spec.seed = 4;
    spec.systemName = "Kelvo test";
    spec.sizeAdjustment = -3;
    const Bytes expected = plqgen::MakeRecording(spec);
    EXPECT_EQ(testsupport::ReadFile(dir / "out.plq"),
              std::string(expected.begin(), expected.end()));
}

TEST(PlqgenTool, RejectsMalformedOptionsWithoutWriting) {
    TempDir dir;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"bad.plq", "--start", "2013-10-22"},
          std::vector<std::string>{"bad.plq", "--signal", "square"},
          std::vector<std::string>{"bad.plq", "--month", "70000"}, std::vector<std::string>{}}) {
        const auto result = testsupport::RunProcess(PLQGEN_EXE, args, dir.Path());
        EXPECT_NE(result.exitCode, 0);
        EXPECT_FALSE(result.err.empty());
    }
    EXPECT_THROW(testsupport::ReadFile(dir / "bad.plq"), std::runtime_error);
}

}  // namespace
