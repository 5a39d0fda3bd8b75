#include "tests/support/Catalog.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "tests/support/RunProcess.h"

namespace testsupport {

namespace {

const char* const kSetupScript = PLQ_SOURCE_DIR "/scripts/catalog-setup.sh";
const char* const kClusterStateFile = PLQ_BINARY_DIR "/pg-test-cluster.env";

[[noreturn]] void FailSetup(const std::string& message) {
    ADD_FAILURE() << message;
    throw std::runtime_error(message);
}

// The directory of the catalog's configuration files (and of the SQLite file).
std::string ConfigDir(const TempDir& dir) {
    std::string path = dir / "odbc";
    std::filesystem::create_directories(path);
    return path;
}

// The section [name] of an odbc.ini text, without its header line.
std::string SectionBody(const std::string& ini, const std::string& name) {
    const std::string header = "[" + name + "]\n";
    std::size_t start = ini.find(header);
    if (start == std::string::npos) FailSetup("no data source " + name + " in odbc.ini");
    start += header.size();
    std::size_t end = ini.find("\n[", start);
    return ini.substr(start, end == std::string::npos ? std::string::npos : end + 1 - start);
}

void AppendFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << text;
    if (!out) FailSetup("cannot append to " + path);
}

// The configuration directory this process reads for good once it connects in-process:
// both drivers, and every catalog's data source under its unique name. Removed at exit.
class ProcessOdbcConfig {
  public:
    static ProcessOdbcConfig& Get() {
        static ProcessOdbcConfig config;
        return config;
    }
    ~ProcessOdbcConfig() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string OdbcIni() const { return dir_ + "/odbc.ini"; }
    const std::string& Dir() const { return dir_; }

  private:
    ProcessOdbcConfig() {
        std::string pattern = (std::filesystem::temp_directory_path() / "plq-odbc-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) FailSetup("mkdtemp failed");
        dir_ = pattern;
        ProcessResult result = RunProcess(kSetupScript, {"drivers", "--ini-dir", dir_}, dir_);
        if (result.exitCode != 0) FailSetup("catalog-setup.sh drivers failed: " + result.err);
        WriteFile(OdbcIni(), "");
    }
    std::string dir_;
};

// A data source name that no other catalog of this process has.
std::string UniqueDsn(const std::string& dsn) {
    static int serial = 0;
    return dsn + "_" + std::to_string(++serial);
}

TestCatalog Describe(const TempDir& dir, const std::string& dsn, const std::string& user,
                     const std::string& password, const std::string& database) {
    TestCatalog catalog;
    catalog.dsn = dsn;
    catalog.user = user;
    catalog.password = password;
    const std::string config = ConfigDir(dir);
    catalog.env = {{"ODBCSYSINI", config}, {"ODBCINI", config + "/odbc.ini"}};
    catalog.database = database;
    // The same data source under the unique name, in the catalog's own odbc.ini and in the
    // process-wide one.
    catalog.uniqueDsn = UniqueDsn(dsn);
    const std::string section =
        "\n[" + catalog.uniqueDsn + "]\n" + SectionBody(ReadFile(config + "/odbc.ini"), dsn);
    AppendFile(config + "/odbc.ini", section);
    AppendFile(ProcessOdbcConfig::Get().OdbcIni(), section);
    catalog.connect = "DSN=" + catalog.uniqueDsn + ";UID=" + user + ";PWD=" + password + ";";
    return catalog;
}

void RunSetupScript(const TempDir& dir, std::vector<std::string> args, bool uniquePath) {
    args.push_back("--ini-dir");
    args.push_back(ConfigDir(dir));
    if (!uniquePath) args.push_back("--no-unique-index");
    ProcessResult result = RunProcess(kSetupScript, args, dir.Path());
    if (result.exitCode != 0) {
        FailSetup("catalog-setup.sh failed (" + std::to_string(result.exitCode) +
                  "): " + result.err);
    }
}

// KEY=VALUE lines of the cluster's state file.
std::map<std::string, std::string> ReadClusterState() {
    std::ifstream in(kClusterStateFile);
    if (!in) {
        FailSetup(std::string("the test PostgreSQL cluster is not running (no ") +
                  kClusterStateFile +
                  "); run the tests through ctest, or start it with "
                  "scripts/pg-test-cluster.sh start " +
                  kClusterStateFile);
    }
    std::map<std::string, std::string> state;
    std::string line;
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (eq != std::string::npos) state[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return state;
}

// A database name no other test (in this or any other process) has used on the cluster.
std::string UniqueDatabaseName() {
    static std::mt19937_64 random{std::random_device{}()};
    static int serial = 0;
    std::ostringstream name;
    name << "plq_" << ::getpid() << "_" << ++serial << "_" << std::hex << (random() & 0xffffffff);
    return name.str();
}

// RAII handles for the checking helpers.
struct OdbcConnection {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    bool connected = false;

    explicit OdbcConnection(const TestCatalog& catalog) {
        catalog.UseInThisProcess();
        SQLAllocEnv(&env);
        SQLAllocConnect(env, &dbc);
        std::string connect = catalog.connect;
        SQLRETURN code = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(connect.data()),
                                          SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        Check(code, "SQLDriverConnect(" + connect + ")");
        connected = true;
        Check(SQLAllocStmt(dbc, &stmt), "SQLAllocStmt");
    }
    ~OdbcConnection() {
        if (stmt != SQL_NULL_HSTMT) SQLFreeStmt(stmt, SQL_DROP);
        if (connected) SQLDisconnect(dbc);
        if (dbc != SQL_NULL_HDBC) SQLFreeConnect(dbc);
        if (env != SQL_NULL_HENV) SQLFreeEnv(env);
    }
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;

    void Check(SQLRETURN code, const std::string& call) {
        if (code == SQL_SUCCESS || code == SQL_SUCCESS_WITH_INFO) return;
        SQLCHAR state[6] = {};
        SQLCHAR message[512] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLError(env, dbc, stmt, state, &native, message, sizeof message - 1, &length);
        throw std::runtime_error(call + " failed (" + std::to_string(code) +
                                 "): " + reinterpret_cast<const char*>(state) + " " +
                                 reinterpret_cast<const char*>(message));
    }

    void Execute(const std::string& sql) {
        std::string text = sql;
        SQLRETURN code = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
        if (code != SQL_NO_DATA) Check(code, "SQLExecDirect(" + sql + ")");
    }
};

}  // namespace

void TestCatalog::UseInThisProcess() const {
    const ProcessOdbcConfig& config = ProcessOdbcConfig::Get();
    ::setenv("ODBCSYSINI", config.Dir().c_str(), 1);
    ::setenv("ODBCINI", config.OdbcIni().c_str(), 1);
}

TestCatalog MakeSqliteCatalog(const TempDir& dir, const std::string& dsn, bool uniquePath) {
    const std::string file = ConfigDir(dir) + "/catalog-" + dsn + ".db";
    RunSetupScript(dir, {"sqlite", "--dsn", dsn, "--db", file}, uniquePath);
    // The SQLite driver takes any login: these values only fill the connect string.
    return Describe(dir, dsn, "TRQ", "TRQ", file);
}

TestCatalog MakePostgresCatalog(const TempDir& dir, const std::string& dsn, bool uniquePath) {
    std::map<std::string, std::string> state = ReadClusterState();
    const std::string database = UniqueDatabaseName();
    RunSetupScript(dir,
                   {"postgres", "--dsn", dsn, "--host", state["PGHOST"], "--port", state["PGPORT"],
                    "--db", database, "--user", state["PGUSER"], "--password", state["PGPASSWORD"]},
                   uniquePath);
    return Describe(dir, dsn, state["PGUSER"], state["PGPASSWORD"], database);
}

void ExecuteSql(const TestCatalog& catalog, const std::string& sql) {
    OdbcConnection connection(catalog);
    connection.Execute(sql);
}

std::vector<std::vector<std::string>> QueryRows(const TestCatalog& catalog,
                                                const std::string& sql) {
    OdbcConnection connection(catalog);
    connection.Execute(sql);
    SQLSMALLINT columns = 0;
    connection.Check(SQLNumResultCols(connection.stmt, &columns), "SQLNumResultCols");
    std::vector<std::vector<std::string>> rows;
    for (;;) {
        SQLRETURN code = SQLFetch(connection.stmt);
        if (code == SQL_NO_DATA) break;
        connection.Check(code, "SQLFetch");
        std::vector<std::string> row;
        for (SQLUSMALLINT column = 1; column <= columns; ++column) {
            char value[1024] = {};
            SQLLEN indicator = 0;
            connection.Check(
                SQLGetData(connection.stmt, column, SQL_C_CHAR, value, sizeof value, &indicator),
                "SQLGetData");
            row.emplace_back(indicator == SQL_NULL_DATA ? "<NULL>" : value);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace testsupport
