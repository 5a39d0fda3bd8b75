// The channel loop on small recorder files built here: the length test (computed in 64
// bits), the three encodings block by block, channel names, the common start time, and
// the refusals of negative counts, unobtainable buffers and files that shrink mid-read.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/BinaryFile.h"
#include "recorder/ChannelLoop.h"
#include "recorder/ChannelMap.h"
#include "recorder/RecorderHeader.h"
#include "tests/support/ConsoleLines.h"
#include "tests/support/TempDir.h"

#if defined(__SANITIZE_ADDRESS__)
#define PLQ_TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLQ_TEST_UNDER_ASAN 1
#endif
#endif

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

struct ReceivedChannel {
    std::string station;
    std::string channel;
    double rate;
    EpochSeconds start;
    int32_t count;
    std::vector<float> samples;
};

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The header of the example recording: 2013-10-22 13:47:34.250, 100 samples per second.
RecorderHeader ExampleHeader(int16_t format, int16_t channels, int32_t samples) {
    RecorderHeader header;
    std::strcpy(header.systemName, "Kelvo test");
    header.year = 2013;
    header.month = 10;
    header.day = 22;
    header.hour = 13;
    header.minute = 47;
    header.second = 34;
    header.millisecond = 250;
    header.samplesPerSecond = 100;
    header.channelCount = channels;
    header.samplesPerChannel = samples;
    header.sampleFormat = format;
    return header;
}

void PutLittleEndian(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A recorder file: 256 header bytes the loop must not interpret (0xEE), then per channel
// a 4-byte prefix (0xA0 + channel, also not to be decoded) and the stored values, 2 bytes
// each in format 0 (low 16 bits) and 4 bytes otherwise.
std::string RecorderFile(int format, const std::vector<std::vector<int32_t>>& channels) {
    std::string out(kRecorderHeaderSize, '\xEE');
    for (std::size_t n = 0; n < channels.size(); ++n) {
        out += std::string(4, static_cast<char>(0xA1 + n));
        for (int32_t value : channels[n]) {
            PutLittleEndian(out, static_cast<uint32_t>(value), format == 0 ? 2 : 4);
        }
    }
    return out;
}

class ChannelLoop : public ::testing::Test {
  protected:
    // Runs the loop over a file with `contents`; keeps what was printed and received.
    int Run(const RecorderHeader& header, const std::string& contents) {
        WriteFile(Path(), contents);
        return RunOnFile(header);
    }
    int RunOnFile(const RecorderHeader& header) {
        platform::BinaryFile file = platform::BinaryFile::OpenReadOnly(Path());
        EXPECT_TRUE(file.IsOpen());
        testsupport::ConsoleLines console;
        const int result = ConvertChannels(Receiver(), file, header, "STA", map_, Path().c_str());
        printed_ = console.out;
        return result;
    }
    SampleReceiver Receiver() {
        return [this](const char* station, const char* channel, double rate, EpochSeconds start,
                      int32_t count, const float* samples) {
            EXPECT_NE(samples, nullptr);
            received_.push_back({station, channel, rate, start, count,
                                 std::vector<float>(samples, samples + count)});
            if (onReceive_) onReceive_();
        };
    }
    std::string Path() const { return dir_ / "rec.plq"; }

    TempDir dir_;
    ChannelMap map_;
    std::vector<ReceivedChannel> received_;
    std::string printed_;
    std::function<void()> onReceive_;
};

const char kWrongSize[] = "ERROR: Wrong file size!!!\n";

TEST_F(ChannelLoop, EveryFormatDecodesEachBlockFromItsOwnPlace) {
    // Values differ per channel, so a block read from the wrong place, or a prefix taken
    // for a sample, shows.
    const std::vector<std::vector<int32_t>> stored = {
        {101, 102, 103, 0x8000 | 104, 0x0400 | 105},
        {201, 202, 203, 0x8000 | 204, 0x0400 | 205},
        {301, 302, 303, 0x8000 | 304, 0x0400 | 305},
    };
    const struct {
        int16_t format;
        std::vector<std::vector<float>> expected;
    } cases[] = {
        {0, {{101, 102, 103, -104, 210}, {201, 202, 203, -204, 410}, {301, 302, 303, -304, 610}}},
        {1,
         {{-101, -102, -103, -32872, -1129},
          {-201, -202, -203, -32972, -1229},
          {-301, -302, -303, -33072, -1329}}},
        {2,
         {{101, 102, 103, 32872, 1129},
          {201, 202, 203, 32972, 1229},
          {301, 302, 303, 33072, 1329}}},
        {-7,
         {{101, 102, 103, 32872, 1129},
          {201, 202, 203, 32972, 1229},
          {301, 302, 303, 33072, 1329}}},
    };
    for (const auto& c : cases) {
        received_.clear();
        EXPECT_EQ(Run(ExampleHeader(c.format, 3, 5), RecorderFile(c.format, stored)), 0);
        EXPECT_EQ(printed_, "") << "format " << c.format;
        ASSERT_EQ(received_.size(), 3u) << "format " << c.format;
        for (int n = 0; n < 3; ++n) {
            const ReceivedChannel& got = received_[n];
            EXPECT_EQ(got.station, "STA");
            EXPECT_EQ(got.channel, "CH" + std::to_string(n + 1));
            EXPECT_EQ(got.rate, 100.0);
            EXPECT_TRUE(SameBits(got.start, 1382449654.25)) << got.start;
            EXPECT_EQ(got.count, 5);
            EXPECT_EQ(got.samples, c.expected[n]) << "format " << c.format << " channel " << n + 1;
        }
    }
}

TEST_F(ChannelLoop, MappedNamesAreUsedWholeAndOthersGetDefaults) {
    map_.names = {{1, "BHZ"}, {3, ""}, {4, std::string(30, 'X')}, {12, "LAST"}};
    std::vector<std::vector<int32_t>> stored(12, std::vector<int32_t>{1});
    ASSERT_EQ(Run(ExampleHeader(2, 12, 1), RecorderFile(2, stored)), 0);
    ASSERT_EQ(received_.size(), 12u);
    const std::string expected[] = {"BHZ", "CH2",  "",     std::string(30, 'X'),
                                    "CH5", "CH6",  "CH7",  "CH8",
                                    "CH9", "CH10", "CH11", "LAST"};
    for (int n = 0; n < 12; ++n) EXPECT_EQ(received_[n].channel, expected[n]) << n + 1;
}

// Names equal but for letter case would share one archive stream, and the second channel
// would overwrite the first one's files: the file is refused before anything is handed on.
TEST_F(ChannelLoop, ChannelsThatWouldShareAnArchiveNameAreRefused) {
    const struct {
        std::unordered_map<uint16_t, std::string> names;
        const char* printed;
    } cases[] = {
        {{{1, "BHZ"}, {2, "bhz"}}, "ERROR: channels 1 and 2 have the same name bhz!!!\n"},
        {{{1, "BHZ"}, {3, "BHZ"}}, "ERROR: channels 1 and 3 have the same name BHZ!!!\n"},
        {{{3, "ch1"}}, "ERROR: channels 1 and 3 have the same name ch1!!!\n"},
        {{{2, ""}, {3, ""}}, "ERROR: channels 2 and 3 have the same name !!!\n"},
    };
    std::vector<std::vector<int32_t>> stored(3, std::vector<int32_t>{1, 2});
    for (const auto& c : cases) {
        map_.names = c.names;
        received_.clear();
        EXPECT_EQ(Run(ExampleHeader(2, 3, 2), RecorderFile(2, stored)), -11);
        EXPECT_EQ(printed_, c.printed);
        EXPECT_TRUE(received_.empty());
    }
    // Distinct names, default ones included, pass.
    map_.names = {{1, "CH2X"}, {2, "BHN"}};
    EXPECT_EQ(Run(ExampleHeader(2, 3, 2), RecorderFile(2, stored)), 0);
    EXPECT_EQ(received_.size(), 3u);
}

TEST_F(ChannelLoop, StartTimeTakesTheMillisecondsAsAFloat) {
    RecorderHeader header = ExampleHeader(2, 1, 0);
    header.year = 2000;
    header.month = 2;
    header.day = 29;
    header.hour = 23;
    header.minute = 59;
    header.second = 59;
    header.millisecond = 999;
    EXPECT_TRUE(SameBits(RecordingStartTime(header), 951868799.99900054931640625));
    EXPECT_TRUE(SameBits(RecordingStartTime(ExampleHeader(0, 1, 1)), 1382449654.25));
    header.month = 13;  // unchecked header value: counts as January, reads nothing outside
    EXPECT_TRUE(SameBits(RecordingStartTime(header), 949190399.99900054931640625));
}

TEST_F(ChannelLoop, LengthOffByOneByteIsRefused) {
    const std::string exact = RecorderFile(0, {{1, 2}, {3, 4}});
    for (const std::string& contents : {exact + "x", exact.substr(0, exact.size() - 1)}) {
        received_.clear();
        EXPECT_EQ(Run(ExampleHeader(0, 2, 2), contents), -5);
        EXPECT_EQ(printed_, kWrongSize);
        EXPECT_TRUE(received_.empty());
    }
    // The same bytes read as format 2 blocks (4 bytes per sample) do not match either.
    EXPECT_EQ(Run(ExampleHeader(2, 2, 2), exact), -5);
    EXPECT_EQ(printed_, kWrongSize);
    EXPECT_TRUE(received_.empty());
}

TEST_F(ChannelLoop, NoChannelsAndNoSamples) {
    EXPECT_EQ(Run(ExampleHeader(0, 0, 1000), std::string(256, '\0')), 0);
    EXPECT_EQ(printed_, "");
    EXPECT_TRUE(received_.empty());

    EXPECT_EQ(Run(ExampleHeader(0, 0, 0), std::string(257, '\0')), -5);
    EXPECT_EQ(printed_, kWrongSize);

    EXPECT_EQ(Run(ExampleHeader(1, 3, 0), std::string(256 + 3 * 4, '\0')), 0);
    EXPECT_EQ(printed_, "");
    ASSERT_EQ(received_.size(), 3u);
    for (const ReceivedChannel& got : received_) EXPECT_EQ(got.count, 0);
    EXPECT_EQ(received_[2].channel, "CH3");
}

TEST_F(ChannelLoop, NegativeCountsAreRefusedWithoutDecoding) {
    const struct {
        int16_t format;
        int16_t channels;
        int32_t samples;
        std::size_t fileSize;  // what the announced length comes to for these counts
    } cases[] = {
        {2, 3, -1, 256},                          // block of 4 * -1 + 4 = 0 bytes
        {0, 1, -2, 256},                          // block of 2 * -2 + 4 = 0 bytes
        {1, 1, -3, 248},                          // block of -8 bytes
        {2, 1, INT32_MIN, 256}, {0, -1, 0, 252},  // -1 blocks of 4 bytes
        {2, -2, -2, 264},                         // -2 blocks of -4 bytes
        {0, -32768, 1, 256},
    };
    for (const auto& c : cases) {
        received_.clear();
        EXPECT_EQ(
            Run(ExampleHeader(c.format, c.channels, c.samples), std::string(c.fileSize, '\0')), -5)
            << c.channels << " x " << c.samples;
        EXPECT_EQ(printed_, kWrongSize) << c.channels << " x " << c.samples;
        EXPECT_TRUE(received_.empty());
    }
}

TEST_F(ChannelLoop, AnnouncedLengthBeyond4GiBIsComputedExactly) {
    // 4 channels of 2^30 four-byte samples announce 17179869456 bytes; cut to 32 bits that
    // would be (4 + 4) * 4 + 256 - 16 = 272, the size of this file.
    EXPECT_EQ(Run(ExampleHeader(2, 4, 1 << 30), std::string(272, '\0')), -5);
    EXPECT_EQ(printed_, kWrongSize);
    EXPECT_TRUE(received_.empty());
}

TEST_F(ChannelLoop, BuffersThatCannotBeObtainedAreRefused) {
#ifdef PLQ_TEST_UNDER_ASAN
    GTEST_SKIP() << "the address sanitizer's allocator ends the process on exhaustion";
#else
    // A sparse file of the announced length for 2^31 - 1 four-byte samples (8 GiB per
    // buffer). Under an address-space limit far below that, the buffers cannot be had.
    WriteFile(Path(), "");
    std::filesystem::resize_file(Path(), 256 + 4 + 4 * int64_t{INT32_MAX});
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &original), 0);
    rlimit limited = original;
    limited.rlim_cur = rlim_t{6} << 30;  // far above this process's needs, below 8 GiB
    if (original.rlim_cur != RLIM_INFINITY && original.rlim_cur < limited.rlim_cur) {
        limited.rlim_cur = original.rlim_cur;
    }
    ASSERT_EQ(setrlimit(RLIMIT_AS, &limited), 0);
    const int result = RunOnFile(ExampleHeader(2, 1, INT32_MAX));
    ASSERT_EQ(setrlimit(RLIMIT_AS, &original), 0);
    EXPECT_EQ(result, -5);
    EXPECT_EQ(printed_, kWrongSize);
    EXPECT_TRUE(received_.empty());
#endif
}

TEST_F(ChannelLoop, FileThatShrinksWhileReadIsReported) {
    // The length matches when tested; while the first channel is handed on, the file
    // loses the end of the second block (blocks of 12 bytes at 256, 268 and 280).
    onReceive_ = [this] { std::filesystem::resize_file(Path(), 256 + 12 + 4 + 5); };
    const int result = Run(ExampleHeader(2, 3, 2), RecorderFile(2, {{1, 2}, {3, 4}, {5, 6}}));
    EXPECT_EQ(result, -5);
    EXPECT_EQ(printed_, "ERROR: read channel 2 of file " + Path() + "!!!\n");
    ASSERT_EQ(received_.size(), 1u);
    EXPECT_EQ(received_[0].channel, "CH1");
    EXPECT_EQ(received_[0].samples, (std::vector<float>{1, 2}));
}

}  // namespace
