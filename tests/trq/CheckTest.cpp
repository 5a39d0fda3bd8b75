// `trq check` and `--repair` on SQLite and PostgreSQL: what they print and the rows they
// leave, compared whole with the golden transcripts of tests/golden/trq/check-*.

#include <nlohmann/json.hpp>

#include "tests/trq/TrqTest.h"

namespace {

using namespace trqtest;

class Check : public ::testing::TestWithParam<CatalogKind> {};

// A --json run's document, with its exit code beside it.
nlohmann::json JsonRun(const Workspace& ws, const std::vector<std::string>& args) {
    const ProcessResult result = ws.Trq(Args(ws, args));
    return {{"exit", result.exitCode}, {"document", nlohmann::json::parse(result.out)}};
}

// The transcript of `runs`, then the FILELIST rows they leave, cells joined by '|' as in
// tests/golden/rows.txt.
std::string TranscriptAndRows(const Workspace& ws,
                              const std::vector<std::vector<std::string>>& runs) {
    std::string text = Transcript(ws, runs);
    for (const auto& row : ws.CatalogRows()) {
        for (std::size_t i = 0; i < row.size(); ++i) text += (i ? "|" : "") + row[i];
        text += "\n";
    }
    return text;
}

// Every kind of wrong row at once, in a catalog without the unique index so that a path
// can have two rows: each is one line, the repair mends them all, and a row keeps the
// TBEGIN that lies within its header's second (the fraction no header holds). The files'
// checksums lost besides: a repair records none for a file whose row it had to mend, the
// next repair records them.
TEST_P(Check, TamperedCatalogIsRepaired) {
    Workspace ws(GetParam(), false);
    ASSERT_NO_FATAL_FAILURE(ConvertGolden(ws));
    ASSERT_NO_FATAL_FAILURE(ConvertGolden(ws, "XYZ"));
    for (const char* sql : {
             "DELETE FROM FILELIST WHERE STA='XYZ' AND CH='BHE'",
             "UPDATE FILELIST SET STA='ABD', CH='BHX' WHERE STA='ABC' AND CH='BHN'",
             "UPDATE FILELIST SET SPS=50 WHERE STA='ABC' AND CH='BHE'",
             "UPDATE FILELIST SET TQTY=9.99, TBEGIN=TBEGIN+2 WHERE STA='ABC' AND CH='BHZ'",
             "UPDATE FILELIST SET GAIN=2, DATATYPE=4, FOFF=0 WHERE STA='XYZ' AND CH='BHN'",
             "UPDATE FILELIST SET TBEGIN=TBEGIN+0.5 WHERE STA='XYZ' AND CH='BHZ'",
             "INSERT INTO FILELIST SELECT * FROM FILELIST WHERE STA='XYZ' AND CH='BHZ'",
             "INSERT INTO FILELIST (CPATH,STA,CH,TBEGIN,TQTY,SPS,GAIN,DATATYPE,CREATER,FOFF) "
             "VALUES ('ABC\\01012000-000000-BHZ.ABC','ABC','BHZ',946684800,10,100,1,3,"
             "'PLQ2TRQ',512)",
             "DELETE FROM FILECHECKSUM",
         }) {
        ExecuteSql(ws.Catalog(), sql);
    }
    EXPECT_EQ(JsonRun(ws, {"check", "archive", "@LOGIN@", "--json"}),
              nlohmann::json::parse(GoldenText("check-tampered.json")));
    EXPECT_EQ(TranscriptAndRows(ws, {{"check", "archive", "@LOGIN@", "--repair"},
                                     {"check", "archive", "@LOGIN@"},
                                     {"check", "archive", "@LOGIN@", "--repair"}}),
              GoldenText("check-tampered.txt"));
}

// A run that lost its table ends with -9 and keeps its registrations in the station's
// journal; once the table is back, the repair makes them with their exact TBEGIN, and the
// files' checksums with them (the repair records none of its own), which verify.
TEST_P(Check, JournalOfARunThatEndedWithMinus9IsApplied) {
    Workspace ws(GetParam());
    RefuseRows(ws.Catalog());
    ASSERT_NO_FATAL_FAILURE(ConvertGolden(ws, "ABC", 247));
    RefuseRows(ws.Catalog(), false);
    EXPECT_EQ(TranscriptAndRows(ws, {{"check", "archive", "@LOGIN@"},
                                     {"check", "archive", "@LOGIN@", "--repair"},
                                     {"check", "archive", "@LOGIN@", "--verify"}}),
              GoldenText("check-journal.txt"));
    EXPECT_FALSE(std::filesystem::exists(ws.Path("archive/ABC/.plq2trq.journal")));
}

// Files the converter did not leave as they are: a broken file, a renamed file and a copy
// are never registered (a row would describe their samples twice), a temporary file goes.
// An unreachable catalog changes nothing, and neither does a data directory that cannot be
// listed: its repair must not take every row for one without a file.
TEST_P(Check, BrokenRenamedCopiedAndTemporaryFiles) {
    Workspace ws(GetParam());
    ASSERT_NO_FATAL_FAILURE(ConvertGolden(ws));
    const std::string dir = ws.Path("archive/ABC/");
    std::filesystem::resize_file(dir + "22102013-134734-BHE.ABC", 4510);
    std::filesystem::rename(dir + "22102013-134734-BHZ.ABC", dir + "renamed");
    std::filesystem::copy_file(dir + "22102013-134734-BHN.ABC",
                               dir + "22102013-134734-BHN.ABC.bak");
    WriteFile(dir + ".22102013-134734-BHE.ABC.tmp", "");
    EXPECT_EQ(TranscriptAndRows(ws, {{"check", "archive", "--dsn", "NOSUCHDSN"},
                                     {"check", "nothere", "@LOGIN@", "--repair"},
                                     {"check", "archive", "@LOGIN@", "--repair"}}),
              GoldenText("check-renamed.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir + ".22102013-134734-BHE.ABC.tmp"));
    EXPECT_EQ(JsonRun(ws, {"check", "archive", "@LOGIN@", "--json", "--repair"}),
              nlohmann::json::parse(GoldenText("check-renamed.json")));
}

// A TBEGIN exactly one second after the header's start second lies in the next second: the
// header's second is [13:47:34, 13:47:35).
TEST(CheckStart, OneSecondAfterTheHeadersSecondIsReported) {
    Workspace ws;
    ASSERT_NO_FATAL_FAILURE(ConvertGolden(ws));
    ExecuteSql(ws.Catalog(), "UPDATE FILELIST SET TBEGIN=TBEGIN+0.75 WHERE CH='BHZ'");
    ExecuteSql(ws.Catalog(), "UPDATE FILELIST SET TBEGIN=TBEGIN+0.749 WHERE CH='BHN'");
    EXPECT_EQ(Transcript(ws, {{"check", "archive", "@LOGIN@"}}),
              "$ trq check archive @LOGIN@\nABC\\22102013-134734-BHZ.ABC: TBEGIN is 2013-10-22 "
              "13:47:35.000000, not within the header's start second 2013-10-22 13:47:34\ntrq "
              "check: 3 files, 3 rows: 1 difference\nexit 1\n");
}

INSTANTIATE_TEST_SUITE_P(Catalogs, Check,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

}  // namespace
