// Availability at catalog scale: what `trq avail` does for one station's year when FILELIST
// holds about a million rows. The archive it stands for: 12 stations, 3 channels each,
// 28,000 hourly files per channel (3.2 years from 2013-01-01), a file missing every 500
// hours: 1,005,984 rows. Asked: every channel of one station over 2014, 26,229 rows with 54
// gaps, read through the index on (STA, CH, TBEGIN), joined into runs and turned into
// spans, gaps and coverage. One iteration connects, as every `trq avail` run does.
//
// Measured on an SQLite catalog (WAL) and on a database of a throwaway local PostgreSQL
// server (durable commits, as installed), both made by scripts/catalog-setup.sh in a temporary
// directory and filled by the databases' own clients. Reported: "rows" read and "gaps" found per
// iteration.

#include "catalog/Availability.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "catalog/CatalogSelection.h"
#include "catalog/ContinuousSegments.h"

namespace {

constexpr long long kRowNumbers = 12LL * 3 * 28000;  // before the holes
constexpr int64_t k20140101 = 1388534400;
constexpr int64_t k20150101 = 1420070400;

// Row i: station i / 84000, channel i % 3, hour (i / 3) % 28000, absent when that hour
// is a hole. Expressions in the dialect both databases share, around their row source.
const char* const kRowColumns =
    "INSERT INTO FILELIST (STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,FOFF) "
    "SELECT 'ST' || (i / 84000), 100, 1, 'ST' || (i / 84000) || '\\' || i || '.ST', 3, "
    "CASE i % 3 WHEN 0 THEN 'BHZ' WHEN 1 THEN 'BHN' ELSE 'BHE' END, 'PLQ2TRQ', "
    "'2013-01-01 00:00:00', 1356998400.25 + ((i / 3) % 28000) * 3600, 3600, 512 ";
const char* const kRowCondition = " WHERE ((i / 3) % 28000) % 500 <> 7";

std::string SourceDir() {
    return std::filesystem::path(__FILE__).parent_path().parent_path().string();
}

bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::map<std::string, std::string> ReadAssignments(const std::string& path) {
    std::map<std::string, std::string> values;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (const auto eq = line.find('='); eq != std::string::npos) {
            values[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return values;
}

// Both catalogs, made and filled on first use, removed at exit.
class FilledCatalogs {
  public:
    static FilledCatalogs& Get() {
        static FilledCatalogs catalogs;
        return catalogs;
    }
    std::optional<CatalogLogin> sqlite;
    std::optional<CatalogLogin> postgres;

  private:
    FilledCatalogs() {
        char pattern[] = "/tmp/plq-bench-avail-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        dir_ = pattern;
        setenv("ODBCSYSINI", (dir_ + "/odbc").c_str(), 1);
        setenv("ODBCINI", (dir_ + "/odbc/odbc.ini").c_str(), 1);
        MakeSqlite();
        MakePostgres();
    }
    ~FilledCatalogs() {
        if (!state_.empty()) Shell(SourceDir() + "/scripts/pg-test-cluster.sh stop " + state_);
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }

    std::string Setup(const std::string& arguments) const {
        return SourceDir() + "/scripts/catalog-setup.sh " + arguments + " --ini-dir " + dir_ +
               "/odbc";
    }

    void MakeSqlite() {
        const std::string db = dir_ + "/catalog.db";
        const std::string fill =
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
            "WHERE i < " +
            std::to_string(kRowNumbers - 1) + ") " + kRowColumns + "FROM n" + kRowCondition +
            "; PRAGMA wal_checkpoint(TRUNCATE);";
        if (Shell(Setup("sqlite --dsn AVAILLITE --db " + db)) &&
            Shell("sqlite3 -batch " + db + " \"" + fill + "\"")) {
            sqlite = CatalogLogin{"AVAILLITE", "", "", false, ""};
        }
    }

    void MakePostgres() {
        const std::string state = dir_ + "/pg.env";
        if (!Shell(SourceDir() + "/scripts/pg-test-cluster.sh start " + state + " durable")) {
            return;
        }
        state_ = state;
        auto pg = ReadAssignments(state);
        const std::string fill = std::string(kRowColumns) + "FROM generate_series(0, " +
                                 std::to_string(kRowNumbers - 1) + ") AS i" + kRowCondition +
                                 "; ANALYZE FILELIST;";
        if (Shell(Setup("postgres --dsn AVAILPG --host " + pg["PGHOST"] + " --port " +
                        pg["PGPORT"] + " --db plq_avail --user " + pg["PGUSER"] + " --password " +
                        pg["PGPASSWORD"])) &&
            Shell("PGPASSWORD=" + pg["PGPASSWORD"] + " " + pg["PGBIN"] + "/psql -X -q -v " +
                  "ON_ERROR_STOP=1 -h " + pg["PGHOST"] + " -p " + pg["PGPORT"] + " -U " +
                  pg["PGUSER"] + " -d plq_avail -c \"" + fill + "\"")) {
            postgres = CatalogLogin{"AVAILPG", pg["PGUSER"], pg["PGPASSWORD"], false, ""};
        }
    }

    std::string dir_;
    std::string state_;
};

void AvailabilityOfAStationsYear(benchmark::State& state, bool postgres) {
    FilledCatalogs& catalogs = FilledCatalogs::Get();
    const std::optional<CatalogLogin>& login = postgres ? catalogs.postgres : catalogs.sqlite;
    if (!login) {
        state.SkipWithError("the catalog could not be made");
        return;
    }
    CatalogSelection selection;
    selection.stations = {"ST5"};
    selection.from = k20140101 * 1000000;
    selection.to = k20150101 * 1000000;
    std::size_t rows = 0;
    std::size_t gaps = 0;
    for (auto _ : state) {
        CatalogStore catalog(*login, CatalogStore::Use::kReadOnly);
        std::vector<CatalogRow> found = catalog.SelectRows(selection);
        rows = found.size();
        const std::vector<ContinuousSegment> segments = JoinIntoSegments(std::move(found));
        gaps = 0;
        for (const auto& channel :
             DescribeAvailability(segments, SelectionWindow(selection, segments))) {
            gaps += channel.gaps.size();
        }
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["gaps"] = static_cast<double>(gaps);
}

BENCHMARK_CAPTURE(AvailabilityOfAStationsYear, SQLiteWAL, false)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AvailabilityOfAStationsYear, PostgreSQL, true)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
