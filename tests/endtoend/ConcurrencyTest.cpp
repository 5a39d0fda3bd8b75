// Converters at once on one catalog and one archive directory, as a data centre scales
// out: different stations do not disturb each other; one station is written by one
// converter at a time, so that two recordings of it never mix in a file; a station held
// for longer than LOCKWAIT is given up with -13, its leftovers left to the holder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <barrier>
#include <filesystem>
#include <set>
#include <thread>

#include "tests/support/Bytes.h"
#include "tests/support/Transcript.h"
#include "tests/support/Workspace.h"

using namespace testsupport;

namespace {

const char* const kChannels[] = {"BHZ", "BHN", "BHE"};

plqgen::RecordingSpec Hour(plqgen::Signal signal = plqgen::Signal::Ramp) {
    plqgen::RecordingSpec spec;
    spec.sampleFormat = 2;
    spec.signal = signal;
    return spec;
}

// Runs the converter on each (recording, station) at the same moment.
std::vector<ProcessResult> ConvertAtOnce(
    const Workspace& ws, const std::vector<std::pair<std::string, std::string>>& runs) {
    std::vector<ProcessResult> results(runs.size());
    std::barrier start(static_cast<std::ptrdiff_t>(runs.size()));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            results[i] = ws.Convert(runs[i].first, runs[i].second);
        });
    }
    for (auto& thread : threads) thread.join();
    return results;
}

// Which of `specs` every sample of the file comes from (-1: a mix, or none), and whether
// its row describes it (TQTY x SPS samples).
int SourceOf(const Workspace& ws, const std::string& station, int channel,
             const std::vector<plqgen::RecordingSpec>& specs) {
    const std::string name = station + "/22102013-134734-" + kChannels[channel - 1] + "." + station;
    const std::vector<float> samples = ArchiveSamples(ReadFile(ws.ArchiveDir() + "/" + name));
    const Rows rows =
        QueryRows(ws.Catalog(), "SELECT TQTY*SPS FROM FILELIST WHERE CPATH='" + station + "\\" +
                                    name.substr(station.size() + 1) + "'");
    EXPECT_EQ(rows, Rows{{std::to_string(samples.size())}}) << name;
    for (std::size_t s = 0; s < specs.size(); ++s) {
        if (samples == ReferenceSamples(specs[s], channel, 0, specs[s].samplesPerChannel)) {
            return static_cast<int>(s);
        }
    }
    return -1;
}

class Concurrency : public ::testing::TestWithParam<CatalogKind> {};

// Eight stations at once: every run ends cleanly (none gives up a catalog the others keep
// busy) and every file is its recording's, whole, with its row.
TEST_P(Concurrency, EightStationsShareCatalogAndArchive) {
    Workspace ws(GetParam());
    std::vector<std::pair<std::string, std::string>> runs;
    for (const char* station : {"ST1", "ST2", "ST3", "ST4", "ST5", "ST6", "ST7", "ST8"}) {
        ws.WriteRecording(std::string(station) + ".plq", Hour());
        runs.emplace_back(std::string(station) + ".plq", station);
    }
    for (const ProcessResult& result : ConvertAtOnce(ws, runs)) {
        EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    }
    for (const auto& [file, station] : runs) {
        for (int channel = 1; channel <= 3; ++channel) {
            EXPECT_EQ(SourceOf(ws, station, channel, {Hour()}), 0) << station << channel;
        }
    }
}

// Two recordings of one station converted at the same moment, round after round (without
// the station's lock, the first blocks of a file came from one recording and the rest
// from the other in about half of the rounds); and the same recording twice at once.
TEST_P(Concurrency, OneStationIsWrittenByOneConverterAtATime) {
    Workspace ws(GetParam());
    const std::vector<plqgen::RecordingSpec> specs = {Hour(), Hour(plqgen::Signal::Noise)};
    ws.WriteRecording("a.plq", specs[0]);
    ws.WriteRecording("b.plq", specs[1]);
    for (const auto& pair : {std::make_pair("a.plq", "b.plq"), std::make_pair("a.plq", "a.plq"),
                             std::make_pair("b.plq", "a.plq"), std::make_pair("a.plq", "b.plq"),
                             std::make_pair("b.plq", "a.plq")}) {
        SCOPED_TRACE(std::string(pair.first) + " and " + pair.second);
        for (const ProcessResult& result :
             ConvertAtOnce(ws, {{pair.first, "ABC"}, {pair.second, "ABC"}})) {
            EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
        }
        std::set<int> sources;
        for (int channel = 1; channel <= 3; ++channel) {
            sources.insert(SourceOf(ws, "ABC", channel, specs));
        }
        EXPECT_EQ(sources.size(), 1u);
        EXPECT_EQ(sources.count(-1), 0u) << "a file mixes the recordings";
    }
}

// Another process holds the station: a converter waits LOCKWAIT seconds, says for what, and
// gives up with -13, and `trq check --repair` leaves the station to the holder; neither
// removes its temporary file nor makes the registration of its journal. (The lock does not
// depend on the catalog: SQLite alone.)
TEST(StationLock, HeldStationIsLeftAlone) {
    Workspace ws;
    ws.WriteIni(ws.IniText(ws.ArchiveDir()) + "[DATA]\nLOCKWAIT=1\n");
    ws.WriteRecording("rec.plq", Hour());
    std::filesystem::create_directory(ws.ArchiveDir() + "/ABC");
    WriteFile(ws.ArchiveDir() + "/ABC/.22102013-134734-BHZ.ABC.tmp", "");
    WriteFile(ws.ArchiveDir() + "/ABC/.plq2trq.journal",
              "new\tABC\\22102013-134734-BHZ.ABC\tABC\tBHZ\t1382449654\t10\t100\t1\t3\tPLQ2TRQ\n");
    const auto left = ws.ArchiveFiles();
    const std::string lock = ws.ArchiveDir() + "/ABC/.plq2trq.lock";
    const int held = ::open(lock.c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const ProcessResult result = ws.Convert("rec.plq");
    const std::string check = Transcript(ws, {{"check", "archive", "@LOGIN@", "--repair"}});
    ::close(held);
    EXPECT_EQ(result.exitCode, 243);
    EXPECT_TRUE(result.out.ends_with(
        "Convert data...\nERROR: station ABC is being converted by another converter!!!\n"));
    EXPECT_EQ(result.err, "plq2trq: station ABC is being converted by another converter, process " +
                              std::to_string(::getpid()) +
                              " (endtoend_tests): waiting up to 1 s for " + lock +
                              "\nplq2trq: gave up waiting for station ABC after 1 s\n");
    EXPECT_EQ(check, ReadFile(PLQ_SOURCE_DIR "/tests/golden/trq/check-held.txt"));
    EXPECT_EQ(ws.ArchiveFiles(), left);
    EXPECT_TRUE(ws.CatalogRows().empty());
}

INSTANTIATE_TEST_SUITE_P(Catalogs, Concurrency,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

}  // namespace
