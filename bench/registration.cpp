// Catalog registration speed: one archive file of N consecutive blocks is registered as the
// converter registers it (RegisterNewFileRow once, then UpdateExtendedFileRow N-1 times),
// on an SQLite catalog in WAL mode and on a PostgreSQL database of a throwaway local
// server, each connected as the converter connects (with the cursor library). Reported:
// wall-clock seconds per registration ("per_registration", e.g. 95u = 95 microseconds).
//
// Both catalogs are made in a temporary directory by scripts/catalog-setup.sh; the
// PostgreSQL server is started there by scripts/pg-test-cluster.sh and stopped at exit.
// Without PostgreSQL server binaries the PostgreSQL case is skipped.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "catalog/FileRegistration.h"
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

    std::string sqliteConnect;
    std::string postgresConnect;  // empty when no server could be started
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
        sqliteConnect = "DSN=BENCHLITE;UID=TRQ;PWD=TRQ;";

        const std::string state = dir_ + "/pg.env";
        if (Run(scripts + "pg-test-cluster.sh start " + state) == 0) {
            clusterState_ = state;
            std::map<std::string, std::string> settings = ReadSettings(state);
            if (Run(scripts + "catalog-setup.sh postgres --dsn BENCHPG --host " +
                    settings["PGHOST"] + " --port " + settings["PGPORT"] +
                    " --db plq_bench --user " + settings["PGUSER"] + " --password " +
                    settings["PGPASSWORD"] + " --ini-dir " + ini) == 0) {
                postgresConnect = "DSN=BENCHPG;UID=" + settings["PGUSER"] +
                                  ";PWD=" + settings["PGPASSWORD"] + ";";
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

void RegisterBlocks(benchmark::State& state, bool postgres) {
    Catalogs& catalogs = Catalogs::Get();
    const std::string& connect = postgres ? catalogs.postgresConnect : catalogs.sqliteConnect;
    if (!catalogs.problem.empty() || connect.empty()) {
        state.SkipWithError(catalogs.problem.empty() ? "no PostgreSQL server"
                                                     : catalogs.problem.c_str());
        return;
    }
    CDatabase database;
    try {
        database.Open(connect, CDatabase::kUseCursorLib);
    } catch (const CDBException& error) {
        state.SkipWithError(("cannot connect: " + error.errorText).c_str());
        return;
    }

    const auto blocks = static_cast<int>(state.range(0));
    static int files = 0;
    for (auto _ : state) {
        FileRegistration file;
        file.path = "STA1\\bench-" + std::to_string(++files) + "-CH1.STA1";
        file.station = "STA1";
        file.channel = "CH1";
        file.start = 1382449654;
        file.rate = 100;
        file.duration = 50;
        bool ok = RegisterNewFileRow(database, "PLQ2TRQ", file);
        for (int block = 1; block < blocks && ok; ++block) {
            file.duration += 50;
            ok = UpdateExtendedFileRow(database, "PLQ2TRQ", file);
        }
        if (!ok) {
            state.SkipWithError("a registration failed");
            break;
        }
    }
    state.counters["per_registration"] = benchmark::Counter(
        blocks, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
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

}  // namespace
