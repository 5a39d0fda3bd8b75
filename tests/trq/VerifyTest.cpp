// `trq check --verify`: files damaged as tests/trq/verify.cases says are found with their
// byte ranges, samples and times; budgets and ages take the files verified longest ago first
// and the next run goes on from there; a damaged file names the recordings that wrote it;
// and a catalog set up before checksums were kept works as before, with one notice, until
// the set-up script is run again.

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>

#include "tests/support/CaseScript.h"
#include "tests/trq/TrqTest.h"
#include "trq/commands/CheckCommand.h"

namespace {

using namespace trqtest;

// Applies one damage step of verify.cases to the workspace's files.
void Damage(const Workspace& ws, const std::vector<std::string>& f) {
    if (f[0] == "unrecorded") {
        ExecuteSql(ws.Catalog(), "DELETE FROM RECORDINGFILES");
        return;
    }
    const std::string file = ws.Path("archive/ABC/22102013-134734-" + f[1] + ".ABC");
    if (f[0] == "flip") {
        std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
        bytes.seekg(std::stoll(f[2]));
        const char byte = static_cast<char>(bytes.get() ^ 1);
        bytes.seekp(std::stoll(f[2]));
        bytes.put(byte);
    } else if (f[0] == "cut") {
        std::filesystem::resize_file(file, std::filesystem::file_size(file) - std::stoull(f[2]));
    } else if (f[0] == "append") {
        std::ofstream(file, std::ios::app | std::ios::binary)
            << std::string(std::stoul(f[2]), '\0');
    } else if (f[0] == "copy") {
        std::filesystem::copy_file(file, ws.Path("archive/ABC/22102013-134734-" + f[2] + ".ABC"),
                                   std::filesystem::copy_options::overwrite_existing);
    } else if (f[0] == "remove") {
        std::filesystem::remove(file);
    }
}

class VerifyDamage : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(VerifyDamage, IsFoundWithItsRangesSamplesAndTimes) {
    const ScriptCase& c = GetParam();
    Workspace ws;
    plqgen::RecordingSpec spec;
    spec.samplesPerSecond = 200;
    spec.samplesPerChannel = 720000;
    spec.signal = plqgen::Signal::Noise;
    for (const std::string& step : c.steps) {
        const std::vector<std::string> f = Fields(step);
        if (f[0] == "recording") {
            spec.samplesPerSecond = static_cast<int16_t>(std::stoi(f[1]));
            spec.samplesPerChannel = std::stoi(f[2]);
        }
    }
    ws.WriteRecording("rec.plq", spec);
    ASSERT_EQ(ws.Convert("rec.plq").exitCode, 0);
    for (const std::string& step : c.steps) Damage(ws, Fields(step));
    const ProcessResult run = ws.Trq(Args(ws, {"check", "archive", "@LOGIN@", "--verify"}));
    std::vector<std::string> lines = Fields(run.out + run.err, '\n');
    lines.back() = "exit " + std::to_string(run.exitCode);
    // The recording that wrote a damaged file, from the record of recordings: named by its
    // place in the workspace; when it was converted is now.
    static const std::regex converted(R"(\(converted \d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\)$)");
    for (std::string& line : lines) {
        if (const auto at = line.find(ws.Dir().Path()); at != std::string::npos)
            line.replace(at, ws.Dir().Path().size(), "WORKSPACE");
        line = std::regex_replace(line, converted, "(converted NOW)");
    }
    EXPECT_EQ(lines, c.expected);
}

CASE_TABLE(verify, VerifyDamage, ReadCaseScript("tests/trq/verify.cases"));

class VerifyRuns : public ::testing::TestWithParam<CatalogKind> {};

// Six files of the golden recording verified last at six times long ago, one of them
// damaged: a budget of two files takes the two oldest and notes when; the next run the two
// after them; an age of 30 days then takes what is left, and the damaged file, which is
// never noted as verified, each time again until it is converted anew.
TEST_P(VerifyRuns, BudgetTakesTheOldestFirstAndTheNextRunGoesOn) {
    Workspace ws(GetParam());
    ASSERT_NO_FATAL_FAILURE(ConvertGolden(ws));
    ASSERT_NO_FATAL_FAILURE(ConvertGolden(ws, "XYZ"));
    const char* byAge[] = {"XYZ\\22102013-134734-BHE.XYZ", "ABC\\22102013-134734-BHN.ABC",
                           "XYZ\\22102013-134734-BHZ.XYZ", "ABC\\22102013-134734-BHE.ABC",
                           "XYZ\\22102013-134734-BHN.XYZ", "ABC\\22102013-134734-BHZ.ABC"};
    for (int i = 0; i < 6; ++i) {
        ExecuteSql(ws.Catalog(),
                   "UPDATE FILECHECKSUM SET VERIFIED=" + std::to_string(1000 * (i + 1)) +
                       " WHERE CPATH='" + byAge[i] + "'");
    }
    std::ofstream(ws.Path("archive/XYZ/22102013-134734-BHZ.XYZ"), std::ios::app) << "x";
    const auto run = [&](const std::string& option, const std::string& value) {
        const ProcessResult result =
            ws.Trq(Args(ws, {"check", "archive", "@LOGIN@", "--verify", "--json", option, value}));
        return nlohmann::json{{"exit", result.exitCode},
                              {"verified", nlohmann::json::parse(result.out)["verified"]}};
    };
    using nlohmann::json;
    EXPECT_EQ(run("--budget", "9000"), (json{{"exit", 0}, {"verified", {byAge[0], byAge[1]}}}));
    EXPECT_EQ(run("--budget", "9000"), (json{{"exit", 9}, {"verified", {byAge[2], byAge[3]}}}));
    EXPECT_EQ(run("--older-than", "30d"),
              (json{{"exit", 9}, {"verified", {byAge[2], byAge[4], byAge[5]}}}));
    EXPECT_EQ(run("--older-than", "30d"), (json{{"exit", 9}, {"verified", {byAge[2]}}}));
}

INSTANTIATE_TEST_SUITE_P(Catalogs, VerifyRuns,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

// What the catalog's record of the recordings converted says of a file is what a damaged
// file's report names to convert again.
class KnownRecordings : public RecordingLookup {
  public:
    std::vector<RecordingSource> RecordingsThatWrote(const std::string& path) override {
        asked.push_back(path);
        RecordingRecord made, extended;
        made.path = "/spool/ABC/rec0042.plq";
        made.station = extended.station = "ABC";
        made.converted = 1796630400;  // 2026-12-07 08:00:00 UTC
        extended.path = "/spool/ABC/rec0043.plq";
        extended.converted = 1796630401;
        return {{made, FileAction::kCreated}, {extended, FileAction::kExtended}};
    }
    std::vector<std::string> asked;
};

TEST(VerifyNames, TheRecordingsThatWroteADamagedFile) {
    Workspace ws;
    ASSERT_NO_FATAL_FAILURE(ConvertGolden(ws));
    std::ofstream(ws.Path(Converted("BHN")), std::ios::app) << "x";
    KnownRecordings recordings;
    trq::CheckOptions options;
    options.catalog.login.dsn = ws.Catalog().dsn;
    options.catalog.login.wholeConnectString = ws.Catalog().connect;  // in this process
    options.catalog.dataDir = ws.ArchiveDir();
    options.verify = true;
    options.recordings = &recordings;
    std::ostringstream out, err;
    EXPECT_EQ(trq::RunCheck(options, out, err), 9);
    EXPECT_EQ(recordings.asked, std::vector<std::string>{"ABC\\22102013-134734-BHN.ABC"});
    EXPECT_EQ(
        out.str(),
        "ABC\\22102013-134734-BHN.ABC: damaged: the length changed without a conversion: "
        "4512 bytes recorded, 4513 now\n  bytes 4512-4512 added: samples 1000 to 1000, "
        "2013-10-22T13:47:44.250000Z to 2013-10-22T13:47:44.250000Z\n"
        "  convert again: plq2trq /spool/ABC/rec0042.plq ABC (converted 2026-12-07T08:00:00Z)\n"
        "  convert again: plq2trq /spool/ABC/rec0043.plq ABC (converted 2026-12-07T08:00:01Z)\n"
        "trq check --verify: 3 files (13536 bytes) verified: 1 damaged\n");
}

// A catalog made before the checksum table: the converter and trq check work as before,
// each with one notice; --verify has nothing to verify; the set-up script run again adds
// the table, and the next conversion's files have checksums.
TEST(OlderCatalog, WorksAsBeforeWithOneNoticeUntilTheSetUpAddsTheTable) {
    Workspace ws;
    ExecuteSql(ws.Catalog(), "DROP TABLE FILECHECKSUM");
    std::filesystem::copy_file(kGolden + "/rec.plq", ws.Path("rec.plq"));
    const ProcessResult converted = ws.Convert("rec.plq");
    EXPECT_EQ(converted.exitCode, 0);
    EXPECT_EQ(converted.err,
              "plq2trq: the catalog has no table FILECHECKSUM (it was set up before checksums "
              "were kept): archive files are registered without checksums; running "
              "scripts/catalog-setup.sh again adds it\n");
    EXPECT_EQ(
        Transcript(ws,
                   {{"check", "archive", "@LOGIN@"}, {"check", "archive", "@LOGIN@", "--verify"}}),
        "$ trq check archive @LOGIN@\ntrq check: 3 files, 3 rows: the archive and the catalog "
        "agree\ntrq check: the catalog TRQ has no table FILECHECKSUM (it was set up before "
        "checksums were kept): the files' checksums are not checked; running "
        "scripts/catalog-setup.sh again adds it\nexit 0\n$ trq check archive @LOGIN@ --verify\n"
        "trq check: the catalog TRQ has no table FILECHECKSUM (it was set up before checksums "
        "were kept): nothing to verify; running scripts/catalog-setup.sh again adds it\nexit 3\n");
    const ProcessResult setup = RunProcess(
        PLQ_SOURCE_DIR "/scripts/catalog-setup.sh",
        {"sqlite", "--dsn", "TRQ", "--db", ws.Catalog().database, "--ini-dir", ws.Path("odbc")},
        ws.Dir().Path(), ws.Env());
    ASSERT_EQ(setup.exitCode, 0) << setup.err;
    ASSERT_EQ(ws.Convert("rec.plq").exitCode, 0);
    EXPECT_EQ(Transcript(ws, {{"check", "archive", "@LOGIN@", "--verify"}}),
              "$ trq check archive @LOGIN@ --verify\ntrq check --verify: 3 files (13536 bytes) "
              "verified: no damage\nexit 0\n");
}

}  // namespace
