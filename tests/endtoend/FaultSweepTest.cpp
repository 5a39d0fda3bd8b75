// Any single failure is recoverable to the exact archive. One conversion of a small recording
// (two channels at 4 samples per second, two archive files each, eight registrations) runs in
// this process again and again with one call made to fail: the Nth call of each file-system
// and ODBC call, for every N the uninterrupted run makes (through the call seams; on
// PostgreSQL a sample of the N of some calls, see Swept). After each: the exit code is one
// the README lists, and 0 only with the uninterrupted run's archive and catalog; every
// visible archive file holds the recording's true samples for its name; no row claims more
// samples than its file holds and every TBEGIN is exact; every checksum is that of its file
// as it stands; a failure says why; `trq check --repair` leaves every file with a checksum
// that `trq check --verify` finds intact; and a second conversion gives the uninterrupted
// run's archive and catalog. On PostgreSQL the sweep then ends the session under the Nth
// execution of every statement and commit, answered as psqlODBC answers when the server's
// parting message comes within its answer (see ENDING_CALL): a run that ends with 0 has
// made every row and the record all the same.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>

#include "odbc/Database.h"
#include "odbc/OdbcCalls.h"
#include "platform/FileServices.h"
#include "plq2trq/RunFlow.h"
#include "recorder/ChannelMap.h"
#include "tests/support/Bytes.h"
#include "tests/support/ConsoleLines.h"
#include "tests/support/Workspace.h"
#include "trq/commands/CheckCommand.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// The calls that can be made to fail, file-system calls first.
const std::vector<std::string> kCalls = {
    "open",       "flock",         "lseek",         "writev",           "ftruncate",
    "close",      "mkdir",         "unlink",        "rename",           "fdatasync",
    "fsync",      "AllocEnv",      "AllocConnect",  "SetConnectOption", "DriverConnect",
    "GetInfo",    "AllocStmt",     "SetStmtOption", "Prepare",          "Execute",
    "ExecDirect", "NumResultCols", "DescribeCol",   "BindCol",          "ExtendedFetch",
    "Fetch",      "BindParameter", "RowCount",      "FreeStmt",         "Transact",
    "Disconnect", "FreeConnect",   "FreeEnv"};
constexpr std::size_t kFirstOdbcCall = 11;
// Calls that release something: made to fail after they did their work, as a close that
// reports EIO has closed the descriptor all the same.
const std::set<std::string> kReleases = {"close", "FreeStmt", "Disconnect", "FreeConnect",
                                         "FreeEnv"};
// Calls made once per column of a statement: a failure at any column of one statement takes
// the same way and leaves the same catalog.
const std::set<std::string> kPerColumn = {"BindParameter", "DescribeCol", "BindCol"};

// Whether the sweep makes the Nth of `count` calls fail. On SQLite, every N of every call.
// On PostgreSQL, where each run costs a new server session, every N of the ODBC calls made
// once per statement, transaction or connection, where the drivers differ: what a failed
// call leaves in the driver, the transaction and the session; of the per-column calls and
// the file-system calls (which the driver never sees: after them the catalog gets the
// statements the ODBC sweep fails one by one), every fourth N and the last. Columns come
// four or more to a statement, so that every statement still fails at one of its columns.
bool Swept(CatalogKind kind, std::size_t call, long n, long count) {
    if (kind == CatalogKind::kSqlite) return true;
    if (call >= kFirstOdbcCall && !kPerColumn.count(kCalls[call])) return true;
    return n % 4 == 1 || n == count;
}

std::vector<long> seen(kCalls.size());
std::size_t failingCall = 0;
long failingAt = 0;         // 0: nothing fails
std::string pendingRecord;  // the diagnostic record of the failed ODBC call, for SQLError
platform::FileCalls realFile;
OdbcCalls realOdbc;
// Set for the second kind of fault: the test's own session, outside the seams, which ends
// every other session of the catalog (the converter's) on the server.
CatalogSession* sessionEnder = nullptr;

bool FailsNow(std::size_t call) {
    return ++seen[call] == failingAt && call == failingCall;
}

#define FILE_CALL(i, field)                                       \
    calls.field = [](auto... a) {                                 \
        if (FailsNow(i)) {                                        \
            if (kReleases.count(kCalls[i])) realFile.field(a...); \
            errno = EIO;                                          \
            return decltype(realFile.field(a...))(-1);            \
        }                                                         \
        return realFile.field(a...);                              \
    }
#define ODBC_CALL(i, field)                                                     \
    odbc.field = [](auto... a) -> SQLRETURN {                                   \
        if (!FailsNow(kFirstOdbcCall + i)) return realOdbc.field(a...);         \
        if (kReleases.count(kCalls[kFirstOdbcCall + i])) realOdbc.field(a...);  \
        pendingRecord = "injected failure of SQL" + kCalls[kFirstOdbcCall + i]; \
        return SQL_ERROR;                                                       \
    }

// The server ends the converter's session (waiting until it is gone) and then the call is
// made; an error it answers is answered as success, with the driver's diagnostics: psqlODBC
// answers so when the parting message comes within its answer, SQL_SUCCESS_WITH_INFO for a
// statement that did not run, SQL_SUCCESS for a commit that was not made.
#define ENDING_CALL(i, field, answer)                                               \
    odbc.field = [](auto... a) -> SQLRETURN {                                       \
        if (!FailsNow(kFirstOdbcCall + i)) return realOdbc.field(a...);             \
        if (sessionEnder == nullptr) {                                              \
            pendingRecord = "injected failure of SQL" + kCalls[kFirstOdbcCall + i]; \
            return SQL_ERROR;                                                       \
        }                                                                           \
        sessionEnder->Query(                                                        \
            "SELECT pg_terminate_backend(pid, 10000) FROM pg_stat_activity WHERE "  \
            "datname = current_database() AND pid <> pg_backend_pid()");            \
        const SQLRETURN code = realOdbc.field(a...);                                \
        return code == SQL_ERROR ? SQLRETURN(answer) : code;                        \
    }

// Every call counted, the one chosen made to fail, while the object lives.
class Seams {
  public:
    Seams() : files_(Files()), odbc_(Odbc()) {}

  private:
    static platform::FileCalls Files() {
        realFile = platform::RealFileCalls();
        // Counted and made to fail like the others, but not waited for: the sweep needs the
        // calls, not the disk's durability, and thousands of syncs would take minutes.
        realFile.Fdatasync = realFile.Fsync = [](int) { return 0; };
        platform::FileCalls calls = realFile;
        FILE_CALL(0, Open);
        FILE_CALL(1, Flock);
        FILE_CALL(2, Lseek);
        FILE_CALL(3, Writev);
        FILE_CALL(4, Ftruncate);
        FILE_CALL(5, Close);
        FILE_CALL(6, Mkdir);
        FILE_CALL(7, Unlink);
        FILE_CALL(8, Rename);
        FILE_CALL(9, Fdatasync);
        FILE_CALL(10, Fsync);
        return calls;
    }
    static OdbcCalls Odbc() {
        OdbcCalls odbc;
        realOdbc = odbc;
        ODBC_CALL(0, AllocEnv);
        ODBC_CALL(1, AllocConnect);
        ODBC_CALL(2, SetConnectOption);
        ODBC_CALL(3, DriverConnect);
        ODBC_CALL(4, GetInfo);
        ODBC_CALL(5, AllocStmt);
        ODBC_CALL(6, SetStmtOption);
        ODBC_CALL(7, Prepare);
        ENDING_CALL(8, Execute, SQL_SUCCESS_WITH_INFO);
        ENDING_CALL(9, ExecDirect, SQL_SUCCESS_WITH_INFO);
        ODBC_CALL(10, NumResultCols);
        ODBC_CALL(11, DescribeCol);
        ODBC_CALL(12, BindCol);
        ODBC_CALL(13, ExtendedFetch);
        ODBC_CALL(14, Fetch);
        ODBC_CALL(15, BindParameter);
        ODBC_CALL(16, RowCount);
        ODBC_CALL(17, FreeStmt);
        ENDING_CALL(18, Transact, SQL_SUCCESS);
        ODBC_CALL(19, Disconnect);
        ODBC_CALL(20, FreeConnect);
        ODBC_CALL(21, FreeEnv);
        odbc.Error = [](auto env, auto dbc, auto stmt, SQLCHAR* state, SQLINTEGER* native,
                        SQLCHAR* message, auto capacity, SQLSMALLINT* length) -> SQLRETURN {
            if (pendingRecord.empty())
                return realOdbc.Error(env, dbc, stmt, state, native, message, capacity, length);
            std::strcpy(reinterpret_cast<char*>(state), "HY000");
            std::snprintf(reinterpret_cast<char*>(message), capacity, "%s", pendingRecord.c_str());
            *length = static_cast<SQLSMALLINT>(pendingRecord.size());
            pendingRecord.clear();
            return *native = 0, SQL_SUCCESS;
        };
        return odbc;
    }
    platform::ScopedFileCalls files_;
    ScopedOdbcCalls odbc_;
};

// 20000 samples per channel at 4 per second from 13:47:34.25: blocks of 5000 samples
// (1250 s), three to the first file, one to the second. A block that fails in the middle of
// the first file is followed by one that would start a file of a name no whole run makes.
plqgen::RecordingSpec Recording() {
    plqgen::RecordingSpec spec;
    spec.samplesPerSecond = 4;
    spec.channelCount = 2;
    spec.samplesPerChannel = 20000;
    spec.sampleFormat = 2;
    spec.signal = plqgen::Signal::Ramp;
    spec.millisecond = 250;
    return spec;
}

struct ArchiveState {
    std::map<std::string, std::string> files;  // every file but the station lock: its bytes
    Rows rows;
    Rows checksums;  // CPATH, length, whole and block hashes
    auto operator<=>(const ArchiveState&) const = default;
};

// unixODBC settles where its configuration lies with the first connection of the process
// (the catalog's own setup makes one): the converter's data source is looked up there.
// The directory lives for the process and is removed at its exit.
const TempDir& OdbcConfiguration() {
    static const TempDir dir;
    static const bool settled = [] {
        ::setenv("ODBCSYSINI", dir.Path().c_str(), 1);
        ::setenv("ODBCINI", (dir / "odbc.ini").c_str(), 1);
        return true;
    }();
    (void)settled;
    return dir;
}

class FaultSweep : public ::testing::TestWithParam<CatalogKind> {
  protected:
    FaultSweep() : ws_((OdbcConfiguration(), GetParam())) {
        // The converter runs in this process: it finds the catalog's data source, its ini
        // files and trq.ini (etc/, relative) as a user's run in the workspace would.
        for (const char* name : {"odbc.ini", "odbcinst.ini"}) {
            fs::copy_file(ws_.Path(std::string("odbc/") + name), OdbcConfiguration() / name,
                          fs::copy_options::overwrite_existing);
        }
        ::chdir(ws_.Dir().Path().c_str());
        ws_.WriteRecording("rec.plq", Recording());
        // Kept for the sweep: connecting costs more than a query, and SQLite checkpoints its
        // log, waiting for the disk, whenever its last connection closes.
        session_ = std::make_unique<CatalogSession>(ws_.Catalog());
    }
    ~FaultSweep() override { ::chdir(PLQ_BINARY_DIR); }

    // The converter's run, as main() makes it; its console goes to the ConsoleLines alive.
    static int Convert() {
        CDatabase database;
        ChannelMap channels;
        std::string args[] = {"plq2trq", "rec.plq", "ABC"};
        char* argv[] = {args[0].data(), args[1].data(), args[2].data()};
        return RunConverter(3, argv, database, channels, DefaultSettingsFiles());
    }
    // trq check with --repair or --verify: its exit code, and its output when it is not 0
    // or tells of files without a checksum.
    std::string Check(bool repair) {
        trq::CheckOptions options;
        options.catalog.login.dsn = ws_.Catalog().dsn;
        options.catalog.login.user = ws_.Catalog().user;
        options.catalog.login.password = ws_.Catalog().password;
        options.catalog.dataDir = ws_.ArchiveDir();
        options.repair = repair;
        options.verify = !repair;
        std::ostringstream out, err;
        const int exit = trq::RunCheck(options, out, err);
        const bool told = exit != 0 || out.str().find("no checksum") != std::string::npos;
        return std::to_string(exit) + (told ? "\n" + out.str() + err.str() : "");
    }
    ArchiveState State() const {
        ArchiveState state;
        for (const auto& entry : fs::recursive_directory_iterator(ws_.ArchiveDir())) {
            if (!entry.is_regular_file() || entry.path().filename() == ".plq2trq.lock") continue;
            state.files[fs::relative(entry.path(), ws_.ArchiveDir()).string()] =
                ReadFile(entry.path().string());
        }
        state.rows = session_->Query(
            "SELECT CPATH,STA,CH,TBEGIN,TQTY,SPS,GAIN,DATATYPE,CREATER,FOFF FROM FILELIST "
            "ORDER BY CPATH");
        state.checksums = session_->Query(
            "SELECT CPATH,FLENGTH,FHASH,BLOCKHASHES FROM FILECHECKSUM ORDER BY CPATH");
        return state;
    }
    // Station, outcome, exit code and number of files of each record of a recording. A
    // record the catalog refuses is told and not kept, the run's exit code unchanged.
    Rows Records() const {
        return session_->Query(
            "SELECT STA,OUTCOME,EXITCODE,(SELECT COUNT(*) FROM RECORDINGFILES F WHERE "
            "F.RPATH=R.RPATH AND F.RHASH=R.RHASH) FROM RECORDINGS R");
    }
    void Clear() const {
        fs::remove_all(ws_.ArchiveDir() + "/ABC");
        for (const char* table : {"FILELIST", "FILECHECKSUM", "RECORDINGS", "RECORDINGFILES"})
            session_->Execute(std::string("DELETE FROM ") + table);
    }
    // The checksum rows that are not those of their files as the reference makes them.
    static std::vector<std::string> WrongChecksums(const ArchiveState& state) {
        std::vector<std::string> wrong;
        for (const std::vector<std::string>& row : state.checksums) {
            std::string name = row[0];
            name[name.find('\\')] = '/';
            const auto file = state.files.find(name);
            const FileChecksum reference =
                ReferenceChecksum(file == state.files.end() ? "" : file->second);
            std::string blocks;
            for (const std::string& hash : reference.blockHashes) blocks += hash;
            if (file == state.files.end() ||
                row != std::vector<std::string>{row[0], std::to_string(reference.length),
                                                reference.fileHash, blocks}) {
                wrong.push_back(row[0]);
            }
        }
        return wrong;
    }
    // What a failed run may leave: archive files that hold the first samples of the
    // uninterrupted run's file of their name, and rows that claim no more than their file
    // holds, with the exact TBEGIN.
    void ExpectPartOfTheWhole(const ArchiveState& state, const ArchiveState& whole) const {
        for (const auto& [name, bytes] : state.files) {
            if (fs::path(name).filename().string().front() == '.') continue;
            const auto found = whole.files.find(name);
            ASSERT_NE(found, whole.files.end()) << "a file the whole run does not make: " << name;
            EXPECT_TRUE(bytes.size() > 512 && (bytes.size() - 512) % 4 == 0 &&
                        found->second.compare(0, bytes.size(), bytes) == 0)
                << name << " is no beginning of the whole file (" << bytes.size() << " bytes)";
        }
        for (const std::vector<std::string>& row : state.rows) {
            std::string name = row[0];
            name[name.find('\\')] = '/';
            const auto file = state.files.find(name);
            ASSERT_NE(file, state.files.end()) << "a row without its file: " << row[0];
            const double samples = std::stod(row[4]) * std::stod(row[5]);
            EXPECT_LE(samples, (file->second.size() - 512) / 4.0) << row[0];
            for (const std::vector<std::string>& exact : whole.rows) {
                if (exact[0] == row[0]) {
                    EXPECT_EQ(row[3], exact[3]) << "TBEGIN of " << row[0];
                }
            }
        }
    }

    Workspace ws_;
    std::unique_ptr<CatalogSession> session_;
};

TEST_P(FaultSweep, AnySingleFailureIsRecoverableToTheExactArchive) {
    const std::set<int> listed = {0, -1, -3, -4, -5, -6, -7, -8, -9, -10, -11, -12, -13};
    sessionEnder = nullptr;
    // The uninterrupted run, with every call counted: what each N runs up to, and the
    // archive and catalog each failed run must be brought back to.
    std::vector<long> counts;
    ArchiveState whole;
    {
        ConsoleLines console;
        const Seams seams;
        failingAt = 0;
        std::fill(seen.begin(), seen.end(), 0);
        ASSERT_EQ(Convert(), 0) << console.out;
        counts = seen;
        whole = State();
    }
    // The whole run checked against the recording itself: two files per channel, the header
    // and 15000 and 5000 samples, rows with the exact start of their first sample.
    ASSERT_EQ(whole.files.size(), 4u);
    const plqgen::RecordingSpec spec = Recording();
    int channel = 1;
    for (const char* name : {"BHZ", "BHN"}) {
        const std::string prefix = std::string("ABC/22102013-");
        EXPECT_EQ(whole.files[prefix + "134734-" + name + ".ABC"].substr(512),
                  FloatBytes(ReferenceSamples(spec, channel, 0, 15000)));
        EXPECT_EQ(whole.files[prefix + "145004-" + name + ".ABC"].substr(512),
                  FloatBytes(ReferenceSamples(spec, channel, 15000, 5000)));
        ++channel;
    }
    Rows exactRows;
    for (const char* name : {"BHN", "BHZ"}) {
        exactRows.push_back({std::string("ABC\\22102013-134734-") + name + ".ABC", "ABC", name,
                             "1382449654.25", "3750", "4", "1", "3", "PLQ2TRQ", "512"});
    }
    for (const char* name : {"BHN", "BHZ"}) {
        exactRows.push_back({std::string("ABC\\22102013-145004-") + name + ".ABC", "ABC", name,
                             "1382453404.25", "1250", "4", "1", "3", "PLQ2TRQ", "512"});
    }
    ASSERT_EQ(whole.rows, exactRows);
    ASSERT_EQ(whole.checksums.size(), 4u);
    ASSERT_EQ(WrongChecksums(whole), std::vector<std::string>());
    const Rows wholeRecords = Records();
    ASSERT_EQ(wholeRecords, (Rows{{"ABC", "converted", "0", "4"}}));

    int runs = 0;
    std::map<int, int> exits;
    std::map<int, std::string> firstOf;
    std::set<ArchiveState> recovered;
    // The second kind, on PostgreSQL: the session ends under the Nth statement or commit.
    for (const bool ending : {false, true}) {
        if (ending && GetParam() != CatalogKind::kPostgres) break;
        sessionEnder = ending ? session_.get() : nullptr;
        for (std::size_t call = 0; call < kCalls.size(); ++call) {
            const bool ends = kCalls[call] == "Execute" || kCalls[call] == "ExecDirect" ||
                              kCalls[call] == "Transact";
            if (ending && !ends) continue;
            for (long n = 1; n <= counts[call]; ++n) {
                if (!ending && !Swept(GetParam(), call, n, counts[call])) continue;
                SCOPED_TRACE((ending ? "session ended under " : "call ") + kCalls[call] + " #" +
                             std::to_string(n));
                Clear();
                ConsoleLines console;
                int exit = 0;
                {
                    const Seams seams;
                    std::fill(seen.begin(), seen.end(), 0);
                    failingCall = call;
                    failingAt = n;
                    exit = Convert();
                    failingAt = 0;
                    pendingRecord.clear();
                }
                ++runs;
                if (exits[exit]++ == 0) firstOf[exit] = kCalls[call] + " #" + std::to_string(n);
                EXPECT_TRUE(listed.count(exit)) << exit;
                // A session that ends is connected again: nothing fails, nothing waits in a
                // journal; but one that ends while the catalog is being opened, before anything
                // is written, refuses the run (-3) as any catalog that cannot be opened does.
                if (ending) EXPECT_TRUE(exit == 0 || exit == -3) << exit << "\n" << console.out;
                const ArchiveState after = State();
                if (exit == 0) {
                    EXPECT_EQ(after, whole) << "a run that ends with 0 left something undone";
                    if (ending) EXPECT_EQ(Records(), wholeRecords);
                    continue;
                }
                EXPECT_FALSE(console.notices.empty())
                    << "a failure that does not say why: " << exit;
                ExpectPartOfTheWhole(after, whole);
                EXPECT_EQ(WrongChecksums(after), std::vector<std::string>());
                // Recovery depends on nothing but what the failed run left: each state left is
                // recovered once (most failures of one statement's calls leave the same).
                if (!recovered.insert(after).second) continue;
                EXPECT_EQ(Check(true), "0");
                EXPECT_EQ(Check(false), "0") << "the repaired archive does not verify";
                ConsoleLines again;
                EXPECT_EQ(Convert(), 0) << again.out;
                EXPECT_EQ(State(), whole) << "not brought back: exit " << exit << "\n"
                                          << console.out;
                if (HasFailure()) return;
            }
        }
    }
    sessionEnder = nullptr;
    std::string summary;
    for (const auto& [code, count] : exits)
        summary += " " + std::to_string(code) + ":" + std::to_string(count) + " (first " +
                   firstOf[code] + ")";
    std::printf("%d injected runs, %zu states recovered; exit codes:%s\n", runs, recovered.size(),
                summary.c_str());
}

INSTANTIATE_TEST_SUITE_P(Catalogs, FaultSweep,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

}  // namespace
