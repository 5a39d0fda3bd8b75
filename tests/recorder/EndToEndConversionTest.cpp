// The converter run on generated three-channel recordings of every sample format, with a
// channel map: the exact console lines, the samples in the archive files bit for bit, and
// one catalog row per channel.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "testing/PlqGenerator.h"
#include "tests/support/Catalog.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

using testsupport::ProcessResult;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

constexpr int32_t kSamples = 1000;

// Stored values that reach every bit of each encoding: all exponents and both signs of
// the gain-ranged words, and 32-bit integers far beyond float precision.
int32_t StoredValue(int format, int channel, int32_t index) {
    if (format == 0) return static_cast<int32_t>((index * 2477u + channel * 331u) & 0xFFFFu);
    return static_cast<int32_t>(index * 2654435761u + channel * 97u);
}

// What the archive must hold for a stored value, from the encodings' definitions.
float ExpectedSample(int format, int32_t stored) {
    if (format == 0) {
        const auto word = static_cast<uint16_t>(stored);
        const double magnitude = std::ldexp(word & 0x3FF, (word >> 10) & 7);
        return static_cast<float>((word & 0x8000) ? -magnitude : magnitude);
    }
    if (format == 1) return static_cast<float>(-static_cast<int64_t>(stored));
    return static_cast<float>(stored);
}

std::vector<float> FloatsOf(const std::string& bytes) {
    std::vector<float> floats(bytes.size() / 4);
    for (std::size_t i = 0; i < floats.size(); ++i) {
        uint32_t bits = 0;
        for (int b = 3; b >= 0; --b)
            bits = (bits << 8) | static_cast<unsigned char>(bytes[4 * i + b]);
        std::memcpy(&floats[i], &bits, sizeof bits);
    }
    return floats;
}

std::vector<uint32_t> BitsOf(const std::vector<float>& floats) {
    std::vector<uint32_t> bits(floats.size());
    std::memcpy(bits.data(), floats.data(), floats.size() * sizeof(float));
    return bits;
}

// The "form" column of the header dump ("%2d") for the formats tested here.
std::string FormColumn(int format) {
    return format < 0 ? std::to_string(format) : " " + std::to_string(format);
}

class EndToEndConversion : public ::testing::TestWithParam<int> {
  protected:
    EndToEndConversion() : catalog_(testsupport::MakeSqliteCatalog(dir_)) {
        std::filesystem::create_directories(ArchiveDir());
        WriteFile(dir_ / "plq2trq.ini",
                  "[DATABASE]\nODBC=" + catalog_.dsn + "\nUSER=" + catalog_.user +
                      "\nPASSWORD=" + catalog_.password + "\n[DATA]\nDIR=" + ArchiveDir() +
                      "\n[CHANNELMAP]\n1=BHZ\n2=BHN\n");
    }
    std::string ArchiveDir() const { return dir_ / "archive"; }

    TempDir dir_;
    testsupport::TestCatalog catalog_;
};

TEST_P(EndToEndConversion, ThreeChannelsWithAChannelMap) {
    const int format = GetParam();
    plqgen::RecordingSpec spec;
    spec.sampleFormat = static_cast<int16_t>(format);
    spec.samplesPerChannel = kSamples;
    spec.millisecond = 250;
    spec.rawSamples.resize(3);
    for (int channel = 1; channel <= 3; ++channel) {
        for (int32_t i = 0; i < kSamples; ++i) {
            spec.rawSamples[channel - 1].push_back(StoredValue(format, channel, i));
        }
    }
    plqgen::WriteRecording(dir_ / "rec.plq", spec);

    const ProcessResult result = testsupport::RunProcess(
        testsupport::ConverterPath(), {"rec.plq", "STA"}, dir_.Path(), catalog_.env);
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_EQ(result.out,
              "PLQ2TRQ v1.0\nLoad parameters...\n"
              "Connect to DB:DSN=" +
                  catalog_.dsn + ";UID=" + catalog_.user + ";PWD=***; DATA=" + ArchiveDir() +
                  "...\n"
                  "Convert file rec.plq (sta=STA)...\n"
                  "Read header...\n"
                  "System => Kelvo PLQ-4 recorder\n"
                  "year mnt day |  h-mi-s  | sps nch form nsamp\n"
                  "2013  10  22 | 13-47-34 | 100  3  " +
                  FormColumn(format) +
                  "  1000\n"
                  "Convert data...\n"
                  "Done!\n\n");

    // One archive file per channel, named after 13:47:34 (the .250 s cut off), mapped
    // names for channels 1 and 2, the default name for channel 3.
    const char* names[] = {"BHZ", "BHN", "CH3"};
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(ArchiveDir())) {
        if (entry.is_regular_file() && entry.path().filename() != ".plq2trq.lock") {
            files.insert(std::filesystem::relative(entry.path(), ArchiveDir()).string());
        }
    }
    std::set<std::string> expectedFiles;
    for (const char* name : names) {
        expectedFiles.insert(std::string("STA/22102013-134734-") + name + ".STA");
    }
    ASSERT_EQ(files, expectedFiles);

    for (int channel = 1; channel <= 3; ++channel) {
        const std::string contents =
            ReadFile(ArchiveDir() + "/STA/22102013-134734-" + names[channel - 1] + ".STA");
        ASSERT_EQ(contents.size(), 512u + 4u * kSamples) << channel;
        std::vector<float> expected;
        for (int32_t i = 0; i < kSamples; ++i) {
            expected.push_back(ExpectedSample(format, StoredValue(format, channel, i)));
        }
        EXPECT_EQ(BitsOf(FloatsOf(contents.substr(512))), BitsOf(expected)) << channel;
    }

    EXPECT_EQ(
        testsupport::QueryRows(
            catalog_, "SELECT CPATH, STA, CH, TBEGIN, TQTY, SPS FROM FILELIST ORDER BY CH"),
        (std::vector<std::vector<std::string>>{
            {"STA\\22102013-134734-BHN.STA", "STA", "BHN", "1382449654.25", "10.0", "100.0"},
            {"STA\\22102013-134734-BHZ.STA", "STA", "BHZ", "1382449654.25", "10.0", "100.0"},
            {"STA\\22102013-134734-CH3.STA", "STA", "CH3", "1382449654.25", "10.0", "100.0"}}));
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, EndToEndConversion, ::testing::Values(0, 1, 2, -3));

}  // namespace
