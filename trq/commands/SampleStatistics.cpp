#include "trq/commands/SampleStatistics.h"

#include <cmath>

namespace trq {

void SampleStatistics::Add(float sample) {
    ++count_;
    if (!std::isfinite(sample)) {
        ++nonFinite_;
        return;
    }
    const double value = sample;
    if (FiniteCount() == 1) {
        min_ = max_ = value;
    } else {
        if (value < min_) min_ = value;
        if (value > max_) max_ = value;
    }
    sum_ += value;
    sumOfSquares_ += value * value;
}

void SampleStatistics::Add(std::span<const float> samples) {
    for (float sample : samples) Add(sample);
}

double SampleStatistics::Mean() const {
    return HasValues() ? sum_ / static_cast<double>(FiniteCount()) : 0;
}

double SampleStatistics::Rms() const {
    return HasValues() ? std::sqrt(sumOfSquares_ / static_cast<double>(FiniteCount())) : 0;
}

}  // namespace trq
