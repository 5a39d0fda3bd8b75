// The home page of `trq serve` at catalog scale: 100 stations of 3 channels, each with 3,334
// (one channel) or 3,333 hourly files up to the current hour, 1,000,000 rows in FILELIST.
// One iteration makes the page as the server does for a request: every stream's first and
// last sample and its coverage of the last 1, 7 and 30 whole days from the catalog (a query
// per stream, on a connection the server's pool keeps), then the HTML. Also the
// availability picture of every station over the page's default span, 7 days (about 50,000
// rows read and drawn: what a request costs before the picture is kept in the cache).
//
// On an SQLite catalog (WAL) and on a PostgreSQL database of a throwaway local server, both
// filled in one statement of their own clients (bench/FilledCatalogs.h). Reported: the
// "streams" on the page and the page's "bytes".

#include <benchmark/benchmark.h>

#include <ctime>
#include <string>

#include "bench/FilledCatalogs.h"
#include "trq/fdsn/ArchiveOverview.h"
#include "trq/fdsn/ArchivePictures.h"
#include "trq/fdsn/HomePage.h"
#include "trq/fdsn/ServerLog.h"

namespace {

constexpr long long kRows = 1000000;

// Row i: station ST<i / 10000>, channel i % 3, hour (i % 10000) / 3 of the 3,334 hours that
// end with the current one.
FilledCatalogs& Catalogs() {
    static const long long firstHour = std::time(nullptr) / 3600 * 3600 - 3333LL * 3600;
    static FilledCatalogs catalogs(
        "home",
        "SELECT 'ST' || (i / 10000), 100, 1, 'ST' || (i / 10000) || '\\' || i || '.ST', 3, "
        "CASE i % 3 WHEN 0 THEN 'BHZ' WHEN 1 THEN 'BHN' ELSE 'BHE' END, 'PLQ2TRQ', "
        "'2013-01-01 00:00:00', " +
            std::to_string(firstHour) + " + ((i % 10000) / 3) * 3600, 3600, 512 ",
        "", kRows);
    return catalogs;
}

const std::optional<CatalogLogin>& Login(benchmark::State& state, bool postgres) {
    const std::optional<CatalogLogin>& login = postgres ? Catalogs().postgres : Catalogs().sqlite;
    if (!login) state.SkipWithError("the catalog could not be made");
    return login;
}

void HomePageOfAHundredStations(benchmark::State& state, bool postgres) {
    const std::optional<CatalogLogin>& login = Login(state, postgres);
    if (!login) return;
    CatalogStore catalog(*login, CatalogStore::Use::kReadOnly);
    const trq::ServeSettings settings;
    std::size_t streams = 0, bytes = 0;
    for (auto _ : state) {
        trq::HomeView view;
        const int64_t now = trq::NowMicroseconds();
        view.overview =
            trq::ReadOverview(catalog, settings, view.selection, now, trq::CoverageWindows(now));
        view.span = {view.overview.windows[1].from, view.overview.windows[1].to};
        const std::string page = trq::HomePage(view, settings);
        streams = view.overview.streams.size();
        bytes = page.size();
    }
    state.counters["streams"] = static_cast<double>(streams);
    state.counters["bytes"] = static_cast<double>(bytes);
}

void AvailabilityPictureOfAWeek(benchmark::State& state, bool postgres) {
    const std::optional<CatalogLogin>& login = Login(state, postgres);
    if (!login) return;
    CatalogStore catalog(*login, CatalogStore::Use::kReadOnly);
    for (auto _ : state) {
        const int64_t now = trq::NowMicroseconds();
        trq::ServedStreams served(catalog, "XX");
        const std::vector<trq::StreamName> streams = served.Matching({});
        const std::string png =
            trq::AvailabilityPicture(served, streams, trq::CoverageWindows(now)[1], 1200);
        state.counters["bytes"] = static_cast<double>(png.size());
    }
}

BENCHMARK_CAPTURE(HomePageOfAHundredStations, SQLiteWAL, false)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HomePageOfAHundredStations, PostgreSQL, true)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AvailabilityPictureOfAWeek, SQLiteWAL, false)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AvailabilityPictureOfAWeek, PostgreSQL, true)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
