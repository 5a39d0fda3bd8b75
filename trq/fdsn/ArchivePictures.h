#pragma once
// The pictures of the pages, as PNG bytes: the availability of streams over a window (from
// the catalog alone, trq/plot/AvailabilityPicture.h) and the quick look of their samples
// (the archive files read as `trq plot` reads them, gaps and overlaps marked,
// trq/plot/PlotRenderer.h).

#include <string>
#include <vector>

#include "catalog/CatalogSelection.h"
#include "trq/fdsn/ServeSettings.h"
#include "trq/fdsn/ServedStreams.h"
#include "trq/fdsn/ServerLog.h"

namespace trq {

// One bar per stream `streams` names (in their order) over `window`, `width` pixels wide.
// Throws CatalogError, std::runtime_error when cairo fails.
std::string AvailabilityPicture(ServedStreams& served, const std::vector<StreamName>& streams,
                                const TimeWindow& window, int width);

// One trace per stream over `window`: each continuous run a line of its own, gaps (red) and
// overlaps (orange) marked behind them. Rows whose files cannot give their samples are left
// out and noted in `log`, as dataselect does. Throws CatalogError, ArchiveReadError, and
// std::runtime_error when cairo fails.
std::string QuickLookPicture(ServedStreams& served, const std::vector<StreamName>& streams,
                             const TimeWindow& window, int width, const ServeSettings& settings,
                             ServerLog& log);

}  // namespace trq
