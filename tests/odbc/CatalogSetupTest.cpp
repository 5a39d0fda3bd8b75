// The catalogs made by scripts/catalog-setup.sh: table FILELIST with its eleven columns and
// the unique index on CPATH in SQLite and PostgreSQL, the SQLite data source's journal and
// sync settings, repeated runs, and several catalogs used one after another in one process.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/Catalog.h"
#include "tests/support/RunProcess.h"

using testsupport::ExecuteSql;
using testsupport::MakePostgresCatalog;
using testsupport::MakeSqliteCatalog;
using testsupport::QueryRows;
using testsupport::TempDir;
using testsupport::TestCatalog;

namespace {

using Rows = std::vector<std::vector<std::string>>;

const char* const kInsertRow =
    "INSERT INTO FILELIST (STA, SPS, GAIN, CPATH, DATATYPE, CH, CREATER, LDDATE, TBEGIN, TQTY, "
    "FOFF) VALUES ('KIV', 100, 1, 'KIV\\KIV_2024.trq', 3, 'Z', 'PLQ2TRQ', "
    "'2024-03-01 13:47:34', 1709300854.5, 50, 512)";

const char* const kSelectRow =
    "SELECT STA, GAIN, CPATH, DATATYPE, CH, CREATER, LDDATE, FOFF FROM FILELIST";

TEST(CatalogSetup, SqliteSchemaHasTheElevenColumnsInOrder) {
    TempDir dir;
    TestCatalog catalog = MakeSqliteCatalog(dir);
    Rows columns = QueryRows(catalog, "SELECT name, type FROM pragma_table_info('FILELIST')");
    EXPECT_EQ(columns, (Rows{{"STA", "VARCHAR(255)"},
                             {"SPS", "DOUBLE PRECISION"},
                             {"GAIN", "INTEGER"},
                             {"CPATH", "VARCHAR(255)"},
                             {"DATATYPE", "INTEGER"},
                             {"CH", "VARCHAR(255)"},
                             {"CREATER", "VARCHAR(255)"},
                             {"LDDATE", "TIMESTAMP"},
                             {"TBEGIN", "DOUBLE PRECISION"},
                             {"TQTY", "DOUBLE PRECISION"},
                             {"FOFF", "INTEGER"}}));
}

TEST(CatalogSetup, PostgresSchemaHasTheElevenColumnsInOrder) {
    TempDir dir;
    TestCatalog catalog = MakePostgresCatalog(dir);
    Rows columns = QueryRows(catalog,
                             "SELECT column_name, data_type, character_maximum_length FROM "
                             "information_schema.columns WHERE table_name = 'filelist' "
                             "ORDER BY ordinal_position");
    EXPECT_EQ(columns, (Rows{{"sta", "character varying", "255"},
                             {"sps", "double precision", "<NULL>"},
                             {"gain", "integer", "<NULL>"},
                             {"cpath", "character varying", "255"},
                             {"datatype", "integer", "<NULL>"},
                             {"ch", "character varying", "255"},
                             {"creater", "character varying", "255"},
                             {"lddate", "timestamp without time zone", "<NULL>"},
                             {"tbegin", "double precision", "<NULL>"},
                             {"tqty", "double precision", "<NULL>"},
                             {"foff", "integer", "<NULL>"}}));
}

// The unique index rejects a second row for the same path; without it both rows stay.
TEST(CatalogSetup, UniqueIndexOnCpathInBothDatabases) {
    for (bool postgres : {false, true}) {
        for (bool unique : {true, false}) {
            SCOPED_TRACE(std::string(postgres ? "PostgreSQL" : "SQLite") +
                         (unique ? " unique" : " no index"));
            TempDir dir;
            TestCatalog catalog = postgres ? MakePostgresCatalog(dir, "TRQ", unique)
                                           : MakeSqliteCatalog(dir, "TRQ", unique);
            ExecuteSql(catalog, kInsertRow);
            if (unique) {
                EXPECT_THROW(ExecuteSql(catalog, kInsertRow), std::runtime_error);
            } else {
                EXPECT_NO_THROW(ExecuteSql(catalog, kInsertRow));
            }
            const std::vector<std::string> row = {"KIV", "1",       "KIV\\KIV_2024.trq",   "3",
                                                  "Z",   "PLQ2TRQ", "2024-03-01 13:47:34", "512"};
            EXPECT_EQ(QueryRows(catalog, kSelectRow), unique ? (Rows{row}) : (Rows{row, row}));
        }
    }
}

// WAL journal and NORMAL sync, as the data source asks the driver for them.
TEST(CatalogSetup, SqliteDataSourceUsesWalAndNormalSync) {
    TempDir dir;
    TestCatalog catalog = MakeSqliteCatalog(dir);
    EXPECT_EQ(QueryRows(catalog, "PRAGMA journal_mode"), (Rows{{"wal"}}));
    EXPECT_EQ(QueryRows(catalog, "PRAGMA synchronous"), (Rows{{"1"}}));  // 1 = NORMAL
}

// Running the script again keeps the table and its rows; only the data source entry is
// written anew.
TEST(CatalogSetup, SecondRunKeepsTheRows) {
    TempDir dir;
    TestCatalog sqlite = MakeSqliteCatalog(dir, "TRQ");
    TestCatalog postgres = MakePostgresCatalog(dir, "PGTRQ");
    for (const TestCatalog* catalog : {&sqlite, &postgres}) ExecuteSql(*catalog, kInsertRow);

    const std::string odbcIni = dir / "odbc/odbc.ini";
    std::vector<std::string> sqliteArgs = {"sqlite",        "--dsn",     "TRQ",       "--db",
                                           sqlite.database, "--ini-dir", dir / "odbc"};
    auto rerun =
        testsupport::RunProcess(PLQ_SOURCE_DIR "/scripts/catalog-setup.sh", sqliteArgs, dir.Path());
    ASSERT_EQ(rerun.exitCode, 0) << rerun.err;
    for (const TestCatalog* catalog : {&sqlite, &postgres}) {
        EXPECT_EQ(QueryRows(*catalog, "SELECT CPATH FROM FILELIST"), (Rows{{"KIV\\KIV_2024.trq"}}));
    }
    // One section per data source, also after the second run.
    const std::string ini = testsupport::ReadFile(odbcIni);
    EXPECT_EQ(ini.find("[TRQ]"), ini.rfind("[TRQ]"));
    EXPECT_NE(ini.find("[PGTRQ]"), std::string::npos);
}

// Several catalogs, of both kinds and with the same requested name, one after another in
// one process: each connect reaches its own database.
TEST(CatalogSetup, CatalogsUsedOneAfterAnotherInOneProcess) {
    TempDir dirA, dirB, dirC, dirD;
    TestCatalog a = MakeSqliteCatalog(dirA);
    TestCatalog b = MakePostgresCatalog(dirB);
    TestCatalog c = MakeSqliteCatalog(dirC);
    TestCatalog d = MakePostgresCatalog(dirD);
    const std::pair<const TestCatalog*, const char*> catalogs[] = {
        {&a, "A"}, {&b, "B"}, {&c, "C"}, {&d, "D"}};
    for (const auto& [catalog, name] : catalogs) {
        ExecuteSql(*catalog, std::string("INSERT INTO FILELIST (CPATH) VALUES ('") + name + "')");
    }
    for (int round = 0; round < 2; ++round) {
        for (const auto& [catalog, name] : catalogs) {
            EXPECT_EQ(QueryRows(*catalog, "SELECT CPATH FROM FILELIST"), (Rows{{name}})) << name;
        }
    }
}

}  // namespace
