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

#include <string>

#include "bench/FilledCatalogs.h"
#include "catalog/CatalogSelection.h"
#include "catalog/ContinuousSegments.h"

namespace {

constexpr long long kRowNumbers = 12LL * 3 * 28000;  // before the holes
constexpr int64_t k20140101 = 1388534400;
constexpr int64_t k20150101 = 1420070400;

// Row i: station i / 84000, channel i % 3, hour (i / 3) % 28000, absent when that hour
// is a hole.
const char* const kRowColumns =
    "SELECT 'ST' || (i / 84000), 100, 1, 'ST' || (i / 84000) || '\\' || i || '.ST', 3, "
    "CASE i % 3 WHEN 0 THEN 'BHZ' WHEN 1 THEN 'BHN' ELSE 'BHE' END, 'PLQ2TRQ', "
    "'2013-01-01 00:00:00', 1356998400.25 + ((i / 3) % 28000) * 3600, 3600, 512 ";
const char* const kRowCondition = " WHERE ((i / 3) % 28000) % 500 <> 7";

FilledCatalogs& Catalogs() {
    static FilledCatalogs catalogs("avail", kRowColumns, kRowCondition, kRowNumbers);
    return catalogs;
}

void AvailabilityOfAStationsYear(benchmark::State& state, bool postgres) {
    FilledCatalogs& catalogs = Catalogs();
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
