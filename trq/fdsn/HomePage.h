#pragma once
// The home page at "/": the archive at a glance. A table of the stations (from the catalog
// and the inventory) with their codes, site and coordinates, and per channel the first and
// last sample, the latency coloured by class (PageText.h), the coverage of the last 1, 7 and
// 30 whole days, the last recording the watch mode converted where it tells, and links that
// answer (dataselect, availability and station queries with the stream's served codes);
// then the availability picture of every station over a chosen span, with the form that
// chooses it. Server-made HTML: it works without any script.

#include <optional>
#include <string>

#include "catalog/CatalogSelection.h"
#include "trq/fdsn/ArchiveOverview.h"
#include "trq/fdsn/PageText.h"
#include "trq/fdsn/ServeSettings.h"
#include "trq/fdsn/WatchStatus.h"

namespace trq {

struct HomeView {
    ArchiveOverview overview;
    CatalogSelection selection;  // the streams asked for; its window is the picture's span
    TimeWindow span;             // the picture's
    std::optional<WatchStatus> watch;
};

std::string HomePage(const HomeView& view, const ServeSettings& settings);

// The query of a selection's codes as the pages pass them on: "net", "sta", "loc", "cha",
// each only where it is not "*".
LinkQuery SelectionQuery(const CatalogSelection& selection);

// The links of one stream: dataselect (the last ten minutes of its data), availability
// (all its spans), station (its channel, where the inventory lists it). A stream that
// miniSEED 2 cannot name gets the reason instead; one without data says so.
std::string StreamLinks(const OverviewStream& stream);

}  // namespace trq
