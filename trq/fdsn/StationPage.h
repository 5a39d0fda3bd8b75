#pragma once
// The page of one station at "/station?sta=ABC": its site and coordinates, its channels
// with their metadata in words (sample rate, orientation, depth, instrument sensitivity),
// first and last sample, latency and links; a quick look of each channel over a chosen
// window (a picture from the archive files, gaps and overlaps marked); the gaps and
// overlaps of recent whole days in a table, each with a link to a quick look of it; and a
// form that asks the dataselect, availability and station services. Server-made HTML.

#include <string>
#include <vector>

#include "catalog/Availability.h"
#include "trq/fdsn/ArchiveOverview.h"
#include "trq/fdsn/ServeSettings.h"

namespace trq {

struct StationView {
    std::string station;
    ArchiveOverview overview;                       // the station's streams
    TimeWindow window;                              // of the quick looks
    TimeWindow span;                                // of the gaps and overlaps
    std::vector<ChannelAvailability> availability;  // of each archived channel over `span`
};

// The window of a quick look of a gap or an overlap: ten minutes before it to ten minutes
// after it (after its first six hours, for a longer one), within `longest` seconds.
TimeWindow LookAround(const TimeWindow& stretch, double longest);

std::string StationPage(const StationView& view, const ServeSettings& settings);

}  // namespace trq
