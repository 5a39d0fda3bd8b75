#include "tests/support/Catalog.h"

#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "tests/support/RunProcess.h"

namespace testsupport {

namespace {

const char* const kClusterStateFile = PLQ_BINARY_DIR "/pg-test-cluster.env";
const char* const kTemplatesDir = PLQ_BINARY_DIR "/test-catalogs";
const char* const kTemplateDsn = "TEMPLATE_CATALOG";

[[noreturn]] void FailSetup(const std::string& message) {
    ADD_FAILURE() << message;
    throw std::runtime_error(message);
}

using Section = std::vector<std::pair<std::string, std::string>>;

// The key=value lines of section [name] of an ini text.
Section ReadSection(const std::string& text, const std::string& name) {
    Section section;
    std::istringstream in(text);
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.front() == '[') {
            inside = line == "[" + name + "]";
        } else if (const auto eq = line.find('='); inside && eq != std::string::npos) {
            section.emplace_back(line.substr(0, eq), line.substr(eq + 1));
        }
    }
    if (section.empty()) FailSetup("no section [" + name + "]");
    return section;
}

std::string Value(const Section& section, const std::string& key) {
    for (const auto& [k, v] : section) {
        if (k == key) return v;
    }
    FailSetup("no " + key + " in an odbc.ini section");
}

std::map<std::string, std::string> ClusterState() {
    std::ifstream in(kClusterStateFile);
    if (!in) {
        FailSetup(std::string("the test PostgreSQL cluster is not running; run the tests through "
                              "ctest, or scripts/pg-test-cluster.sh start ") +
                  kClusterStateFile);
    }
    std::map<std::string, std::string> state;
    for (std::string line; std::getline(in, line);) {
        if (const auto eq = line.find('='); eq != std::string::npos) {
            state[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return state;
}

// A name no other catalog on the cluster has, from this or any other test process.
std::string UniqueName(const char* prefix) {
    static int serial = 0;
    return std::string(prefix) + std::to_string(::getpid()) + "_" + std::to_string(++serial);
}

// What scripts/test-catalog-templates.sh made for this test run (CTest fixture "catalog"):
// catalog-setup.sh's odbcinst.ini, the data source's settings, and the SQLite file or
// PostgreSQL database every catalog of the kind is copied from.
struct CatalogTemplate {
    std::string odbcinst;
    Section source;
    std::string user;
    std::string password;
};

CatalogTemplate ReadTemplate(CatalogKind kind, bool uniquePath) {
    const std::string dir = std::string(kTemplatesDir) +
                            (kind == CatalogKind::kSqlite ? "/sqlite" : "/postgres") +
                            (uniquePath ? "" : "-plain");
    if (!std::filesystem::exists(dir + "/odbc.ini")) {
        FailSetup("no test catalog template in " + dir +
                  "; run the tests through ctest, which makes them first");
    }
    CatalogTemplate made;
    if (kind == CatalogKind::kSqlite) {
        made.user = made.password = "TRQ";  // SQLite takes any login
    } else {
        std::map<std::string, std::string> state = ClusterState();
        made.user = state["PGUSER"];
        made.password = state["PGPASSWORD"];
    }
    made.odbcinst = ReadFile(dir + "/odbcinst.ini");
    made.source = ReadSection(ReadFile(dir + "/odbc.ini"), kTemplateDsn);
    // The test's own connections name the driver's library, and psqlODBC then takes its
    // logging settings from the machine's odbcinst.ini, where Debian's entry turns the
    // communication log on (a file in /tmp per process). unixODBC settles where its
    // configuration lies at the process's first connection: unless a test chose one,
    // the template's, which turns the log off.
    ::setenv("ODBCSYSINI", dir.c_str(), 0);
    ::setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 0);
    return made;
}

const CatalogTemplate& TemplateOf(CatalogKind kind, bool uniquePath) {
    static std::mutex mutex;
    static std::map<std::pair<CatalogKind, bool>, CatalogTemplate> templates;
    std::lock_guard<std::mutex> lock(mutex);
    const auto key = std::make_pair(kind, uniquePath);
    auto found = templates.find(key);
    if (found == templates.end())
        found = templates.emplace(key, ReadTemplate(kind, uniquePath)).first;
    return found->second;
}

Section WithDatabase(Section section, const std::string& database) {
    for (auto& [key, value] : section) {
        if (key == "Database") value = database;
    }
    return section;
}

// "DRIVER={library};" and every setting of the driver entry and the data source.
std::string DirectConnectString(const CatalogTemplate& made, const Section& source) {
    const Section driver = ReadSection(made.odbcinst, Value(source, "Driver"));
    std::string connect = "DRIVER={" + Value(driver, "Driver") + "};";
    for (const Section* settings : {&driver, &source}) {
        for (const auto& [key, value] : *settings) {
            if (key != "Driver" && key != "Description" && key != "Setup") {
                connect += key + "=" + value + ";";
            }
        }
    }
    return connect + "UID=" + made.user + ";PWD=" + made.password + ";";
}

// RAII handles of one direct connection.
struct Connection {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    bool connected = false;

    explicit Connection(std::string connect) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        Check(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(connect.data()), SQL_NTS,
                               nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
              SQL_HANDLE_DBC, dbc, "connect");
        connected = true;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    }
    ~Connection() {
        if (stmt != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        if (connected) SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    static void Check(SQLRETURN code, SQLSMALLINT type, SQLHANDLE handle, const std::string& what) {
        if (SQL_SUCCEEDED(code) || code == SQL_NO_DATA) return;
        SQLCHAR state[6] = {}, message[512] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
        throw std::runtime_error(what + ": " + reinterpret_cast<const char*>(state) + " " +
                                 reinterpret_cast<const char*>(message));
    }
    void Execute(std::string sql) {
        Check(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), SQL_HANDLE_STMT,
              stmt, sql);
    }
};

std::string NormalCell(const std::string& cell) {
    char* end = nullptr;
    const double number = std::strtod(cell.c_str(), &end);
    if (cell.empty() || end != cell.c_str() + cell.size()) return cell;
    char text[40];
    return std::string(text, std::to_chars(text, text + sizeof text, number).ptr);
}

}  // namespace

std::string CatalogKindName(const ::testing::TestParamInfo<CatalogKind>& info) {
    return info.param == CatalogKind::kSqlite ? "SQLite" : "PostgreSQL";
}

TestCatalog MakeCatalog(CatalogKind kind, const TempDir& dir, const std::string& dsn,
                        bool uniquePath) {
    const CatalogTemplate& made = TemplateOf(kind, uniquePath);
    const std::string config = dir / "odbc";
    std::filesystem::create_directories(config);
    TestCatalog catalog;
    catalog.kind = kind;
    catalog.dsn = dsn;
    catalog.user = made.user;
    catalog.password = made.password;
    const std::string copiedFrom = Value(made.source, "Database");
    if (kind == CatalogKind::kSqlite) {
        catalog.database = config + "/catalog-" + dsn + ".db";
        std::filesystem::copy_file(copiedFrom, catalog.database);
    } else {
        catalog.database = UniqueName("plq_");
        // Copied file by file: for a database this small that costs the server less than
        // writing every page to its log (the default since PostgreSQL 15).
        ExecuteOnCluster("CREATE DATABASE " + catalog.database + " TEMPLATE " + copiedFrom +
                         " STRATEGY FILE_COPY");
    }
    const Section source = WithDatabase(made.source, catalog.database);
    std::ofstream(config + "/odbcinst.ini", std::ios::trunc) << made.odbcinst;
    std::ofstream ini(config + "/odbc.ini", std::ios::app);
    ini << "\n[" << dsn << "]\n";
    for (const auto& [key, value] : source) ini << key << "=" << value << "\n";
    catalog.connect = DirectConnectString(made, source);
    catalog.env = {{"ODBCSYSINI", config}, {"ODBCINI", config + "/odbc.ini"}};
    return catalog;
}

void ExecuteSql(const TestCatalog& catalog, const std::string& sql) {
    Connection(catalog.connect).Execute(sql);
}

void RefuseRows(const TestCatalog& catalog, bool refuse) {
    std::vector<std::string> statements;
    if (catalog.kind == CatalogKind::kSqlite) {
        for (const char* event : {"INSERT", "UPDATE", "DELETE"}) {
            const std::string name = std::string("refuse_") + event;
            statements.push_back(refuse ? "CREATE TRIGGER " + name + " BEFORE " + event +
                                              " ON FILELIST BEGIN SELECT RAISE(ABORT, "
                                              "'refused by the test'); END"
                                        : "DROP TRIGGER " + name);
        }
    } else if (refuse) {
        statements = {
            "CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION "
            "'refused by the test'; END $$ LANGUAGE plpgsql",
            "CREATE TRIGGER refuse BEFORE INSERT OR UPDATE OR DELETE ON FILELIST FOR "
            "EACH ROW EXECUTE FUNCTION refuse()"};
    } else {
        statements = {"DROP TRIGGER refuse ON FILELIST", "DROP FUNCTION refuse()"};
    }
    for (const std::string& statement : statements) ExecuteSql(catalog, statement);
}

std::vector<std::vector<std::string>> FetchRows(Connection& connection, const std::string& sql) {
    connection.Execute(sql);
    SQLSMALLINT columns = 0;
    SQLNumResultCols(connection.stmt, &columns);
    std::vector<std::vector<std::string>> rows;
    while (SQLFetch(connection.stmt) == SQL_SUCCESS) {
        std::vector<std::string> row;
        for (SQLUSMALLINT column = 1; column <= columns; ++column) {
            char value[1024] = {};
            SQLLEN indicator = 0;
            SQLGetData(connection.stmt, column, SQL_C_CHAR, value, sizeof value, &indicator);
            row.push_back(indicator == SQL_NULL_DATA ? "<NULL>" : NormalCell(value));
        }
        rows.push_back(std::move(row));
    }
    SQLFreeStmt(connection.stmt, SQL_CLOSE);
    return rows;
}

std::vector<std::vector<std::string>> QueryRows(const TestCatalog& catalog,
                                                const std::string& sql) {
    Connection connection(catalog.connect);
    return FetchRows(connection, sql);
}

struct CatalogSession::Connection : testsupport::Connection {
    using testsupport::Connection::Connection;
};

CatalogSession::CatalogSession(const TestCatalog& catalog)
    : connection_(std::make_unique<Connection>(catalog.connect)) {}
CatalogSession::~CatalogSession() = default;

void CatalogSession::Execute(const std::string& sql) {
    connection_->Execute(sql);
}

std::vector<std::vector<std::string>> CatalogSession::Query(const std::string& sql) {
    return FetchRows(*connection_, sql);
}

namespace {
const char* const kClusterScript = PLQ_SOURCE_DIR "/scripts/pg-test-cluster.sh";
}

PrivateCluster::PrivateCluster(const TempDir& dir) : dir_(dir.Path()), state_(dir / "cluster.env") {
    const ProcessResult started = RunProcess(kClusterScript, {"start", state_}, dir_);
    if (started.exitCode != 0) FailSetup("cannot start a cluster: " + started.err);
    std::ifstream in(state_);
    for (std::string line; std::getline(in, line);) {
        settings_[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    }
}

PrivateCluster::~PrivateCluster() {
    RunProcess(kClusterScript, {"stop", state_}, dir_);
}

void PrivateCluster::Restart() const {
    EXPECT_EQ(RunProcess(kClusterScript, {"restart", state_}, dir_).exitCode, 0);
}

TestCatalog PrivateCluster::MakeCatalog(const std::string& odbcDir, bool protocol741) const {
    std::map<std::string, std::string> pg = settings_;
    const ProcessResult setup = RunProcess(
        PLQ_SOURCE_DIR "/scripts/catalog-setup.sh",
        {"postgres", "--dsn", "TRQ", "--host", pg["PGHOST"], "--port", pg["PGPORT"], "--db", "trq",
         "--user", pg["PGUSER"], "--password", pg["PGPASSWORD"], "--ini-dir", odbcDir},
        dir_);
    if (setup.exitCode != 0) FailSetup("catalog-setup.sh: " + setup.err);
    std::string ini = ReadFile(odbcDir + "/odbc.ini");
    if (!protocol741) ini.erase(ini.find("Protocol=7.4-1\n"), 15);
    WriteFile(odbcDir + "/odbc.ini", ini);
    TestCatalog catalog;
    catalog.kind = CatalogKind::kPostgres;
    catalog.dsn = "TRQ";
    catalog.user = pg["PGUSER"];
    catalog.password = pg["PGPASSWORD"];
    catalog.database = "trq";
    const Section driver =
        ReadSection(ReadFile(odbcDir + "/odbcinst.ini"), "PLQ2TRQ PostgreSQL ANSI");
    catalog.connect = "DRIVER={" + Value(driver, "Driver") + "};Servername=" + pg["PGHOST"] +
                      ";Port=" + pg["PGPORT"] +
                      ";Database=trq;SSLmode=disable;UID=" + catalog.user +
                      ";PWD=" + catalog.password + ";";
    catalog.env = {{"ODBCSYSINI", odbcDir}, {"ODBCINI", odbcDir + "/odbc.ini"}};
    // As for the templates (ReadTemplate): a test process whose first connection is to this
    // catalog settles on its configuration, not on the machine's, which logs to /tmp.
    ::setenv("ODBCSYSINI", odbcDir.c_str(), 0);
    ::setenv("ODBCINI", (odbcDir + "/odbc.ini").c_str(), 0);
    return catalog;
}

void ExecuteOnCluster(const std::string& sql) {
    const CatalogTemplate& made = TemplateOf(CatalogKind::kPostgres, true);
    Connection(DirectConnectString(made, WithDatabase(made.source, "postgres"))).Execute(sql);
}

}  // namespace testsupport
