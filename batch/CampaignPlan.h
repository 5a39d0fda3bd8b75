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
    // From the header when the file opened as a recording (headerRead); one that does not
    // goes after the others of its station and fails when converted.
    bool headerRead = false;
    EpochSeconds start = 0;
    double seconds = 0;  // samples per channel / sample rate
    double rate = 0;
    // The path of an earlier recording of the station with the very same bytes (a second
    // delivery), else empty: its data is counted once.
    std::string duplicateOf;
};

struct StationPlan {
    std::string station;
    std::vector<PlannedRecording> recordings;  // earliest first
    // The notices of the station's name (cut, or no miniSEED code), told with each recording
    // as the classic form tells them with each run.
    std::vector<std::string> notices;
};

// The stations of `options` (in name order) with their recordings, into `plan`. Headers are
// read silently. With --tree, every folder directly in DIR is a station and every file below
// it (at any depth) its recording; a file directly in DIR that is not a recording is left out
// with a notice. Returns 0, or ExitCode::kUsage after one notice when --tree names a folder
// that holds recordings itself (a station's folder, not a tree of them) or holds none at all.
int PlanCampaign(const BatchOptions& options, std::vector<StationPlan>& plan);
