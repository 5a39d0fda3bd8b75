// What surrounds a run, gotten wrong: odd ini values, a data directory that is missing,
// read-only or full, a file size limit, and a catalog that is missing, locked or down. Each
// ends with its documented messages and exit code, never with a crash or a hang, and never
// with an archive file that holds other samples than its catalog row says.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/endtoend/EndToEndSupport.h"

using namespace endtoend;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

plqgen::RecordingSpec SmallRecording(int32_t samples = 1000) {
    plqgen::RecordingSpec spec = TypicalHour();
    spec.samplesPerChannel = samples;
    return spec;
}

// "ERROR: write file <dir>/ABC/22102013-134734-<channel>.ABC!!!" for BHZ, BHN and BHE: what
// the final flush prints when none of the small recording's blocks can be written.
std::string WriteErrors(const std::string& dataDir) {
    std::string lines;
    for (const std::string& channel : kChannelNames) {
        lines += "ERROR: write file " + dataDir + "/ABC/22102013-134734-" + channel + ".ABC!!!\n";
    }
    return lines;
}

const std::string kAllRead = "Convert data...\nDone!\n\n";

class RunEnvironment : public ::testing::Test {
  protected:
    void SetUp() override {
        if (SystemTrqIniExists()) GTEST_SKIP() << "a system trq.ini would change the settings";
        ws_.WriteRecording("rec.plq", SmallRecording());
    }

    // The lines of a run of rec.plq up to "Done!", with data directory `dataDir` as printed.
    std::string ReadLines(const std::string& dataDir, const std::string& station = "ABC") const {
        return ws_.ConnectedLines(dataDir) + "Convert file rec.plq (sta=" + station +
               ")...\nRead header...\n" + HeaderDump(SmallRecording()) + kAllRead;
    }

    // Adds a data source section to the odbc.ini the converter reads.
    void AddDataSource(const std::string& section) const {
        const std::string path = ws_.Dir() / "odbc/odbc.ini";
        WriteFile(path, ReadFile(path) + "\n" + section);
    }

    Workspace ws_;
};

// ---------------------------------------------------------------- ini values

// Without a DATA DIR the data directory is the working directory: the archive is written
// there, not at the root of the file system.
TEST_F(RunEnvironment, NoDataDirectoryMeansTheWorkingDirectory) {
    const std::string station = "E2ENODIR";
    const std::string underRoot = "/" + station;
    ASSERT_FALSE(std::filesystem::exists(underRoot)) << underRoot << " is in the way";
    ws_.WriteIni("[DATABASE]\nODBC=" + ws_.Catalog().dsn + "\nUSER=" + ws_.Catalog().user +
                 "\nPASSWORD=" + ws_.Catalog().password + "\n[CHANNELMAP]\n1=BHZ\n2=BHN\n3=BHE\n");
    const ProcessResult result = ws_.Run("rec.plq", station);
    if (std::filesystem::exists(underRoot)) {
        std::filesystem::remove_all(underRoot);
        ADD_FAILURE() << "the archive went to " << underRoot;
    }
    EXPECT_EQ(result.exitCode, kConverted) << result.out;
    EXPECT_EQ(result.out, ReadLines("", station));
    EXPECT_EQ(Workspace::FilesBelow(ws_.Dir() / station),
              (std::set<std::string>{"22102013-134734-BHE.E2ENODIR", "22102013-134734-BHN.E2ENODIR",
                                     "22102013-134734-BHZ.E2ENODIR"}));
    EXPECT_EQ(ws_.RowCount(), "3");
}

// An ini file of binary garbage has no sections: the channel map's not-found message, the
// fallback login to data source TRQ (which the workspace has), channels CH1 to CH3 and the
// working directory as data directory.
TEST_F(RunEnvironment, GarbageIniFileFallsBackToTheDefaults) {
    std::string garbage;
    for (int i = 0; i < 4000; ++i) garbage += static_cast<char>((i * 7919) % 251);
    ws_.WriteIni(garbage);
    ASSERT_EQ(ws_.Catalog().dsn, "TRQ");
    const ProcessResult result = ws_.Run("rec.plq");
    EXPECT_EQ(result.exitCode, kConverted) << result.out;
    EXPECT_EQ(result.out, kBanner +
                              "Not found channels map in ./plq2trq.ini! Use default (1,2,3 e.t.c)\n"
                              "Connect to DB:DSN=TRQ;UID=TRQ;PWD=***; DATA=...\n"
                              "Convert file rec.plq (sta=ABC)...\nRead header...\n" +
                              HeaderDump(SmallRecording()) + kAllRead);
    EXPECT_EQ(Workspace::FilesBelow(ws_.Dir() / "ABC"),
              (std::set<std::string>{"22102013-134734-CH1.ABC", "22102013-134734-CH2.ABC",
                                     "22102013-134734-CH3.ABC"}));
    EXPECT_EQ(ws_.RowCount(), "3");
}

TEST_F(RunEnvironment, OddButUsableValues) {
    const testsupport::TestCatalog& catalog = ws_.Catalog();
    const std::string login = "[DATABASE]\nODBC=" + catalog.dsn + "\nUSER=" + catalog.user +
                              "\nPASSWORD=" + catalog.password + "\n";
    const std::string map = "[CHANNELMAP]\n1=BHZ\n2=BHN\n3=BHE\n";
    // A relative directory (from the working directory) and one with a trailing separator.
    for (const std::string& dir : {std::string("archive"), ws_.ArchiveDir() + "/"}) {
        SCOPED_TRACE(dir);
        std::filesystem::remove_all(ws_.ArchiveDir());
        std::filesystem::create_directory(ws_.ArchiveDir());
        ws_.WriteIni(login + "[DATA]\nDIR=" + dir + "\n" + map);
        const ProcessResult result = ws_.Run("rec.plq");
        EXPECT_EQ(result.exitCode, kConverted) << result.out;
        EXPECT_EQ(result.out, ReadLines(dir));
        EXPECT_EQ(ws_.ArchiveFiles().size(), 3u);
        EXPECT_EQ(testsupport::QueryRows(catalog, "SELECT CPATH FROM FILELIST ORDER BY CPATH"),
                  (std::vector<std::vector<std::string>>{{"ABC\\22102013-134734-BHE.ABC"},
                                                         {"ABC\\22102013-134734-BHN.ABC"},
                                                         {"ABC\\22102013-134734-BHZ.ABC"}}));
    }
}

// A channel name that would lead out of the station directory (or whose backslash would
// split the catalog's path): the recording is refused before anything is written, -12.
TEST_F(RunEnvironment, ChannelNameWithASeparatorIsRefused) {
    const testsupport::TestCatalog& catalog = ws_.Catalog();
    for (const std::string name : {"../Z", "B\\Z"}) {
        ws_.WriteIni("[DATABASE]\nODBC=" + catalog.dsn + "\nUSER=" + catalog.user +
                     "\nPASSWORD=" + catalog.password + "\n[DATA]\nDIR=" + ws_.ArchiveDir() +
                     "\n[CHANNELMAP]\n1=BHZ\n2=" + name + "\n3=BHE\n");
        const ProcessResult result = ws_.Run("rec.plq");
        EXPECT_EQ(result.exitCode, 244);
        std::string expected = ReadLines(ws_.ArchiveDir());
        expected.erase(expected.rfind("Done!\n\n"));  // refused before any channel is read
        EXPECT_EQ(result.out, expected + "ERROR: bad channel name " + name + "!!!\n");
        EXPECT_TRUE(std::filesystem::is_empty(ws_.ArchiveDir()));
        EXPECT_EQ(ws_.RowCount(), "0");
    }
}

// ---------------------------------------------------------------- data directory

TEST_F(RunEnvironment, MissingDataDirectory) {
    std::filesystem::remove(ws_.ArchiveDir());
    const ProcessResult result = ws_.Run("rec.plq");
    EXPECT_EQ(result.exitCode, kArchiveWrite);
    EXPECT_EQ(result.out, ReadLines(ws_.ArchiveDir()) + WriteErrors(ws_.ArchiveDir()));
    EXPECT_FALSE(std::filesystem::exists(ws_.ArchiveDir()));
    EXPECT_EQ(ws_.RowCount(), "0");
}

// A plain file where the data directory should be: nothing can be written below it (tests
// run as root, which permission bits do not stop; see also the read-only mount below).
TEST_F(RunEnvironment, FileInPlaceOfTheDataDirectory) {
    std::filesystem::remove(ws_.ArchiveDir());
    WriteFile(ws_.ArchiveDir(), "not a directory");
    const ProcessResult result = ws_.Run("rec.plq");
    EXPECT_EQ(result.exitCode, kArchiveWrite);
    EXPECT_EQ(result.out, ReadLines(ws_.ArchiveDir()) + WriteErrors(ws_.ArchiveDir()));
    EXPECT_EQ(ReadFile(ws_.ArchiveDir()), "not a directory");
    EXPECT_EQ(ws_.RowCount(), "0");
}

// Mounts below the test's temporary directory, in a mount namespace of this process's own
// (the converter started from it inherits it), so that nothing is seen or changed outside.
class PrivateMount {
  public:
    // Empty when mounts are possible here, else why not.
    static std::string Unavailable() {
        static const std::string reason = [] {
            if (::unshare(CLONE_NEWNS) != 0) {
                return std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
            }
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
                return std::string("mount --make-rprivate /: ") + std::strerror(errno);
            }
            return std::string();
        }();
        return reason;
    }
    // A tmpfs of `size` bytes on `dir`.
    static bool Tmpfs(const std::string& dir, std::size_t size, PrivateMount& mount) {
        const std::string options = "size=" + std::to_string(size);
        return mount.Keep(dir, ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()));
    }
    // `dir` itself, made read-only.
    static bool ReadOnly(const std::string& dir, PrivateMount& mount) {
        if (!mount.Keep(dir, ::mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr))) {
            return false;
        }
        return ::mount(nullptr, dir.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) ==
               0;
    }
    PrivateMount() = default;
    PrivateMount(const PrivateMount&) = delete;
    PrivateMount& operator=(const PrivateMount&) = delete;
    ~PrivateMount() {
        if (!dir_.empty()) ::umount2(dir_.c_str(), MNT_DETACH);
    }

  private:
    bool Keep(const std::string& dir, int result) {
        if (result == 0) dir_ = dir;
        return result == 0;
    }
    std::string dir_;
};

TEST_F(RunEnvironment, ReadOnlyDataDirectory) {
    if (const std::string reason = PrivateMount::Unavailable(); !reason.empty()) {
        GTEST_SKIP() << "no private mounts here (" << reason << ")";
    }
    PrivateMount mount;
    ASSERT_TRUE(PrivateMount::ReadOnly(ws_.ArchiveDir(), mount)) << std::strerror(errno);
    const ProcessResult result = ws_.Run("rec.plq");
    EXPECT_EQ(result.exitCode, kArchiveWrite);
    EXPECT_EQ(result.out, ReadLines(ws_.ArchiveDir()) + WriteErrors(ws_.ArchiveDir()));
    EXPECT_TRUE(ws_.ArchiveFiles().empty());
    EXPECT_EQ(ws_.RowCount(), "0");
}

// The archive's file system fills up half-way: the blocks that do not fit are reported, and
// every file that stays holds whole blocks that its row describes exactly.
TEST_F(RunEnvironment, FullDataDirectory) {
    if (const std::string reason = PrivateMount::Unavailable(); !reason.empty()) {
        GTEST_SKIP() << "no private mounts here (" << reason << ")";
    }
    const plqgen::RecordingSpec spec = SmallRecording(20000);
    ws_.WriteRecording("big.plq", spec);
    PrivateMount mount;
    ASSERT_TRUE(PrivateMount::Tmpfs(ws_.ArchiveDir(), 64 * 1024, mount)) << std::strerror(errno);
    const ProcessResult result = ws_.Run("big.plq");
    EXPECT_EQ(result.exitCode, kArchiveWrite) << result.out;
    EXPECT_NE(result.out.find("Done!\n\n"), std::string::npos);
    EXPECT_NE(result.out.find("ERROR: write file "), std::string::npos);
    const std::vector<ArchiveFileState> files = CheckStationArchive(ws_.ArchiveDir(), "ABC", spec);
    EXPECT_FALSE(files.empty());
    EXPECT_EQ(StationRows(ws_.Catalog(), "ABC"), RowsFor(files));
}

// A file size limit set by the shell (ulimit -f) would kill the converter with SIGXFSZ in
// the middle of a file. It is a write error like a full disk instead. The catalog is on
// PostgreSQL here, whose files the limit does not reach.
TEST(RunEnvironmentLimits, FileSizeLimitIsAWriteErrorNotADeath) {
    if (SystemTrqIniExists()) GTEST_SKIP() << "a system trq.ini would change the settings";
    testsupport::TempDir dir;
    const testsupport::TestCatalog catalog = testsupport::MakePostgresCatalog(dir);
    std::filesystem::create_directory(dir / "archive");
    WriteFile(dir / "plq2trq.ini", IniText(&catalog, dir / "archive"));
    const plqgen::RecordingSpec spec = SmallRecording(20000);
    plqgen::WriteRecording(dir / "big.plq", spec);
    // 30000 bytes: the first block of a file (20512 bytes) fits, a second one does not.
    const ProcessResult result = testsupport::RunProcess(
        "/usr/bin/prlimit", {"--fsize=30000", testsupport::ConverterPath(), "big.plq", "ABC"},
        dir.Path(), catalog.env);
    EXPECT_EQ(result.exitCode, kArchiveWrite) << result.out << result.err;
    EXPECT_NE(result.out.find("Done!\n\n"), std::string::npos);
    const std::vector<ArchiveFileState> files = CheckStationArchive(dir / "archive", "ABC", spec);
    // Blocks 1 and 3 of each channel start files of their own; blocks 2 and 4 are refused.
    ASSERT_EQ(files.size(), 6u);
    for (const ArchiveFileState& file : files) EXPECT_EQ(file.sampleCount, 5000u);
    EXPECT_EQ(StationRows(catalog, "ABC"), RowsFor(files));
}

// ---------------------------------------------------------------- catalog

// A data source whose SQLite file cannot be made, and a PostgreSQL server that is down
// (its port refuses connections): the connection cannot be opened, nothing is read.
TEST_F(RunEnvironment, CatalogMissingOrDown) {
    const testsupport::ProcessResult drivers =
        testsupport::RunProcess(std::string(PLQ_SOURCE_DIR) + "/scripts/catalog-setup.sh",
                                {"drivers", "--ini-dir", ws_.Dir() / "odbc"}, ws_.Dir().Path());
    ASSERT_EQ(drivers.exitCode, 0) << drivers.err;
    // A port that this process holds without listening on it: connections are refused.
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(socket, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length), 0);
    AddDataSource("[NOFILE]\nDriver=SQLite3\nDatabase=" + (ws_.Dir() / "missing/catalog.db") +
                  "\n\n[DOWN]\nDriver=PostgreSQL ANSI\nServername=127.0.0.1\nPort=" +
                  std::to_string(ntohs(address.sin_port)) +
                  "\nDatabase=trq\nUsername=trq\nSSLmode=disable\n");
    for (const std::string dsn : {"NOFILE", "DOWN"}) {
        SCOPED_TRACE(dsn);
        ws_.WriteIni("[DATABASE]\nODBC=" + dsn + "\nUSER=trq\nPASSWORD=pw\n[DATA]\nDIR=" +
                     ws_.ArchiveDir() + "\n[CHANNELMAP]\n1=BHZ\n");
        const ProcessResult result = ws_.Run("rec.plq");
        EXPECT_EQ(result.exitCode, kDatabase);
        const std::string connect = "DSN=" + dsn + ";UID=trq;PWD=***;";
        EXPECT_EQ(result.out, kBanner + "Connect to DB:" + connect + " DATA=" + ws_.ArchiveDir() +
                                  "...\nERROR: Can't open Database: " + connect + "\n");
    }
    ::close(socket);
    EXPECT_TRUE(ws_.ArchiveFiles().empty());
}

// A second connection to the SQLite catalog in this process, with a write transaction open
// (a row inserted and not committed): the database's write lock is held until Release().
class SqliteWriteLock {
  public:
    explicit SqliteWriteLock(const testsupport::TestCatalog& catalog) {
        catalog.UseInThisProcess();
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
        std::string connect = catalog.connect;
        SQLCHAR out[1024];
        SQLSMALLINT outLength = 0;
        connected_ = SQL_SUCCEEDED(
            SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(connect.data()), SQL_NTS,
                             out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT));
        if (!connected_) return;
        SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
        SQLHSTMT statement = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &statement);
        std::string insert = "INSERT INTO FILELIST (CPATH) VALUES ('held')";
        held_ = SQL_SUCCEEDED(
            SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(insert.data()), SQL_NTS));
        SQLFreeHandle(SQL_HANDLE_STMT, statement);
    }
    bool Held() const { return held_; }
    void Release() {
        if (connected_) {
            SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
            SQLDisconnect(dbc_);
            connected_ = held_ = false;
        }
    }
    ~SqliteWriteLock() {
        Release();
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }
    SqliteWriteLock(const SqliteWriteLock&) = delete;
    SqliteWriteLock& operator=(const SqliteWriteLock&) = delete;

  private:
    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool connected_ = false;
    bool held_ = false;
};

// Another writer holds the SQLite catalog longer than the data source waits for it (its
// Timeout, shortened here from catalog-setup.sh's 100 s to 0.2 s): every registration
// reports the driver's message, the archive files are written whole, and the run ends -9.
TEST_F(RunEnvironment, CatalogLockedByAnotherWriter) {
    const std::string ini = ws_.Dir() / "odbc/odbc.ini";
    std::string text = ReadFile(ini);
    for (std::size_t at = text.find("Timeout=100000"); at != std::string::npos;
         at = text.find("Timeout=100000", at)) {
        text.replace(at, 14, "Timeout=200");
    }
    WriteFile(ini, text);

    SqliteWriteLock lock(ws_.Catalog());
    ASSERT_TRUE(lock.Held());
    const ProcessResult result = ws_.Run("rec.plq");
    lock.Release();

    EXPECT_EQ(result.exitCode, kCatalog);
    std::string locked;
    for (int i = 0; i < 3; ++i) locked += "database is locked (5)\n\n\n";
    EXPECT_EQ(result.out, ReadLines(ws_.ArchiveDir()) + locked);
    const std::vector<ArchiveFileState> files =
        CheckStationArchive(ws_.ArchiveDir(), "ABC", SmallRecording());
    ASSERT_EQ(files.size(), 3u);
    for (const ArchiveFileState& file : files) EXPECT_EQ(file.sampleCount, 1000u);
    EXPECT_EQ(ws_.RowCount(), "0");
}

}  // namespace
