// Catalog registration speed: one archive file of N consecutive blocks is registered as the
// converter registers it (through its registrar, on a connection opened with the
// converter's options: a new file once, then N-1 extensions), on an SQLite catalog in WAL
// mode and on a PostgreSQL database of a throwaway local server with durable commits (fsync
// and synchronous_commit on, as a server is installed). Reported: wall-clock seconds per
// registration ("per_registration", e.g. 95u = 95 microseconds).
//
// Beside it, the floor the drivers leave: an extension as a bare SELECT + UPDATE pair
// through the ODBC driver alone, both statements prepared once per file (outside the
// timing) and executed for each of the 71 later blocks, each UPDATE committed on its own
// ("DriverPairs", "per_pair").
//
// Both catalogs are made in a temporary directory by scripts/catalog-setup.sh; the
// PostgreSQL server is started there by scripts/pg-test-cluster.sh and stopped at exit.
// Without PostgreSQL server binaries the PostgreSQL cases are skipped.

#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "catalog/CatalogLogin.h"
#include "catalog/DatabaseRegistrar.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"

namespace {

// The repository root, from this source file's path.
std::string SourceDir() {
    return std::filesystem::path(__FILE__).parent_path().parent_path().string();
}

int Run(const std::string& command) {
    return std::system((command + " >/dev/null").c_str());
}

// The two catalogs, made on first use, removed at exit. Both data sources live in one
// odbc.ini, written before the first connect (unixODBC reads it once per process).
class Catalogs {
  public:
    static Catalogs& Get() {
        static Catalogs catalogs;
        return catalogs;
    }

    CatalogLogin sqlite;
    CatalogLogin postgres;  // no data source when no server could be started
    std::string problem;

  private:
    Catalogs() {
        char pattern[] = "/tmp/plq-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            problem = "cannot make a temporary directory";
            return;
        }
        dir_ = pattern;
        const std::string scripts = SourceDir() + "/scripts/";
        const std::string ini = dir_ + "/odbc";
        if (Run(scripts + "catalog-setup.sh sqlite --dsn BENCHLITE --db " + dir_ +
                "/catalog.db --ini-dir " + ini) != 0) {
            problem = "catalog-setup.sh sqlite failed";
            return;
        }
        sqlite = {"BENCHLITE", "TRQ", "TRQ", true, ""};

        const std::string state = dir_ + "/pg.env";
        if (Run(scripts + "pg-test-cluster.sh start " + state + " durable") == 0) {
            clusterState_ = state;
            std::map<std::string, std::string> settings = ReadSettings(state);
            if (Run(scripts + "catalog-setup.sh postgres --dsn BENCHPG --host " +
                    settings["PGHOST"] + " --port " + settings["PGPORT"] +
                    " --db plq_bench --user " + settings["PGUSER"] + " --password " +
                    settings["PGPASSWORD"] + " --ini-dir " + ini) == 0) {
                postgres = {"BENCHPG", settings["PGUSER"], settings["PGPASSWORD"], true, ""};
            }
        }
        setenv("ODBCSYSINI", ini.c_str(), 1);
        setenv("ODBCINI", (ini + "/odbc.ini").c_str(), 1);
    }

    ~Catalogs() {
        if (!clusterState_.empty()) {
            Run(SourceDir() + "/scripts/pg-test-cluster.sh stop " + clusterState_);
        }
        if (!dir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir_, ignored);
        }
    }

    static std::map<std::string, std::string> ReadSettings(const std::string& path) {
        std::map<std::string, std::string> settings;
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line)) {
            const auto eq = line.find('=');
            if (eq != std::string::npos) settings[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return settings;
    }

    std::string dir_;
    std::string clusterState_;
};

// The catalog of a case, or null with the case skipped.
const CatalogLogin* CatalogOf(benchmark::State& state, bool postgres) {
    Catalogs& catalogs = Catalogs::Get();
    const CatalogLogin& login = postgres ? catalogs.postgres : catalogs.sqlite;
    if (catalogs.problem.empty() && !login.dsn.empty()) return &login;
    state.SkipWithError(catalogs.problem.empty() ? "no PostgreSQL server"
                                                 : catalogs.problem.c_str());
    return nullptr;
}

FileRegistration FirstBlock(const std::string& path) {
    FileRegistration file;
    file.path = path;
    file.station = "STA1";
    file.channel = "CH1";
    file.start = 1382449654;
    file.rate = 100;
    file.duration = 50;
    return file;
}

constexpr uint32_t kConverterOptions = CDatabase::kSearchedPositionedWrites;

void RegisterBlocks(benchmark::State& state, bool postgres) {
    const CatalogLogin* login = CatalogOf(state, postgres);
    if (login == nullptr) return;
    CDatabase database;
    try {
        login->Open(database, kConverterOptions);
    } catch (const CDBException& error) {
        state.SkipWithError(("cannot connect: " + error.errorText).c_str());
        return;
    }
    DatabaseRegistrar registrar(database, "PLQ2TRQ", *login, kConverterOptions);
    const auto blocks = static_cast<int>(state.range(0));
    static int files = 0;
    for (auto _ : state) {
        FileRegistration file = FirstBlock("STA1\\bench-" + std::to_string(++files) + "-CH1.STA1");
        bool ok = registrar.Register(RegistrationKind::kNewFile, file) ==
                  RegistrationOutcome::kRegistered;
        for (int block = 1; block < blocks && ok; ++block) {
            file.duration += 50;
            ok = registrar.Register(RegistrationKind::kExtendedFile, file) ==
                 RegistrationOutcome::kRegistered;
        }
        if (!ok) {
            state.SkipWithError("a registration failed");
            break;
        }
    }
    state.counters["per_registration"] = benchmark::Counter(
        blocks, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// A bare ODBC connection and two statements on it, for the driver's floor.
class DriverPair {
  public:
    explicit DriverPair(const CatalogLogin& login) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
        std::string connect = login.ConnectString();
        ok_ = SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr,
                                             reinterpret_cast<SQLCHAR*>(connect.data()), SQL_NTS,
                                             nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &select_);
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &update_);
    }
    ~DriverPair() {
        SQLFreeHandle(SQL_HANDLE_STMT, select_);
        SQLFreeHandle(SQL_HANDLE_STMT, update_);
        SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }
    DriverPair(const DriverPair&) = delete;
    DriverPair& operator=(const DriverPair&) = delete;

    // Inserts the row of `path` and prepares its SELECT and UPDATE.
    bool Start(const std::string& path) {
        std::string insert =
            "INSERT INTO FILELIST (STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,"
            "LDDATE,TBEGIN,TQTY,FOFF) VALUES ('STA1',100,1,'" +
            path + "',3,'CH1','PLQ2TRQ','2013-10-22 13:47:34',1382449654,50,512)";
        std::string select =
            "SELECT STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,"
            "FOFF FROM FILELIST WHERE cpath='" +
            path + "'";
        std::string update = "UPDATE FILELIST SET TQTY=? WHERE CPATH='" + path + "'";
        SQLFreeStmt(update_, SQL_CLOSE);
        if (!ok_ || !Succeeded(SQLExecDirect(update_, Text(insert), SQL_NTS))) return false;
        SQLFreeStmt(select_, SQL_CLOSE);
        if (!Succeeded(SQLPrepare(select_, Text(select), SQL_NTS)) ||
            !Succeeded(SQLPrepare(update_, Text(update), SQL_NTS))) {
            return false;
        }
        for (SQLUSMALLINT column = 1; column <= 11; ++column) {
            SQLBindCol(select_, column, SQL_C_CHAR, columns_[column - 1], sizeof columns_[0],
                       &indicators_[column - 1]);
        }
        return Succeeded(SQLBindParameter(update_, 1, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15,
                                          0, &duration_, 0, nullptr));
    }

    // The row read, then its TQTY set.
    bool Pair(double duration) {
        duration_ = duration;
        const bool read = Succeeded(SQLExecute(select_)) && Succeeded(SQLFetch(select_));
        SQLFreeStmt(select_, SQL_CLOSE);
        return read && Succeeded(SQLExecute(update_));
    }

  private:
    static SQLCHAR* Text(std::string& text) { return reinterpret_cast<SQLCHAR*>(text.data()); }
    static bool Succeeded(SQLRETURN code) { return SQL_SUCCEEDED(code); }

    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    SQLHSTMT select_ = SQL_NULL_HSTMT;
    SQLHSTMT update_ = SQL_NULL_HSTMT;
    bool ok_ = false;
    char columns_[11][256] = {};
    SQLLEN indicators_[11] = {};
    double duration_ = 0;
};

void DriverPairs(benchmark::State& state, bool postgres) {
    const CatalogLogin* login = CatalogOf(state, postgres);
    if (login == nullptr) return;
    DriverPair pair(*login);
    const auto blocks = static_cast<int>(state.range(0));
    static int files = 0;
    for (auto _ : state) {
        state.PauseTiming();  // the row made and the statements prepared: once per file
        bool ok = pair.Start("STA1\\floor-" + std::to_string(++files) + "-CH1.STA1");
        state.ResumeTiming();
        for (int block = 1; block < blocks && ok; ++block) ok = pair.Pair(50.0 * (block + 1));
        if (!ok) {
            state.SkipWithError("the driver refused a statement");
            break;
        }
    }
    state.counters["per_pair"] = benchmark::Counter(
        blocks - 1, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// 72 blocks of 50 s: one hour of one channel of the typical recording.
// Wall-clock time: the PostgreSQL server works in a process of its own.
BENCHMARK_CAPTURE(RegisterBlocks, SQLiteWAL, false)
    ->Arg(72)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RegisterBlocks, PostgreSQL, true)
    ->Arg(72)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DriverPairs, SQLiteWAL, false)
    ->Arg(72)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DriverPairs, PostgreSQL, true)
    ->Arg(72)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
