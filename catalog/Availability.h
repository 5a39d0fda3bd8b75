#pragma once
// What the catalog holds of each station and channel within a window: the continuous
// spans, the gaps between them and the overlaps where two recordings cover the same time,
// and the share of the window covered. Worked out from the rows alone: no archive file is
// opened, so the answer costs one indexed query however large the files are.

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/CatalogSelection.h"
#include "catalog/ContinuousSegments.h"

struct AvailableSpan {
    TimeWindow time;  // clipped to the window
    double rate = 0;
    std::size_t files = 0;  // archive files that make it up
};

struct ChannelAvailability {
    std::string station;
    std::string channel;
    std::vector<AvailableSpan> spans;  // in time order
    std::vector<TimeWindow> gaps;      // times of the window no span covers, in time order
    std::vector<TimeWindow> overlaps;  // times covered by more than one span, in time order
    int64_t covered = 0;               // microseconds of the window some span covers

    double CoveragePercent(const TimeWindow& window) const;
    // The same as text with four decimals, "99.9998 %": every output that shows it (text,
    // picture) shows the same, never rounded up to a full window that is not full.
    std::string CoverageText(const TimeWindow& window) const;
};

// One entry per station and channel of `segments` (ordered as JoinIntoSegments orders
// them), each describing `window`. Segments outside the window add nothing.
std::vector<ChannelAvailability> DescribeAvailability(
    const std::vector<ContinuousSegment>& segments, const TimeWindow& window);

// The window a selection asks for: its own start, or without one the start of the earliest
// of `segments` (the first sample there is); its own end, or without one the end of the
// latest of `segments` (the last sample there is, plus one period).
TimeWindow SelectionWindow(const CatalogSelection& selection,
                           const std::vector<ContinuousSegment>& segments);
