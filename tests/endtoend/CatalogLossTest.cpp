// A catalog that goes away in the middle of the conversion of a typical hour (TypicalHour.h).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/endtoend/TypicalHour.h"
#include "tests/support/Deadline.h"

using namespace testsupport;
using ::testing::HasSubstr;

namespace {

class CatalogLoss : public ::testing::TestWithParam<CatalogKind> {
  protected:
    CatalogLoss() : ws_(GetParam()) { ws_.WriteRecording("rec.plq", TypicalHour()); }
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
    ExpectWholeHourFiles(ws_);
    EXPECT_EQ(ws_.CatalogRows(), TypicalHourRows());
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
        CatalogSession holder(catalog);
        holder.Execute("BEGIN IMMEDIATE");
        holder.Execute("INSERT INTO FILELIST (CPATH) VALUES ('held')");
        result = ws_.Convert("rec.plq");
        holder.Execute("ROLLBACK");
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
    ExpectWholeHourFiles(ws_);

    EXPECT_THAT(Repair(ws_).out, HasSubstr("registrations made from the journal"));
    EXPECT_FALSE(std::filesystem::exists(journal));
    EXPECT_EQ(ws_.CatalogRows(), TypicalHourRows());
}

INSTANTIATE_TEST_SUITE_P(Catalogs, CatalogLoss,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

}  // namespace
