#include "catalog/WindowSamples.h"

#include <algorithm>
#include <cmath>

#include "archive/ArchiveFile.h"
#include "archive/ArchiveText.h"

namespace {

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
    WindowSampleReader reader(dataDir, segment, window);
    WindowTrace trace{segment.station, segment.channel, segment.rate, reader.Start(), {}};
    trace.samples = reader.Next(reader.Total());
    return trace;
}

int64_t SampleTime(int64_t start, double rate, int64_t index) {
    return start + std::llround(static_cast<double>(index) * 1e6 / rate);
}

WindowSampleReader::WindowSampleReader(std::string dataDir, ContinuousSegment segment,
                                       const TimeWindow& window)
    : dataDir_(std::move(dataDir)), segment_(std::move(segment)) {
    for (std::size_t row = 0; row < segment_.files.size(); ++row) {
        const auto [first, end] = RangeInWindow(segment_.files[row], window);
        if (first >= end) continue;
        if (ranges_.empty()) {
            start_ = SampleTime(RowStart(segment_.files[row]), segment_.files[row].rate, first);
        }
        ranges_.push_back({row, first, end});
        total_ += end - first;
    }
}

void WindowSampleReader::OpenCurrentFile() {
    const CatalogRow& row = segment_.files[ranges_[current_].row];
    const int64_t count = AnnouncedSamples(row);
    ArchiveFile file = OpenArchiveFile(DiskPathOfCatalogPath(dataDir_, row.path));
    if (file.sampleCount < count) {
        throw ArchiveFormatError(file.path + " holds " + std::to_string(file.sampleCount) +
                                 " samples, its FILELIST row " + std::to_string(count));
    }
    open_ = std::move(file);
}

std::vector<float> WindowSampleReader::Next(int64_t count) {
    std::vector<float> samples;
    while (static_cast<int64_t>(samples.size()) < count && current_ < ranges_.size()) {
        FileRange& range = ranges_[current_];
        if (!open_) OpenCurrentFile();
        const int64_t take =
            std::min(range.end - range.first, count - static_cast<int64_t>(samples.size()));
        const std::vector<float> piece = ReadArchiveSampleRange(*open_, range.first, take);
        samples.insert(samples.end(), piece.begin(), piece.end());
        range.first += take;
        if (range.first == range.end) {
            open_.reset();
            ++current_;
        }
    }
    return samples;
}
