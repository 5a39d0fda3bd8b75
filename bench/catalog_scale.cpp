// Catalog scale: the cost of one registration when FILELIST already holds 0, 100,000 and
// 1,000,000 rows. Every registration looks its path up (SELECT ... WHERE cpath='...'), which
// must go through the unique index on CPATH, so the cost has to stay flat as the table
// grows. Measured on an SQLite catalog in WAL mode and on a PostgreSQL database of a
// throwaway local server with durable commits, each connected as the converter connects and
// registered through the converter's registrar.
//
// One iteration registers one archive file the way a typical hour does it: a new file once,
// then 71 extensions. Reported: "per_registration" (seconds per registration, e.g. 95u = 95
// microseconds). Each size has a catalog of its own, filled before it is first measured
// with rows like the converter's, in one statement of the database's own client (SQLite
// then moves its write-ahead log into the database, PostgreSQL vacuums the table and
// checkpoints, so that every size starts from an empty log and clean pages), and connected
// once: run with --benchmark_enable_random_interleaving, the repetitions of the three sizes
// take turns, and a change in the machine's load falls on all of them alike. Times are
// wall times: a registration mostly waits for the database.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "catalog/CatalogLogin.h"
#include "catalog/DatabaseRegistrar.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"

namespace {

std::string SourceDir() {
    return std::filesystem::path(__FILE__).parent_path().parent_path().string();
}

int Run(const std::string& command) {
    return std::system((command + " >/dev/null").c_str());
}

std::map<std::string, std::string> ReadShellSettings(const std::string& path) {
    std::map<std::string, std::string> settings;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) settings[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return settings;
}

// "STA<k>\ddmmyyyy-hhmmss-BHZ.STA<k>"-like paths, one per row number, as SQL expressions
// over the row number `n`, in each database's dialect.
const char* const kSqliteFill =
    "WITH RECURSIVE n(i) AS (SELECT %lld UNION ALL SELECT i + 1 FROM n WHERE i < %lld) "
    "INSERT INTO FILELIST (STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,FOFF) "
    "SELECT 'ST' || (i %% 500), 100, 1, 'ST' || (i %% 500) || '\\' || printf('%%010d', i) || "
    "'-BHZ.ST' || (i %% 500), 3, 'BHZ', 'PLQ2TRQ', '2013-10-22 13:47:34', 1382449654 + i, "
    "3600, 512 FROM n; PRAGMA wal_checkpoint(TRUNCATE);";
const char* const kPostgresFill =
    "INSERT INTO FILELIST (STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,FOFF) "
    "SELECT 'ST' || (i %% 500), 100, 1, 'ST' || (i %% 500) || '\\' || lpad(i::text, 10, '0') "
    "|| '-BHZ.ST' || (i %% 500), 3, 'BHZ', 'PLQ2TRQ', '2013-10-22 13:47:34', 1382449654 + i, "
    "3600, 512 FROM generate_series(%lld, %lld) AS i";

constexpr uint32_t kConverterOptions = CDatabase::kSearchedPositionedWrites;

// One catalog of one size, its connection and registrar.
struct Catalog {
    CatalogLogin login;       // no data source when it could not be made
    std::string fillCommand;  // a printf format taking the first and last row number
    long long rows = 0;       // the size it is filled to before its first use
    bool filled = false;
    CDatabase database;
    std::unique_ptr<DatabaseRegistrar> registrar;  // while connected

    // Fills and connects it on first use; the reason when that fails.
    std::string Ready() {
        if (login.dsn.empty()) return "catalog could not be made";
        if (!filled && rows > 0) {
            char sql[2048];
            std::snprintf(sql, sizeof sql, fillCommand.c_str(), 1LL, rows);
            if (Run(sql) != 0) return "filling FILELIST failed";
        }
        filled = true;
        if (registrar) return "";
        try {
            login.Open(database, kConverterOptions);
        } catch (const CDBException& error) {
            return "cannot connect: " + error.errorText;
        }
        registrar =
            std::make_unique<DatabaseRegistrar>(database, "PLQ2TRQ", login, kConverterOptions);
        return "";
    }
};

constexpr long long kSizes[] = {0, 100000, 1000000};

// The catalogs of every size on both databases, made on first use in a temporary
// directory, removed at exit. Their data sources live in one odbc.ini, written before the
// first connect.
class Catalogs {
  public:
    static Catalogs& Get() {
        static Catalogs catalogs;
        return catalogs;
    }
    Catalog& Of(bool postgres, long long rows) {
        const int size = rows == kSizes[0] ? 0 : rows == kSizes[1] ? 1 : 2;
        return (postgres ? postgres_ : sqlite_)[size];
    }

  private:
    Catalogs() {
        char pattern[] = "/tmp/plq-bench-scale-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        dir_ = pattern;
        const std::string ini = dir_ + "/odbc";
        const std::string state = dir_ + "/pg.env";
        std::map<std::string, std::string> pg;
        if (Run(Script("pg-test-cluster.sh start ") + state + " durable") == 0) {
            clusterState_ = state;
            pg = ReadShellSettings(state);
        }
        for (int size = 0; size < 3; ++size) {
            const std::string n = std::to_string(size);
            MakeSqlite(sqlite_[size], "SCALELITE" + n, dir_ + "/catalog" + n + ".db", ini);
            if (!pg.empty()) MakePostgres(postgres_[size], "SCALEPG" + n, "plq_scale" + n, pg, ini);
            sqlite_[size].rows = postgres_[size].rows = kSizes[size];
        }
        if (!pg.empty()) {
            Run("PGPASSWORD=" + pg["PGPASSWORD"] + " " + pg["PGBIN"] + "/psql -X -q -h " +
                pg["PGHOST"] + " -p " + pg["PGPORT"] + " -U " + pg["PGUSER"] +
                " -d postgres -c CHECKPOINT");
        }
        setenv("ODBCSYSINI", ini.c_str(), 1);
        setenv("ODBCINI", (ini + "/odbc.ini").c_str(), 1);
    }
    ~Catalogs() {
        for (Catalog* set : {sqlite_, postgres_}) {
            for (int size = 0; size < 3; ++size) {
                set[size].registrar.reset();
                set[size].database.Close();
            }
        }
        if (!clusterState_.empty()) Run(Script("pg-test-cluster.sh stop ") + clusterState_);
        if (!dir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir_, ignored);
        }
    }

    static std::string Script(const std::string& command) {
        return SourceDir() + "/scripts/" + command;
    }
    static void MakeSqlite(Catalog& catalog, const std::string& dsn, const std::string& db,
                           const std::string& ini) {
        if (Run(Script("catalog-setup.sh sqlite --dsn ") + dsn + " --db " + db + " --ini-dir " +
                ini) != 0) {
            return;
        }
        catalog.login = {dsn, "TRQ", "TRQ", true, ""};
        // The format's %lld pair survives the shell: the SQL goes in single quotes.
        catalog.fillCommand = "sqlite3 -batch " + db + " \"" + kSqliteFill + "\"";
    }
    static void MakePostgres(Catalog& catalog, const std::string& dsn, const std::string& db,
                             std::map<std::string, std::string>& pg, const std::string& ini) {
        if (Run(Script("catalog-setup.sh postgres --dsn ") + dsn + " --host " + pg["PGHOST"] +
                " --port " + pg["PGPORT"] + " --db " + db + " --user " + pg["PGUSER"] +
                " --password " + pg["PGPASSWORD"] + " --ini-dir " + ini) != 0) {
            return;
        }
        catalog.login = {dsn, pg["PGUSER"], pg["PGPASSWORD"], true, ""};
        catalog.fillCommand = "PGPASSWORD=" + pg["PGPASSWORD"] + " " + pg["PGBIN"] +
                              "/psql -X -q -v ON_ERROR_STOP=1 -h " + pg["PGHOST"] + " -p " +
                              pg["PGPORT"] + " -U " + pg["PGUSER"] + " -d " + db + " -c \"" +
                              kPostgresFill + "\" -c 'VACUUM ANALYZE FILELIST' -c CHECKPOINT";
    }

    Catalog sqlite_[3];
    Catalog postgres_[3];
    std::string dir_;
    std::string clusterState_;
};

void RegisterWithRows(benchmark::State& state, bool postgres) {
    Catalog& catalog = Catalogs::Get().Of(postgres, state.range(0));
    const std::string problem = catalog.Ready();
    if (!problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    constexpr int kBlocks = 72;
    static int files = 0;
    for (auto _ : state) {
        FileRegistration file;
        file.path = "STA9\\scale-" + std::to_string(++files) + "-BHZ.STA9";
        file.station = "STA9";
        file.channel = "BHZ";
        file.start = 1382449654;
        file.rate = 100;
        file.duration = 50;
        bool ok = catalog.registrar->Register(RegistrationKind::kNewFile, file) ==
                  RegistrationOutcome::kRegistered;
        for (int block = 1; block < kBlocks && ok; ++block) {
            file.duration += 50;
            ok = catalog.registrar->Register(RegistrationKind::kExtendedFile, file) ==
                 RegistrationOutcome::kRegistered;
        }
        if (!ok) {
            state.SkipWithError("a registration failed");
            break;
        }
    }
    state.counters["rows"] = static_cast<double>(catalog.rows);
    state.counters["per_registration"] = benchmark::Counter(
        kBlocks, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK_CAPTURE(RegisterWithRows, SQLiteWAL, false)
    ->Arg(0)
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(30)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RegisterWithRows, PostgreSQL, true)
    ->Arg(0)
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(30)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
