#pragma once
// What `trq serve`'s pages and metrics show of the archive at a glance, worked out by the
// database itself (aggregates along the index on STA, CH, TBEGIN) instead of row by row, so
// that a page of hundreds of streams costs a statement per hundred streams whatever the
// catalog's size: each stream's first and last sample and the share of recent windows its
// files cover; the files and samples of every stream; and a mark that changes with the
// catalog, for caches of what is drawn from it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalog/CatalogSelection.h"
#include "catalog/CatalogStore.h"

// A file counts towards a window when it starts at most this long before the window's
// start: the converter's files are an hour long at most, and the bound lets the index find
// a window's files without reading the stream's earlier rows.
inline constexpr int64_t kFigureFileReach = 86400LL * 1000000;

// Windows one ReadStreamFigures call can take.
inline constexpr std::size_t kMaxFigureWindows = 4;

// A stream as the catalog names it: station and channel, without wildcards.
struct CatalogStream {
    std::string station;
    std::string channel;
};

struct StreamFigures {
    // Microseconds since 1970 UTC; none when the stream has no row.
    std::optional<int64_t> first;  // the first sample (the earliest TBEGIN)
    // One sample period after the last sample: the end of the stream's latest file, the one
    // with the latest TBEGIN (of several starting then, the one that reaches furthest).
    std::optional<int64_t> last;
    // Per window asked for: the microseconds of it the stream's files cover, summed over the
    // files (two files that overlap count twice) and at most the window's length.
    std::vector<int64_t> covered;
    // When asked for: the gaps that ended after a time, that is, the files that start after
    // it more than half a sample period after the end of the files before them (those that
    // start last before them: where files overlap, a later gap may hide behind a longer
    // file that started earlier, and is counted all the same).
    int gapsSince = 0;
};

// The figures of each of `streams`, in their order, over up to kMaxFigureWindows windows that
// end together (windows of recent days up to a midnight). A window's sum is taken from the
// files that start within it (whole), less what they reach beyond its end, and the parts
// within it of the files that start before it, so that each file costs an addition.
// With `gapsSince`, the gaps that ended after it. Throws CatalogError.
std::vector<StreamFigures> ReadStreamFigures(CatalogStore& catalog,
                                             const std::vector<CatalogStream>& streams,
                                             const std::vector<TimeWindow>& windows,
                                             std::optional<int64_t> gapsSince = std::nullopt);

struct StreamTotals {
    std::string station;
    std::string channel;
    int64_t files = 0;   // rows
    double samples = 0;  // TQTY x SPS summed over the rows
};

// Every stream of the catalog with its files and samples, by station and channel: one pass
// over the whole table. Throws CatalogError.
std::vector<StreamTotals> ReadStreamTotals(CatalogStore& catalog);

// What changes whenever a row is added, removed or written again: the number of rows, their
// TQTY summed in whole milliseconds (a file that grew), and the latest LDDATE (a row rewritten
// in place), as the database gives it. One pass over the whole table.
struct CatalogMark {
    int64_t rows = 0;
    int64_t milliseconds = 0;
    std::string latestLoad;
    bool operator==(const CatalogMark&) const = default;
};

// Throws CatalogError.
CatalogMark ReadCatalogMark(CatalogStore& catalog);
