// Finding data by time, end to end on an archive the converter wrote from four recordings
// of one day at 1 sample/s (two channels) for station ABC: a gap from 08:20 to 09:00, an
// overlap from 15:30 to 16:00, a gap from 18:00 to 19:00, starts at .000, .250, .500 and
// .750 s; the third and the fourth recording once more for stations ABD and XYZ, so that
// the catalog holds a campaign of three stations. Exported windows are read back with
// mseed2sac and compared with the generator's samples; list, avail and plot against golden
// transcripts. Every case runs on SQLite and on PostgreSQL, the catalog found through
// ./plq2trq.ini as the converter finds it.

#include <gtest/gtest.h>

#include "tests/support/Bytes.h"
#include "tests/support/Sac.h"
#include "tests/support/Transcript.h"
#include "tests/support/Workspace.h"

namespace {

using namespace testsupport;

struct DayRecording {
    const char* name;
    int16_t day, hour, minute, millisecond;
    int32_t samples;
};

// 2013-10-21 23:00:00.000 to 2013-10-23 00:00:00.750, in four recordings.
constexpr DayRecording kDay[] = {
    {"r1.plq", 21, 23, 0, 0, 33600},    // to 08:20:00.000
    {"r2.plq", 22, 9, 0, 250, 25200},   // to 16:00:00.250
    {"r3.plq", 22, 15, 30, 500, 9000},  // to 18:00:00.500
    {"r4.plq", 22, 19, 0, 750, 18000},  // to 00:00:00.750
};

// The recordings (indices of kDay) converted once more for other stations.
constexpr std::pair<int, const char*> kMoreStations[] = {{2, "ABD"}, {3, "XYZ"}};

plqgen::RecordingSpec GeneratorInput(const DayRecording& recording) {
    return RampRecording(recording.day, recording.hour, recording.minute, recording.millisecond,
                         recording.samples);
}

// One SAC file mseed2sac makes of an exported trace: samples first .. first + count - 1
// of channel `channel` (1 BHZ, 2 BHN) of recording kDay[recording], starting (2013-10-22)
// at `start`.
struct ExpectedTrace {
    const char* sacName;
    int recording;
    int channel;
    int32_t first;
    int32_t count;
    const char* start;  // hh:mm:ss.mmm
};

struct WindowCase {
    const char* id;
    const char* stations;  // --station
    std::vector<std::string> selection;
    std::vector<ExpectedTrace> traces;  // in the order of their SAC file names
    // Standard error; "-o -" for any but "", the records then coming on standard output.
    const char* err = "";
};

const WindowCase kWindows[] = {
    {"inside-one-file",
     "ABC",
     {"--channel", "BHZ", "--from", "2013-10-22T09:10:00Z", "--to", "2013-10-22T09:20:00Z"},
     {{"XX.ABC..BHZ.D.2013.295.091000.SAC", 1, 1, 600, 600, "09:10:00.250"}}},
    {"across-file-boundary",  // r2's second file begins at 11:46:40.250 (see list-and-avail.txt)
     "ABC",
     {"--channel", "BHZ", "--from", "2013-10-22T11:45:00Z", "--to", "2013-10-22T11:50:00Z"},
     {{"XX.ABC..BHZ.D.2013.295.114500.SAC", 1, 1, 9900, 300, "11:45:00.250"}}},
    {"across-gap",
     "ABC",
     {"--channel", "BHZ", "--from", "2013-10-22T08:00:00Z", "--to", "2013-10-22T09:30:00Z"},
     {{"XX.ABC..BHZ.D.2013.295.080000.SAC", 0, 1, 32400, 1200, "08:00:00.000"},
      {"XX.ABC..BHZ.D.2013.295.090000.SAC", 1, 1, 0, 1800, "09:00:00.250"}}},
    {"across-overlap",
     "ABC",
     {"--channel", "BHZ", "--from", "2013-10-22T15:45:00.3Z", "--to", "2013-10-22T16:15:00Z"},
     {{"XX.ABC..BHZ.D.2013.295.154500.SAC", 2, 1, 900, 1800, "15:45:00.500"},
      {"XX.ABC..BHZ.D.2013.295.154501.SAC", 1, 1, 24301, 899, "15:45:01.250"}}},
    {"wildcard-to-the-last-sample",
     "ABC",
     {"--channel", "BH?", "--from", "2013-10-22T23:59:00Z"},
     {{"XX.ABC..BHN.D.2013.295.235900.SAC", 3, 2, 17940, 60, "23:59:00.750"},
      {"XX.ABC..BHZ.D.2013.295.235900.SAC", 3, 1, 17940, 60, "23:59:00.750"}}},
    {"station-list-to-standard-output",  // a station named twice gives its trace once
     "XYZ,ABD,XYZ",
     {"--channel", "BHZ", "--from", "2013-10-22T17:59:00Z", "--to", "2013-10-22T19:01:00Z"},
     {{"XX.ABD..BHZ.D.2013.295.175900.SAC", 2, 1, 8940, 60, "17:59:00.500"},
      {"XX.XYZ..BHZ.D.2013.295.190000.SAC", 3, 1, 0, 60, "19:00:00.750"}},
     "trq export: wrote -: 2 records, 120 samples in 2 traces\n"},
    {"station-wildcard-to-alone",
     "A?D",
     {"--channel", "BHN", "--to", "2013-10-22T15:31:00Z"},
     {{"XX.ABD..BHN.D.2013.295.153000.SAC", 2, 2, 0, 60, "15:30:00.500"}}},
};

class FindByTime : public ::testing::TestWithParam<CatalogKind> {
  protected:
    FindByTime() : ws_(GetParam()) {}
    void ConvertDay() {
        for (const DayRecording& recording : kDay) {
            ws_.WriteRecording(recording.name, GeneratorInput(recording));
            ASSERT_EQ(ws_.Convert(recording.name).exitCode, 0) << recording.name;
        }
        for (const auto& [recording, station] : kMoreStations) {
            ASSERT_EQ(ws_.Convert(kDay[recording].name, station).exitCode, 0) << station;
        }
    }
    // The golden transcript `name`, @ARCHIVE@ standing for the archive directory.
    std::string GoldenTranscript(const std::string& name) const {
        std::string text = ReadFile(PLQ_SOURCE_DIR "/tests/golden/find-by-time/" + name);
        for (std::size_t at; (at = text.find("@ARCHIVE@")) != std::string::npos;) {
            text.replace(at, 9, ws_.ArchiveDir());
        }
        return text;
    }
    ProcessResult Trq(const std::vector<std::string>& args) const { return ws_.Trq(args); }
    Workspace ws_;
};

TEST_P(FindByTime, ExportedWindowsHoldExactlyTheRecordedSamples) {
    ASSERT_NO_FATAL_FAILURE(ConvertDay());
    for (const WindowCase& window : kWindows) {
        SCOPED_TRACE(window.id);
        const std::string mseed = std::string(window.id) + ".mseed";
        const bool piped = *window.err != '\0';
        std::vector<std::string> args{"export", "--station", window.stations, "-o",
                                      piped ? "-" : mseed};
        args.insert(args.end(), window.selection.begin(), window.selection.end());
        const ProcessResult result = Trq(args);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, window.err);
        if (piped) WriteFile(ws_.Path(mseed), result.out);

        const std::map<std::string, SacTrace> sacs =
            Mseed2Sac(ws_.Path(mseed), ws_.Path(window.id));
        ASSERT_EQ(sacs.size(), window.traces.size());
        auto sac = sacs.begin();
        for (const ExpectedTrace& expected : window.traces) {
            const plqgen::RecordingSpec input = GeneratorInput(kDay[expected.recording]);
            const std::vector<float> samples =
                ReferenceSamples(input, expected.channel, expected.first, expected.count);
            EXPECT_EQ(sac->first, expected.sacName);
            EXPECT_EQ(sac->second.delta, 1.0f);
            EXPECT_EQ(sac->second.dayOfYear, 295);
            EXPECT_EQ(sac->second.begin, 0.0f);
            EXPECT_EQ(sac->second.Start(), expected.start);
            EXPECT_EQ(sac->second.samples, samples);
            ++sac;
        }
    }
}

// list and avail of station ABC against tests/golden/find-by-time/list-and-avail.txt, where
// @ARCHIVE@ stands for the archive directory (files are named below it, where they open from
// here). The last two windows are [from, to) and end where r4's files start, 19:00:00.750.
// Then the campaign views of campaign.txt: station and channel lists and wildcards, every
// station, open windows, a pattern that fits nothing, and the availability picture of every
// station: a PNG 1200 pixels wide with a row for each of the six streams (60 + 6 x 34 + 56
// pixels high).
TEST_P(FindByTime, ListAvailAndPlotGiveTheirGoldenOutputs) {
    ASSERT_NO_FATAL_FAILURE(ConvertDay());
    EXPECT_EQ(Transcript(
                  ws_, {{"list", "--station", "ABC", "--from", "2013-10-22T15:00:00Z", "--to",
                         "2013-10-22T20:00Z", "--json"},
                        {"avail", "--station", "ABC", "--from", "2013-10-22", "--to", "2013-10-23"},
                        {"avail", "--station", "ABC", "--channel", "BHZ", "--from", "2013-10-22",
                         "--to", "2013-10-23", "--json"},
                        {"list", "--station", "ABC", "--channel", "BHZ", "--from",
                         "2013-10-22T18:30Z", "--to", "2013-10-22T19:00:00.75Z", "--json"},
                        {"avail", "--station", "ABC", "--channel", "BHZ", "--from",
                         "2013-10-22T18:30Z", "--to", "2013-10-22T19:00:00.75Z"}}),
              GoldenTranscript("list-and-avail.txt"));
    EXPECT_EQ(Transcript(ws_, {{"avail", "--plot", "campaign.png"},
                               {"list", "--station", "XYZ,ABD,XYZ", "--channel", "BHZ,BHZ", "--to",
                                "2013-10-22T19:30Z"},
                               {"list", "--station", "AB?,ABC", "--channel", "BHN,BHZ", "--from",
                                "2013-10-22T23:00Z", "--json"},
                               {"avail", "--station", "AB*", "--channel", "BHZ", "--to",
                                "2013-10-22T09:00Z"},
                               {"list", "--station", "Q*,NONE"},
                               {"plot", "--station", "AB?,XYZ", "--channel", "BHZ", "--from",
                                "2013-10-22T17:00Z", "--to", "2013-10-22T20:00Z", "-o", "p.png"},
                               {"export", "-o", "x.mseed"}}),
              GoldenTranscript("campaign.txt"));
    EXPECT_EQ(ReadFile(ws_.Path("campaign.png")).substr(0, 24),
              std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x04\xb0\0\0\x01\x40", 24));
}

INSTANTIATE_TEST_SUITE_P(Catalogs, FindByTime,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

}  // namespace
