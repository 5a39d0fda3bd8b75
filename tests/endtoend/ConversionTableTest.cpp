// One table of converter runs (conversions.cases): a recorder file and settings in; the exit
// code, standard output and error, the archive files and the catalog rows out. Each archive
// file must hold, byte for byte, the archive header for its name and the samples the
// reference decoder gives for one channel of the recording, and the case names that
// channel. Every case also runs `trq inspect` on the same file, which must reach the
// converter's verdict.

#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <regex>

#include "tests/support/Bytes.h"
#include "tests/support/ConverterRun.h"

using namespace testsupport;

namespace {

// What an archive file of `spec`'s channel must hold for its path, STATION/DDMMYYYY-134734-
// NAME.STATION (NAME right-aligned in three columns): the header text of the archive format
// and the samples decoded by the reference decoder.
std::string ExpectedFile(const plqgen::RecordingSpec& spec, int channel, const std::string& path) {
    const std::string station = path.substr(0, path.find('/'));
    const std::string base = path.substr(station.size() + 1);
    std::string name = base.substr(16, base.rfind('.') - 16);
    name.erase(0, name.find_first_not_of(' '));
    char text[512];
    std::snprintf(text, sizeof text,
                  "[TRQ5.x]\r\nData offset=512\r\nStart time=13 47 34\r\nStart date=%s %s "
                  "%s\r\nTime duration=00 00 00\r\nData Type=FLOAT\r\nSpS=%d.000000\r\nGain=1\r\n"
                  "Station=%s\r\nChannels=\"%s\"\r\n",
                  base.substr(0, 2).c_str(), base.substr(2, 2).c_str(), base.substr(4, 4).c_str(),
                  spec.samplesPerSecond, station.c_str(), name.c_str());
    return PaddedHeader(text) +
           FloatBytes(ReferenceSamples(spec, channel, 0, spec.samplesPerChannel));
}

// The converter's lines about the recorder file, from its header on, without the progress
// lines that inspect leaves out.
std::string ConverterLines(std::string out) {
    out.erase(0, out.find(")...\n") + 5);
    return std::regex_replace(
        out, std::regex(R"(Read header\.\.\.\n|Convert data\.\.\.\n|Done!\n\n)"), "");
}

class ConversionTable : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(ConversionTable, Case) {
    const ScriptCase& c = GetParam();
    SCOPED_TRACE(c.title);
    Workspace ws;
    ConverterRun run(ws);
    ASSERT_NO_FATAL_FAILURE(run.Perform(c));
    std::vector<std::string> lines = run.Lines();
    int files = 0;
    for (std::string& line : lines) {
        if (!line.starts_with("file ")) continue;
        const std::string bytes = ReadFile(ws.ArchiveDir() + "/" + line.substr(5));
        int channel = 1;
        while (channel <= 3 && bytes != ExpectedFile(run.Spec(), channel, line.substr(5))) {
            ++channel;
        }
        line += channel <= 3 ? " channel " + std::to_string(channel) : " of no channel";
        ++files;
    }
    EXPECT_EQ(lines, run.Expected(c));
    EXPECT_EQ(QueryRows(ws.Catalog(), "SELECT COUNT(*) FROM FILELIST")[0][0],
              std::to_string(files));

    // trq inspect reaches the converter's verdict, and shows the converter's lines about
    // the file: after "== FILE", up to its own indented summary, and in --json as
    // "console".
    const std::string file = Fields(c.steps.back())[1];
    const ProcessResult text = ws.Trq({"inspect", file});
    const ProcessResult json = ws.Trq({"inspect", "--json", file});
    const int exit = run.Result().exitCode;
    EXPECT_EQ((std::vector{text.exitCode, json.exitCode}), std::vector(2, exit)) << text.out;
    const std::string about = ConverterLines(run.Result().out);
    const std::size_t first = text.out.find('\n') + 1;
    EXPECT_EQ(text.out.substr(first, text.out.find("\n  ") + 1 - first), about);
    const nlohmann::json doc = nlohmann::json::parse(json.out);
    std::string console;
    for (const auto& line : doc["files"][0]["console"]) console += line.get<std::string>() + "\n";
    EXPECT_EQ(console, about);
    EXPECT_EQ(doc["exitCode"], exit > 127 ? exit - 256 : exit);
}

CASE_TABLE(conversions, ConversionTable, ReadCaseScript("tests/endtoend/conversions.cases"));

}  // namespace
