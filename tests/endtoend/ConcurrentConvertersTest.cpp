// Several converters at once on one PostgreSQL catalog and one archive directory, as a
// data centre scales out: converters on different stations must not disturb each other,
// and two converters started by mistake on the same recording and station must leave no
// archive file with samples out of place and exactly one catalog row per file.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/endtoend/EndToEndSupport.h"

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

}  // namespace
