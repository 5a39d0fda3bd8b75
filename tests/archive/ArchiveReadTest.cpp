// Reading archive files back: every fault of a header named, sizes other than 512 + 4k
// bytes, and a file that changes while it is read (cases in reading.cases).

#include <gtest/gtest.h>

#include <array>

#include "archive/ArchiveFile.h"
#include "tests/support/Bytes.h"
#include "tests/support/CaseScript.h"

using namespace testsupport;

namespace {

const std::string kHeader =
    "[TRQ5.x]\r\nData offset=512\r\nStart time=07 08 09\r\nStart date=05 03 2012\r\n"
    "Time duration=00 00 00\r\nData Type=FLOAT\r\nSpS=100.000000\r\nGain=1\r\nStation=ABC\r\n"
    "Channels=\"SHZ\"\r\n";

std::string ParsedHeader(const std::string& from, const std::string& to) {
    std::string text = kHeader;
    const std::string padded = PaddedHeader(text.replace(text.find(from), from.size(), to));
    std::array<unsigned char, 512> bytes{};
    std::copy(padded.begin(), padded.end(), bytes.begin());
    const ArchiveHeader header = ParseArchiveHeader(bytes);
    return header.CatalogPathItGives() + " " + std::to_string(header.StartSecond()) + " " +
           header.samplesPerSecondText + " " + header.otherLines.at(0);
}

std::string ReadSamples(std::size_t size, std::size_t later) {
    TempDir dir;
    const std::string bytes = PaddedHeader(kHeader) + FloatBytes({1.5f, -2.0f, 3.0f});
    WriteFile(dir / "f", bytes.substr(0, size));
    const ArchiveFile file = OpenArchiveFile(dir / "f");
    WriteFile(dir / "f", bytes.substr(0, later));
    std::string result;
    for (float sample : ReadArchiveSamples(file))
        result += (result.empty() ? "" : " ") + std::to_string(sample);
    return result;
}

class ArchiveReading : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(ArchiveReading, HeaderFaultsAndFileSizes) {
    const ScriptCase& c = GetParam();
    const std::size_t blank = c.steps.at(0).find(' '), bar = c.steps[0].find('|');
    const std::vector<std::string> f = Fields(c.steps[0]);
    std::string result;
    try {
        result = f[0] == "header" ? ParsedHeader(c.steps[0].substr(blank + 1, bar - blank - 1),
                                                 c.steps[0].substr(bar + 1))
                                  : ReadSamples(std::stoul(f[1]), std::stoul(f[2]));
    } catch (const ArchiveFormatError& error) {
        result = error.what();
    }
    EXPECT_EQ(std::vector<std::string>{result}, c.expected) << c.title;
}

CASE_TABLE(reading, ArchiveReading, ReadCaseScript("tests/archive/reading.cases"));

}  // namespace
