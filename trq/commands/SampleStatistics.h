#pragma once
// Summary figures of a run of samples: count, minimum, maximum, mean and root mean square.

#include <cstdint>
#include <span>

namespace trq {

class SampleStatistics {
  public:
    void Add(std::span<const float> samples);
    void Add(float sample);

    int64_t Count() const { return count_; }          // every sample added
    int64_t NonFinite() const { return nonFinite_; }  // NaN and infinities, left out below
    int64_t FiniteCount() const { return count_ - nonFinite_; }
    bool HasValues() const { return FiniteCount() > 0; }
    // The figures below are 0 when no finite sample was added.
    double Min() const { return HasValues() ? min_ : 0; }
    double Max() const { return HasValues() ? max_ : 0; }
    double Mean() const;
    double Rms() const;

  private:
    int64_t count_ = 0;
    int64_t nonFinite_ = 0;
    double min_ = 0;
    double max_ = 0;
    // Sums in double precision.
    double sum_ = 0;
    double sumOfSquares_ = 0;
};

}  // namespace trq
