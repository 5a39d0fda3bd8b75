// Catalog scale: the cost of one registration when FILELIST already holds 0, 100,000 and
// 1,000,000 rows. Every registration looks its path up (SELECT ... WHERE cpath='...'), which
// must go through the unique index on CPATH, so the cost has to stay flat as the table
// grows. Measured on an SQLite catalog in WAL mode and on a PostgreSQL database of a
// throwaway local server with durable commits, each connected as the converter connects and
// registered through the converter's registrar.
//
// One iteration registers one archive file the way a typical hour does it: RegisterNewFile
// once, then UpdateExtendedFile 71 times. Reported: "per_registration" (seconds per
// registration, e.g. 95u = 95 microseconds). The table is filled up to the size in the
// benchmark's argument before it is measured (sizes run in increasing order), with rows
// like the converter's, in one statement of the database's own client (SQLite then moves its
// write-ahead log into the database, PostgreSQL vacuums the table and checkpoints, so that
// every size starts from an empty log and clean pages). Times are wall times: a registration
// mostly waits for the database.

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

// One catalog, its connection and registrar, and how many rows it holds.
struct Catalog {
    CatalogLogin login;       // no data source when it could not be made
    std::string fillCommand;  // a printf format taking the first and last row number
    long long rows = 0;
    CDatabase database;
    std::unique_ptr<DatabaseRegistrar> registrar;  // while connected

    bool FillTo(long long target) {
        if (target <= rows) return true;
        char sql[2048];
        std::snprintf(sql, sizeof sql, fillCommand.c_str(), rows + 1, target);
        if (Run(sql) != 0) return false;
        rows = target;
        return true;
    }
};

// Both catalogs, made on first use in a temporary directory, removed at exit. Both data
// sources live in one odbc.ini, written before the first connect.
class Catalogs {
  public:
    static Catalogs& Get() {
        static Catalogs catalogs;
        return catalogs;
    }
    Catalog sqlite;
    Catalog postgres;

  private:
    Catalogs() {
        char pattern[] = "/tmp/plq-bench-scale-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        dir_ = pattern;
        const std::string scripts = SourceDir() + "/scripts/";
        const std::string ini = dir_ + "/odbc";
        const std::string db = dir_ + "/catalog.db";
        if (Run(scripts + "catalog-setup.sh sqlite --dsn SCALELITE --db " + db + " --ini-dir " +
                ini) == 0) {
            sqlite.login = {"SCALELITE", "TRQ", "TRQ", true};
            // The format's %lld pair survives the shell: the SQL goes in single quotes.
            sqlite.fillCommand = "sqlite3 -batch " + db + " \"" + kSqliteFill + "\"";
        }
        const std::string state = dir_ + "/pg.env";
        if (Run(scripts + "pg-test-cluster.sh start " + state + " durable") == 0) {
            clusterState_ = state;
            auto pg = ReadShellSettings(state);
            if (Run(scripts + "catalog-setup.sh postgres --dsn SCALEPG --host " + pg["PGHOST"] +
                    " --port " + pg["PGPORT"] + " --db plq_scale --user " + pg["PGUSER"] +
                    " --password " + pg["PGPASSWORD"] + " --ini-dir " + ini) == 0) {
                postgres.login = {"SCALEPG", pg["PGUSER"], pg["PGPASSWORD"], true};
                postgres.fillCommand = "PGPASSWORD=" + pg["PGPASSWORD"] + " " + pg["PGBIN"] +
                                       "/psql -X -q -v ON_ERROR_STOP=1 -h " + pg["PGHOST"] +
                                       " -p " + pg["PGPORT"] + " -U " + pg["PGUSER"] +
                                       " -d plq_scale -c \"" + kPostgresFill +
                                       "\" -c 'VACUUM ANALYZE FILELIST' -c CHECKPOINT";
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
    std::string dir_;
    std::string clusterState_;
};

void RegisterWithRows(benchmark::State& state, bool postgres) {
    Catalogs& catalogs = Catalogs::Get();
    Catalog& catalog = postgres ? catalogs.postgres : catalogs.sqlite;
    if (catalog.login.dsn.empty()) {
        state.SkipWithError("catalog could not be made");
        return;
    }
    if (catalog.rows != state.range(0)) {
        // A fresh connection on the filled table, as every converter run has one.
        catalog.registrar.reset();
        catalog.database.Close();
        if (!catalog.FillTo(state.range(0))) {
            state.SkipWithError("filling FILELIST failed");
            return;
        }
    }
    if (!catalog.registrar) {
        try {
            catalog.login.Open(catalog.database, kConverterOptions);
        } catch (const CDBException& error) {
            state.SkipWithError(("cannot connect: " + error.errorText).c_str());
            return;
        }
        catalog.registrar = std::make_unique<DatabaseRegistrar>(catalog.database, "PLQ2TRQ",
                                                                catalog.login, kConverterOptions);
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
