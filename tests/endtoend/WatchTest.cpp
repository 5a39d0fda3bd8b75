// The converter's watch mode (plq2trq --watch in) run as a service in a workspace: recordings
// arriving in every way an incoming folder sees them, restarts of the service and of the
// catalog server, a catalog away, a full disk, a busy station, new settings. Each time the
// archive, FILELIST and the record of recordings end as the batch form leaves them for the
// same final tree (and recordings that arrived and went again). Every wait has a deadline.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "tests/support/Deadline.h"
#include "tests/support/Workspace.h"

using namespace testsupport;
namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace watchtest {

constexpr auto kLimit = std::chrono::seconds(90);

// Three channels of 10,000 samples at 100 sps (format 2: two blocks each) from 2013-10-22
// `hour`:00:00, of the samples `seed` gives.
plqgen::RecordingSpec Rec(int hour, uint32_t seed) {
    plqgen::RecordingSpec spec;
    spec.sampleFormat = 2;
    spec.samplesPerChannel = 10000;
    spec.day = static_cast<int16_t>(22 + hour / 24);
    spec.hour = static_cast<int16_t>(hour % 24), spec.minute = 0, spec.second = 0;
    spec.millisecond = 0;
    spec.signal = plqgen::Signal::Noise;
    spec.seed = seed;
    return spec;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The workspace's settings with the archive in archive/, a catalog time-out of `timeout` s,
// the state in watch.state and the watch mode's times: quiet `quiet` s, a scan and a retry
// every second.
void WriteWatchIni(const Workspace& ws, int quiet,
                   const std::string& map = "[CHANNELMAP]\n1=BHZ\n2=BHN\n3=BHE\n",
                   int timeout = 3) {
    std::string ini = ws.IniText("archive", map);
    ini.replace(ini.find("[DATA]"), 6, "TIMEOUT=" + std::to_string(timeout) + "\n[DATA]");
    ws.WriteIni(ini + "[WATCH]\nQUIET=" + std::to_string(quiet) +
                "\nSCAN=1\nRETRY=1\nSTATE=watch.state\n");
}

// Below in/ of the workspace: a recording written in place, renamed in from a hidden name,
// or copied in three pieces 1.2 s apart (a scan runs between them).
void Put(const Workspace& ws, const std::string& path, const plqgen::RecordingSpec& spec) {
    fs::create_directories(fs::path(ws.Path("in/" + path)).parent_path());
    ws.WriteRecording("in/" + path, spec);
}
void RenameIn(const Workspace& ws, const std::string& path, const plqgen::RecordingSpec& spec) {
    const fs::path hidden =
        fs::path(path).parent_path() / ("." + fs::path(path).filename().string());
    Put(ws, hidden.string(), spec);
    fs::rename(ws.Path("in/" + hidden.string()), ws.Path("in/" + path));
}
void CopySlowly(const Workspace& ws, const std::string& path, const plqgen::RecordingSpec& spec) {
    plqgen::WriteRecording(ws.Path("whole"), spec);
    const std::string bytes = ReadFile(ws.Path("whole"));
    std::ofstream out(ws.Path("in/" + path), std::ios::binary);
    for (std::size_t piece = 0; piece < 3; ++piece) {
        const std::size_t from = piece * bytes.size() / 3, to = (piece + 1) * bytes.size() / 3;
        out.write(bytes.data() + from, static_cast<std::streamsize>(to - from));
        out.flush();
        if (piece < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    }
}

// The service running in a workspace: plq2trq --watch in --jobs 2, its log in NAME.log.
class Service {
  public:
    Service(const Workspace& ws, const std::string& name)
        : log_(ws.Path(name + ".log")),
          err_(ws.Path(name + ".err")),
          process_(ConverterPath(), {"--watch", "in", "--jobs", "2"}, ws.Dir().Path(), ws.Env(),
                   log_, err_) {}
    std::string Log() const { return ReadFile(log_); }
    std::string Err() const { return ReadFile(err_); }
    // Waits until the log holds `text` `count` times.
    void Await(const std::string& text, std::size_t count = 1) const {
        if (!WaitUntil([&] { return Count(Log(), text) >= count; }, kLimit,
                       "\"" + text + "\" logged"))
            ADD_FAILURE() << "the log:\n" << Log() << Err();
    }
    int Stop() { return process_.Stop(); }
    void Signal(int signal) const { process_.Signal(signal); }

  private:
    std::string log_, err_;
    BackgroundProcess process_;
};

// Per recording (its path below the workspace) the latest row of RECORDINGS: station, size,
// hash, outcome, exit code.
std::map<std::string, std::vector<std::string>> LatestRecords(const TestCatalog& catalog,
                                                              const std::string& dir) {
    std::map<std::string, std::vector<std::string>> latest;
    for (const auto& row : QueryRows(catalog,
                                     "SELECT RPATH,STA,RSIZE,RHASH,OUTCOME,EXITCODE FROM "
                                     "RECORDINGS ORDER BY CONVERTED")) {
        latest[row[0].substr(dir.size() + 1)] = {row.begin() + 1, row.end()};
    }
    return latest;
}

Rows FileRows(const TestCatalog& catalog) {
    return QueryRows(catalog,
                     "SELECT CPATH,STA,CH,TBEGIN,TQTY,SPS,GAIN,DATATYPE,CREATER,FOFF FROM "
                     "FILELIST ORDER BY CPATH");
}

// The archive, FILELIST and the latest record of each recording are those the batch form
// makes of the same tree in a workspace of its own, but that the `journaled` ones waited in
// a journal (-9); the watch kept `superseded` more records (recordings that changed at their
// paths after they were converted).
void ExpectSameAsBatch(const Workspace& ws, const TestCatalog& catalog, std::size_t superseded,
                       const std::vector<std::string>& journaled = {}) {
    Workspace batch(catalog.kind);
    fs::copy(ws.Path("in"), batch.Path("in"), fs::copy_options::recursive);
    RunProcess(ConverterPath(), {"--tree", "in", "--quiet"}, batch.Dir().Path(), batch.Env());
    EXPECT_EQ(ws.ArchiveFiles(), batch.ArchiveFiles());
    EXPECT_EQ(FileRows(catalog), batch.CatalogRows());
    auto expected = LatestRecords(batch.Catalog(), batch.Dir().Path());
    for (const std::string& path : journaled) {
        expected.at(path)[3] = "journaled", expected.at(path)[4] = "-9";
    }
    EXPECT_EQ(LatestRecords(catalog, ws.Dir().Path()), expected);
    EXPECT_EQ(QueryRows(catalog, "SELECT COUNT(*) FROM RECORDINGS")[0][0],
              std::to_string(LatestRecords(batch.Catalog(), "").size() + superseded));
}

class Watch : public ::testing::TestWithParam<CatalogKind> {};

// W1: the first recordings there before the start; then one renamed in, one copied slowly
// across scans, a truncated one (incomplete, said once), a file that is no recording (said
// once), one replaced by other samples at its path (converted again, the same files) and one
// written again with the same bytes (not converted again); a restart with a recording that
// came and one that was completed meanwhile; the last one arriving as the service stops. The
// files' recordings are told by trq info and trq list --sources.
TEST_P(Watch, ArrivalsAcrossRestartsEndAsTheBatchForm) {
    Workspace ws(GetParam());
    WriteWatchIni(ws, 3);
    Put(ws, "ABC/01.plq", Rec(1, 1));
    Put(ws, "XYZ/01.plq", Rec(1, 2));
    {
        Service s1(ws, "s1");
        s1.Await("converted in/ABC/01.plq (ABC): 30000 samples, 3 files (created 3), ");
        s1.Await("converted in/XYZ/01.plq (XYZ)");
        RenameIn(ws, "ABC/02.plq", Rec(2, 3));
        plqgen::RecordingSpec cut = Rec(2, 4);
        cut.sizeAdjustment = -100;
        Put(ws, "XYZ/02.plq", cut);
        WriteFile(ws.Path("in/XYZ/notes.txt"), std::string(300, 'n'));
        CopySlowly(ws, "ABC/03.plq", Rec(3, 5));
        s1.Await("converted in/ABC/02.plq (ABC): 30000 samples, 3 files (created 3), ");
        s1.Await("converted in/ABC/03.plq (ABC): 30000 samples, 3 files (created 3), ");
        s1.Await(
            "incomplete in/XYZ/02.plq (XYZ): 120168 of 120268 bytes, unchanged for 3 s; "
            "taken when it changes\n");
        s1.Await(
            "FAILED -6 in/XYZ/notes.txt (XYZ): ERROR: file in/XYZ/notes.txt is not "
            "PLQ-format (not found key \"Kelvo\")!!!\n");
        Put(ws, "ABC/01.plq", Rec(1, 6));
        WriteFile(ws.Path("in/ABC/02.plq"), ReadFile(ws.Path("in/ABC/02.plq")));
        s1.Await("converted in/ABC/01.plq (ABC): 30000 samples, 3 files (replaced 3), ", 1);
        s1.Await("; it changed since its conversion at 20");
        s1.Await("unchanged in/ABC/02.plq (ABC): the content converted at 20");
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // scans, said nothing
        EXPECT_EQ(s1.Stop(), 0);
        EXPECT_EQ(Count(s1.Log(), "FAILED -6 in/XYZ/notes.txt"), 1u) << s1.Log();
        EXPECT_EQ(Count(s1.Log(), "in/XYZ/02.plq"), 1u) << s1.Log();
        EXPECT_EQ(s1.Err(), "");  // no progress line off a terminal
    }
    Put(ws, "ABC/04.plq", Rec(4, 7));
    Put(ws, "XYZ/02.plq", Rec(2, 4));
    bool lastTaken = false;
    {
        Service s2(ws, "s2");
        s2.Await("watching in: 6 recordings on record, 2 new or changed; 2 workers, quiet 3 s");
        s2.Await("converted in/ABC/04.plq");
        s2.Await("converted in/XYZ/02.plq (XYZ): 30000 samples, 3 files (created 3), ");
        Put(ws, "ABC/05.plq", Rec(5, 8));
        EXPECT_EQ(s2.Stop(), 0);
        lastTaken = s2.Log().find("converted in/ABC/05.plq") != std::string::npos;
    }
    Service s3(ws, "s3");
    s3.Await(std::string("recordings on record, ") + (lastTaken ? "0" : "1") + " new or changed");
    if (!lastTaken) s3.Await("converted in/ABC/05.plq");
    EXPECT_EQ(s3.Stop(), 0);
    EXPECT_EQ(Count(s3.Log(), "converted in/"), lastTaken ? 0u : 1u) << s3.Log();
    const nlohmann::json state = nlohmann::json::parse(ReadFile(ws.Path("watch.state")));
    EXPECT_EQ(state["state"], "stopped");
    EXPECT_EQ(state["outcomes"]["converted"], lastTaken ? 0 : 1);

    ExpectSameAsBatch(ws, ws.Catalog(), 1);
    const auto records = LatestRecords(ws.Catalog(), ws.Dir().Path());
    const ProcessResult sha = RunProcess("/usr/bin/sha256sum", {"in/ABC/04.plq"}, ws.Dir().Path());
    EXPECT_EQ(records.at("in/ABC/04.plq")[2], sha.out.substr(0, 64));
    EXPECT_THAT(ws.Trq({"info", "archive/ABC/22102013-010000-BHZ.ABC"}).out,
                HasSubstr("  recordings   " + ws.Path("in/ABC/01.plq") + " (replaced)\n"));
    EXPECT_THAT(ws.Trq({"list", "--sources", "--station", "XYZ", "--channel", "BHE"}).out,
                HasSubstr("-020000-BHE.XYZ  XYZ  BHE  2013-10-22T02:00:00.000000Z  "
                          "2013-10-22T02:01:40.000000Z  10000  100\n    from " +
                          ws.Path("in/XYZ/02.plq") + " (created)\n"));
}

// W2: the catalog away (PostgreSQL: the database refuses connections and its sessions end;
// SQLite: another program holds its write lock): recordings are still converted, their rows
// and records wait in the stations' journals, said once; once it answers, the service
// applies the journals itself and the catalog is the batch form's.
TEST_P(Watch, CatalogAwayGoesToTheJournalsAndComesBack) {
    Workspace ws(GetParam());
    WriteWatchIni(ws, 3);
    const TestCatalog& catalog = ws.Catalog();
    std::optional<CatalogSession> holder;
    if (GetParam() == CatalogKind::kSqlite) {
        const std::string odbcIni = ws.Path("odbc/odbc.ini");
        std::string text = ReadFile(odbcIni);
        WriteFile(odbcIni, text.replace(text.find("Timeout=30000"), 13, "Timeout=20"));
    }
    Put(ws, "ABC/01.plq", Rec(1, 1));
    Service service(ws, "s");
    service.Await("converted in/ABC/01.plq");
    if (GetParam() == CatalogKind::kSqlite) {
        holder.emplace(catalog);
        holder->Execute("BEGIN IMMEDIATE");
        holder->Execute("INSERT INTO FILELIST (CPATH) VALUES ('held')");
    } else {
        ExecuteOnCluster("ALTER DATABASE " + catalog.database + " ALLOW_CONNECTIONS false");
        ExecuteOnCluster(
            "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" +
            catalog.database + "'");
    }
    Put(ws, "ABC/02.plq", Rec(2, 2));
    Put(ws, "XYZ/01.plq", Rec(1, 3));
    service.Await("journaled in/ABC/02.plq (ABC): 30000 samples, 3 files (created 3), ");
    service.Await("journaled in/XYZ/01.plq (XYZ)");
    EXPECT_TRUE(fs::exists(ws.Path("archive/XYZ/.plq2trq.journal")));
    if (holder) {
        holder->Execute("ROLLBACK");
    } else {
        ExecuteOnCluster("ALTER DATABASE " + catalog.database + " ALLOW_CONNECTIONS true");
    }
    service.Await("the catalog answers again: the stations' journals are applied\n");
    service.Await("journal of station XYZ: 7 registrations and records made\n");
    WaitUntil([&] { return !fs::exists(ws.Path("archive/ABC/.plq2trq.journal")); }, kLimit,
              "the journal of ABC applied");
    EXPECT_EQ(service.Stop(), 0) << service.Log() << service.Err();
    EXPECT_EQ(Count(service.Log(), "the catalog is away: recordings are still converted"), 1u)
        << service.Log();
    ExpectSameAsBatch(ws, catalog, 0, {"in/ABC/02.plq", "in/XYZ/01.plq"});
}

INSTANTIATE_TEST_SUITE_P(Catalogs, Watch,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

// A catalog server of the test's own: the trigger makes the `n`th update of FILELIST wait
// inside its transaction; the server is restarted while it waits.
void RestartAtUpdate(const PrivateCluster& cluster, const TestCatalog& catalog, int n) {
    for (const std::string& sql :
         {std::string("CREATE SEQUENCE seen"),
          "CREATE FUNCTION held() RETURNS trigger AS $$ BEGIN IF nextval('seen') = " +
              std::to_string(n) +
              " THEN PERFORM pg_sleep(60); END IF; RETURN NEW; END $$ "
              "LANGUAGE plpgsql",
          std::string("CREATE TRIGGER held BEFORE UPDATE ON FILELIST FOR EACH ROW EXECUTE "
                      "FUNCTION held()")}) {
        ExecuteSql(catalog, sql);
    }
    const auto waiting = [&] {
        return !QueryRows(catalog, "SELECT pid FROM pg_stat_activity WHERE wait_event = 'PgSleep'")
                    .empty();
    };
    if (WaitUntil(waiting, kLimit, "an update waiting inside its transaction")) cluster.Restart();
}

class CatalogRestart : public ::testing::TestWithParam<bool> {};

// W3: the catalog server restarted while the service's update waits inside a transaction,
// with Protocol=7.4-1 and with the driver's own rollback (a SAVEPOINT before each
// statement): the work is done again on a new connection; nothing is journaled.
TEST_P(CatalogRestart, InsideATransactionNothingIsJournaled) {
    Workspace ws(CatalogKind::kPostgres);
    const PrivateCluster cluster(ws.Dir());
    const TestCatalog catalog = cluster.MakeCatalog(ws.Path("odbc"), GetParam());
    WriteWatchIni(ws, 3, "[CHANNELMAP]\n1=BHZ\n2=BHN\n3=BHE\n", 30);
    fs::create_directories(ws.Path("in"));
    Service service(ws, "s");
    for (int hour = 1; hour <= 3; ++hour)
        Put(ws, "ABC/0" + std::to_string(hour) + ".plq", Rec(hour, hour));
    RestartAtUpdate(cluster, catalog, 2);
    for (int hour = 1; hour <= 3; ++hour)
        service.Await("converted in/ABC/0" + std::to_string(hour));
    EXPECT_EQ(service.Stop(), 0);
    EXPECT_THAT(service.Log(),
                HasSubstr(": the connection to the catalog was lost; connecting again"));
    EXPECT_EQ(Count(service.Log(), "journal"), 0u) << service.Log();
    ExpectSameAsBatch(ws, catalog, 0);
}

INSTANTIATE_TEST_SUITE_P(Rollback, CatalogRestart, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Protocol741" : "DriverDefault";
                         });

// The data directory on a small file system of the test's own (tmpfs in a mount namespace of
// this process, which the service inherits); empty when it cannot be made, else why not.
std::string SmallDisk(const std::string& at, const char* size) {
    static const std::string shared = [] {
        if (::unshare(CLONE_NEWNS) != 0) return std::string("unshare: ") + std::strerror(errno);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("mount: ") + std::strerror(errno);
        return std::string();
    }();
    if (!shared.empty()) return shared;
    if (::mount("tmpfs", at.c_str(), "tmpfs", 0, size) != 0)
        return std::string("mount tmpfs: ") + std::strerror(errno);
    return "";
}

// W4: the service's manners. An empty tree at the start. The archive's disk full: the
// recording is left unconverted, said once, and taken once there is room; its station's
// later recording waits behind it. A station held by another converter: waited for, said
// once. SIGHUP: a new channel map for the next recordings.
TEST(WatchManners, FullDiskBusyStationAndNewSettings) {
    Workspace ws;
    WriteWatchIni(ws, 3);
    fs::create_directories(ws.Path("in"));
    fs::create_directories(ws.Path("archive"));
    if (const std::string why = SmallDisk(ws.Path("archive"), "size=1m"); !why.empty())
        GTEST_SKIP() << why;
    struct Unmount {
        std::string at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{ws.Path("archive")};
    WriteFile(ws.Path("archive/filler"), std::string(990 * 1024, 'f'));  // room for a block
    Service service(ws, "s");
    service.Await("watching in: 0 recordings on record, 0 new or changed;");
    Put(ws, "ABC/01.plq", Rec(1, 1));
    Put(ws, "ABC/02.plq", Rec(2, 2));
    service.Await("FAILED -8 in/ABC/01.plq (ABC): ERROR: write file ");
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // tries, said nothing
    EXPECT_EQ(Count(service.Log(), "FAILED -8"), 1u) << service.Log();
    EXPECT_THAT(service.Log(), HasSubstr("; left unconverted, tried again every 1 s (said once "
                                         "until a recording converts again)\n"));
    fs::remove(ws.Path("archive/filler"));
    service.Await("converted in/ABC/02.plq");
    EXPECT_LT(service.Log().find("converted in/ABC/01.plq"),
              service.Log().find("converted in/ABC/02.plq"));

    const int lock = ::open(ws.Path("archive/ABC/.plq2trq.lock").c_str(), O_RDWR);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    Put(ws, "ABC/03.plq", Rec(3, 3));
    service.Await(
        "waiting for station ABC: another converter holds it; in/ABC/03.plq (ABC) and "
        "the station's later recordings wait\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    ::close(lock);
    service.Await("converted in/ABC/03.plq");
    EXPECT_EQ(Count(service.Log(), "waiting for station ABC"), 1u) << service.Log();

    WriteWatchIni(ws, 3, "[CHANNELMAP]\n1=HHZ\n2=HHN\n3=HHE\n");
    service.Signal(SIGHUP);
    service.Await("settings read again: data source TRQ, data directory archive, quiet 3 s");
    Put(ws, "XYZ/01.plq", Rec(1, 4));
    service.Await("converted in/XYZ/01.plq");
    EXPECT_TRUE(fs::exists(ws.Path("archive/XYZ/22102013-010000-HHZ.XYZ")));
    EXPECT_EQ(service.Stop(), 0);
    EXPECT_EQ(service.Err(), "");
}

// W5: a catalog set up before the record of recordings: the classic and the batch form
// convert as before (the classic form says so once); the watch mode, which decides by the record,
// refuses to start (-3).
TEST(WatchManners, OlderCatalogWithoutTheRecord) {
    Workspace ws;
    WriteWatchIni(ws, 3);
    ExecuteSql(ws.Catalog(), "DROP TABLE RECORDINGS");
    ExecuteSql(ws.Catalog(), "DROP TABLE RECORDINGFILES");
    Put(ws, "ABC/01.plq", Rec(1, 1));
    Put(ws, "ABC/02.plq", Rec(2, 2));
    const std::string notice =
        "plq2trq: the catalog has no table RECORDINGS (it was set up by an "
        "older catalog-setup.sh): no record of the recordings converted is "
        "kept; run catalog-setup.sh again to add it\n";
    const ProcessResult classic = ws.Convert("in/ABC/01.plq", "ABC");
    EXPECT_EQ(classic.exitCode, 0) << classic.out;
    EXPECT_EQ(classic.err, notice);
    const ProcessResult batch =
        RunProcess(ConverterPath(), {"--tree", "in", "--quiet"}, ws.Dir().Path(), ws.Env());
    EXPECT_EQ(batch.exitCode, 0) << batch.out;
    const ProcessResult watch =
        RunProcess(ConverterPath(), {"--watch", "in"}, ws.Dir().Path(), ws.Env());
    EXPECT_EQ(watch.exitCode, 253);
    EXPECT_EQ(watch.err,
              "plq2trq: the catalog has no table RECORDINGS, which tells the watch "
              "mode what it converted before: run catalog-setup.sh again to add it\n");
}

// W6, the soak (slow: scripts/test.sh --quick leaves it out): a day of three stations'
// hourly recordings (2 sps, one archive file per channel and hour) arriving about three a
// second, with two restarts of the catalog server and an archive disk full for two hours
// on the way: the archive and FILELIST are those of the batch form, byte for byte and row
// for row, and the record lists every recording once, converted; nothing was journaled.
TEST(Soak, ADayOfArrivalsThroughTwoCatalogRestartsAndAFullDisk) {
    Workspace ws(CatalogKind::kPostgres);
    const PrivateCluster cluster(ws.Dir());
    const TestCatalog catalog = cluster.MakeCatalog(ws.Path("odbc"));
    WriteWatchIni(ws, 3, "[CHANNELMAP]\n1=BHZ\n2=BHN\n3=BHE\n", 30);
    fs::create_directories(ws.Path("in"));
    if (const std::string why = SmallDisk(ws.ArchiveDir(), "size=16m"); !why.empty())
        GTEST_SKIP() << why;
    struct Unmount {
        std::string at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{ws.ArchiveDir()};
    Service service(ws, "s");
    service.Await("watching in:");
    for (int hour = 0; hour < 24; ++hour) {
        for (int s = 0; s < 3; ++s) {
            plqgen::RecordingSpec spec = Rec(hour, static_cast<uint32_t>(100 * s + hour));
            spec.samplesPerSecond = 2, spec.samplesPerChannel = 7200;
            Put(ws, std::string("S") + char('A' + s) + "/" + std::to_string(100 + hour) + ".plq",
                spec);
        }
        if (hour == 8 || hour == 16) cluster.Restart();
        if (hour == 11) {  // what fits of it: the service writes meanwhile
            struct statvfs disk {};
            ::statvfs(ws.ArchiveDir().c_str(), &disk);
            std::ofstream(ws.Path("archive/filler"))
                << std::string(disk.f_bavail * disk.f_frsize - 16 * 1024, 'f');
        }
        if (hour == 13) fs::remove(ws.Path("archive/filler"));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    service.Await("converted in/", 72);
    EXPECT_EQ(service.Stop(), 0);
    // The full disk is said once by each station that met it (one or more, as the arrivals
    // fall), and nothing else failed.
    const std::size_t full = Count(service.Log(), "FAILED -8 ");
    EXPECT_GE(full, 1u) << service.Log();
    for (const char* station : {"SA", "SB", "SC"}) {
        EXPECT_LE(Count(service.Log(), std::string("FAILED -8 in/") + station + "/"), 1u)
            << station << "\n"
            << service.Log();
    }
    EXPECT_EQ(Count(service.Log(), "FAILED"), full) << service.Log();
    EXPECT_EQ(Count(service.Log(), "journal"), 0u) << service.Log();
    ExpectSameAsBatch(ws, catalog, 0);
    EXPECT_EQ(QueryRows(catalog, "SELECT COUNT(*) FROM RECORDINGS WHERE OUTCOME='converted'"),
              Rows{{"72"}});
}

}  // namespace watchtest
