// The archive-reading library: headers, sizes, samples, names and times.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "archive/ArchiveFile.h"
#include "archive/ArchiveText.h"
#include "recorder/UtcTime.h"
#include "tests/trq/TrqTestSupport.h"
#include "trq/SampleStatistics.h"

namespace {

using namespace trqtest;

std::array<unsigned char, 512> Bytes(const std::string& header) {
    std::array<unsigned char, 512> bytes{};
    EXPECT_EQ(header.size(), 512u);
    std::memcpy(bytes.data(), header.data(), std::min<std::size_t>(header.size(), 512));
    return bytes;
}

std::string ParseError(const std::string& header) {
    try {
        ParseArchiveHeader(Bytes(header));
    } catch (const ArchiveFormatError& e) {
        return e.what();
    }
    return "(parsed)";
}

const std::string kExampleText =
    "[TRQ5.x]\r\nData offset=512\r\nStart time=07 08 09\r\nStart date=05 03 2012\r\n"
    "Time duration=00 00 00\r\nData Type=FLOAT\r\nSpS=100.000000\r\nGain=1\r\n"
    "Station=ABC\r\nChannels=\"SHZ\"\r\n";

TEST(ArchiveHeader, ExampleHeaderOfTheFormat) {
    ASSERT_EQ(kExampleText.size(), 165u);
    ASSERT_EQ(HeaderText(HeaderFields{}), kExampleText);
    const ArchiveHeader h = ParseArchiveHeader(Bytes(PaddedHeader(kExampleText)));
    EXPECT_EQ(h.dataOffset, 512);
    const std::vector<int> fields = {h.startHour,     h.startMinute,     h.startSecond,
                                     h.startDay,      h.startMonth,      h.startYear,
                                     h.durationHours, h.durationMinutes, h.durationSeconds};
    EXPECT_EQ(fields, (std::vector<int>{7, 8, 9, 5, 3, 2012, 0, 0, 0}));
    EXPECT_EQ(h.dataType, "FLOAT");
    EXPECT_EQ(h.samplesPerSecond, 100.0);
    EXPECT_EQ(h.samplesPerSecondText, "100.000000");
    EXPECT_EQ(h.gain, 1);
    EXPECT_EQ(h.station, "ABC");
    EXPECT_EQ(h.channel, "SHZ");
    EXPECT_TRUE(h.otherLines.empty());
    EXPECT_EQ(h.StartSecond(), static_cast<int64_t>(k20120305_070809));
}

TEST(ArchiveHeader, ShortNamesEmptyStationAndUnknownLinesAreRead) {
    HeaderFields f;
    f.station = "";
    f.channel = "  Z";
    f.rate = 0.5;
    const ArchiveHeader h =
        ParseArchiveHeader(Bytes(PaddedHeader(HeaderText(f) + "Comment=x\r\n")));
    EXPECT_EQ(h.station, "");
    EXPECT_EQ(h.channel, "  Z");
    EXPECT_EQ(h.samplesPerSecond, 0.5);
    EXPECT_EQ(h.otherLines, std::vector<std::string>{"Comment=x"});
}

TEST(ArchiveHeader, EveryFaultIsNamed) {
    auto replaced = [](const std::string& from, const std::string& to) {
        std::string text = kExampleText;
        text.replace(text.find(from), from.size(), to);
        return PaddedHeader(text);
    };
    std::string noNul = PaddedHeader(kExampleText);
    noNul[165] = ' ';
    std::string badPadding = PaddedHeader(kExampleText);
    badPadding[300] = 'x';
    const std::vector<std::pair<std::string, std::string>> cases = {
        {noNul, "header text has no terminating NUL within 512 bytes"},
        {badPadding, "header byte 300 after the text is not a space"},
        {replaced("[TRQ5.x]", "[TRQ4.x]"), "header does not begin with the line \"[TRQ5.x]\""},
        {replaced("Gain=1\r\n", "Gain=1\n"), "header has no \"Station=\" line"},
        {replaced("Gain=1\r\n", ""), "header has no \"Gain=\" line"},
        {replaced("Gain=1\r\n", "Gain=1\r\nGain=2\r\n"),
         "header line \"Gain=\" appears more than once"},
        {replaced("Data offset=512", "Data offset=1024"),
         "header line \"Data offset=\" is 1024, not 512"},
        {replaced("Start time=07 08 09", "Start time=24 08 09"),
         "header line \"Start time=\" is not a time of day"},
        {replaced("Start time=07 08 09", "Start time=07 08"),
         "header line \"Start time=\" does not hold three numbers: \"07 08\""},
        {replaced("Start date=05 03 2012", "Start date=30 02 2012"),
         "header line \"Start date=\" is not a calendar date: \"30 02 2012\""},
        {replaced("Start date=05 03 2012", "Start date=05 03 20x2"),
         "header line \"Start date=\" does not hold a whole number: \"20x2\""},
        {replaced("Data Type=FLOAT", "Data Type=SHORT"),
         "header line \"Data Type=\" is \"SHORT\", not FLOAT"},
        {replaced("SpS=100.000000", "SpS=0.000000"),
         "header line \"SpS=\" is not a positive sample rate: \"0.000000\""},
        {replaced("SpS=100.000000", "SpS=fast"),
         "header line \"SpS=\" is not a positive sample rate: \"fast\""},
        {replaced("Channels=\"SHZ\"", "Channels=SHZ"),
         "header line \"Channels=\" does not hold a name in double quotes: \"SHZ\""},
        {replaced("Time duration=00 00 00", "Time duration=00 -1 00"),
         "header line \"Time duration=\" is negative"},
    };
    for (const auto& [header, message] : cases) EXPECT_EQ(ParseError(header), message);
    // A line without CR LF at the end of the text.
    std::string unterminated = kExampleText.substr(0, kExampleText.size() - 2);
    EXPECT_EQ(ParseError(PaddedHeader(unterminated)),
              "header line \"Channels=\"SHZ\"\" does not end in CR LF");
}

class ArchiveFileTest : public ::testing::Test {
  protected:
    std::string Write(const std::string& contents) {
        const std::string path = dir_ / "file";
        WriteFile(path, contents);
        return path;
    }
    std::string OpenError(const std::string& path) {
        try {
            OpenArchiveFile(path);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "(opened)";
    }
    TempDir dir_;
};

TEST_F(ArchiveFileTest, SamplesAreLittleEndianFloatsAfterTheHeader) {
    const std::vector<float> samples = {
        1.5f, -0.0f, 130944.0f, -2147483648.0f, 1e-45f, std::numeric_limits<float>::quiet_NaN()};
    const std::string path = Write(PaddedHeader(kExampleText) + LittleEndianBytes(samples));
    const ArchiveFile file = OpenArchiveFile(path);
    EXPECT_EQ(file.fileSize, 512 + 24);
    EXPECT_EQ(file.sampleCount, 6);
    EXPECT_EQ(file.StartTime(), k20120305_070809);
    EXPECT_EQ(file.Duration(), 0.06);
    const std::vector<float> read = ReadArchiveSamples(file);
    ASSERT_EQ(read.size(), 6u);
    EXPECT_EQ(LittleEndianBytes(read), LittleEndianBytes(samples));  // bit for bit
    EXPECT_TRUE(std::signbit(read[1]));
}

TEST_F(ArchiveFileTest, HeaderOnlyFileHoldsNoSamples) {
    const ArchiveFile file = OpenArchiveFile(Write(PaddedHeader(kExampleText)));
    EXPECT_EQ(file.sampleCount, 0);
    EXPECT_TRUE(ReadArchiveSamples(file).empty());
}

TEST_F(ArchiveFileTest, SizesOtherThan512Plus4kAreRefused) {
    EXPECT_EQ(OpenError(Write(PaddedHeader(kExampleText) + "abcde")),
              "file is 517 bytes, not 512 + 4 x samples (1 bytes left over)");
    EXPECT_EQ(OpenError(Write(PaddedHeader(kExampleText).substr(0, 511))),
              "file is 511 bytes, shorter than the 512-byte header");
    EXPECT_EQ(OpenError(dir_ / "missing"),
              "open(" + (dir_ / "missing") + ") failed: No such file or directory");
    EXPECT_EQ(OpenError(dir_.Path()), "not a regular file");
}

TEST_F(ArchiveFileTest, FileThatGrowsAfterOpeningIsNoticed) {
    const std::string path = Write(PaddedHeader(kExampleText) + LittleEndianBytes({1, 2}));
    const ArchiveFile file = OpenArchiveFile(path);
    WriteFile(path, PaddedHeader(kExampleText) + LittleEndianBytes({1, 2, 3}));
    EXPECT_THROW(ReadArchiveSamples(file), ArchiveFormatError);
    WriteFile(path, PaddedHeader(kExampleText) + LittleEndianBytes({1}));
    EXPECT_THROW(ReadArchiveSamples(file), ArchiveFormatError);
}

TEST(ArchivePath, NamesFollowTheArchiveLayout) {
    EXPECT_EQ(CatalogPath("ABC", "05032012-070809-SHZ.ABC"), "ABC\\05032012-070809-SHZ.ABC");
    EXPECT_EQ(CatalogPathOfFile("/data/ABC/05032012-070809-SHZ.ABC"),
              "ABC\\05032012-070809-SHZ.ABC");
    EXPECT_EQ(CatalogPathOfFile("/data/ABC/../XYZ/f"), "XYZ\\f");
    EXPECT_EQ(DiskPathOfCatalogPath("/data", "ABC\\f"), "/data/ABC/f");
}

TEST(UtcTime, FormatsAndCalendar) {
    EXPECT_EQ(FormatUtc(0, 0), "1970-01-01 00:00:00");
    EXPECT_EQ(FormatUtc(1382449654.25, 3), "2013-10-22 13:47:34.250");
    EXPECT_EQ(FormatIsoUtc(951868799.9990005, 6), "2000-02-29T23:59:59.999001Z");
    EXPECT_EQ(FormatUtc(951868799.9996, 3), "2000-03-01 00:00:00.000");  // carries
    EXPECT_EQ(FormatUtc(-1, 0), "1969-12-31 23:59:59");
    EXPECT_EQ(FormatUtc(std::numeric_limits<double>::infinity(), 0), "(not a time)");
    EXPECT_EQ(CivilToEpochSeconds({2100, 3, 1, 0, 0, 0}), 4107542400);
    EXPECT_EQ(CivilToEpochSeconds({1968, 1, 1, 0, 0, 0}), -63158400);  // 731 days
    EXPECT_TRUE(IsValidDate(2000, 2, 29));
    EXPECT_FALSE(IsValidDate(1900, 2, 29));
    EXPECT_FALSE(IsValidDate(2013, 13, 1));
}

TEST(SampleStatistics, FiguresOverFiniteSamples) {
    trq::SampleStatistics s;
    EXPECT_FALSE(s.HasValues());
    EXPECT_EQ(s.Min(), 0);
    s.Add(std::vector<float>{3, -4, std::numeric_limits<float>::infinity(), 0, 5});
    EXPECT_EQ(s.Count(), 5);
    EXPECT_EQ(s.NonFinite(), 1);
    EXPECT_EQ(s.Min(), -4);
    EXPECT_EQ(s.Max(), 5);
    EXPECT_EQ(s.Mean(), 1);
    EXPECT_DOUBLE_EQ(s.Rms(), std::sqrt(50.0 / 4));
}

}  // namespace
