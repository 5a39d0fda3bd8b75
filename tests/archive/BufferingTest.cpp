// How the writer cuts samples into chunks, gathers them per station and channel, and when
// a block leaves memory.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/archive/ArchiveTestSupport.h"
#include "tests/support/ConsoleLines.h"

using namespace archivetest;

namespace {

constexpr EpochSeconds t0 = k20131022_134734;

TEST(Buffering, CountZeroCreatesNothing) {
    WriterFixture f;
    auto samples = Ramp(10);
    f.writer.AddSamples("ABC", "SHZ", 100, t0, 0, samples.data());
    f.writer.AddSamples("ABC", "SHZ", 100, t0, 0, nullptr);
    EXPECT_EQ(f.writer.StationCount(), 0u);
    f.writer.FlushAll();
    EXPECT_TRUE(f.registrar.calls.empty());
    EXPECT_TRUE(std::filesystem::is_empty(f.DataDir()));
}

// Inputs the channel loop never produces are refused before any entry is created.
TEST(Buffering, RefusesInputsThatWouldBreakTheBlock) {
    auto samples = Ramp(10);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        const char* station;
        const char* channel;
        double rate;
        EpochSeconds start;
        int32_t count;
        const float* samples;
    } cases[] = {
        {"negative count", "ABC", "SHZ", 100, t0, -1, samples.data()},
        {"null samples", "ABC", "SHZ", 100, t0, 5, nullptr},
        {"null station", nullptr, "SHZ", 100, t0, 5, samples.data()},
        {"null channel", "ABC", nullptr, 100, t0, 5, samples.data()},
        {"zero rate", "ABC", "SHZ", 0, t0, 5, samples.data()},
        {"negative rate", "ABC", "SHZ", -100, t0, 5, samples.data()},
        {"NaN rate", "ABC", "SHZ", nan, t0, 5, samples.data()},
        {"infinite rate", "ABC", "SHZ", inf, t0, 5, samples.data()},
        {"NaN start", "ABC", "SHZ", 100, nan, 5, samples.data()},
        {"infinite start", "ABC", "SHZ", 100, inf, 5, samples.data()},
        {"start before year 1", "ABC", "SHZ", 100, -62135596801.0, 5, samples.data()},
        {"start after year 9999", "ABC", "SHZ", 100, 253402300800.0, 5, samples.data()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriterFixture f;
        f.writer.AddSamples(c.station, c.channel, c.rate, c.start, c.count, c.samples);
        EXPECT_EQ(f.writer.StationCount(), 0u);
        f.writer.FlushAll();
        EXPECT_TRUE(f.registrar.calls.empty());
        EXPECT_FALSE(f.writer.WriteFailed());
    }
}

// 12,345 samples at 100 sps arrive as chunks of 5000, 5000 and 2345 starting at +0, +50 and
// +100 s: each full chunk is a block of its own, written when the next one comes.
TEST(Buffering, CutsIntoChunksOfAtMost5000) {
    struct Case {
        int32_t count;
        EpochSeconds lastChunkStart;
        int32_t lastChunkCount;
        std::vector<double> durationsRegistered;  // before FlushAll
    } cases[] = {
        {5000, t0, 5000, {}},
        {5001, t0 + 50, 1, {50}},
        {10000, t0 + 50, 5000, {50}},
        {12345, t0 + 100, 2345, {50, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        WriterFixture f;
        auto samples = Ramp(static_cast<std::size_t>(c.count));
        f.writer.AddSamples("ABC", "SHZ", 100, t0, c.count, samples.data());
        ASSERT_EQ(f.writer.StationCount(), 1u);
        const CChannelBuffer& channel = f.writer.Station(0).Channel(0);
        EXPECT_EQ(channel.BlockStart(), c.lastChunkStart);
        EXPECT_EQ(channel.BufferedCount(), c.lastChunkCount);
        EXPECT_DOUBLE_EQ(channel.BlockDuration(), c.lastChunkCount / 100.0);
        ASSERT_EQ(f.registrar.calls.size(), c.durationsRegistered.size());
        for (std::size_t i = 0; i < c.durationsRegistered.size(); ++i) {
            EXPECT_EQ(f.registrar.calls[i].kind,
                      i == 0 ? Registration::New : Registration::Extended);
            EXPECT_DOUBLE_EQ(f.registrar.calls[i].file.duration, c.durationsRegistered[i]);
        }
        f.writer.FlushAll();
        EXPECT_EQ(channel.BufferedCount(), 0);
        // All samples end up in one file, in order.
        auto files = f.Files();
        ASSERT_EQ(files.size(), 1u);
        std::string data = testsupport::ReadFile(f.PathOf(*files.begin())).substr(512);
        EXPECT_EQ(data, LittleEndianBytes(samples));
    }
}

// A chunk within one sample period of the block's end (earlier or later) is merged and
// taken as starting exactly at the end; beyond one period the block is flushed first.
TEST(Buffering, MergesOnlyWithinOneSamplePeriod) {
    struct Case {
        double offset;  // chunk start relative to the block's end, seconds (period 0.01 s)
        bool merged;
    } cases[] = {
        {0.0, true},     {0.009, true}, {-0.009, true}, {0.011, false},
        {-0.011, false}, {-1.0, false}, {10.0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        WriterFixture f;
        auto first = Ramp(100);
        auto second = Ramp(100, 100);
        f.writer.AddSamples("ABC", "SHZ", 100, t0, 100, first.data());
        f.writer.AddSamples("ABC", "SHZ", 100, t0 + 1.0 + c.offset, 100, second.data());
        const CChannelBuffer& channel = f.writer.Station(0).Channel(0);
        if (c.merged) {
            EXPECT_TRUE(f.registrar.calls.empty());
            EXPECT_EQ(channel.BufferedCount(), 200);
            EXPECT_EQ(channel.BlockStart(), t0);
            EXPECT_DOUBLE_EQ(channel.BlockDuration(), 2.0);
        } else {
            ASSERT_EQ(f.registrar.calls.size(), 1u);
            EXPECT_EQ(f.registrar.calls[0].kind, Registration::New);
            EXPECT_EQ(f.registrar.calls[0].file.start, t0);
            EXPECT_DOUBLE_EQ(f.registrar.calls[0].file.duration, 1.0);
            EXPECT_EQ(channel.BufferedCount(), 100);
            EXPECT_EQ(channel.BlockStart(), t0 + 1.0 + c.offset);
        }
    }
}

// A block is never extended beyond 4900 samples.
TEST(Buffering, MergeLimitIs4900Samples) {
    for (int32_t second : {900, 901}) {
        SCOPED_TRACE(second);
        WriterFixture f;
        auto a = Ramp(4000);
        auto b = Ramp(static_cast<std::size_t>(second), 4000);
        f.writer.AddSamples("ABC", "SHZ", 100, t0, 4000, a.data());
        f.writer.AddSamples("ABC", "SHZ", 100, t0 + 40, second, b.data());
        const CChannelBuffer& channel = f.writer.Station(0).Channel(0);
        if (second == 900) {
            EXPECT_TRUE(f.registrar.calls.empty());
            EXPECT_EQ(channel.BufferedCount(), 4900);
            EXPECT_EQ(channel.BlockStart(), t0);
        } else {
            ASSERT_EQ(f.registrar.calls.size(), 1u);
            EXPECT_DOUBLE_EQ(f.registrar.calls[0].file.duration, 40.0);
            EXPECT_EQ(channel.BufferedCount(), 901);
            EXPECT_EQ(channel.BlockStart(), t0 + 40);
        }
    }
}

// Channels of 1 sps or slower never merge chunks, even consecutive ones.
TEST(Buffering, OneSamplePerSecondOrSlowerFlushesEveryChunk) {
    struct Case {
        double rate;
        bool merged;
    } cases[] = {{0.5, false}, {1.0, false}, {1.0001, true}, {2.0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        WriterFixture f;
        auto a = Ramp(10);
        auto b = Ramp(10, 10);
        f.writer.AddSamples("ABC", "LHZ", c.rate, t0, 10, a.data());
        f.writer.AddSamples("ABC", "LHZ", c.rate, t0 + 10 / c.rate, 10, b.data());
        const CChannelBuffer& channel = f.writer.Station(0).Channel(0);
        EXPECT_EQ(channel.BufferedCount(), c.merged ? 20 : 10);
        EXPECT_EQ(f.registrar.calls.size(), c.merged ? 0u : 1u);
    }
}

TEST(Buffering, StationNamesAreCaseSensitive) {
    WriterFixture f;
    auto samples = Ramp(100);
    f.writer.AddSamples("ABC", "SHZ", 100, t0, 100, samples.data());
    f.writer.AddSamples("abc", "SHZ", 100, t0, 100, samples.data());
    f.writer.AddSamples("ABC", "SHZ", 100, t0 + 1, 100, samples.data());
    ASSERT_EQ(f.writer.StationCount(), 2u);
    EXPECT_EQ(f.writer.Station(0).Name(), "ABC");
    EXPECT_EQ(f.writer.Station(1).Name(), "abc");
    EXPECT_EQ(f.writer.Station(0).Channel(0).BufferedCount(), 200);
    f.writer.FlushAll();
    EXPECT_TRUE(std::filesystem::is_directory(f.PathOf("ABC")));
    EXPECT_TRUE(std::filesystem::is_directory(f.PathOf("abc")));
    EXPECT_EQ(f.Files().size(), 2u);
}

// Channel names that differ in letter case are one channel, spelled as first seen; it keeps
// the rate of its first appearance for the merge test, the header and the catalog.
TEST(Buffering, ChannelNamesIgnoreCaseAndKeepTheFirstRate) {
    WriterFixture f;
    auto a = Ramp(100);
    auto b = Ramp(50, 100);
    f.writer.AddSamples("ABC", "ShZ", 100, t0, 100, a.data());
    // 50 samples at 50 sps: the chunk lasts 1 s by this call's rate.
    f.writer.AddSamples("ABC", "sHz", 50, t0 + 1.0, 50, b.data());
    ASSERT_EQ(f.writer.StationCount(), 1u);
    ASSERT_EQ(f.writer.Station(0).ChannelCount(), 1u);
    const CChannelBuffer& channel = f.writer.Station(0).Channel(0);
    EXPECT_EQ(channel.ChannelName(), "ShZ");
    EXPECT_EQ(channel.SampleRate(), 100.0);
    EXPECT_EQ(channel.BufferedCount(), 150);
    EXPECT_DOUBLE_EQ(channel.BlockDuration(), 2.0);

    f.writer.FlushAll();
    ASSERT_EQ(f.registrar.calls.size(), 1u);
    EXPECT_EQ(f.registrar.calls[0].file.channel, "ShZ");
    EXPECT_EQ(f.registrar.calls[0].file.rate, 100.0);
    auto files = f.Files();
    ASSERT_EQ(files.size(), 1u);
    std::string header = testsupport::ReadFile(f.PathOf(*files.begin())).substr(0, 512);
    EXPECT_NE(header.find("\r\nSpS=100.000000\r\n"), std::string::npos) << header;
}

TEST(Buffering, ChannelsOfAStationAreKeptApart) {
    WriterFixture f;
    auto z = Ramp(100);
    auto n = Ramp(100, 1000);
    f.writer.AddSamples("ABC", "SHZ", 100, t0, 100, z.data());
    f.writer.AddSamples("ABC", "SHN", 100, t0, 100, n.data());
    ASSERT_EQ(f.writer.Station(0).ChannelCount(), 2u);
    f.writer.FlushAll();
    ASSERT_EQ(f.registrar.calls.size(), 2u);
    // FlushAll goes through the channels in order of first sight.
    EXPECT_EQ(f.registrar.calls[0].file.channel, "SHZ");
    EXPECT_EQ(f.registrar.calls[1].file.channel, "SHN");
}

TEST(Buffering, FlushAllOnAnEmptyWriterDoesNothing) {
    WriterFixture f;
    testsupport::ConsoleLines console;
    f.writer.FlushAll();
    EXPECT_EQ(console.out, "");
    EXPECT_TRUE(f.registrar.calls.empty());
    EXPECT_TRUE(std::filesystem::is_empty(f.DataDir()));
}

// A second FlushAll finds every block empty and touches no file and no row.
TEST(Buffering, FlushWithNothingBufferedTouchesNothing) {
    WriterFixture f;
    auto samples = Ramp(100);
    f.writer.AddSamples("ABC", "SHZ", 100, t0, 100, samples.data());
    f.writer.FlushAll();
    ASSERT_EQ(f.registrar.calls.size(), 1u);
    auto file = f.PathOf(*f.Files().begin());
    std::filesystem::remove(file);
    f.writer.FlushAll();
    EXPECT_EQ(f.registrar.calls.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(file));
}

// Destroying the writer without FlushAll loses what is still buffered, and writes nothing.
TEST(Buffering, DestructionDoesNotFlush) {
    testsupport::TempDir dir;
    RecordingRegistrar registrar;
    {
        CArchiveWriter writer(registrar);
        writer.SetDataDir(dir.Path().c_str());
        auto samples = Ramp(100);
        writer.AddSamples("ABC", "SHZ", 100, t0, 100, samples.data());
    }
    EXPECT_TRUE(registrar.calls.empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

// The samples are copied: the caller may overwrite its buffer right after the call.
TEST(Buffering, CopiesTheCallersSamples) {
    WriterFixture f;
    auto samples = Ramp(100);
    const auto original = samples;
    f.writer.AddSamples("ABC", "SHZ", 100, t0, 100, samples.data());
    std::fill(samples.begin(), samples.end(), -1.0f);
    f.writer.FlushAll();
    auto data = testsupport::ReadFile(f.PathOf(*f.Files().begin())).substr(512);
    EXPECT_EQ(data, LittleEndianBytes(original));
}

}  // namespace
