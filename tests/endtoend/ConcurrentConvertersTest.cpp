// Several converters at once on one PostgreSQL catalog and one archive directory, as a
// data centre scales out: converters on different stations must not disturb each other,
// and two converters started by mistake on the same recording and station must leave no
// archive file with samples out of place and exactly one catalog row per file.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/endtoend/EndToEndSupport.h"
#include "tests/recordset/CatalogDatabase.h"

using namespace endtoend;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

class ConcurrentConverters : public ::testing::Test {
  protected:
    void SetUp() override {
        if (SystemTrqIniExists()) GTEST_SKIP() << "a system trq.ini would change the settings";
        catalog_ = testsupport::MakePostgresCatalog(dir_);
        std::filesystem::create_directories(ArchiveDir());
        WriteFile(dir_ / "plq2trq.ini", IniText(&catalog_, ArchiveDir()));
    }

    std::string ArchiveDir() const { return dir_ / "archive"; }

    RunRequest Request(const std::string& recording, const std::string& station) const {
        return {dir_.Path(), recording, station, catalog_.env};
    }

    TempDir dir_;
    testsupport::TestCatalog catalog_;
};

// Four stations, each with its own hour starting a few minutes apart, converted at once:
// every run ends cleanly, every archive file is whole, and the catalog has its rows.
TEST_F(ConcurrentConverters, FourStationsAtOnceShareCatalogAndArchive) {
    const std::vector<std::string> stations = {"ST1", "ST2", "ST3", "ST4"};
    std::vector<plqgen::RecordingSpec> specs;
    std::vector<RunRequest> requests;
    for (std::size_t i = 0; i < stations.size(); ++i) {
        plqgen::RecordingSpec spec = TypicalHour();
        spec.minute = static_cast<int16_t>(10 + 7 * i);
        spec.seed = static_cast<uint32_t>(i + 1);
        plqgen::WriteRecording(dir_ / (stations[i] + ".plq"), spec);
        specs.push_back(spec);
        requests.push_back(Request(stations[i] + ".plq", stations[i]));
    }

    const std::vector<ProcessResult> results = ConvertAtOnce(requests);

    for (std::size_t i = 0; i < stations.size(); ++i) {
        SCOPED_TRACE(stations[i]);
        EXPECT_EQ(results[i].exitCode, kConverted) << results[i].out << results[i].err;
        EXPECT_EQ(results[i].out.find("ERROR"), std::string::npos) << results[i].out;
        EXPECT_TRUE(results[i].err.empty()) << results[i].err;
        const std::vector<ArchiveFileState> files =
            CheckStationArchive(ArchiveDir(), stations[i], specs[i]);
        ASSERT_EQ(files.size(), 3u);
        for (const ArchiveFileState& file : files) {
            EXPECT_EQ(file.sampleCount, 360000u) << file.relativePath;
        }
        EXPECT_EQ(StationRows(catalog_, stations[i]), RowsFor(files));
    }
    EXPECT_EQ(testsupport::QueryRows(catalog_, "SELECT COUNT(*) FROM FILELIST"),
              (std::vector<std::vector<std::string>>{{"12"}}));
}

// The same recording and station converted twice at once, a few times over. The two runs
// race for the same files: a run may lose blocks to the other (it says so, -8) or find the
// other's row in its way (the unique index on CPATH makes that insert fail loudly, -9), but
// in the end every archive file holds only the recording's samples at their place, and
// every file has exactly one row, which tells how much the file holds.
TEST_F(ConcurrentConverters, SameRecordingTwiceAtOnceLeavesNoTornFile) {
    const plqgen::RecordingSpec spec = TypicalHour();
    plqgen::WriteRecording(dir_ / "rec.plq", spec);
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::filesystem::remove_all(ArchiveDir());
        std::filesystem::create_directories(ArchiveDir());
        testsupport::ExecuteSql(catalog_, "DELETE FROM FILELIST");

        const std::vector<ProcessResult> results =
            ConvertAtOnce({Request("rec.plq", "ABC"), Request("rec.plq", "ABC")});

        for (const ProcessResult& result : results) {
            EXPECT_TRUE(result.exitCode == kConverted || result.exitCode == kArchiveWrite ||
                        result.exitCode == kCatalog)
                << result.exitCode << "\n"
                << result.out << result.err;
            EXPECT_NE(result.out.find("Done!\n"), std::string::npos) << result.out;
        }
        const std::vector<ArchiveFileState> files = CheckStationArchive(ArchiveDir(), "ABC", spec);
        // The first file of each channel is there, whoever wrote it.
        for (const std::string& channel : kChannelNames) {
            const std::string first = "ABC/22102013-134734-" + channel + ".ABC";
            EXPECT_TRUE(std::any_of(files.begin(), files.end(), [&](const ArchiveFileState& f) {
                return f.relativePath == first;
            })) << first;
        }
        EXPECT_EQ(StationRows(catalog_, "ABC"), RowsFor(files));
    }
}

// Which of `specs` (format 2 recordings at 100 sps from one start) every sample of the
// archive file at `path` comes from: its index, or -1 when the file mixes them or matches none.
int RecordingOfFile(const std::string& path, const std::vector<plqgen::RecordingSpec>& specs,
                    int channel, int64_t firstSample) {
    const std::vector<float> samples = ArchiveSamples(testsupport::ReadFile(path));
    for (std::size_t s = 0; s < specs.size(); ++s) {
        bool all = !samples.empty();
        for (std::size_t i = 0; all && i < samples.size(); ++i) {
            const auto index = static_cast<int32_t>(firstSample + static_cast<int64_t>(i));
            all = samples[i] == static_cast<float>(plqgen::RawSample(specs[s], channel, index));
        }
        if (all) return static_cast<int>(s);
    }
    return -1;
}

class ConcurrentRecordingsOfOneStation : public ::testing::TestWithParam<testsupport::CatalogKind> {
  protected:
    void SetUp() override {
        if (SystemTrqIniExists()) GTEST_SKIP() << "a system trq.ini would change the settings";
        catalog_ = GetParam() == testsupport::CatalogKind::kSqlite
                       ? testsupport::MakeSqliteCatalog(dir_)
                       : testsupport::MakePostgresCatalog(dir_);
        std::filesystem::create_directories(dir_ / "archive");
        WriteFile(dir_ / "plq2trq.ini", IniText(&catalog_, dir_ / "archive"));
    }
    TempDir dir_;
    testsupport::TestCatalog catalog_;
};

// Two different recorders with one station name, channels, rate and start, converted at
// the same moment, again and again: one converter waits for the other, so every archive
// file holds one recording's samples from its first block to its last (the later run's),
// and the rows describe those files. Without the station's lock the first blocks of a file
// came from one recording and the rest from the other in about half of the rounds.
TEST_P(ConcurrentRecordingsOfOneStation, DifferentRecordingsNeverMixInOneFile) {
    std::vector<plqgen::RecordingSpec> specs(2, TypicalHour());
    specs[1].signal = plqgen::Signal::Noise;
    plqgen::WriteRecording(dir_ / "a.plq", specs[0]);
    plqgen::WriteRecording(dir_ / "b.plq", specs[1]);
    for (int round = 1; round <= 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::vector<ProcessResult> results =
            ConvertAtOnce({{dir_.Path(), "a.plq", "ABC", catalog_.env},
                           {dir_.Path(), "b.plq", "ABC", catalog_.env}});
        for (const ProcessResult& result : results) {
            EXPECT_EQ(result.exitCode, kConverted) << result.out << result.err;
        }
        std::set<int> sources;
        for (std::size_t c = 0; c < kChannelNames.size(); ++c) {
            const std::string path =
                dir_ / ("archive/ABC/22102013-134734-" + kChannelNames[c] + ".ABC");
            const int source = RecordingOfFile(path, specs, static_cast<int>(c) + 1, 0);
            EXPECT_NE(source, -1) << path << " mixes the recordings";
            sources.insert(source);
        }
        EXPECT_EQ(sources.size(), 1u) << "the files come from different runs";
        const std::vector<ArchiveFileState> files =
            CheckStationArchive(dir_ / "archive", "ABC", specs[*sources.begin()]);
        EXPECT_EQ(StationRows(catalog_, "ABC"), RowsFor(files));
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogs, ConcurrentRecordingsOfOneStation,
                         ::testing::Values(testsupport::CatalogKind::kSqlite,
                                           testsupport::CatalogKind::kPostgres),
                         testsupport::CatalogKindName);

// A converter that holds the station for longer than the others wait ([DATA] LOCKWAIT):
// they say what they wait for, then give up with -13, having written nothing.
TEST_F(ConcurrentConverters, StationHeldTooLongEndsWithMinus13AndNothingWritten) {
    WriteFile(dir_ / "plq2trq.ini", IniText(&catalog_, ArchiveDir()) + "[DATA]\nLOCKWAIT=1\n");
    plqgen::WriteRecording(dir_ / "rec.plq", TypicalHour());
    std::filesystem::create_directories(ArchiveDir() + "/ABC");
    const std::string lockFile = ArchiveDir() + "/ABC/.plq2trq.lock";
    const int held = ::open(lockFile.c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const ProcessResult result = Convert(dir_.Path(), "rec.plq", "ABC", catalog_.env);
    ::close(held);
    EXPECT_EQ(result.exitCode, 243);
    EXPECT_TRUE(result.out.ends_with(
        "Convert data...\nERROR: station ABC is being converted by another converter!!!\n"))
        << result.out;
    EXPECT_EQ(result.err,
              "plq2trq: station ABC is being converted by another converter: "
              "waiting up to 1 s for " +
                  lockFile + "\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(ArchiveDir() + "/ABC"), {}), 1);
    EXPECT_EQ(testsupport::QueryRows(catalog_, "SELECT COUNT(*) FROM FILELIST"),
              (std::vector<std::vector<std::string>>{{"0"}}));
}

}  // namespace
