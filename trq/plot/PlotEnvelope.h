#pragma once
// Reduction of a trace to what one pixel column can show: the smallest and largest sample
// falling into each column, and how the line enters it from the column of the sample before.
// A day of samples is reduced in one pass, so drawing costs the same whatever the length of
// the trace; sparse traces (fewer samples than columns) keep their joining lines.

#include <span>
#include <vector>

namespace trq {

class ColumnEnvelope {
  public:
    explicit ColumnEnvelope(int columns);

    // Adds samples of which the first lies at horizontal position `firstX` (pixels from the
    // left edge, fractions allowed) and each next one `pixelsPerSample` further right. A
    // sample falls into column floor(x); samples left of 0 or beyond the last column and
    // samples that are not finite are left out and break the line. Each call starts a new
    // line: samples of two calls are not joined.
    void Add(double firstX, double pixelsPerSample, std::span<const float> samples);

    int Columns() const { return static_cast<int>(min_.size()); }
    bool Filled(int column) const { return filled_[Index(column)]; }
    float Min(int column) const { return min_[Index(column)]; }
    float Max(int column) const { return max_[Index(column)]; }
    float First(int column) const { return first_[Index(column)]; }  // first sample added
    float Last(int column) const { return last_[Index(column)]; }    // last sample added
    // The column of the sample just before the column's first sample, when that sample
    // belongs to the same line and lies in an earlier column; -1 otherwise.
    int JoinedFrom(int column) const { return joinedFrom_[Index(column)]; }

    // Smallest and largest sample over all columns; false when no column is filled.
    bool Range(float& low, float& high) const;

  private:
    static std::size_t Index(int column) { return static_cast<std::size_t>(column); }

    std::vector<float> min_;
    std::vector<float> max_;
    std::vector<float> first_;
    std::vector<float> last_;
    std::vector<int> joinedFrom_;
    std::vector<bool> filled_;
};

}  // namespace trq
