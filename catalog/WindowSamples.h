#pragma once
// The samples of a continuous run that fall into a time window, read from its archive
// files: a window cut across file boundaries becomes one trace.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveFile.h"
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

// The same samples piece by piece, so that memory stays bounded however long the window
// is: one file open at a time, and no piece longer than asked for.
class WindowSampleReader {
  public:
    WindowSampleReader(std::string dataDir, ContinuousSegment segment, const TimeWindow& window);

    // The time of the first sample in the window; 0 when there is none.
    int64_t Start() const { return start_; }
    // How many samples the window holds in all.
    int64_t Total() const { return total_; }
    // The next samples in time order, at most `count` of them; empty once all are read.
    // Throws as ReadWindowSamples.
    std::vector<float> Next(int64_t count);

  private:
    struct FileRange {
        std::size_t row = 0;  // index into segment_.files
        int64_t first = 0;    // the file's samples [first, end) lie in the window
        int64_t end = 0;
    };
    void OpenCurrentFile();

    std::string dataDir_;
    ContinuousSegment segment_;
    std::vector<FileRange> ranges_;
    std::size_t current_ = 0;          // the range being read
    std::optional<ArchiveFile> open_;  // its file, once opened
    int64_t start_ = 0;
    int64_t total_ = 0;
};

// How many samples ReadWindowSamples would give, from the rows alone.
int64_t CountWindowSamples(const ContinuousSegment& segment, const TimeWindow& window);

// The index of the first of `count` samples, starting at `start` at `rate`, whose time is
// `time` or later; `count` when there is none.
int64_t FirstSampleFrom(int64_t start, double rate, int64_t count, int64_t time);

// The time of sample `index` of a series that starts at `start` at `rate`: rounded to the
// microsecond, and computed from the start, so that no rounding adds up along the series.
int64_t SampleTime(int64_t start, double rate, int64_t index);
