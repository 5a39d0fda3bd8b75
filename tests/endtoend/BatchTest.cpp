// The converter's batch form against the classic form: a messy campaign converted in one
// command leaves the archive and the catalog exactly as one classic run per recording (in
// time order) leaves them and tells the same of each recording, bad recordings are reported
// and skipped, a dry run writes nothing, and a batch interrupted and run again leaves the
// same archive.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

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

// A recording at `sps` samples per second for `seconds` from 2013-10-22 at `time` seconds
// after midnight (a fraction gives the milliseconds).
plqgen::RecordingSpec At(double time, int sps, int seconds, int16_t format, uint32_t seed) {
    plqgen::RecordingSpec spec;
    const int whole = static_cast<int>(time);
    spec.hour = static_cast<int16_t>(whole / 3600);
    spec.minute = static_cast<int16_t>(whole / 60 % 60);
    spec.second = static_cast<int16_t>(whole % 60);
    spec.millisecond = static_cast<int16_t>(std::lround((time - whole) * 1000));
    spec.samplesPerSecond = static_cast<int16_t>(sps);
    spec.samplesPerChannel = sps * seconds;
    spec.sampleFormat = format;
    spec.seed = seed;
    spec.signal = plqgen::Signal::Noise;
    return spec;
}

// The mess of a field campaign, small: ZEL's first recording takes the place of an hour
// archived before (other data), its second delivery sits in a folder below ZEL's, a name with
// a blank, a 90.5 s gap before its last recording (in upper case); KRV at 50 sps with a
// 10-minute overlap, a truncated last recording, an empty file and notes; a station "KRV "
// (a trailing blank) and Brk#2 (no miniSEED code); a README in the tree's root. Three sample
// formats, 10 to 200 sps.
void WriteMessyCampaign(const Workspace& ws) {
    ws.WriteIni(ws.IniText("archive"));
    for (const char* dir : {"campaign/ZEL/late", "campaign/KRV", "campaign/KRV ", "campaign/Brk#2"})
        fs::create_directories(ws.Path(dir));
    ws.WriteRecording("archived.plq", At(0, 10, 3600, 2, 9));
    ASSERT_EQ(ws.Convert("archived.plq", "ZEL").exitCode, 0);
    ws.WriteRecording("campaign/ZEL/a.plq", At(0, 10, 1800, 2, 1));
    fs::copy_file(ws.Path("campaign/ZEL/a.plq"), ws.Path("campaign/ZEL/late/copy of a.plq"));
    ws.WriteRecording("campaign/ZEL/b c.plq", At(1800, 10, 1800, 0, 2));
    ws.WriteRecording("campaign/ZEL/late/D.PLQ", At(3690.5, 20, 600, 1, 3));
    ws.WriteRecording("campaign/KRV/k1.plq", At(0, 50, 1200, 2, 4));
    ws.WriteRecording("campaign/KRV/k2.plq", At(600, 50, 1200, 2, 5));
    plqgen::RecordingSpec cut = At(1800, 50, 60, 2, 6);
    cut.sizeAdjustment = -100;
    ws.WriteRecording("campaign/KRV/k3.plq", cut);
    WriteFile(ws.Path("campaign/KRV/empty.plq"), "");
    WriteFile(ws.Path("campaign/KRV/notes.txt"), std::string(300, 'n'));
    ws.WriteRecording("campaign/KRV /k.plq", At(0, 200, 60, 2, 7));
    ws.WriteRecording("campaign/Brk#2/b.plq", At(86400 - 60, 10, 60, 0, 8));
    WriteFile(ws.Path("campaign/README.txt"), "campaign notes");
}

// Each recording's notices from lines "plq2trq: PATH: TEXT" of a batch's standard error;
// the other lines under "".
std::map<std::string, std::vector<std::string>> NoticesByRecording(
    const std::string& err, const std::vector<std::string>& paths) {
    std::map<std::string, std::vector<std::string>> notices;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) {
        line = line.substr(line.find(": ") + 2);
        std::string owner;
        for (const std::string& path : paths)
            if (line.starts_with(path + ": ")) owner = path;
        notices[owner].push_back(owner.empty() ? line : line.substr(owner.size() + 2));
    }
    return notices;
}

std::string Normalized(std::string text, const Workspace& ws) {
    for (std::size_t at; (at = text.find(ws.ArchiveDir())) != std::string::npos;)
        text.replace(at, ws.ArchiveDir().size(), "@ARCHIVE@");
    return text;
}

// B1: the messy campaign through the batch form (two workers) and through a loop of classic
// runs in the batch's order: the same archive and catalog, the same notices for each
// recording, and the summary and report of tests/golden/batch/campaign.txt (written by hand
// from the campaign above).
TEST_P(BatchForm, MessyCampaignAsTheClassicLoopTellsIt) {
    Workspace batch(GetParam()), classic(GetParam());
    ASSERT_NO_FATAL_FAILURE(WriteMessyCampaign(batch));
    ASSERT_NO_FATAL_FAILURE(WriteMessyCampaign(classic));
    const ProcessResult run =
        Batch(batch, {"--tree", "campaign", "--jobs", "2", "--report", "report.json"});
    const nlohmann::json report = ReadJson(batch.Path("report.json"));
    std::vector<std::string> paths;
    std::map<std::string, std::vector<std::string>> told;
    std::string golden = "$ plq2trq --tree campaign --jobs 2 --report report.json\n" + run.out +
                         "exit " + std::to_string(run.exitCode) + "\nreport:\n";
    for (const auto& r : report["recordings"]) {
        paths.push_back(r["path"]);
        golden += Normalized(r.dump(), batch) + "\n";
        const fs::path path(paths.back());
        const std::string station = *std::next(path.begin());
        const ProcessResult one = classic.Convert(paths.back(), station);
        EXPECT_EQ(one.exitCode, r["exitCode"].get<int>() & 0xFF) << paths.back();
        auto lines = NoticesByRecording(one.err, {});
        for (const std::string& line : lines[""])
            told[paths.back()].push_back(Normalized(line, classic));
    }
    for (const auto& s : report["stations"]) golden += s.dump() + "\n";
    golden += "notices:\n";
    std::map<std::string, std::vector<std::string>> shown = NoticesByRecording(run.err, paths);
    for (auto& [path, lines] : shown) {
        for (std::string& line : lines) {
            line = Normalized(line, batch);
            golden += (path.empty() ? "(the tree)" : path) + ": " + line + "\n";
        }
    }
    told[""] = shown[""];  // the tree's own notices, which the classic loop has no part in
    EXPECT_EQ(shown, told);
    EXPECT_EQ(batch.ArchiveFiles(), classic.ArchiveFiles());
    EXPECT_EQ(batch.CatalogRows(), classic.CatalogRows());
    EXPECT_EQ(golden, ReadFile(PLQ_SOURCE_DIR "/tests/golden/batch/campaign.txt"));
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
