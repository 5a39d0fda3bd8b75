// Recorder files a user can get wrong, converted end to end: whatever the file, the run ends
// with its documented message and exit code, and a refused file leaves nothing behind in
// the archive or the catalog.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/endtoend/EndToEndSupport.h"

using namespace endtoend;
using testsupport::WriteFile;

namespace {

// Bytes that look like nothing in particular: a linear congruential sequence.
std::string Garbage(std::size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 23);
    }
    return bytes;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A 256-byte header with the fields at their offsets, little-endian, and no blocks after it.
std::string Header(int16_t channels, int32_t samples, int16_t format) {
    std::string header(256, '\0');
    const std::string name = "Kelvo PLQ-4 recorder";
    header.replace(0, name.size(), name);
    auto put = [&](std::size_t offset, int64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) header[offset + i] = static_cast<char>(value >> (8 * i));
    };
    const int16_t fields[] = {13, 10, 22, 13, 47, 34, 0, 100};  // year .. samples per second
    for (std::size_t i = 0; i < 8; ++i) put(44 + 2 * i, fields[i], 2);
    put(64, channels, 2);
    put(66, samples, 4);
    put(70, format, 2);
    return header;
}

class RecorderInput : public ::testing::Test {
  protected:
    void SetUp() override {
        if (SystemTrqIniExists()) GTEST_SKIP() << "a system trq.ini would change the settings";
    }

    // The run refused the file: nothing in the archive, nothing in the catalog.
    void ExpectNothingArchived() const {
        EXPECT_TRUE(ws_.ArchiveFiles().empty());
        EXPECT_EQ(ws_.RowCount(), "0");
    }

    std::string Opened(const std::string& name) const {
        return ws_.ConnectedLines() + "Convert file " + name + " (sta=ABC)...\n";
    }

    Workspace ws_;
};

struct BrokenFile {
    std::string name;
    std::function<void(const std::string& path)> make;
    int exitCode;
    std::string lastLines;  // what the output ends with
};

TEST_F(RecorderInput, FilesThatAreNoRecordingAreRefused) {
    const plqgen::RecordingSpec small = [] {
        plqgen::RecordingSpec spec = TypicalHour();
        spec.samplesPerChannel = 1000;
        return spec;
    }();
    const std::string wholeFile = [&] {
        const auto bytes = plqgen::MakeRecording(small);
        return std::string(bytes.begin(), bytes.end());
    }();
    const std::string garbage = Garbage(5000, 7);
    const std::string garbageName =
        garbage.substr(0, std::min<std::size_t>(36, garbage.find('\0')));
    ASSERT_EQ(garbage.find("Kelvo"), std::string::npos);
    const std::string wrongSize = "Convert data...\nERROR: Wrong file size!!!\n";

    const std::vector<BrokenFile> cases = {
        {"dir.plq", [](const std::string& p) { std::filesystem::create_directory(p); }, kOpenFile,
         "Convert file dir.plq (sta=ABC)...\nERROR: open file dir.plq!!!\n"},
        {"empty.plq", [](const std::string& p) { WriteFile(p, ""); }, kReadFile,
         "Convert file empty.plq (sta=ABC)...\nRead header...\nERROR: read file empty.plq!!!\n"},
        {"garbage.plq", [&](const std::string& p) { WriteFile(p, garbage); }, kNotPlq,
         "ERROR: file garbage.plq is not PLQ-format (not found key \"Kelvo\")!!!\n" + garbageName +
             "\n"},
        // The key, then garbage: counts no file of this length can have.
        {"keyed.plq", [&](const std::string& p) { WriteFile(p, "Kelvo" + garbage); }, kReadFile,
         wrongSize},
        {"headeronly.plq", [&](const std::string& p) { WriteFile(p, wholeFile.substr(0, 256)); },
         kReadFile, wrongSize},
        {"cut.plq",
         [&](const std::string& p) { WriteFile(p, wholeFile.substr(0, 256 + 4004 + 2000)); },
         kReadFile, wrongSize},
        {"trailing.plq",
         [&](const std::string& p) { WriteFile(p, wholeFile + Garbage(1 << 20, 3)); }, kReadFile,
         wrongSize},
        // A sparse file of 5 GiB: the length test refuses it without reading a block.
        {"huge.plq",
         [&](const std::string& p) {
             WriteFile(p, wholeFile);
             std::filesystem::resize_file(p, 5ull << 30);
         },
         kReadFile, wrongSize},
    };
    for (const BrokenFile& c : cases) {
        SCOPED_TRACE(c.name);
        c.make(ws_.Dir() / c.name);
        const ProcessResult result = ws_.Run(c.name);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.out;
        EXPECT_EQ(result.out.rfind(Opened(c.name), 0), 0u) << result.out;
        EXPECT_TRUE(EndsWith(result.out, c.lastLines)) << result.out;
        EXPECT_EQ(result.out.find("Done!"), std::string::npos);
        ExpectNothingArchived();
        std::filesystem::remove_all(ws_.Dir() / c.name);
    }
}

// A FIFO has no length to test: it is refused at the open instead of blocking the run (a
// FIFO nobody writes to) or being read as a stream. A writer holds it open here with a
// header's worth of bytes in it, so that a run that did read it would not hang either.
TEST_F(RecorderInput, FifoIsRefusedAtTheOpen) {
    const std::string path = ws_.Dir() / "fifo.plq";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const int writer = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    const std::string header = Header(1, 10, 0);
    ASSERT_EQ(::write(writer, header.data(), header.size()), 256);
    const ProcessResult result = ws_.Run("fifo.plq");
    ::close(writer);
    EXPECT_EQ(result.exitCode, kOpenFile);
    EXPECT_EQ(result.out, Opened("fifo.plq") + "ERROR: open file fifo.plq!!!\n");
    ExpectNothingArchived();
}

struct OddHeader {
    std::string name;
    std::string contents;
    int exitCode;
    std::string lastLines;
};

// Zero, negative and absurd counts and rates, and start times outside the archive's years.
// Counts are refused by the length test (computed exactly in 64 bits, so that nothing is
// allocated for a count the file cannot hold); a file without samples converts to nothing;
// samples without a positive rate or a start time with a four-digit year cannot be placed
// in the archive, so the file is refused as a whole rather than converted into nothing.
TEST_F(RecorderInput, ZeroNegativeAndAbsurdCountsRatesAndTimes) {
    auto recording = [](const std::function<void(plqgen::RecordingSpec&)>& change) {
        plqgen::RecordingSpec spec = TypicalHour();
        spec.samplesPerChannel = 1000;
        change(spec);
        const auto bytes = plqgen::MakeRecording(spec);
        return std::string(bytes.begin(), bytes.end());
    };
    const std::string done = "Convert data...\nDone!\n\n";
    const std::string wrongSize = "Convert data...\nERROR: Wrong file size!!!\n";
    const std::string wrongRate = "Convert data...\nERROR: Wrong sample rate!!!\n";
    const std::string wrongTime = "Convert data...\nERROR: Wrong start time!!!\n";
    const std::vector<OddHeader> cases = {
        {"nochannels.plq", Header(0, 1000, 2), kConverted, done},
        {"nosamples.plq", Header(3, 0, 2) + std::string(12, '\0'), kConverted, done},
        // B * N + 4 is 0 for these: a file of just the header matches their length.
        {"minusone.plq", Header(3, -1, 2), kReadFile, wrongSize},
        {"minustwo.plq", Header(3, -2, 0), kReadFile, wrongSize},
        {"minuschannels.plq", Header(-1, 1000, 2), kReadFile, wrongSize},
        {"absurd.plq", Header(32767, 2147483647, 1), kReadFile, wrongSize},
        {"lowest.plq", Header(1, -2147483647 - 1, 1), kReadFile, wrongSize},
        {"rate0.plq", recording([](auto& s) { s.samplesPerSecond = 0; }), kReadFile, wrongRate},
        {"ratenegative.plq", recording([](auto& s) { s.samplesPerSecond = -100; }), kReadFile,
         wrongRate},
        {"year32767.plq", recording([](auto& s) { s.year = 32767; }), kReadFile, wrongTime},
        {"yearminus.plq", recording([](auto& s) { s.year = -30000; }), kReadFile, wrongTime},
    };
    for (const OddHeader& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(ws_.Dir() / c.name, c.contents);
        const ProcessResult result = ws_.Run(c.name);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.out;
        EXPECT_EQ(result.out.rfind(Opened(c.name) + "Read header...\nSystem => ", 0), 0u)
            << result.out;
        EXPECT_TRUE(EndsWith(result.out, c.lastLines)) << result.out;
        ExpectNothingArchived();
    }
}

// Fields far outside their ranges that still name a time of the archive's years are
// converted as the calendar reads them (a month of 13 counts as January, days and hours
// carry over), and an absurdly high rate is just a high rate.
TEST_F(RecorderInput, OutOfRangeFieldsThatStillNameATimeAreConverted) {
    plqgen::RecordingSpec spec = TypicalHour();
    spec.samplesPerChannel = 1000;
    spec.month = 13;
    spec.day = 99;
    spec.hour = 77;
    spec.samplesPerSecond = 32767;
    ws_.WriteRecording("odd.plq", spec);
    const ProcessResult result = ws_.Run("odd.plq");
    EXPECT_EQ(result.exitCode, kConverted) << result.out;
    EXPECT_EQ(result.out, Opened("odd.plq") + "Read header...\n" + HeaderDump(spec) +
                              "Convert data...\nDone!\n\n");
    // 2013, "January" 99 = April 9, plus 77 hours: April 12, 05:47:34.
    EXPECT_EQ(ws_.ArchiveFiles(),
              (std::set<std::string>{"ABC/12042013-054734-BHE.ABC", "ABC/12042013-054734-BHN.ABC",
                                     "ABC/12042013-054734-BHZ.ABC"}));
    const std::string file =
        testsupport::ReadFile(ws_.ArchiveDir() + "/ABC/12042013-054734-BHZ.ABC");
    EXPECT_EQ(file.size(), 512u + 4000);
    EXPECT_NE(file.find("\r\nSpS=32767.000000\r\n"), std::string::npos);
    EXPECT_EQ(ws_.RowCount(), "3");
}

}  // namespace
