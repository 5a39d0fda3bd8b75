#include "catalog/WindowSamples.h"

#include <algorithm>
#include <cmath>

#include "archive/ArchiveFile.h"
#include "archive/ArchiveText.h"

namespace {

int64_t SampleTime(int64_t start, double rate, int64_t index) {
    return start + std::llround(static_cast<double>(index) * 1e6 / rate);
}

int64_t AnnouncedSamples(const CatalogRow& row) {
    const std::optional<int64_t> count = RowSampleCount(row);
    if (!count || *count < 0) {
        throw ArchiveFormatError(row.path + ": TQTY x SPS is not a whole number of samples");
    }
    return *count;
}

// The file's samples [first, end) that lie in the window.
struct SampleRange {
    int64_t first = 0;
    int64_t end = 0;
};

SampleRange RangeInWindow(const CatalogRow& row, const TimeWindow& window) {
    const int64_t count = AnnouncedSamples(row);
    const int64_t start = RowStart(row);
    return {FirstSampleFrom(start, row.rate, count, window.from),
            FirstSampleFrom(start, row.rate, count, window.to)};
}

// Appends the file's samples within the window; the trace starts at the first of them.
void AppendFileWindow(const std::string& dataDir, const CatalogRow& row, const TimeWindow& window,
                      WindowTrace& trace) {
    const auto [first, end] = RangeInWindow(row, window);
    if (first >= end) return;
    const int64_t count = AnnouncedSamples(row);
    const ArchiveFile file = OpenArchiveFile(DiskPathOfCatalogPath(dataDir, row.path));
    if (file.sampleCount < count) {
        throw ArchiveFormatError(file.path + " holds " + std::to_string(file.sampleCount) +
                                 " samples, its FILELIST row " + std::to_string(count));
    }
    if (trace.samples.empty()) trace.start = SampleTime(RowStart(row), row.rate, first);
    const std::vector<float> samples = ReadArchiveSampleRange(file, first, end - first);
    trace.samples.insert(trace.samples.end(), samples.begin(), samples.end());
}

}  // namespace

int64_t FirstSampleFrom(int64_t start, double rate, int64_t count, int64_t time) {
    if (time <= start) return 0;
    // An estimate from the rate, then corrected against the rounded sample times.
    const double estimate = std::ceil(static_cast<double>(time - start) * rate / 1e6);
    int64_t index = estimate >= static_cast<double>(count) ? count : static_cast<int64_t>(estimate);
    while (index > 0 && SampleTime(start, rate, index - 1) >= time) --index;
    while (index < count && SampleTime(start, rate, index) < time) ++index;
    return index;
}

int64_t CountWindowSamples(const ContinuousSegment& segment, const TimeWindow& window) {
    int64_t samples = 0;
    for (const CatalogRow& row : segment.files) {
        const auto [first, end] = RangeInWindow(row, window);
        samples += std::max<int64_t>(0, end - first);
    }
    return samples;
}

WindowTrace ReadWindowSamples(const std::string& dataDir, const ContinuousSegment& segment,
                              const TimeWindow& window) {
    WindowTrace trace{segment.station, segment.channel, segment.rate, 0, {}};
    for (const CatalogRow& row : segment.files) AppendFileWindow(dataDir, row, window, trace);
    return trace;
}
