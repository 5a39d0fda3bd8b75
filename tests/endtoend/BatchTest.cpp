// The converter's batch form against the classic form: a campaign converted in one command
// leaves the archive and the catalog exactly as one classic run per recording (in time
// order) leaves them, a bad recording in the middle is reported and skipped, a dry run
// writes nothing, and a batch interrupted and run again leaves the same archive.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/support/ConverterRun.h"
#include "tests/support/Deadline.h"

using namespace testsupport;
namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

// A recording of 3,700 s at 100 sps (just over an hour: each channel fills two archive
// files) starting at 13:47:34 plus `hours` hours and `extraSeconds` seconds.
plqgen::RecordingSpec HourAndMore(int hours, int extraSeconds = 0, uint32_t seed = 1) {
    plqgen::RecordingSpec spec;
    spec.sampleFormat = 2;
    spec.samplesPerChannel = 370000;
    const int start = 13 * 3600 + 47 * 60 + 34 + hours * 3700 + extraSeconds;
    spec.hour = static_cast<int16_t>(start / 3600);
    spec.minute = static_cast<int16_t>(start / 60 % 60);
    spec.second = static_cast<int16_t>(start % 60);
    spec.seed = seed;
    return spec;
}

struct CampaignFile {
    std::string path;  // below the workspace
    std::string station;
    plqgen::RecordingSpec spec;
};

// Two stations: ABC with two recordings back to back (written latest first, so that the
// batch has to order them), XYZ with two 60 s apart.
std::vector<CampaignFile> Campaign() {
    return {{"spool/ABC/b.plq", "ABC", HourAndMore(1, 0, 2)},
            {"spool/ABC/a.plq", "ABC", HourAndMore(0, 0, 1)},
            {"spool/XYZ/1.plq", "XYZ", HourAndMore(0, 0, 3)},
            {"spool/XYZ/2.plq", "XYZ", HourAndMore(1, 60, 4)}};
}

// The archive below the workspace ("archive") and the campaign's recordings.
void WriteCampaign(const Workspace& ws, const std::vector<CampaignFile>& files = Campaign()) {
    ws.WriteIni(ws.IniText("archive"));
    for (const CampaignFile& f : files) {
        fs::create_directories(fs::path(ws.Path(f.path)).parent_path());
        ws.WriteRecording(f.path, f.spec);
    }
}

// The campaign converted by classic runs, each station's recordings in time order.
void ConvertClassic(const Workspace& ws) {
    WriteCampaign(ws);
    for (const char* path :
         {"spool/ABC/a.plq", "spool/ABC/b.plq", "spool/XYZ/1.plq", "spool/XYZ/2.plq"}) {
        const std::string station = fs::path(path).parent_path().filename();
        ASSERT_EQ(ws.Convert(path, station).exitCode, 0) << path;
    }
}

ProcessResult Batch(const Workspace& ws, std::vector<std::string> args) {
    return RunProcess(ConverterPath(), args, ws.Dir().Path(), ws.Env());
}

nlohmann::json ReadJson(const std::string& path) {
    std::ifstream in(path);
    return nlohmann::json::parse(in);
}

class BatchForm : public ::testing::TestWithParam<CatalogKind> {};

// B1: --tree with two workers and a truncated and a foreign file among the recordings:
// the good ones end exactly as classic runs leave them, the bad ones are reported with the
// classic codes, and the batch ends with the more severe (-5, 251).
TEST_P(BatchForm, TreeEqualsClassicRunsAndSkipsBadRecordings) {
    Workspace classic(GetParam());
    ConvertClassic(classic);

    Workspace batch(GetParam());
    std::vector<CampaignFile> files = Campaign();
    plqgen::RecordingSpec truncated = HourAndMore(0, 1800);
    truncated.sizeAdjustment = -100;
    plqgen::RecordingSpec foreign = HourAndMore(0, 900);
    foreign.systemName = "other recorder";
    files.push_back({"spool/ABC/cut.plq", "ABC", truncated});
    files.push_back({"spool/XYZ/foreign.plq", "XYZ", foreign});
    WriteCampaign(batch, files);

    const ProcessResult run =
        Batch(batch, {"--tree", "spool", "--jobs", "2", "--report", "report.json"});
    EXPECT_EQ(run.exitCode, 251) << run.out << run.err;
    EXPECT_EQ(batch.ArchiveFiles(), classic.ArchiveFiles());
    EXPECT_EQ(batch.CatalogRows(), classic.CatalogRows());
    EXPECT_THAT(run.out,
                HasSubstr("Summary: 4 of 6 recordings converted, 2 failed\n"
                          "  failed (-6, not PLQ): 1\n"
                          "  failed (-5, cannot read or wrong size): 1\n"
                          "  archive files created 24, extended 0, replaced 0\n"
                          "  station ABC: 2.06 h of data, 0 gaps (0.0 s), 0 overlaps (0.0 s)\n"
                          "  station XYZ: 2.06 h of data, 1 gaps (60.0 s), 0 overlaps (0.0 s)\n"));

    const nlohmann::json report = ReadJson(batch.Path("report.json"));
    EXPECT_EQ(report["exitCode"], -5);
    std::map<std::string, std::pair<int, std::string>> outcomes;
    for (const auto& r : report["recordings"]) outcomes[r["path"]] = {r["exitCode"], r["outcome"]};
    const std::map<std::string, std::pair<int, std::string>> expected{
        {"spool/ABC/a.plq", {0, "converted"}}, {"spool/ABC/b.plq", {0, "converted"}},
        {"spool/ABC/cut.plq", {-5, "failed"}}, {"spool/XYZ/1.plq", {0, "converted"}},
        {"spool/XYZ/2.plq", {0, "converted"}}, {"spool/XYZ/foreign.plq", {-6, "failed"}}};
    EXPECT_EQ(outcomes, expected);
    EXPECT_EQ(report["recordings"][0]["path"], "spool/ABC/a.plq");
    EXPECT_EQ(report["recordings"][0]["created"],
              nlohmann::json({"ABC\\22102013-134734-BHZ.ABC", "ABC\\22102013-144734-BHZ.ABC",
                              "ABC\\22102013-134734-BHN.ABC", "ABC\\22102013-144734-BHN.ABC",
                              "ABC\\22102013-134734-BHE.ABC", "ABC\\22102013-144734-BHE.ABC"}));
}

// B2: --station with the files given latest first; a dry run before writes nothing and
// tells the files the conversion then makes; after it, a dry run tells replacements of the
// same data, and once one sample of a file is changed, that file's as of other data.
TEST_P(BatchForm, DryRunTellsAndWritesNothing) {
    Workspace ws(GetParam());
    WriteCampaign(ws);
    const std::vector<std::string> args{"--station", "ABC", "spool/ABC/b.plq", "spool/ABC/a.plq"};
    std::vector<std::string> dry = args;
    dry.push_back("--dry-run");

    const ProcessResult told = Batch(ws, dry);
    EXPECT_EQ(told.exitCode, 0) << told.err;
    EXPECT_TRUE(ws.ArchiveFiles().empty());
    EXPECT_TRUE(ws.CatalogRows().empty());
    EXPECT_NE(told.out.find("spool/ABC/a.plq (ABC): create ABC\\22102013-134734-BHZ.ABC create "
                            "ABC\\22102013-144734-BHZ.ABC create ABC\\22102013-134734-BHN.ABC"),
              std::string::npos)
        << told.out;
    EXPECT_NE(told.out.find("spool/ABC/b.plq (ABC): create ABC\\22102013-144914-BHZ.ABC create "
                            "ABC\\22102013-154914-BHZ.ABC"),
              std::string::npos)
        << told.out;

    ASSERT_EQ(Batch(ws, args).exitCode, 0);
    EXPECT_EQ(ws.ArchiveFiles().size(), 12u);
    const ProcessResult again = Batch(ws, dry);
    EXPECT_NE(again.out.find("spool/ABC/b.plq (ABC): replace ABC\\22102013-144914-BHZ.ABC (same "
                             "data) replace ABC\\22102013-154914-BHZ.ABC (same data) replace"),
              std::string::npos)
        << again.out;

    // One sample deep in the first hour of BHN (beyond its first 5000) made other.
    {
        std::fstream file(ws.Path("archive/ABC/22102013-134734-BHN.ABC"),
                          std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(512 + 4 * 200000);
        const char byte = static_cast<char>(file.get() ^ 0x40);
        file.seekp(512 + 4 * 200000);
        file.put(byte);
    }
    const auto archive = ws.ArchiveFiles();
    const Rows rows = ws.CatalogRows();
    dry.insert(dry.end(), {"--report", "dry.json"});
    const ProcessResult changed = Batch(ws, dry);
    EXPECT_NE(changed.out.find(
                  "spool/ABC/a.plq (ABC): replace ABC\\22102013-134734-BHZ.ABC (same data) replace "
                  "ABC\\22102013-144734-BHZ.ABC (same data) replace ABC\\22102013-134734-BHN.ABC "
                  "(other data) replace ABC\\22102013-144734-BHN.ABC (same data) replace "
                  "ABC\\22102013-134734-BHE.ABC (same data) replace ABC\\22102013-144734-BHE.ABC "
                  "(same data)\n"),
              std::string::npos)
        << changed.out;
    EXPECT_EQ(ws.ArchiveFiles(), archive);
    EXPECT_EQ(ws.CatalogRows(), rows);
    const nlohmann::json report = ReadJson(ws.Path("dry.json"));
    EXPECT_EQ(report["recordings"][0]["replaced"][2],
              nlohmann::json({{"path", "ABC\\22102013-134734-BHN.ABC"}, {"sameData", false}}));
    EXPECT_EQ(report["recordings"][0]["replaced"][0],
              nlohmann::json({{"path", "ABC\\22102013-134734-BHZ.ABC"}, {"sameData", true}}));
}

// B3: a batch ended half-way (SIGTERM) and run again leaves the archive and the catalog of
// an uninterrupted one.
TEST_P(BatchForm, InterruptedBatchRunAgainIsExact) {
    Workspace classic(GetParam());
    ConvertClassic(classic);

    Workspace ws(GetParam());
    WriteCampaign(ws);
    {
        BackgroundProcess first(ConverterPath(), {"--tree", "spool", "--jobs", "1", "--quiet"},
                                ws.Dir().Path(), ws.Env(), ws.Path("out1"), ws.Path("err1"));
        // Names only: the batch renames its temporary files while they are listed.
        const auto anyFile = [&] {
            std::error_code error;
            for (fs::recursive_directory_iterator it(ws.ArchiveDir(), error), end;
                 !error && it != end; it.increment(error)) {
                if (it->is_regular_file(error) && it->path().filename() != ".plq2trq.lock")
                    return true;
            }
            return false;
        };
        WaitUntil(anyFile, std::chrono::seconds(60), "the first archive file");
        first.Stop();
    }
    const ProcessResult again = Batch(ws, {"--tree", "spool", "--quiet"});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(ws.ArchiveFiles(), classic.ArchiveFiles());
    EXPECT_EQ(ws.CatalogRows(), classic.CatalogRows());
}

// The cases of batch.cases: the summary, the report and the exit code of small campaigns.
class BatchCases : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(BatchCases, Case) {
    RunCase(GetParam());
}

CASE_TABLE(batch, BatchCases, ReadCaseScript("tests/endtoend/batch.cases"));

INSTANTIATE_TEST_SUITE_P(Catalogs, BatchForm,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

}  // namespace
