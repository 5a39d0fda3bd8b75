#pragma once
// The samples of a continuous run that fall into a time window, read from its archive
// files: a window cut across file boundaries becomes one trace.

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/CatalogSelection.h"
#include "catalog/ContinuousSegments.h"

struct WindowTrace {
    std::string station;
    std::string channel;
    double rate = 0;
    int64_t start = 0;  // time of the first sample, microseconds since 1970 UTC
    std::vector<float> samples;
};

// Sample i of a file lies at TBEGIN + i / SPS, to the microsecond. The trace holds every
// sample of `segment` whose time lies in `window` (none when no sample does), read from
// the files at their CPATH below `dataDir` (empty: the current directory). The files are
// expected to agree with their rows (`trq check`); throws ArchiveReadError, or
// ArchiveFormatError when a file holds fewer samples than its row announces.
WindowTrace ReadWindowSamples(const std::string& dataDir, const ContinuousSegment& segment,
                              const TimeWindow& window);

// How many samples ReadWindowSamples would give, from the rows alone.
int64_t CountWindowSamples(const ContinuousSegment& segment, const TimeWindow& window);

// The index of the first of `count` samples, starting at `start` at `rate`, whose time is
// `time` or later; `count` when there is none.
int64_t FirstSampleFrom(int64_t start, double rate, int64_t count, int64_t time);
