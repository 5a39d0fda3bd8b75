// The converter in the surroundings a data centre gives it: where the archive goes, data
// directories it cannot write to, a file size limit, catalogs that are missing, down,
// locked, lose their table or their session, and a set-up from trq.ini alone. The golden
// recording is converted each time (three files of one block each).

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/Workspace.h"

using namespace testsupport;
using ::testing::HasSubstr;

namespace {

const std::string kGoldenDir = PLQ_SOURCE_DIR "/tests/golden";
const char* const kGoldenChannels[] = {"BHE", "BHN", "BHZ"};

std::string GoldenFile(const char* channel) {
    return std::string("ABC/22102013-134734-") + channel + ".ABC";
}

// The golden archive files below `prefix` ("" or "DIR/").
std::map<std::string, FileState> GoldenFiles(const std::string& prefix = "") {
    std::map<std::string, FileState> files;
    for (const char* channel : kGoldenChannels) {
        const std::string bytes = ReadFile(kGoldenDir + "/archive/" + GoldenFile(channel));
        files[prefix + GoldenFile(channel)] = {bytes.size(), Digest(bytes)};
    }
    return files;
}

class Surroundings : public ::testing::TestWithParam<CatalogKind> {
  protected:
    Surroundings() : ws_(GetParam()) {
        std::filesystem::copy_file(kGoldenDir + "/rec.plq", ws_.Path("rec.plq"));
    }
    std::string RowCount() const {
        return QueryRows(ws_.Catalog(), "SELECT COUNT(*) FROM FILELIST")[0][0];
    }
    Workspace ws_;
};

// Where the archive goes: without DIR the working directory, a relative DIR below it.
TEST_P(Surroundings, DataDirectoryAbsentOrRelative) {
    std::string ini = ws_.IniText("");
    ws_.WriteIni(ini.erase(ini.find("[DATA]\nDIR=\n"), 12));
    ProcessResult result = ws_.Convert("rec.plq");
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr(" DATA=...\n"));
    EXPECT_EQ(ReadFile(ws_.Path(GoldenFile("BHZ"))),
              ReadFile(kGoldenDir + "/archive/" + GoldenFile("BHZ")));

    ws_.WriteIni(ws_.IniText("archive"));
    result = ws_.Convert("rec.plq");
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(ws_.ArchiveFiles(), GoldenFiles());
}

// Mounts below the workspace in a mount namespace of this process's own, which the
// converter inherits: nothing outside is seen or changed. Empty when possible, else why not.
std::string PrivateMounts() {
    static const std::string reason = [] {
        if (::unshare(CLONE_NEWNS) != 0) return std::string("unshare: ") + std::strerror(errno);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return std::string("mount: ") + std::strerror(errno);
        }
        return std::string();
    }();
    return reason;
}

// A data directory that is read-only or full: the run ends with -8, every file that stays
// holds whole blocks that its row describes; a file size limit (ulimit -f) is a write error
// too, not a death by SIGXFSZ. (A missing one is in OperatorSlipsTest.cpp.) An SQLite catalog
// cannot be read under that limit either (its shared memory file is larger): refused at
// connect, before anything is written.
TEST_P(Surroundings, DataDirectoryThatCannotTakeTheArchive) {
    ProcessResult result =
        RunProcess("/usr/bin/prlimit", {"--fsize=3000", ConverterPath(), "rec.plq", "ABC"},
                   ws_.Dir().Path(), ws_.Env());
    const bool sqlite = GetParam() == CatalogKind::kSqlite;
    EXPECT_EQ(result.exitCode, sqlite ? 253 : 248) << result.out;
    EXPECT_THAT(result.err,
                HasSubstr(sqlite ? "FILELIST cannot be read: disk I/O error" : "File too large"));
    EXPECT_TRUE(ws_.ArchiveFiles().empty());

    if (const std::string why = PrivateMounts(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_EQ(::mount("tmpfs", ws_.ArchiveDir().c_str(), "tmpfs", MS_RDONLY, "size=64k"), 0);
    result = ws_.Convert("rec.plq");
    ::umount2(ws_.ArchiveDir().c_str(), MNT_DETACH);
    EXPECT_EQ(result.exitCode, 248);
    EXPECT_THAT(result.out, ::testing::EndsWith("Convert data...\nERROR: write file " +
                                                ws_.ArchiveDir() + "/ABC!!!\n"));
    EXPECT_EQ(result.err, "plq2trq: cannot lock station ABC: make station directory " +
                              ws_.ArchiveDir() + "/ABC: Read-only file system\n");
    EXPECT_EQ(RowCount(), "0");
    // Room for the station directory and one file and a half: two files get their block.
    ASSERT_EQ(::mount("tmpfs", ws_.ArchiveDir().c_str(), "tmpfs", 0, "size=12k"), 0);
    result = ws_.Convert("rec.plq");
    const auto files = ws_.ArchiveFiles();
    ::umount2(ws_.ArchiveDir().c_str(), MNT_DETACH);
    EXPECT_EQ(result.exitCode, 248) << result.out << result.err;
    EXPECT_THAT(result.err, HasSubstr("No space left on device"));
    for (const auto& [path, state] : files) EXPECT_EQ(GoldenFiles().at(path), state) << path;
    EXPECT_EQ(RowCount(), std::to_string(files.size()));
}

// A block that cannot be written and registrations that cannot be made in one run: -8, for
// the archive lacks data (a spool loop takes -9 for "the data is written" and would drop
// the recording). A directory in the way of BHN's file makes its write fail.
TEST_P(Surroundings, WriteFailureOutranksCatalogFailure) {
    RefuseRows(ws_.Catalog());
    std::filesystem::create_directories(ws_.ArchiveDir() + "/" + GoldenFile("BHN"));
    const ProcessResult result = ws_.Convert("rec.plq");
    EXPECT_EQ(result.exitCode, 248) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("Done!\n\n"));
    EXPECT_THAT(result.out, HasSubstr("\nERROR: write file " + ws_.ArchiveDir() + "/" +
                                      GoldenFile("BHN") + "!!!\n"));
    EXPECT_THAT(result.err, HasSubstr("2 registrations were not made; they are kept in"));
}

// A data source the driver manager does not know, a PostgreSQL server that refuses the
// connection, and a refused login: -3 with the connect string (password hidden) and the
// driver's reason on standard error; the recorder file is not even opened. A '%' in the
// names and the driver's message is printed as it is.
TEST_P(Surroundings, CatalogThatCannotBeOpened) {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);  // held, never listening
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string odbcIni = ws_.Path("odbc/odbc.ini");
    WriteFile(odbcIni, ReadFile(odbcIni) +
                           "\n[DOWN]\nDriver=PostgreSQL ANSI\nServername=127.0.0.1\n"
                           "Port=" +
                           std::to_string(ntohs(address.sin_port)) +
                           "\nDatabase=trq\nSSLmode=disable\n");
    for (const std::string dsn : {"NO%sSUCH%d", "DOWN"}) {
        std::string ini = ws_.IniText(ws_.ArchiveDir());
        ini.replace(ini.find("ODBC=TRQ"), 8, "ODBC=" + dsn);
        ws_.WriteIni(ini);
        const ProcessResult result = ws_.Convert("missing.plq");
        const std::string connect = "DSN=" + dsn + ";UID=" + ws_.Catalog().user + ";PWD=***;";
        EXPECT_EQ(result.exitCode, 253) << dsn;
        EXPECT_EQ(result.out, "PLQ2TRQ v1.0\nLoad parameters...\nConnect to DB:" + connect +
                                  " DATA=" + ws_.ArchiveDir() +
                                  "...\nERROR: Can't open Database: " + connect + "\n");
    }
    ::close(socket);
    if (GetParam() != CatalogKind::kPostgres) return;
    std::string ini = ws_.IniText(ws_.ArchiveDir());
    ini.replace(ini.find("PASSWORD=") + 9, ws_.Catalog().password.size(), "wrong");
    ini.replace(ini.find("USER=postgres"), 13, "USER=no%duser%s");
    ws_.WriteIni(ini);
    const ProcessResult refused = ws_.Convert("rec.plq");
    EXPECT_EQ(refused.exitCode, 253);
    EXPECT_EQ(refused.out.find("wrong"), std::string::npos);
    EXPECT_THAT(refused.out, HasSubstr("UID=no%duser%s;PWD=***;"));
    EXPECT_THAT(refused.err, HasSubstr("password authentication failed for user \"no%duser%s\""));
}

// The whole set-up from the system's trq.ini (as several hosts share one): the working
// directory's plq2trq.ini holds only the channel map. trq finds the catalog and the archive
// the same way.
TEST_P(Surroundings, SettingsFromTrqIniAlone) {
    std::string ini = ws_.IniText(ws_.ArchiveDir());
    ws_.WriteTrqIni(ini.substr(0, ini.find("[CHANNELMAP]")));
    ws_.WriteIni("[CHANNELMAP]\n1=BHZ\n2=BHN\n3=BHE\n");
    const ProcessResult result = ws_.Convert("rec.plq");
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(ws_.ArchiveFiles(), GoldenFiles());
    EXPECT_EQ(ws_.Trq({"check"}).out,
              "trq check: 3 files, 3 rows: the archive and the catalog agree\n");
    EXPECT_EQ(ws_.Trq({"export", "archive/" + GoldenFile("BHZ"), "-o", "z.mseed"}).err, "");
}

// Values that a connect string would misread go in braces: a password with ';' and '}'
// logs in to PostgreSQL, and one that looks like another attribute (";Database=...") cannot
// make the driver open another database.
TEST_P(Surroundings, PasswordsThatLookLikeConnectStrings) {
    std::string password = "x;Database=" + ws_.Path("other.db");
    const std::string role = "semi_" + ws_.Catalog().database;
    if (GetParam() == CatalogKind::kPostgres) {
        password = "pa;ss}w{rd";
        ExecuteSql(ws_.Catalog(), "CREATE ROLE " + role + " LOGIN PASSWORD 'pa;ss}w{rd'");
        ExecuteSql(ws_.Catalog(),
                   "GRANT ALL ON FILELIST, FILECHECKSUM, RECORDINGS, RECORDINGFILES TO " + role);
    }
    std::string ini = ws_.IniText(ws_.ArchiveDir());
    ini.replace(ini.find("PASSWORD="),
                ini.find('\n', ini.find("PASSWORD=")) - ini.find("PASSWORD="),
                "PASSWORD=" + password);
    if (GetParam() == CatalogKind::kPostgres) {
        ini.replace(ini.find("USER=postgres"), 13, "USER=" + role);
    }
    ws_.WriteIni(ini);
    const ProcessResult result = ws_.Convert("rec.plq");
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_FALSE(std::filesystem::exists(ws_.Path("other.db")));
    EXPECT_EQ(RowCount(), "3");
    if (GetParam() == CatalogKind::kPostgres) {
        ExecuteSql(ws_.Catalog(), "DROP OWNED BY " + role);
        ExecuteOnCluster("DROP ROLE " + role);
    }
}

// The table refuses every row for one run: its registrations wait in the station's journal
// with their exact values (-9); the next conversion of the station makes them.
TEST_P(Surroundings, CatalogThatRefusesRows) {
    RefuseRows(ws_.Catalog());
    ProcessResult result = ws_.Convert("rec.plq");
    EXPECT_EQ(result.exitCode, 247) << result.out << result.err;
    EXPECT_THAT(result.err, HasSubstr("3 registrations were not made; they are kept in " +
                                      ws_.ArchiveDir() + "/ABC/.plq2trq.journal"));
    EXPECT_EQ(ws_.ArchiveFiles().size(), 4u);  // the files and the journal
    RefuseRows(ws_.Catalog(), false);
    // A line nobody can make stays for a person to read, and keeps the run at -9.
    const std::string journal = ws_.ArchiveDir() + "/ABC/.plq2trq.journal";
    std::ofstream(journal, std::ios::app) << "not a registration\n";
    result = ws_.Convert("rec.plq");
    EXPECT_EQ(result.exitCode, 247) << result.err;
    EXPECT_THAT(result.err, HasSubstr("made 3 registrations kept in"));
    EXPECT_EQ(ReadFile(journal), "not a registration\n");
    std::filesystem::remove(journal);
    EXPECT_EQ(ws_.ArchiveFiles(), GoldenFiles());
    EXPECT_EQ(RowCount(), "3");
}

INSTANTIATE_TEST_SUITE_P(Catalogs, Surroundings,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

}  // namespace
