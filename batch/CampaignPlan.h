#pragma once
// The recordings of a batch, grouped by station and put in time order: each station's
// recordings are converted one after the other, earliest first, as a spool loop would
// take them.

#include <cstdint>
#include <string>
#include <vector>

#include "batch/BatchOptions.h"
#include "recorder/Calendar.h"

struct PlannedRecording {
    std::string path;
    std::string station;
    uintmax_t bytes = 0;
    // From the header when it could be read (headerRead); a recording whose header cannot
    // be read goes after the others of its station and fails when converted.
    bool headerRead = false;
    EpochSeconds start = 0;
    double seconds = 0;  // samples per channel / sample rate
    double rate = 0;
};

struct StationPlan {
    std::string station;
    std::vector<PlannedRecording> recordings;  // earliest first
};

// The stations of `options` (in name order) with their recordings. A file directly in the
// --tree directory names no station and is left out with a notice. Headers are read
// silently.
std::vector<StationPlan> PlanCampaign(const BatchOptions& options);
