#pragma once
// The rows of a selection joined into continuous runs of samples, per station and channel.
// A file continues a run when it starts within half a sample period of where the run ends
// (one period after its last sample); otherwise a gap lies between them (it starts later)
// or an overlap (it starts earlier), and the file begins a run of its own. Times come from
// TBEGIN and TQTY, never from the archive headers' whole seconds.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalog/CatalogStore.h"

// A file continues a run in time but not in its sample rate: its samples cannot be one
// trace with the run's. The message names both files and both rates.
class RateChangeError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct ContinuousSegment {
    std::string station;
    std::string channel;
    double rate = 0;
    int64_t start = 0;              // first sample, microseconds since 1970 UTC
    int64_t end = 0;                // one sample period after the last sample
    std::vector<CatalogRow> files;  // in time order
};

// Runs ordered by station, channel and start. Rows may come in any order. Throws
// RateChangeError when a file continues a run at another sample rate.
std::vector<ContinuousSegment> JoinIntoSegments(std::vector<CatalogRow> rows);

// As JoinIntoSegments, but a file at another sample rate never joins a run: it begins a run
// of its own. For answers that describe what is there (the web services), where two rates
// are two series to report, not a fault.
std::vector<ContinuousSegment> JoinIntoSegmentsPerRate(std::vector<CatalogRow> rows);
