// `trq info` on converted and hand-written archive files, and `trq inspect` of the golden
// recording.

#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "tests/support/Sac.h"
#include "tests/trq/TrqTest.h"
#include "trq/commands/SampleStatistics.h"

namespace {

using namespace trqtest;

// A converted and a hand-written file shown whole, with the recording the converted one
// holds (@WORKSPACE@: the workspace) and none for the other; each broken file named with its
// fault while the good ones are still shown; a FIFO refused at once by every command that reads
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
    std::string transcript =
        Transcript(ws, {{"info", Converted("BHZ"), "hand"},
                        {"info", "hand", "odd", "old", "missing", "date", "fifo", "."},
                        {"plot", "fifo", "-o", "out"},
                        {"export", "fifo", "-o", "out"}});
    transcript.replace(transcript.find(ws.Dir().Path()), ws.Dir().Path().size(), "@WORKSPACE@");
    EXPECT_EQ(transcript, GoldenText("info.txt"));
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

// The golden recording's inspection whole. That inspect reaches the converter's verdict and
// shows its lines, for good files and each kind of broken one, is checked on every case of
// tests/endtoend/conversions.cases.
TEST(Inspect, GoldenRecordingWhole) {
    Workspace ws;
    ws.WriteRecording("rec.plq", GoldenSpec());
    const ProcessResult text = ws.Trq({"inspect", "rec.plq"});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_EQ(text.out, GoldenText("inspect.txt"));
}

// Figures of the finite samples only, whatever comes first (a NaN or infinity first must
// not leave a 0 behind as the minimum or maximum).
struct FiguresCase {
    const char* id;
    std::vector<float> samples;
    int64_t nonFinite;
    double min, max, mean, rms;
};

TEST(Statistics, FiguresOfTheFiniteSamples) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const FiguresCase cases[] = {
        {"s1 NaN first, then positive", {nan, 3, 5, 4}, 1, 3, 5, 4, 4.08248290463863},
        {"s2 infinities first, then negative",
         {inf, -inf, -2, -7},
         2,
         -7,
         -2,
         -4.5,
         5.1478150704935},
        {"s3 NaN between", {4, -4, nan, 4, 4}, 1, -4, 4, 2, 4},
        {"s4 nothing finite", {nan, inf}, 2, 0, 0, 0, 0},
    };
    for (const FiguresCase& c : cases) {
        SCOPED_TRACE(c.id);
        trq::SampleStatistics figures;
        figures.Add(c.samples);
        EXPECT_EQ(figures.Count(), static_cast<int64_t>(c.samples.size()));
        EXPECT_EQ(figures.NonFinite(), c.nonFinite);
        EXPECT_EQ(figures.Min(), c.min);
        EXPECT_EQ(figures.Max(), c.max);
        EXPECT_NEAR(figures.Mean(), c.mean, 1e-12);
        EXPECT_NEAR(figures.Rms(), c.rms, 1e-12);
    }
}

// A recording that crosses the channel loop's 5000-sample pieces and ends inside one (12,345
// samples a channel): the converted files, inspect's channels, info's figures and the
// exported trace hold whole channels, each against the reference decoder's samples.
TEST(LongRecording, EveryReaderSeesWholeChannels) {
    Workspace ws;
    plqgen::RecordingSpec spec = GoldenSpec();
    spec.samplesPerChannel = 12345;
    spec.sampleFormat = 2;
    spec.signal = plqgen::Signal::Ramp;
    ws.WriteRecording("rec.plq", spec);
    ASSERT_EQ(ws.Convert("rec.plq").exitCode, 0);
    const nlohmann::json inspect =
        nlohmann::json::parse(ws.Trq({"inspect", "--json", "rec.plq"}).out)["files"][0];
    ASSERT_EQ(inspect["channels"].size(), 3u);
    const char* names[] = {"BHZ", "BHN", "BHE"};
    for (int c = 1; c <= 3; ++c) {
        const std::string name = names[c - 1];
        SCOPED_TRACE(name);
        const std::vector<float> samples = ReferenceSamples(spec, c, 0, spec.samplesPerChannel);
        EXPECT_EQ(ArchiveSamples(ReadFile(ws.Path(Converted(name)))), samples);
        double sum = 0, squares = 0;
        for (float v : samples) sum += v, squares += static_cast<double>(v) * v;
        const double n = static_cast<double>(samples.size());
        // The ramp of channel c runs from 1000 c to 1000 c + 12344.
        const nlohmann::json info =
            nlohmann::json::parse(ws.Trq({"info", "--json", Converted(name)}).out)["files"][0];
        for (const nlohmann::json& figures : {inspect["channels"][c - 1], info}) {
            EXPECT_EQ(figures["samples"], 12345);
            EXPECT_EQ(figures["min"], 1000 * c);
            EXPECT_EQ(figures["max"], 1000 * c + 12344);
            EXPECT_NEAR(figures["mean"].get<double>(), sum / n, 1e-9);
            EXPECT_NEAR(figures["rms"].get<double>(), std::sqrt(squares / n), 1e-9);
        }
        EXPECT_EQ(inspect["channels"][c - 1]["name"], name);
        ASSERT_EQ(ws.Trq({"export", Converted(name), "-o", name + ".mseed"}).exitCode, 0);
        const auto sacs = Mseed2Sac(ws.Path(name + ".mseed"), ws.Path(name));
        ASSERT_EQ(sacs.size(), 1u);
        EXPECT_EQ(sacs.begin()->second.Start(), "13:47:34.250");
        EXPECT_EQ(sacs.begin()->second.samples, samples);
    }
}

}  // namespace
