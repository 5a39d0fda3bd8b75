// A catalog that goes away in the middle of a run. A typical hour (216 registrations)
// starting at 13:47:34.25 is converted, so that rows must keep a fraction no header holds.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/Deadline.h"
#include "tests/support/Workspace.h"

using namespace testsupport;
using ::testing::HasSubstr;

namespace {

constexpr uintmax_t kHourFile = 512 + 360000 * 4;

Rows ExactRows() {
    Rows rows;
    for (const char* channel : {"BHE", "BHN", "BHZ"}) {
        rows.push_back({std::string("ABC\\22102013-134734-") + channel + ".ABC", "ABC", channel,
                        "1382449654.25", "3600", "100", "1", "3", "PLQ2TRQ", "512"});
    }
    return rows;
}

class CatalogLoss : public ::testing::TestWithParam<CatalogKind> {
  protected:
    CatalogLoss() : ws_(GetParam()) {
        plqgen::RecordingSpec hour;
        hour.sampleFormat = 2;
        hour.millisecond = 250;
        ws_.WriteRecording("rec.plq", hour);
    }
    void ExpectWholeFiles() const {
        for (const char* channel : {"BHE", "BHN", "BHZ"}) {
            const std::string file = std::string("ABC/22102013-134734-") + channel + ".ABC";
            EXPECT_EQ(ws_.ArchiveFiles().at(file).size, kHourFile) << file;
        }
    }
    Workspace ws_;
};

// The server ends the converter's session at its 30th update of a row, as a restart of the
// server would: the converter connects again and goes on; every row is there, exact. Every
// update, on either session, runs under the converter's 15 s statement time-out.
TEST_P(CatalogLoss, SessionEndedByTheServerIsConnectedAgain) {
    if (GetParam() != CatalogKind::kPostgres) GTEST_SKIP() << "SQLite has no session to lose";
    ExecuteSql(ws_.Catalog(), "CREATE SEQUENCE seen");
    ExecuteSql(ws_.Catalog(),
               "CREATE FUNCTION ended() RETURNS trigger AS $$ BEGIN IF "
               "current_setting('statement_timeout') <> '15s' THEN RAISE 'no time-out'; END "
               "IF; IF nextval('seen') = 30 THEN PERFORM pg_terminate_backend(pg_backend_pid()); "
               "END IF; RETURN NEW; END $$ LANGUAGE plpgsql");
    ExecuteSql(ws_.Catalog(),
               "CREATE TRIGGER ended BEFORE UPDATE ON FILELIST FOR EACH ROW "
               "EXECUTE FUNCTION ended()");
    const ProcessResult result = ws_.Convert("rec.plq");
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("terminating connection due to administrator command"));
    EXPECT_THAT(result.err, HasSubstr("the connection to the catalog was lost; connecting again"));
    ExpectWholeFiles();
    EXPECT_EQ(ws_.CatalogRows(), ExactRows());
}

// The catalog goes for good half-way (PostgreSQL: the database refuses connections from the
// 30th update on; SQLite: another program holds its write lock longer than the data source
// waits): the archive is written whole, the registrations wait in the station's journal,
// the run ends with -9; `trq check --repair` then makes every row, exact, and removes the
// journal.
TEST_P(CatalogLoss, CatalogGoneForGoodLeavesAJournalThatRepairMakesExact) {
    const TestCatalog& catalog = ws_.Catalog();
    ProcessResult result;
    if (GetParam() == CatalogKind::kPostgres) {
        // Connecting again is tried for 3 s (not the default 30) before the catalog is given up.
        std::string ini = ws_.IniText(ws_.ArchiveDir());
        ws_.WriteIni(ini.replace(ini.find("[DATA]"), 6, "TIMEOUT=3\n[DATA]"));
        ExecuteSql(catalog, "CREATE SEQUENCE seen");
        ExecuteSql(catalog,
                   "CREATE FUNCTION held() RETURNS trigger AS $$ BEGIN IF "
                   "nextval('seen') = 30 THEN PERFORM pg_sleep(60); END IF; RETURN "
                   "NEW; END $$ LANGUAGE plpgsql");
        ExecuteSql(catalog,
                   "CREATE TRIGGER held BEFORE UPDATE ON FILELIST FOR EACH ROW "
                   "EXECUTE FUNCTION held()");
        std::atomic<bool> converted{false};
        std::thread stopper([&] {
            const bool ended = WaitUntil(
                [&] {
                    return converted ||
                           QueryRows(catalog, "SELECT last_value FROM seen")[0][0] == "30";
                },
                std::chrono::seconds(20), "the converter's 30th catalog update");
            EXPECT_FALSE(converted && ended)
                << "the converter ended before its 30th catalog update";
            ExecuteOnCluster("ALTER DATABASE " + catalog.database + " ALLOW_CONNECTIONS false");
            ExecuteOnCluster(
                "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                "datname = '" +
                catalog.database + "'");
        });
        result = ws_.Convert("rec.plq");
        converted = true;
        stopper.join();
        ExecuteOnCluster("ALTER DATABASE " + catalog.database + " ALLOW_CONNECTIONS true");
    } else {
        // Another connection holds the write lock (an insert not committed) for the whole
        // run; the data source waits 20 ms for it instead of 100 s.
        const std::string odbcIni = ws_.Path("odbc/odbc.ini");
        std::string text = ReadFile(odbcIni);
        text.replace(text.find("Timeout=30000"), 13, "Timeout=20");
        WriteFile(odbcIni, text);
        SQLHENV env;
        SQLHDBC dbc;
        SQLHSTMT statement;
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        std::string connect = catalog.connect;
        SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(connect.data()), SQL_NTS, nullptr,
                         0, nullptr, SQL_DRIVER_NOPROMPT);
        SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &statement);
        std::string insert = "INSERT INTO FILELIST (CPATH) VALUES ('held')";
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(insert.data()), SQL_NTS)));
        result = ws_.Convert("rec.plq");
        SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
        SQLFreeHandle(SQL_HANDLE_STMT, statement);
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    EXPECT_EQ(result.exitCode, 247) << result.out << result.err;
    // The driver's messages once, not once per block: the catalog is given up for the run.
    const std::string message = GetParam() == CatalogKind::kSqlite
                                    ? "database is locked"
                                    : "connecting again to the catalog failed";
    const std::string& where = GetParam() == CatalogKind::kSqlite ? result.out : result.err;
    EXPECT_EQ(where.find(message), where.rfind(message)) << where;
    EXPECT_NE(where.find(message), std::string::npos) << where;
    const std::string journal = ws_.ArchiveDir() + "/ABC/.plq2trq.journal";
    EXPECT_THAT(result.err, HasSubstr(" registrations were not made; they are kept in " + journal));
    ExpectWholeFiles();

    std::vector<std::string> args{"check", ws_.ArchiveDir(), "--repair"};
    const auto login = ws_.LoginArgs();
    args.insert(args.end(), login.begin(), login.end());
    const ProcessResult repair = ws_.Trq(args);
    EXPECT_EQ(repair.exitCode, 0) << repair.out << repair.err;
    EXPECT_THAT(repair.out, HasSubstr("registrations made from the journal"));
    EXPECT_FALSE(std::filesystem::exists(journal));
    EXPECT_EQ(ws_.CatalogRows(), ExactRows());
}

INSTANTIATE_TEST_SUITE_P(Catalogs, CatalogLoss,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

}  // namespace
