// Archive files as they land on disk: names, the 512-byte header, the sample bytes,
// appends and rotation, and what the catalog is told.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/archive/ArchiveTestSupport.h"

using namespace archivetest;
using testsupport::ReadFile;

namespace {

// The header of ABC / SHZ at 100 sps starting 2012-03-05 07:08:09(.5), as it must lie in
// the file: 165 bytes of text, the NUL at byte 165, spaces from 166 to 511.
const std::string kExampleHeaderText =
    "[TRQ5.x]\r\n"
    "Data offset=512\r\n"
    "Start time=07 08 09\r\n"
    "Start date=05 03 2012\r\n"
    "Time duration=00 00 00\r\n"
    "Data Type=FLOAT\r\n"
    "SpS=100.000000\r\n"
    "Gain=1\r\n"
    "Station=ABC\r\n"
    "Channels=\"SHZ\"\r\n";

TEST(ArchiveFiles, ExampleFileNameHeaderSamplesAndRegistration) {
    ASSERT_EQ(kExampleHeaderText.size(), 165u);
    WriterFixture f;
    const std::vector<float> samples = {1.0f, -2.5f, 0.0f, 255.0f, -0.0f, 130944.0f};
    f.writer.AddSamples("ABC", "SHZ", 100, k20120305_070809 + 0.5, 6, samples.data());
    f.writer.FlushAll();

    EXPECT_EQ(f.Files(), std::set<std::string>{"ABC/05032012-070809-SHZ.ABC"});
    std::string file = ReadFile(f.PathOf("ABC/05032012-070809-SHZ.ABC"));
    ASSERT_EQ(file.size(), 512u + 6 * 4);
    std::string expectedHeader = kExampleHeaderText;
    expectedHeader += '\0';
    expectedHeader += std::string(346, ' ');
    EXPECT_EQ(file.substr(0, 512), expectedHeader);
    // float32 little-endian, as literal bytes.
    const std::string expectedSamples(
        "\x00\x00\x80\x3f"
        "\x00\x00\x20\xc0"
        "\x00\x00\x00\x00"
        "\x00\x00\x7f\x43"
        "\x00\x00\x00\x80"
        "\x00\xc0\xff\x47",
        24);
    EXPECT_EQ(file.substr(512), expectedSamples);

    ASSERT_EQ(f.registrar.calls.size(), 1u);
    EXPECT_EQ(f.registrar.calls[0].kind, Registration::New);
    FileRegistration expected{
        "ABC\\05032012-070809-SHZ.ABC", "ABC", "SHZ", k20120305_070809 + 0.5, 0.06, 100.0, 1, 3};
    EXPECT_EQ(f.registrar.calls[0].file, expected);
    EXPECT_STREQ(f.writer.Station(0).Channel(0).CurrentFilePath(), "ABC\\05032012-070809-SHZ.ABC");
    EXPECT_FALSE(f.writer.WriteFailed());
    EXPECT_FALSE(f.writer.CatalogFailed());
}

// Names and header lines for short and long names, fractional seconds, other rates.
TEST(ArchiveFiles, NamesAndHeaderLines) {
    struct Case {
        const char* station;
        const char* channel;
        double rate;
        EpochSeconds start;
        const char* fileName;  // below the station directory
        const char* rateLine;
    } cases[] = {
        {"ABC", "Z", 100, k20120305_070809, "05032012-070809-  Z.ABC", "SpS=100.000000"},
        {"ABC", "NZ", 100, k20120305_070809, "05032012-070809- NZ.ABC", "SpS=100.000000"},
        {"AB", "SHZ", 100, k20120305_070809, "05032012-070809-SHZ. AB", "SpS=100.000000"},
        {"STATION", "LONGCH", 100, k20120305_070809, "05032012-070809-LONGCH.STATION",
         "SpS=100.000000"},
        {"ABC", "SHZ", 20, k20120305_070809 + 0.9, "05032012-070809-SHZ.ABC", "SpS=20.000000"},
        {"ABC", "SHZ", 64, k20120305_070809 + 0.999, "05032012-070809-SHZ.ABC", "SpS=64.000000"},
        {"ABC", "SHZ", 0.5, k20131022_134734, "22102013-134734-SHZ.ABC", "SpS=0.500000"},
        {"ABC", "SHZ", 100, 0.0, "01011970-000000-SHZ.ABC", "SpS=100.000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileName);
        WriterFixture f;
        auto samples = Ramp(10);
        f.writer.AddSamples(c.station, c.channel, c.rate, c.start, 10, samples.data());
        f.writer.FlushAll();
        std::string relative = std::string(c.station) + "/" + c.fileName;
        ASSERT_EQ(f.Files(), std::set<std::string>{relative});
        ASSERT_EQ(f.registrar.calls.size(), 1u);
        EXPECT_EQ(f.registrar.calls[0].file.path, std::string(c.station) + "\\" + c.fileName);
        EXPECT_EQ(f.registrar.calls[0].file.rate, c.rate);

        std::string header = ReadFile(f.PathOf(relative)).substr(0, 512);
        std::string time = std::string(c.fileName).substr(9, 6);  // hhmmss
        std::string date = std::string(c.fileName).substr(0, 8);  // ddmmyyyy
        std::string text = "[TRQ5.x]\r\nData offset=512\r\nStart time=" + time.substr(0, 2) + " " +
                           time.substr(2, 2) + " " + time.substr(4, 2) +
                           "\r\nStart date=" + date.substr(0, 2) + " " + date.substr(2, 2) + " " +
                           date.substr(4, 4) + "\r\nTime duration=00 00 00\r\nData Type=FLOAT\r\n" +
                           c.rateLine + "\r\nGain=1\r\nStation=" + c.station + "\r\nChannels=\"" +
                           c.channel + "\"\r\n";
        EXPECT_EQ(header, PaddedHeader(text));
    }
}

// 100 sps, full 5000-sample blocks of 50 s: the first block creates a file, 71 more are
// appended (3600 s > 3599 s), and the 73rd starts the next file.
TEST(ArchiveFiles, RotatesAfter72BlocksAt100Sps) {
    WriterFixture f;
    constexpr EpochSeconds t0 = k20131022_134734;
    auto samples = Ramp(2 * 360000);
    f.writer.AddSamples("ABC", "SHZ", 100, t0, 2 * 360000, samples.data());
    f.writer.FlushAll();

    EXPECT_EQ(f.Files(), (std::set<std::string>{"ABC/22102013-134734-SHZ.ABC",
                                                "ABC/22102013-144734-SHZ.ABC"}));
    std::string first = ReadFile(f.PathOf("ABC/22102013-134734-SHZ.ABC"));
    std::string second = ReadFile(f.PathOf("ABC/22102013-144734-SHZ.ABC"));
    ASSERT_EQ(first.size(), 512u + 360000 * 4);
    ASSERT_EQ(second.size(), 512u + 360000 * 4);
    EXPECT_EQ(first.substr(512), LittleEndianBytes(Slice(samples, 0, 360000)));
    EXPECT_EQ(second.substr(512), LittleEndianBytes(Slice(samples, 360000, 360000)));
    EXPECT_NE(second.find("Start time=14 47 34\r\n"), std::string::npos);

    auto& calls = f.registrar.calls;
    ASSERT_EQ(calls.size(), 144u);
    for (std::size_t i = 0; i < 144; ++i) {
        SCOPED_TRACE(i);
        std::size_t block = i % 72;
        EXPECT_EQ(calls[i].kind, block == 0 ? Registration::New : Registration::Extended);
        EXPECT_EQ(calls[i].file.path,
                  i < 72 ? "ABC\\22102013-134734-SHZ.ABC" : "ABC\\22102013-144734-SHZ.ABC");
        EXPECT_EQ(calls[i].file.start, i < 72 ? t0 : t0 + 3600);
        EXPECT_NEAR(calls[i].file.duration, 50.0 * (block + 1), 1e-6);
    }
}

// 64 sps, blocks of 78.125 s: the 47th block takes the file from 3593.75 s to 3671.875 s;
// it is still appended, and only the 48th starts a new file.
TEST(ArchiveFiles, At64SpsThe47thBlockIsStillAppended) {
    WriterFixture f;
    constexpr EpochSeconds t0 = k20131022_134734;
    auto samples = Ramp(48 * 5000);
    f.writer.AddSamples("ABC", "SHZ", 64, t0, 48 * 5000, samples.data());
    f.writer.FlushAll();
    auto& calls = f.registrar.calls;
    ASSERT_EQ(calls.size(), 48u);
    EXPECT_EQ(calls[45].kind, Registration::Extended);
    EXPECT_EQ(calls[45].file.duration, 3593.75);
    EXPECT_EQ(calls[46].kind, Registration::Extended);
    EXPECT_EQ(calls[46].file.duration, 3671.875);
    EXPECT_EQ(calls[47].kind, Registration::New);
    EXPECT_EQ(calls[47].file.start, t0 + 3671.875);
    EXPECT_EQ(calls[47].file.duration, 78.125);
    EXPECT_EQ(calls[47].file.path, "ABC\\22102013-144845-SHZ.ABC");  // 13:47:34 + 3671.875 s
    EXPECT_EQ(ReadFile(f.PathOf("ABC/22102013-134734-SHZ.ABC")).size(), 512u + 47 * 5000 * 4);
}

// A block longer than 3599 s on its own does not close its file at once: the next
// continuing block is appended, and only then is the file closed.
TEST(ArchiveFiles, ABlockLongerThanTheLimitKeepsItsFileOpenForOneAppend) {
    for (double rate : {1.0, 0.5}) {
        SCOPED_TRACE(rate);
        WriterFixture f;
        constexpr EpochSeconds t0 = k20131022_134734;
        auto samples = Ramp(15000);
        // Three chunks of 5000 samples: 5000 s (1 sps) or 10000 s (0.5 sps) each.
        f.writer.AddSamples("ABC", "LHZ", rate, t0, 15000, samples.data());
        f.writer.FlushAll();
        double block = 5000 / rate;
        auto& calls = f.registrar.calls;
        ASSERT_EQ(calls.size(), 3u);
        EXPECT_EQ(calls[0].kind, Registration::New);
        EXPECT_EQ(calls[0].file.duration, block);
        EXPECT_EQ(calls[1].kind, Registration::Extended);
        EXPECT_EQ(calls[1].file.duration, 2 * block);
        EXPECT_EQ(calls[2].kind, Registration::New);
        EXPECT_EQ(calls[2].file.start, t0 + 2 * block);
        EXPECT_EQ(f.Files().size(), 2u);
    }
}

// A gap of more than one sample period starts a new file named after the block's own start;
// the earlier file keeps its row. Data out of order start a new file as well.
TEST(ArchiveFiles, GapsAndOutOfOrderDataStartNewFiles) {
    WriterFixture f;
    constexpr EpochSeconds t0 = k20131022_134734;
    auto a = Ramp(1000);
    auto b = Ramp(1000, 1000);
    auto c = Ramp(1000, 2000);
    f.writer.AddSamples("ABC", "SHZ", 100, t0, 1000, a.data());
    f.writer.AddSamples("ABC", "SHZ", 100, t0 + 10 + 0.02, 1000, b.data());  // 20 ms gap
    f.writer.AddSamples("ABC", "SHZ", 100, t0 - 100, 1000, c.data());        // before t0
    f.writer.FlushAll();
    EXPECT_EQ(f.Files(),
              (std::set<std::string>{"ABC/22102013-134734-SHZ.ABC", "ABC/22102013-134744-SHZ.ABC",
                                     "ABC/22102013-134554-SHZ.ABC"}));
    auto& calls = f.registrar.calls;
    ASSERT_EQ(calls.size(), 3u);
    for (auto& call : calls) EXPECT_EQ(call.kind, Registration::New);
    EXPECT_EQ(calls[1].file.start, t0 + 10 + 0.02);
    EXPECT_EQ(ReadFile(f.PathOf("ABC/22102013-134554-SHZ.ABC")).substr(512), LittleEndianBytes(c));
}

// A block out of order that falls into the same start second as the current file gets the
// same name: the file is truncated and rewritten, its row replaced.
TEST(ArchiveFiles, SameNameTruncatesAndRewrites) {
    WriterFixture f;
    constexpr EpochSeconds t0 = k20131022_134734;
    auto a = Ramp(1000);
    auto b = Ramp(300, 5000);
    f.writer.AddSamples("ABC", "SHZ", 100, t0, 1000, a.data());
    f.writer.AddSamples("ABC", "SHZ", 100, t0 + 0.5, 300, b.data());
    f.writer.FlushAll();
    EXPECT_EQ(f.Files(), std::set<std::string>{"ABC/22102013-134734-SHZ.ABC"});
    std::string file = ReadFile(f.PathOf("ABC/22102013-134734-SHZ.ABC"));
    EXPECT_EQ(file.size(), 512u + 300 * 4);
    EXPECT_EQ(file.substr(512), LittleEndianBytes(b));
    ASSERT_EQ(f.registrar.calls.size(), 2u);
    EXPECT_EQ(f.registrar.calls[1].kind, Registration::New);
    EXPECT_EQ(f.registrar.calls[1].file.path, f.registrar.calls[0].file.path);
    EXPECT_EQ(f.registrar.calls[1].file.start, t0 + 0.5);
}

// Converting the same data twice gives the same names and bytes; the second run truncates
// what it finds (here a longer file left in place of one of them).
TEST(ArchiveFiles, RerunRewritesTheSameFiles) {
    testsupport::TempDir dir;
    constexpr EpochSeconds t0 = k20131022_134734;
    auto samples = Ramp(20000);
    auto run = [&](RecordingRegistrar& registrar) {
        CArchiveWriter writer(registrar);
        writer.SetDataDir(dir.Path().c_str());
        writer.AddSamples("ABC", "SHZ", 100, t0, 20000, samples.data());
        writer.AddSamples("ABC", "SHN", 100, t0, 20000, samples.data());
        writer.FlushAll();
    };
    RecordingRegistrar first;
    run(first);
    const std::string z = dir / "ABC/22102013-134734-SHZ.ABC";
    const std::string n = dir / "ABC/22102013-134734-SHN.ABC";
    std::string zBytes = ReadFile(z);
    std::string nBytes = ReadFile(n);
    ASSERT_EQ(zBytes.size(), 512u + 20000 * 4);
    testsupport::WriteFile(n, std::string(200000, 'x'));

    RecordingRegistrar second;
    run(second);
    EXPECT_EQ(ReadFile(z), zBytes);
    EXPECT_EQ(ReadFile(n), nBytes);
    ASSERT_EQ(second.calls.size(), first.calls.size());
    for (std::size_t i = 0; i < first.calls.size(); ++i) {
        EXPECT_EQ(second.calls[i].kind, first.calls[i].kind);
        EXPECT_EQ(second.calls[i].file, first.calls[i].file);
    }
}

// The station directory is made with mode 0777 less the umask; only that level is made.
TEST(ArchiveFiles, StationDirectoryModeFollowsTheUmask) {
    WriterFixture f;
    mode_t old = ::umask(027);
    auto samples = Ramp(10);
    f.writer.AddSamples("ABC", "SHZ", 100, k20131022_134734, 10, samples.data());
    f.writer.FlushAll();
    ::umask(old);
    struct stat info {};
    ASSERT_EQ(::stat(f.PathOf("ABC").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0750u);
}

// A catalog that refuses a registration is remembered; the file stays written.
TEST(ArchiveFiles, RefusedRegistrationSetsCatalogFailed) {
    WriterFixture f;
    f.registrar.answer = RegistrationOutcome::kFailed;
    auto samples = Ramp(10);
    f.writer.AddSamples("ABC", "SHZ", 100, k20131022_134734, 10, samples.data());
    f.writer.FlushAll();
    EXPECT_TRUE(f.writer.CatalogFailed());
    EXPECT_FALSE(f.writer.WriteFailed());
    EXPECT_EQ(f.Files(),
              (std::set<std::string>{"ABC/.plq2trq.journal", "ABC/22102013-134734-SHZ.ABC"}));
}

// A catalog that is gone for the run: the registrations go to the station's journal with
// their exact values, in order, and count as catalog failures.
TEST(ArchiveFiles, RegistrationsOfAnUnavailableCatalogAreJournaled) {
    WriterFixture f;
    f.registrar.answer = RegistrationOutcome::kCatalogUnavailable;
    auto samples = Ramp(6000);
    const EpochSeconds start = k20131022_134734 + 0.25;
    f.writer.AddSamples("ABC", "SHZ", 100, start, 6000, samples.data());
    f.writer.FlushAll();
    EXPECT_TRUE(f.writer.CatalogFailed());
    EXPECT_EQ(f.writer.DeferredCount(), 2u);
    EXPECT_EQ(f.writer.JournalPaths(), std::vector<std::string>{f.PathOf("ABC/.plq2trq.journal")});
    EXPECT_EQ(ReadFile(f.PathOf("ABC/.plq2trq.journal")),
              "new\tABC\\22102013-134734-SHZ.ABC\tABC\tSHZ\t1382449654.25\t50\t100\t1\t3\tPLQ2TRQ\n"
              "update\tABC\\22102013-134734-SHZ.ABC\tABC\tSHZ\t1382449654.25\t60\t100\t1\t3\t"
              "PLQ2TRQ\n");
}

}  // namespace

namespace {

// Data that begin at (or within a sample period of) the epoch are no continuation of
// "no current file" and no continuation of an empty block: they start a file of their own
// at their own start time.
TEST(ArchiveFiles, DataNearTheEpochStartANewFile) {
    for (EpochSeconds start : {0.0, 0.005}) {
        SCOPED_TRACE(start);
        WriterFixture f;
        auto samples = Ramp(10);
        f.writer.AddSamples("ABC", "SHZ", 100, start, 10, samples.data());
        EXPECT_EQ(f.writer.Station(0).Channel(0).BlockStart(), start);
        f.writer.FlushAll();
        EXPECT_FALSE(f.writer.WriteFailed());
        EXPECT_EQ(f.Files(), std::set<std::string>{"ABC/01011970-000000-SHZ.ABC"});
        ASSERT_EQ(f.registrar.calls.size(), 1u);
        EXPECT_EQ(f.registrar.calls[0].kind, Registration::New);
        EXPECT_EQ(f.registrar.calls[0].file.start, start);
    }
}

// After rotation the channel has no current file, even though it still knows the old path:
// a block continuing in time starts the next file instead of growing the closed one.
TEST(ArchiveFiles, RotatedFileTakesNoFurtherAppends) {
    WriterFixture f;
    constexpr EpochSeconds t0 = k20131022_134734;
    auto samples = Ramp(73 * 5000);
    f.writer.AddSamples("ABC", "SHZ", 100, t0, 73 * 5000, samples.data());
    // The 72nd block is flushed by the 73rd chunk; the file then covers 3600 s.
    const CChannelBuffer& channel = f.writer.Station(0).Channel(0);
    EXPECT_FALSE(channel.HasCurrentFile());
    EXPECT_STREQ(channel.CurrentFilePath(), "ABC\\22102013-134734-SHZ.ABC");
    f.writer.FlushAll();
    EXPECT_STREQ(channel.CurrentFilePath(), "ABC\\22102013-144734-SHZ.ABC");
    EXPECT_EQ(ReadFile(f.PathOf("ABC/22102013-144734-SHZ.ABC")).size(), 512u + 5000 * 4);
}

}  // namespace
