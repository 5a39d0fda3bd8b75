#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/BinaryFile.h"
#include "recorder/RecorderHeader.h"
#include "tests/support/ConsoleLines.h"
#include "tests/support/TempDir.h"

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

using RawHeader = unsigned char[kRecorderHeaderSize];

void Put16(RawHeader& raw, std::size_t offset, int v) {
    raw[offset] = static_cast<unsigned char>(v & 0xFF);
    raw[offset + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

// The example recording: year 13, 2013-10-22 13:47:34, 100 sps, 3 channels, format 0,
// 360000 samples per channel.
void FillExample(RawHeader& raw, const char* name = "Kelvo") {
    std::memset(raw, 0, sizeof raw);
    std::memcpy(raw, name, std::strlen(name));
    const int words[][2] = {{44, 13}, {46, 10},  {48, 22},  {50, 13}, {52, 47},
                            {54, 34}, {56, 250}, {58, 100}, {64, 3},  {70, 0}};
    for (const auto& [offset, value] : words) Put16(raw, offset, value);
    Put16(raw, 66, 360000 & 0xFFFF);  // int32 at an unaligned offset
    Put16(raw, 68, 360000 >> 16);
}

std::string AsFileContents(const RawHeader& raw, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(raw), size);
}

TEST(RecorderHeader, EveryFieldIsTakenFromItsOffsetLittleEndianAndSigned) {
    RawHeader raw;
    FillExample(raw);
    const int words[][2] = {{36, 1},      {38, -2}, {40, 3},  {42, 4}, {60, 0x1234},
                            {62, -32768}, {72, 7},  {70, -3}, {64, -1}};
    for (const auto& [offset, value] : words) Put16(raw, offset, value);
    raw[74] = 0xFF;  // beyond the interpreted bytes
    const RecorderHeader h = DecodeRecorderHeader(raw);
    EXPECT_STREQ(h.systemName, "Kelvo");
    EXPECT_EQ(h.reserved36, 1);
    EXPECT_EQ(h.reserved38, -2);
    EXPECT_EQ(h.reserved40, 3);
    EXPECT_EQ(h.reserved42, 4);
    EXPECT_EQ(h.year, 2013);
    EXPECT_EQ(h.month, 10);
    EXPECT_EQ(h.day, 22);
    EXPECT_EQ(h.hour, 13);
    EXPECT_EQ(h.minute, 47);
    EXPECT_EQ(h.second, 34);
    EXPECT_EQ(h.millisecond, 250);
    EXPECT_EQ(h.samplesPerSecond, 100);
    EXPECT_EQ(h.reserved60, 0x1234);
    EXPECT_EQ(h.reserved62, -32768);
    EXPECT_EQ(h.channelCount, -1);
    EXPECT_EQ(h.samplesPerChannel, 360000);
    EXPECT_EQ(h.sampleFormat, -3);
    EXPECT_EQ(h.reserved72, 7);

    Put16(raw, 66, 0xFFFE);
    Put16(raw, 68, 0xFFFF);
    EXPECT_EQ(DecodeRecorderHeader(raw).samplesPerChannel, -2);
}

TEST(RecorderHeader, SystemNameEndsAtTheFirstNulOrAfter36Bytes) {
    RawHeader raw;
    FillExample(raw);
    std::memset(raw, 'N', 40);  // bytes 36..39 belong to the reserved words
    EXPECT_EQ(std::string(DecodeRecorderHeader(raw).systemName), std::string(36, 'N'));
    raw[0] = '\0';
    EXPECT_STREQ(DecodeRecorderHeader(raw).systemName, "");
    raw[0] = 'A';
    raw[5] = '\0';
    EXPECT_STREQ(DecodeRecorderHeader(raw).systemName, "ANNNN");
}

TEST(RecorderHeader, TwoDigitYearsAreWidened) {
    const int table[][2] = {{0, 2000},    {13, 2013},     {90, 2090},      {91, 1991},
                            {99, 1999},   {100, 100},     {2013, 2013},    {-1, 1999},
                            {-100, 1900}, {32767, 32767}, {-32768, -30768}};
    RawHeader raw;
    FillExample(raw);
    for (const auto& [stored, widened] : table) {
        Put16(raw, 44, stored);
        EXPECT_EQ(DecodeRecorderHeader(raw).year, widened) << stored;
    }
}

TEST(RecorderHeader, FormatKeyIsACaseSensitiveSubstringOfTheName) {
    const std::vector<std::pair<std::string, bool>> names = {
        {"Kelvo", true},
        {"Kelvo" + std::string(31, '-'), true},  // start of 36 bytes
        {std::string(15, '-') + "Kelvo" + std::string(16, '-'), true},
        {std::string(31, '-') + "Kelvo", true},   // very end
        {std::string(32, '-') + "Kelvo", false},  // 'o' is byte 36
        {"kelvo recorder", false},
        {"KELVO", false},
        {"Kel", false},
        {"", false},
    };
    for (const auto& [name, found] : names) {
        RawHeader raw;
        FillExample(raw, "");
        std::memcpy(raw, name.data(), std::min<std::size_t>(name.size(), 37));
        EXPECT_EQ(HasFormatKey(DecodeRecorderHeader(raw)), found) << name;
    }
    RawHeader raw;
    FillExample(raw, "ab");
    std::memcpy(raw + 3, "Kelvo", 5);  // after the NUL ending the name
    EXPECT_FALSE(HasFormatKey(DecodeRecorderHeader(raw)));
}

struct ReadOutcome {
    int result;
    RecorderHeader header;
    std::string printed;
};

ReadOutcome ReadFromFile(const std::string& contents) {
    TempDir dir;
    WriteFile(dir / "h.plq", contents);
    platform::BinaryFile file = platform::BinaryFile::OpenReadOnly(dir / "h.plq");
    ReadOutcome outcome{};
    outcome.header.month = 99;  // shows whether the header was touched
    testsupport::ConsoleLines console;
    outcome.result = ReadRecorderHeader(file, outcome.header);
    outcome.printed = console.out;
    return outcome;
}

TEST(RecorderHeader, ReadsAndPrintsTheExampleHeader) {
    RawHeader raw;
    FillExample(raw, "Kelvo PLQ-4");
    const ReadOutcome outcome = ReadFromFile(AsFileContents(raw, 256) + "rest of file");
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.header.month, 10);
    EXPECT_EQ(outcome.printed,
              "System => Kelvo PLQ-4\n"
              "year mnt day |  h-mi-s  | sps nch form nsamp\n"
              "2013  10  22 | 13-47-34 | 100  3   0  360000\n");
}

TEST(RecorderHeader, OutOfRangeValuesArePrintedAsStored) {
    RawHeader raw;
    FillExample(raw, "");
    const int words[][2] = {{44, 2100}, {46, 0},  {48, 123}, {50, -5}, {52, 7},
                            {54, 60},   {58, -1}, {64, 100}, {70, -7}};
    for (const auto& [offset, value] : words) Put16(raw, offset, value);
    Put16(raw, 66, 0xFFFF);
    Put16(raw, 68, 0xFFFF);
    EXPECT_EQ(ReadFromFile(AsFileContents(raw, 256)).printed,
              "System => \n"
              "year mnt day |  h-mi-s  | sps nch form nsamp\n"
              "2100   0  123 | -5-07-60 |  -1 100  -7  -1\n");
}

TEST(RecorderHeader, ShortFileYieldsOneAndLeavesEverythingUntouched) {
    RawHeader raw;
    FillExample(raw);
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{255}}) {
        const ReadOutcome outcome = ReadFromFile(AsFileContents(raw, size));
        EXPECT_EQ(outcome.result, 1) << size;
        EXPECT_EQ(outcome.header.month, 99) << size;
        EXPECT_EQ(outcome.printed, "") << size;
    }
}

}  // namespace
