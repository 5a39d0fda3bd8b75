// FILELIST registration on real catalogs (SQLite and PostgreSQL through their ODBC drivers,
// connected as the converter connects): rows inserted, replaced and updated, paths matched
// literally, database errors printed as they stand.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>

#include "catalog/FileList.h"
#include "catalog/FileRegistration.h"
#include "odbc/OdbcCalls.h"
#include "platform/Clock.h"
#include "tests/recordset/CatalogDatabase.h"
#include "tests/support/ConsoleLines.h"

using namespace testsupport;
using ::testing::HasSubstr;

namespace {

using Rows_t = std::vector<std::vector<std::string>>;

FileRegistration File(const std::string& path, double duration,
                      const std::string& channel = "CH1") {
    FileRegistration file;
    file.path = path;
    file.station = "STA1";
    file.channel = channel;
    file.start = 1600000000.25;
    file.duration = duration;
    file.rate = 100;
    file.gain = 1;
    file.dataType = 3;
    return file;
}

// The row every registration of File(path, duration, channel) writes (without LDDATE).
std::vector<std::string> RowOf(const std::string& path, const std::string& duration,
                               const std::string& channel = "CH1") {
    return {"STA1", "100", "1", path, "3", channel, "PLQ2TRQ", "1600000000.25", duration, "512"};
}

class Registration : public CatalogDatabaseTest {
  protected:
    // Runs a registration with the console collected.
    bool Register(bool newFile, const FileRegistration& file) {
        testsupport::ConsoleLines console;
        const bool ok = newFile ? RegisterNewFileRow(database_, "PLQ2TRQ", file)
                                : UpdateExtendedFileRow(database_, "PLQ2TRQ", file);
        printed_ = console.out;
        return ok;
    }
    // LDDATE of the path's rows, as epoch seconds read back through the layer.
    std::time_t LoadDate(const std::string& path) {
        CFileList row(&database_);
        row.SetFilter(CFileList::PathFilter(path));
        row.Open();
        return row.loadDate;
    }

    std::string printed_;
};

TEST_P(Registration, PathWithoutRowGetsANewRowWithAllColumns) {
    for (bool newFile : {true, false}) {
        const std::string path = newFile ? "STA1\\new.STA" : "STA1\\ext.STA";
        const platform::ScopedFixedClock clock(1700000000);
        EXPECT_TRUE(Register(newFile, File(path, 50)));
        EXPECT_EQ(printed_, "");
        EXPECT_EQ(
            Rows("STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,TBEGIN,TQTY,FOFF", "CPATH='" + path + "'"),
            Rows_t{RowOf(path, "50")});
        EXPECT_EQ(LoadDate(path), 1700000000);
    }
}

TEST_P(Registration, NewFileReplacesTheRowOfItsPath) {
    InsertFileRow(database_, "p", "CHX", 3600, 1500000000);
    InsertFileRow(database_, "q", "CHX", 3600, 1500000000);
    EXPECT_TRUE(Register(true, File("p", 50)));
    EXPECT_EQ(printed_, "");
    EXPECT_EQ(
        Rows(),
        (Rows_t{RowOf("p", "50"),
                {"STA1", "100", "1", "q", "3", "CHX", "PLQ2TRQ", "951868799.999", "3600", "512"}}));
    EXPECT_NE(LoadDate("p"), 1500000000);
    EXPECT_EQ(LoadDate("q"), 1500000000);
}

TEST_P(Registration, ExtendedFileUpdatesTheRowOfItsPath) {
    EXPECT_TRUE(Register(true, File("p", 50)));
    EXPECT_TRUE(Register(false, File("p", 100)));
    EXPECT_TRUE(Register(false, File("p", 150)));
    EXPECT_EQ(printed_, "");
    EXPECT_EQ(Rows(), Rows_t{RowOf("p", "150")});
}

// Counts the statements that change rows (observation only; the driver answers as usual).
int changeStatements = 0;
SQLRETURN SQL_API CountingExecDirect(SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length) {
    ++changeStatements;
    return ::SQLExecDirect(statement, text, length);
}

// Within the second of the stored LDDATE every value is equal: nothing is sent. A second
// later, LDDATE alone is updated.
TEST_P(Registration, UnchangedValuesWithinTheSameSecondSendNothing) {
    platform::ScopedFixedClock clock(1700000000);
    EXPECT_TRUE(Register(true, File("p", 50)));
    OdbcCalls calls = Odbc();
    calls.ExecDirect = &CountingExecDirect;
    ScopedOdbcCalls seam(calls);
    changeStatements = 0;
    EXPECT_TRUE(Register(false, File("p", 50)));
    EXPECT_EQ(changeStatements, 0);
    platform::ScopedFixedClock later(1700000001);
    EXPECT_TRUE(Register(false, File("p", 50)));
    EXPECT_EQ(changeStatements, 1);
    EXPECT_EQ(printed_, "");
    EXPECT_EQ(LoadDate("p"), 1700000001);
    EXPECT_EQ(Rows(), Rows_t{RowOf("p", "50")});
}

TEST_P(Registration, ApostrophesInThePathAreMatchedLiterally) {
    const std::string path = "O'Brien\\13072021-134734-CH1.O'B";
    EXPECT_TRUE(Register(true, File(path, 50)));
    EXPECT_EQ(printed_, "");
    EXPECT_TRUE(Register(false, File(path, 100)));
    EXPECT_EQ(printed_, "");
    EXPECT_EQ(Rows(), Rows_t{RowOf(path, "100")});
}

TEST_P(Registration, CraftedPathCannotTouchAnotherFilesRow) {
    EXPECT_TRUE(Register(true, File("STA1\\other.STA", 3600)));
    const std::string crafted = "x' OR '1'='1";
    EXPECT_TRUE(Register(true, File(crafted, 50)));
    EXPECT_TRUE(Register(false, File(crafted, 60)));
    EXPECT_EQ(printed_, "");
    EXPECT_EQ(Rows(), (Rows_t{RowOf("STA1\\other.STA", "3600"), RowOf(crafted, "60")}));
}

TEST_P(Registration, PercentSignsInTheDriversMessageArePrintedLiterally) {
    // A catalog that refuses new rows with a message holding conversions.
    if (IsSqlite()) {
        ExecuteSql(catalog_,
                   "CREATE TRIGGER refuse BEFORE INSERT ON FILELIST BEGIN "
                   "SELECT RAISE(ABORT, 'disk 100%s%d%% full'); END");
    } else {
        ExecuteSql(catalog_,
                   "ALTER TABLE FILELIST ADD CONSTRAINT \"disk 100%s%d%% full\" CHECK (GAIN < 0)");
    }
    EXPECT_FALSE(Register(true, File("p", 50)));
    EXPECT_THAT(printed_, HasSubstr("disk 100%s%d%% full"));
    // Each message line, then the "\n" added to the text, then the line's own end.
    EXPECT_THAT(printed_, ::testing::EndsWith("\n\n\n"));
    EXPECT_TRUE(Rows().empty());
}

TEST_P(Registration, AFailureDoesNotStopTheNextRegistration) {
    ExecuteSql(catalog_, "DROP TABLE FILELIST");
    EXPECT_FALSE(Register(false, File("p", 50)));
    EXPECT_NE(printed_, "");
    EXPECT_EQ(printed_.back(), '\n');
    ExecuteSql(catalog_,
               "CREATE TABLE FILELIST (STA VARCHAR(255), SPS DOUBLE PRECISION, GAIN INTEGER, "
               "CPATH VARCHAR(255), DATATYPE INTEGER, CH VARCHAR(255), CREATER VARCHAR(255), "
               "LDDATE TIMESTAMP, TBEGIN DOUBLE PRECISION, TQTY DOUBLE PRECISION, FOFF INTEGER)");
    EXPECT_TRUE(Register(false, File("p", 50)));
    EXPECT_EQ(printed_, "");
    EXPECT_EQ(Rows(), Rows_t{RowOf("p", "50")});
}

class RegistrationWithoutUniquePaths : public Registration {
  protected:
    void SetUp() override { OpenCatalog(/*uniquePath=*/false, kConverterOpenOptions); }
};

TEST_P(RegistrationWithoutUniquePaths, OnlyTheFirstRowOfAPathIsReplaced) {
    InsertFileRow(database_, "p", "CHA", 3600, 1500000000);
    InsertFileRow(database_, "p", "CHB", 3600, 1500000000);
    EXPECT_TRUE(Register(true, File("p", 50, "CHC")));
    EXPECT_EQ(printed_, "");
    EXPECT_EQ(Rows("CH,TQTY"), (Rows_t{{"CHB", "3600"}, {"CHC", "50"}}));
}

TEST_P(RegistrationWithoutUniquePaths, OnlyTheFirstRowOfAPathIsUpdated) {
    InsertFileRow(database_, "p", "CHA", 3600, 1500000000);
    InsertFileRow(database_, "p", "CHB", 3600, 1500000000);
    EXPECT_TRUE(Register(false, File("p", 50, "CHC")));
    EXPECT_EQ(printed_, "");
    EXPECT_EQ(Rows("CH,TQTY"), (Rows_t{{"CHB", "3600"}, {"CHC", "50"}}));
}

TEST_P(RegistrationWithoutUniquePaths, LayerConditionsPrintAnEmptyText) {
    // Two rows alike in every column the current row is named by: the update hits both,
    // which the layer reports with code 1006 and no text.
    InsertFileRow(database_, "p", "CHA", 3600, 1500000000);
    InsertFileRow(database_, "p", "CHA", 1800, 1500000000);
    EXPECT_FALSE(Register(false, File("p", 50, "CHA")));
    EXPECT_EQ(printed_, "\n\n");
}

INSTANTIATE_TEST_SUITE_P(Catalogs, Registration,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);
INSTANTIATE_TEST_SUITE_P(Catalogs, RegistrationWithoutUniquePaths,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

}  // namespace
