// `trq info` on converted and hand-written archive files, and `trq inspect` against the
// converter it claims to agree with.

#include <sys/stat.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "tests/trq/TrqTest.h"

namespace {

using namespace trqtest;

// A converted and a hand-written file shown whole; each broken file named with its fault
// while the good ones are still shown; a FIFO refused at once by every command that reads
// archive files, not waited on for a writer that never comes.
TEST(Info, GoodAndBrokenFiles) {
    Workspace ws;
    ASSERT_NO_FATAL_FAILURE(ConvertGolden(ws));
    WriteFile(ws.Path("hand"), HandFile({4, -4, std::numeric_limits<float>::quiet_NaN(), 4, 4}));
    WriteFile(ws.Path("odd"), HandFile({1}) + "123");
    WriteFile(ws.Path("old"), PaddedHeader("[TRQ4.x]\r\n"));
    WriteFile(ws.Path("date"), HandFile({1}, "4", "XYZ", "30 02"));
    WriteFile(ws.Path("short"), "short");
    ASSERT_EQ(::mkfifo(ws.Path("fifo").c_str(), 0600), 0);
    EXPECT_EQ(Transcript(ws, {{"info", Converted("BHZ"), "hand"},
                              {"info", "hand", "odd", "old", "missing", "date", "fifo", "."},
                              {"plot", "fifo", "-o", "out"},
                              {"export", "fifo", "-o", "out"}}),
              GoldenText("info.txt"));
    const ProcessResult json = ws.Trq({"info", "--json", "hand", "short"});
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_EQ(nlohmann::json::parse(json.out), nlohmann::json::parse(GoldenText("info.json")));
}

// A word that names no subcommand is refused as a wrong command line: nothing runs in its
// place (check would compare the workspace's archive with its catalog).
TEST(CommandLine, AnUnknownSubcommandIsRefused) {
    Workspace ws;
    ASSERT_NO_FATAL_FAILURE(ConvertGolden(ws));
    const ProcessResult result = ws.Trq({"frobnicate"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "A subcommand is required\nRun with --help for more information.\n");
}

// The converter's lines about the recorder file, from its header on, without the progress
// lines that inspect leaves out.
std::string ConverterLines(std::string out) {
    out.erase(0, out.find("(sta=ABC)...\n") + 13);
    return std::regex_replace(
        out, std::regex(R"(Read header\.\.\.\n|Convert data\.\.\.\n|Done!\n\n)"), "");
}

struct InspectCase {
    const char* id;
    int exitCode;  // the converter's, as documented
    const char* systemName;
    int64_t sizeAdjustment;
    const char* channelMap;
};

TEST(Inspect, AgreesWithTheConverter) {
    const InspectCase cases[] = {
        {"good", 0, "Kelvo PLQ-4 recorder", 0, "1=BHZ\n2=BHN\n3=BHE\n"},
        {"size", -5, "Kelvo PLQ-4 recorder", -1, ""},
        {"nokey", -6, "Other PLQ-4 recorder", 0, ""},
        {"badname", -12, "Kelvo PLQ-4 recorder", 0, "2=B/N\n"},
    };
    for (const InspectCase& c : cases) {
        SCOPED_TRACE(c.id);
        Workspace ws;
        plqgen::RecordingSpec spec = GoldenSpec();
        spec.systemName = c.systemName;
        spec.sizeAdjustment = c.sizeAdjustment;
        ws.WriteRecording("rec.plq", spec);
        ws.WriteIni(ws.IniText(ws.ArchiveDir(), std::string("[CHANNELMAP]\n") + c.channelMap));
        const ProcessResult converter = ws.Convert("rec.plq");
        const ProcessResult text = ws.Trq({"inspect", "rec.plq"});
        const ProcessResult json = ws.Trq({"inspect", "--json", "rec.plq"});
        EXPECT_EQ((std::vector{converter.exitCode, text.exitCode, json.exitCode}),
                  std::vector(3, c.exitCode & 0xFF));
        const std::string expected = ConverterLines(converter.out);
        ASSERT_NE(expected, "") << converter.out;
        // inspect's copy: after "== rec.plq", up to its own indented summary.
        EXPECT_EQ(text.out.substr(11, text.out.find("\n  ") - 10), expected);
        const nlohmann::json doc = nlohmann::json::parse(json.out);
        std::string console;
        for (const auto& line : doc["files"][0]["console"])
            console += line.get<std::string>() + "\n";
        EXPECT_EQ(console, expected);
        EXPECT_EQ(doc["exitCode"], c.exitCode);
        if (c.exitCode == 0) {
            EXPECT_EQ(text.out, GoldenText("inspect.txt"));
        }
    }
}

}  // namespace
