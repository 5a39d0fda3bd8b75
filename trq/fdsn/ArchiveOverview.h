#pragma once
// The archive at a glance, for the home page, the station pages and /metrics: every stream
// of the catalog and every channel of the inventory that a selection names, each under the
// codes it is served with, with its inventory entry and its figures from the catalog (first
// and last sample, coverage of recent whole days). A channel the inventory lists but the
// archive holds nothing of is there too, without figures: a station whose data never came
// in is what its operator needs to see first. No archive file is read.

#include <cstdint>
#include <vector>

#include "catalog/CatalogFigures.h"
#include "catalog/CatalogSelection.h"
#include "catalog/CatalogStore.h"
#include "trq/fdsn/ServeSettings.h"
#include "trq/fdsn/ServedStreams.h"

namespace trq {

struct OverviewStream {
    StreamName name;        // the catalog's station and channel, the served codes
    InventoryEntry listed;  // where the inventory lists it; all null when it does not
    StreamFigures figures;  // no first and last sample: no data
    bool Archived() const { return figures.last.has_value(); }
};

struct ArchiveOverview {
    int64_t now = 0;                      // microseconds since 1970 UTC
    std::vector<TimeWindow> windows;      // of the figures' coverage
    std::vector<OverviewStream> streams;  // by station, then channel
};

inline constexpr int64_t kMicrosecondsPerHour = 3600LL * 1000000;
inline constexpr int64_t kMicrosecondsPerDay = 24 * kMicrosecondsPerHour;

// The whole days the pages give coverage of: the last 1, 7 and 30 before the midnight (UTC)
// that began the day of `now`. Whole days, so that a station whose data comes in by the
// hour is not short of its last hours, and the figures stay the same all day.
std::vector<TimeWindow> CoverageWindows(int64_t now);

// The midnight (UTC) that began the day of `time`.
int64_t DayStart(int64_t time);

// The streams `selection` names (its window is not used) with their figures over `windows`
// (none: the first and last sample only), and with `gapsSince` the gaps that ended after
// it. Throws CatalogError.
ArchiveOverview ReadOverview(CatalogStore& catalog, const ServeSettings& settings,
                             const CatalogSelection& selection, int64_t now,
                             std::vector<TimeWindow> windows,
                             std::optional<int64_t> gapsSince = std::nullopt);

}  // namespace trq
