// Finding data by time, end to end on an archive the converter wrote from four recordings
// of one day at 1 sample/s (two channels): a gap from 08:20 to 09:00, an overlap from
// 15:30 to 16:00, a gap from 18:00 to 19:00, starts at .000, .250, .500 and .750 s.
// Exported windows are read back with mseed2sac and compared with the generator's samples;
// list and avail against golden outputs. Every case runs on SQLite and on PostgreSQL, the
// catalog found through ./plq2trq.ini as the converter finds it.

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/recordset/CatalogDatabase.h"
#include "tests/trq/TrqTestSupport.h"

namespace {

using namespace trqtest;
using testsupport::CatalogKind;

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

plqgen::RecordingSpec GeneratorInput(const DayRecording& recording) {
    plqgen::RecordingSpec input;
    input.year = 2013;
    input.month = 10;
    input.day = recording.day;
    input.hour = recording.hour;
    input.minute = recording.minute;
    input.second = 0;
    input.millisecond = recording.millisecond;
    input.samplesPerSecond = 1;
    input.channelCount = 2;  // BHZ, BHN
    input.samplesPerChannel = recording.samples;
    input.sampleFormat = 2;
    input.signal = plqgen::Signal::Ramp;
    return input;
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
    std::vector<std::string> selection;
    std::vector<ExpectedTrace> traces;  // in the order of their SAC file names
};

const WindowCase kWindows[] = {
    {"inside-one-file",
     {"--channel", "BHZ", "--from", "2013-10-22T09:10:00Z", "--to", "2013-10-22T09:20:00Z"},
     {{"XX.ABC..BHZ.D.2013.295.091000.SAC", 1, 1, 600, 600, "09:10:00.250"}}},
    {"across-file-boundary",  // r2's second file begins at 11:46:40.250 (see list.json)
     {"--channel", "BHZ", "--from", "2013-10-22T11:45:00Z", "--to", "2013-10-22T11:50:00Z"},
     {{"XX.ABC..BHZ.D.2013.295.114500.SAC", 1, 1, 9900, 300, "11:45:00.250"}}},
    {"across-gap",
     {"--channel", "BHZ", "--from", "2013-10-22T08:00:00Z", "--to", "2013-10-22T09:30:00Z"},
     {{"XX.ABC..BHZ.D.2013.295.080000.SAC", 0, 1, 32400, 1200, "08:00:00.000"},
      {"XX.ABC..BHZ.D.2013.295.090000.SAC", 1, 1, 0, 1800, "09:00:00.250"}}},
    {"across-overlap",
     {"--channel", "BHZ", "--from", "2013-10-22T15:45:00.3Z", "--to", "2013-10-22T16:15:00Z"},
     {{"XX.ABC..BHZ.D.2013.295.154500.SAC", 2, 1, 900, 1800, "15:45:00.500"},
      {"XX.ABC..BHZ.D.2013.295.154501.SAC", 1, 1, 24301, 899, "15:45:01.250"}}},
    {"wildcard-to-the-last-sample",
     {"--channel", "BH?", "--from", "2013-10-22T23:59:00Z"},
     {{"XX.ABC..BHN.D.2013.295.235900.SAC", 3, 2, 17940, 60, "23:59:00.750"},
      {"XX.ABC..BHZ.D.2013.295.235900.SAC", 3, 1, 17940, 60, "23:59:00.750"}}},
};

struct GoldenCase {
    const char* id;
    std::vector<std::string> args;
    const char* golden;  // below tests/golden/find-by-time/
};

const GoldenCase kGoldens[] = {
    {"list-overlap-and-gap",
     {"list", "--station", "ABC", "--from", "2013-10-22T15:00:00Z", "--to", "2013-10-22T20:00Z",
      "--json"},
     "list.json"},
    {"avail-day-with-two-holes",
     {"avail", "--station", "ABC", "--from", "2013-10-22", "--to", "2013-10-23"},
     "avail-day.txt"},
    {"avail-day-json",
     {"avail", "--station", "ABC", "--channel", "BHZ", "--from", "2013-10-22", "--to", "2013-10-23",
      "--json"},
     "avail-day.json"},
};

// What a little-endian SAC file from mseed2sac says about its trace.
struct SacTrace {
    float delta = 0, begin = 0;
    int32_t dayOfYear = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    std::vector<float> samples;

    std::string Start() const {
        char text[32];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", hour, minute, second, millisecond);
        return text;
    }
};

SacTrace ReadSac(const std::string& path) {
    const std::string bytes = ReadFile(path);
    SacTrace sac;
    if (bytes.size() < 632) return sac;
    auto at = [&bytes](std::size_t offset, auto& value) {
        std::memcpy(&value, bytes.data() + offset, sizeof value);
    };
    at(0, sac.delta);
    at(20, sac.begin);
    at(284, sac.dayOfYear);
    at(288, sac.hour);
    at(292, sac.minute);
    at(296, sac.second);
    at(300, sac.millisecond);
    sac.samples.resize((bytes.size() - 632) / 4);
    std::memcpy(sac.samples.data(), bytes.data() + 632, sac.samples.size() * 4);
    return sac;
}

class FindByTime : public ConvertedArchive, public ::testing::WithParamInterface<CatalogKind> {
  protected:
    testsupport::TestCatalog MakeCatalog() override {
        return GetParam() == CatalogKind::kSqlite ? testsupport::MakeSqliteCatalog(dir_)
                                                  : testsupport::MakePostgresCatalog(dir_);
    }

    void ConvertDay() {
        for (const DayRecording& recording : kDay) {
            ASSERT_NO_FATAL_FAILURE(Convert(GeneratorInput(recording), "ABC", recording.name));
        }
    }

    // The SAC files of `mseed` in a fresh directory `sacDir`, by name.
    std::map<std::string, SacTrace> Mseed2Sac(const std::string& mseed, const std::string& sacDir) {
        std::filesystem::create_directories(dir_ / sacDir);
        const ProcessResult result = testsupport::RunProcess(
            "/usr/bin/mseed2sac", {"-f", "3", "../" + mseed}, dir_ / sacDir);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        std::map<std::string, SacTrace> traces;
        for (const auto& entry : std::filesystem::directory_iterator(dir_ / sacDir)) {
            traces[entry.path().filename().string()] = ReadSac(entry.path().string());
        }
        return traces;
    }
};

TEST_P(FindByTime, ExportedWindowsHoldExactlyTheRecordedSamples) {
    ASSERT_NO_FATAL_FAILURE(ConvertDay());
    for (const WindowCase& window : kWindows) {
        SCOPED_TRACE(window.id);
        const std::string mseed = std::string(window.id) + ".mseed";
        std::vector<std::string> args{"export", "--station", "ABC", "-o", mseed};
        args.insert(args.end(), window.selection.begin(), window.selection.end());
        const ProcessResult result = Trq(args);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");

        const std::map<std::string, SacTrace> sacs = Mseed2Sac(mseed, window.id);
        ASSERT_EQ(sacs.size(), window.traces.size());
        auto sac = sacs.begin();
        for (const ExpectedTrace& expected : window.traces) {
            const plqgen::RecordingSpec input = GeneratorInput(kDay[expected.recording]);
            std::vector<float> samples;
            for (int32_t i = 0; i < expected.count; ++i) {
                samples.push_back(DecodedValue(input, expected.channel, expected.first + i));
            }
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

TEST_P(FindByTime, ListAndAvailGiveTheirGoldenOutputs) {
    ASSERT_NO_FATAL_FAILURE(ConvertDay());
    for (const GoldenCase& golden : kGoldens) {
        SCOPED_TRACE(golden.id);
        const ProcessResult result = Trq(golden.args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, ReadFile(std::string(PLQ_SOURCE_DIR) + "/tests/golden/find-by-time/" +
                                       golden.golden));
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogs, FindByTime,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         testsupport::CatalogKindName);

}  // namespace
