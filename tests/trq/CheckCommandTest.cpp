// `trq check` and `--repair` on archives and catalogs the converter wrote: missing, extra,
// wrong and duplicate rows, broken and renamed files, and a run that ended with -9.

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/trq/TrqTestSupport.h"

namespace {

using namespace trqtest;

using Table = std::vector<std::vector<std::string>>;

class CheckCommand : public ConvertedArchive {
  protected:
    // Station ABC: three channels of 25000 samples at 5 sps from 13:47:34, so two files
    // per channel (4000 s and 1000 s). Station XYZ: one channel of 100 samples at 100 sps
    // from 13:47:34.250. Seven files, seven rows.
    void ConvertBoth() {
        plqgen::RecordingSpec abc = Recording(25000);
        abc.samplesPerSecond = 5;
        ASSERT_NO_FATAL_FAILURE(Convert(abc, "ABC", "abc.plq"));
        plqgen::RecordingSpec xyz = Recording(100);
        xyz.channelCount = 1;
        xyz.millisecond = 250;
        ASSERT_NO_FATAL_FAILURE(Convert(xyz, "XYZ", "xyz.plq"));
    }

    ProcessResult Check(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"check", ArchiveDir()};
        const std::vector<std::string> login = CatalogArgs();
        args.insert(args.end(), login.begin(), login.end());
        args.insert(args.end(), extra.begin(), extra.end());
        return Trq(args);
    }

    void Sql(const std::string& statement) { testsupport::ExecuteSql(catalog_, statement); }

    void Update(const std::string& assignments, const std::string& path) {
        Sql("UPDATE FILELIST SET " + assignments + " WHERE CPATH='" + path + "'");
    }

    // Every column but LDDATE, which a repair sets to the time of the repair.
    Table AllRows() { return Rows("CPATH,STA,CH,TBEGIN,TQTY,SPS,GAIN,DATATYPE,CREATER,FOFF"); }

    // Missing, extra and wrong rows: the exact difference lines, a repair that makes the
    // catalog agree again, and the rows it leaves.
    void CheckAndRepairTamperedCatalog() {
        ASSERT_NO_FATAL_FAILURE(ConvertBoth());
        ProcessResult result = Check();
        ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
        EXPECT_EQ(result.out, "trq check: 7 files, 7 rows: the archive and the catalog agree\n");
        const Table original = AllRows();
        ASSERT_EQ(original.size(), 7u);

        Sql("DELETE FROM FILELIST WHERE CPATH='XYZ\\22102013-134734-BHZ.XYZ'");
        Sql("INSERT INTO FILELIST (STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,TBEGIN,TQTY,FOFF) "
            "VALUES ('ABC',5,1,'ABC\\01012000-000000-BHZ.ABC',3,'BHZ','PLQ2TRQ',946684800,"
            "10,512)");
        Update("STA='ABD',CH='BHX'", "ABC\\22102013-134734-BHN.ABC");
        Update("SPS=4", "ABC\\22102013-134734-BHE.ABC");
        Update("TQTY=999.8,TBEGIN=TBEGIN+2", "ABC\\22102013-145414-BHZ.ABC");
        Update("GAIN=2,DATATYPE=4,FOFF=0", "ABC\\22102013-145414-BHN.ABC");
        Update("TBEGIN=TBEGIN+0.5", "ABC\\22102013-145414-BHE.ABC");  // within its second

        const std::string differences =
            "ABC\\01012000-000000-BHZ.ABC: 1 FILELIST row without a file\n"
            "ABC\\22102013-134734-BHE.ABC: SPS is 4.000000, the header's rate is 5.000000\n"
            "ABC\\22102013-134734-BHE.ABC: TQTY is 4000.000000 s, 16000 samples at SPS "
            "4.000000; the file holds 20000 samples (4000.000000 s)\n"
            "ABC\\22102013-134734-BHN.ABC: STA is \"ABD\", the header's station is \"ABC\"\n"
            "ABC\\22102013-134734-BHN.ABC: CH is \"BHX\", the header's channel is \"BHN\"\n"
            "ABC\\22102013-145414-BHN.ABC: GAIN is 2, the header's gain is 1\n"
            "ABC\\22102013-145414-BHN.ABC: DATATYPE is 4, not 3 (FLOAT)\n"
            "ABC\\22102013-145414-BHN.ABC: FOFF is 0, not 512\n"
            "ABC\\22102013-145414-BHZ.ABC: TQTY is 999.800000 s, 4999 samples at SPS "
            "5.000000; the file holds 5000 samples (1000.000000 s)\n"
            "ABC\\22102013-145414-BHZ.ABC: TBEGIN is 2013-10-22 14:54:16.000000, not within "
            "the header's start second 2013-10-22 14:54:14\n"
            "XYZ\\22102013-134734-BHZ.XYZ: the file has no FILELIST row\n";
        result = Check();
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, differences + "trq check: 7 files, 7 rows: 11 differences\n");

        result = Check({"--repair"});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, differences +
                                  "repair ABC\\01012000-000000-BHZ.ABC: 1 row deleted\n"
                                  "repair ABC\\22102013-134734-BHE.ABC: row updated\n"
                                  "repair ABC\\22102013-134734-BHN.ABC: row updated\n"
                                  "repair ABC\\22102013-145414-BHN.ABC: row updated\n"
                                  "repair ABC\\22102013-145414-BHZ.ABC: row updated from the "
                                  "header alone: TBEGIN only to the whole second\n"
                                  "repair XYZ\\22102013-134734-BHZ.XYZ: row inserted from the "
                                  "header alone: TBEGIN only to the whole second\n"
                                  "trq check: 7 files, 7 rows: 11 differences repaired, the "
                                  "archive and the catalog agree\n");
        result = Check();
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, "trq check: 7 files, 7 rows: the archive and the catalog agree\n");

        // The rows are the converter's again, but for the start times: a row kept its TBEGIN
        // within the header's second, the new row of XYZ has the whole second.
        const Table repaired = AllRows();
        ASSERT_EQ(repaired.size(), 7u);
        for (std::size_t i = 0; i < 7; ++i) {
            SCOPED_TRACE(original[i][0]);
            std::vector<std::string> want = original[i];
            if (want[0] == "ABC\\22102013-145414-BHZ.ABC") want[8] = "PLQ2TRQ (from header)";
            if (want[0] == "ABC\\22102013-145414-BHE.ABC") {
                EXPECT_EQ(std::stod(repaired[i][3]), std::stod(want[3]) + 0.5);
                want[3] = repaired[i][3];
            }
            if (want[0] == "XYZ\\22102013-134734-BHZ.XYZ") {
                EXPECT_EQ(std::stod(want[3]), k20131022_134734 + 0.25);
                EXPECT_EQ(std::stod(repaired[i][3]), k20131022_134734);
                want[3] = repaired[i][3];
                want[8] = "PLQ2TRQ (from header)";  // marked: exports warn about it
            }
            EXPECT_EQ(repaired[i], want);
        }
    }
};

TEST_F(CheckCommand, MissingExtraAndWrongRowsAreRepairedInSqlite) {
    CheckAndRepairTamperedCatalog();
}

class CheckCommandOnPostgres : public CheckCommand {
  protected:
    testsupport::TestCatalog MakeCatalog() override {
        return testsupport::MakePostgresCatalog(dir_);
    }
};

TEST_F(CheckCommandOnPostgres, MissingExtraAndWrongRowsAreRepairedInPostgres) {
    CheckAndRepairTamperedCatalog();
}

TEST_F(CheckCommand, JsonSummaryNamesKindsAndColumns) {
    ASSERT_NO_FATAL_FAILURE(ConvertBoth());
    Sql("DELETE FROM FILELIST WHERE CPATH='ABC\\22102013-134734-BHZ.ABC'");
    Update("CH='Q',TQTY=1", "ABC\\22102013-134734-BHN.ABC");
    Update("GAIN=NULL", "ABC\\22102013-145414-BHZ.ABC");
    ProcessResult result = Check({"--json"});
    EXPECT_EQ(result.exitCode, 1);
    nlohmann::json doc = nlohmann::json::parse(result.out);
    EXPECT_EQ(doc["command"], "check");
    EXPECT_EQ(doc["ok"], false);
    EXPECT_EQ(doc["files"], 7);
    EXPECT_EQ(doc["rows"], 6);
    std::vector<std::string> summary;
    for (const auto& d : doc["differences"]) {
        summary.push_back(d["path"].get<std::string>() + " " + d["kind"].get<std::string>() +
                          (d.contains("column") ? " " + d["column"].get<std::string>() : ""));
    }
    EXPECT_EQ(summary, (std::vector<std::string>{
                           "ABC\\22102013-134734-BHN.ABC wrong-column CH",
                           "ABC\\22102013-134734-BHN.ABC wrong-column TQTY",
                           "ABC\\22102013-134734-BHZ.ABC missing-row",
                           "ABC\\22102013-145414-BHZ.ABC wrong-column GAIN",
                       }));
    EXPECT_EQ(doc["differences"][3]["text"], "GAIN is NULL");
    EXPECT_EQ(doc["remaining"], doc["differences"]);
    EXPECT_TRUE(doc["repairs"].empty());

    result = Check({"--json", "--repair"});
    EXPECT_EQ(result.exitCode, 0);
    doc = nlohmann::json::parse(result.out);
    EXPECT_EQ(doc["ok"], true);
    EXPECT_EQ(doc["rowsAfter"], 7);
    EXPECT_TRUE(doc["remaining"].empty());
    EXPECT_EQ(doc["repairs"], nlohmann::json::parse(R"([
                {"path": "ABC\\22102013-134734-BHN.ABC", "action": "updated", "rows": 1, "ok": true},
                {"path": "ABC\\22102013-134734-BHZ.ABC", "action": "inserted", "rows": 1, "ok": true,
                 "fromHeader": true},
                {"path": "ABC\\22102013-145414-BHZ.ABC", "action": "updated", "rows": 1, "ok": true}
              ])"));
    EXPECT_EQ(doc["console"], nlohmann::json::array());
}

class CheckCommandWithoutUniqueIndex : public CheckCommand {
  protected:
    testsupport::TestCatalog MakeCatalog() override {
        return testsupport::MakeSqliteCatalog(dir_, "TRQ", false);
    }
};

// Two rows for one file: both go and one row in the converter's form takes their place.
TEST_F(CheckCommandWithoutUniqueIndex, DuplicateRowsAreReplacedByOne) {
    ASSERT_NO_FATAL_FAILURE(ConvertBoth());
    const Table original = AllRows();
    Sql("INSERT INTO FILELIST (STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,FOFF) "
        "SELECT STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,FOFF FROM FILELIST "
        "WHERE CH='BHE'");
    ProcessResult result = Check();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out,
              "ABC\\22102013-134734-BHE.ABC: 2 FILELIST rows for one file\n"
              "ABC\\22102013-145414-BHE.ABC: 2 FILELIST rows for one file\n"
              "trq check: 7 files, 9 rows: 2 differences\n");
    result = Check({"--repair"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out,
              "ABC\\22102013-134734-BHE.ABC: 2 FILELIST rows for one file\n"
              "ABC\\22102013-145414-BHE.ABC: 2 FILELIST rows for one file\n"
              "repair ABC\\22102013-134734-BHE.ABC: 2 rows deleted\n"
              "repair ABC\\22102013-134734-BHE.ABC: row inserted\n"
              "repair ABC\\22102013-145414-BHE.ABC: 2 rows deleted\n"
              "repair ABC\\22102013-145414-BHE.ABC: row inserted\n"
              "trq check: 7 files, 7 rows: 2 differences repaired, the archive and the catalog "
              "agree\n");
    EXPECT_EQ(AllRows(), original);
}

// A file that is no archive file any more, a renamed file, a copy beside its original and
// a temporary file of an interrupted conversion: the repair mends the rows, never registers
// a file under a name its header does not give, removes the temporary file, and says what
// still differs.
TEST_F(CheckCommand, BrokenRenamedCopiedAndTemporaryFiles) {
    ASSERT_NO_FATAL_FAILURE(ConvertBoth());
    const std::string broken = ArchivePath("ABC/22102013-145414-BHZ.ABC");
    std::filesystem::resize_file(broken, std::filesystem::file_size(broken) - 2);
    std::filesystem::rename(ArchivePath("XYZ/22102013-134734-BHZ.XYZ"), ArchivePath("XYZ/renamed"));
    std::filesystem::copy_file(ArchivePath("ABC/22102013-134734-BHN.ABC"),
                               ArchivePath("ABC/22102013-134734-BHN.ABC.bak"));
    testsupport::WriteFile(ArchivePath("XYZ/.22102013-134734-BHZ.XYZ.tmp"), "");
    const std::string differences =
        "ABC\\22102013-134734-BHN.ABC.bak: the file has no FILELIST row\n"
        "ABC\\22102013-134734-BHN.ABC.bak: the header gives the path "
        "ABC\\22102013-134734-BHN.ABC\n"
        "ABC\\22102013-145414-BHZ.ABC: not a consistent archive file: file is 20510 bytes, "
        "not 512 + 4 x samples (2 bytes left over)\n"
        "XYZ\\.22102013-134734-BHZ.XYZ.tmp: a temporary file left by an interrupted conversion\n"
        "XYZ\\22102013-134734-BHZ.XYZ: 1 FILELIST row without a file\n"
        "XYZ\\renamed: the file has no FILELIST row\n"
        "XYZ\\renamed: the header gives the path XYZ\\22102013-134734-BHZ.XYZ\n";
    ProcessResult result = Check();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, differences + "trq check: 8 files, 7 rows: 7 differences\n");
    result = Check({"--repair"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out,
              differences +
                  "repair XYZ\\.22102013-134734-BHZ.XYZ.tmp: removed\n"
                  "repair ABC\\22102013-134734-BHN.ABC.bak: not registered: the file's name is "
                  "not the one its header gives\n"
                  "repair XYZ\\22102013-134734-BHZ.XYZ: 1 row deleted\n"
                  "repair XYZ\\renamed: not registered: the file's name is not the one its "
                  "header gives\n"
                  "still differs: ABC\\22102013-134734-BHN.ABC.bak: the file has no FILELIST row\n"
                  "still differs: ABC\\22102013-134734-BHN.ABC.bak: the header gives the path "
                  "ABC\\22102013-134734-BHN.ABC\n"
                  "still differs: ABC\\22102013-145414-BHZ.ABC: not a consistent archive file: "
                  "file is 20510 bytes, not 512 + 4 x samples (2 bytes left over)\n"
                  "still differs: XYZ\\renamed: the file has no FILELIST row\n"
                  "still differs: XYZ\\renamed: the header gives the path "
                  "XYZ\\22102013-134734-BHZ.XYZ\n"
                  "trq check: 8 files, 6 rows: 5 differences\n");
    EXPECT_FALSE(std::filesystem::exists(ArchivePath("XYZ/.22102013-134734-BHZ.XYZ.tmp")));
}

// A run whose catalog could not be written ends with -9 (247) and leaves its files without
// rows, their registrations kept in the station's journal; once the table is back, the
// repair makes them from the journal, with the start's fraction that no header holds.
TEST_F(CheckCommand, RunThatEndedWithMinus9IsMadeWhole) {
    Sql("DROP TABLE FILELIST");
    plqgen::RecordingSpec spec = Recording(100);
    spec.millisecond = 500;
    ASSERT_NO_FATAL_FAILURE(Convert(spec, "ABC", "rec.plq", 247));
    std::ifstream schemaFile(std::string(PLQ_SOURCE_DIR) + "/catalog/filelist.sql");
    std::stringstream schema;
    for (std::string line; std::getline(schemaFile, line);) {
        if (line.rfind("--", 0) != 0) schema << line << "\n";
    }
    std::string statement;
    while (std::getline(schema, statement, ';')) {
        if (statement.find_first_not_of(" \n") != std::string::npos) Sql(statement);
    }

    ProcessResult result = Check();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out,
              "ABC\\.plq2trq.journal: 3 registrations a conversion could not make are waiting "
              "here\n"
              "ABC\\22102013-134734-BHE.ABC: the file has no FILELIST row\n"
              "ABC\\22102013-134734-BHN.ABC: the file has no FILELIST row\n"
              "ABC\\22102013-134734-BHZ.ABC: the file has no FILELIST row\n"
              "trq check: 3 files, 0 rows: 4 differences\n");
    result = Check({"--repair"});
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_FALSE(std::filesystem::exists(ArchivePath("ABC/.plq2trq.journal")));
    EXPECT_EQ(Check().exitCode, 0);
    const Table rows = AllRows();
    ASSERT_EQ(rows.size(), 3u);
    const char* channels[] = {"BHE", "BHN", "BHZ"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(rows[i][0], std::string("ABC\\22102013-134734-") + channels[i] + ".ABC");
        EXPECT_EQ(rows[i][1], "ABC");
        EXPECT_EQ(rows[i][2], channels[i]);
        EXPECT_EQ(std::stod(rows[i][3]), k20131022_134734 + 0.5);  // from the journal
        EXPECT_EQ(std::stod(rows[i][4]), 1.0);
        EXPECT_EQ(std::stod(rows[i][5]), 100.0);
        EXPECT_EQ(rows[i][6], "1");
        EXPECT_EQ(rows[i][7], "3");
        EXPECT_EQ(rows[i][8], "PLQ2TRQ");
        EXPECT_EQ(rows[i][9], "512");
    }
}

TEST_F(CheckCommand, UnreachableCatalogAndMissingDataDirectory) {
    ProcessResult result = Trq({"check", ArchiveDir(), "--dsn", "NOSUCHDSN"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err.rfind("trq check: catalog NOSUCHDSN: ", 0), 0u) << result.err;
    EXPECT_EQ(result.out, "");

    std::vector<std::string> args = {"check", dir_ / "nothere"};
    const std::vector<std::string> login = CatalogArgs();
    args.insert(args.end(), login.begin(), login.end());
    result = Trq(args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind("trq check: listing " + (dir_ / "nothere") + " failed: ", 0), 0u)
        << result.err;

    EXPECT_EQ(Trq({"check", ArchiveDir()}).exitCode, 2);  // --dsn is required
}

}  // namespace
