// A PostgreSQL catalog that stops answering, or restarts, in the middle of the conversion of
// a typical hour (TypicalHour.h).

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/endtoend/TypicalHour.h"
#include "tests/support/Deadline.h"

using namespace testsupport;
using ::testing::HasSubstr;

namespace {

// Counts the updates of FILELIST in sequence `seen`; the 30th waits `wait` seconds.
std::vector<std::string> CountingTrigger(int wait) {
    return {"CREATE SEQUENCE seen",
            "CREATE FUNCTION counted() RETURNS trigger AS $$ BEGIN IF nextval('seen') = 30 "
            "THEN PERFORM pg_sleep(" +
                std::to_string(wait) + "); END IF; RETURN NEW; END $$ LANGUAGE plpgsql",
            "CREATE TRIGGER counted BEFORE UPDATE ON FILELIST FOR EACH ROW EXECUTE FUNCTION "
            "counted()"};
}

// The server process of the converter's session is stopped (SIGSTOP) after its 30th update:
// its host still answers TCP, so only the converter's own bound ends the wait. With
// [DATABASE] TIMEOUT=5 the run ends with -9 within that bound (and a margin), the rest
// journaled; once the server process goes on, `trq check --repair` makes every row exact.
TEST(CatalogWait, StoppedServerProcessIsGivenUpWithinTheTimeout) {
    Workspace ws(CatalogKind::kPostgres);
    ws.WriteRecording("rec.plq", TypicalHour());
    std::string ini = ws.IniText(ws.ArchiveDir());
    ini.replace(ini.find("[DATA]"), 6, "TIMEOUT=5\n[DATA]");
    ws.WriteIni(ini);
    const TestCatalog& catalog = ws.Catalog();
    // The 30th update waits a moment, so that its server process is found waiting.
    for (const std::string& statement : CountingTrigger(2)) ExecuteSql(catalog, statement);
    pid_t stopped = 0;
    std::thread stopper([&] {
        const auto found = [&] {
            const Rows rows = QueryRows(catalog,
                                        "SELECT pid FROM pg_stat_activity WHERE wait_event = "
                                        "'PgSleep' AND datname = '" +
                                            catalog.database + "'");
            if (!rows.empty()) stopped = std::stoi(rows[0][0]);
            return stopped != 0;
        };
        if (WaitUntil(found, std::chrono::seconds(60), "the 30th update's server process"))
            ::kill(stopped, SIGSTOP);
    });
    const auto started = std::chrono::steady_clock::now();
    const ProcessResult result = ws.Convert("rec.plq");
    const auto took = std::chrono::steady_clock::now() - started;
    stopper.join();
    if (stopped != 0) ::kill(stopped, SIGCONT);

    EXPECT_EQ(result.exitCode, 247) << result.out << result.err;
    EXPECT_LT(took, std::chrono::seconds(20)) << "the deadline: 5 s, and a margin";
    std::printf("stopped server given up; the run took %.1f s\n",
                std::chrono::duration<double>(took).count());
    const std::string reason = "the catalog did not answer within 5 s";
    EXPECT_THAT(result.err, HasSubstr(reason));
    EXPECT_EQ(result.err.find(reason), result.err.rfind(reason)) << result.err;
    const std::string journal = ws.ArchiveDir() + "/ABC/.plq2trq.journal";
    EXPECT_TRUE(std::filesystem::exists(journal));
    ExpectWholeHourFiles(ws);
    Repair(ws);
    EXPECT_FALSE(std::filesystem::exists(journal));
    EXPECT_EQ(ws.CatalogRows(), TypicalHourRows());
}

// A cluster of the test's own, restarted (fast: sessions ended, connections refused for a
// moment) while the converter's 30th update waits: the converter connects again, with
// patience, and ends with 0, every row exact, no journal.
TEST(CatalogWait, ServerRestartCostsNothing) {
    TempDir dir;
    const PrivateCluster cluster(dir);
    const TestCatalog catalog = cluster.MakeCatalog(dir / "odbc");
    for (const std::string& statement : CountingTrigger(30)) ExecuteSql(catalog, statement);
    std::filesystem::create_directories(dir / "archive");
    WriteFile(dir / "plq2trq.ini",
              "[DATABASE]\nODBC=TRQ\nUSER=" + catalog.user + "\nPASSWORD=" + catalog.password +
                  "\n[DATA]\nDIR=" + dir / "archive" + "\n[CHANNELMAP]\n1=BHZ\n2=BHN\n3=BHE\n");
    plqgen::WriteRecording(dir / "rec.plq", TypicalHour());
    std::thread restarter([&] {
        const auto waiting = [&] {
            return !QueryRows(catalog,
                              "SELECT pid FROM pg_stat_activity WHERE wait_event = "
                              "'PgSleep'")
                        .empty();
        };
        if (WaitUntil(waiting, std::chrono::seconds(60), "the 30th update's server process"))
            cluster.Restart();
    });
    std::map<std::string, std::string> env = catalog.env;
    env["TMPDIR"] = dir.Path();
    const ProcessResult result = RunProcess(ConverterPath(), {"rec.plq", "ABC"}, dir.Path(), env);
    restarter.join();

    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_THAT(result.err, HasSubstr("the connection to the catalog was lost; connecting again"));
    EXPECT_FALSE(std::filesystem::exists(dir / "archive/ABC/.plq2trq.journal"));
    Rows expected;
    for (const auto& row : TypicalHourRows()) expected.push_back({row[0], row[3], row[4]});
    EXPECT_EQ(QueryRows(catalog, "SELECT CPATH, TBEGIN, TQTY FROM FILELIST ORDER BY CPATH"),
              expected);
}

}  // namespace
