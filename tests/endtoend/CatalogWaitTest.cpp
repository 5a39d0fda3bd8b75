// A PostgreSQL catalog that stops answering, or restarts, in the middle of the conversion of
// a typical hour (TypicalHour.h).

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The server process of the converter's session is stopped (SIGSTOP: its host still answers
// TCP, so only the converter's own bound ends the wait) while the converter, its journal
// applied, waits on a full standard error for longer than [DATABASE] TIMEOUT=2: the
// watchdog that bounds every call has been idle since. Its next registration still ends
// within the bound: -9, the rest journaled; once the server process goes on, `trq check
// --repair` makes every row exact.
TEST(CatalogWait, StoppedServerProcessIsGivenUpWithinTheTimeout) {
    Workspace ws(CatalogKind::kPostgres);
    ws.WriteRecording("rec.plq", TypicalHour());
    std::string ini = ws.IniText(ws.ArchiveDir());
    ini.replace(ini.find("[DATA]"), 6, "TIMEOUT=2\n[DATA]");
    ws.WriteIni(ini);
    const std::string journal = ws.ArchiveDir() + "/ABC/.plq2trq.journal";
    std::filesystem::create_directories(ws.ArchiveDir() + "/ABC");
    WriteFile(
        journal,
        "new\tABC\\22102013-134734-BHZ.ABC\tABC\tBHZ\t1382449654.25\t1\t100\t1\t3\tPLQ2TRQ\n");
    const std::string errPath = ws.Path("err");
    ASSERT_EQ(::mkfifo(errPath.c_str(), 0600), 0);
    const int err = ::open(errPath.c_str(), O_RDONLY | O_NONBLOCK);
    const int filler = ::open(errPath.c_str(), O_WRONLY | O_NONBLOCK);
    std::size_t full = 0;
    while (::write(filler, "x", 1) == 1) ++full;
    BackgroundProcess converter(ConverterPath(), {"rec.plq", "ABC"}, ws.Dir().Path(), ws.Env(),
                                ws.Path("out"), errPath);
    ::close(filler);
    const TestCatalog& catalog = ws.Catalog();
    WaitUntil([&] { return !QueryRows(catalog, "SELECT 1 FROM FILELIST").empty(); },
              std::chrono::seconds(30), "the journal's registration");
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const Rows servers = QueryRows(catalog,
                                   "SELECT pid FROM pg_stat_activity WHERE pid <> "
                                   "pg_backend_pid() AND datname = '" +
                                       catalog.database + "'");
    for (const auto& row : servers) ::kill(std::stoi(row[0]), SIGSTOP);
    std::string said;
    std::thread drain([&] {
        ::fcntl(err, F_SETFL, 0);
        char buffer[4096];
        for (ssize_t n; (n = ::read(err, buffer, sizeof buffer)) > 0;) said.append(buffer, n);
    });
    const int exitCode = converter.Wait(std::chrono::seconds(20));
    for (const auto& row : servers) ::kill(std::stoi(row[0]), SIGCONT);
    drain.join();
    ::close(err);
    said.erase(0, full);

    EXPECT_EQ(exitCode, 247) << said;
    const std::string reason = "the catalog did not answer within 2 s";
    EXPECT_THAT(said, HasSubstr(reason));
    EXPECT_EQ(said.find(reason), said.rfind(reason)) << said;
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
