#include "trq/plot/PlotEnvelope.h"

#include <cmath>

namespace trq {

ColumnEnvelope::ColumnEnvelope(int columns)
    : min_(Index(columns)),
      max_(Index(columns)),
      first_(Index(columns)),
      last_(Index(columns)),
      joinedFrom_(Index(columns), -1),
      filled_(Index(columns), false) {}

void ColumnEnvelope::Add(double firstX, double pixelsPerSample, std::span<const float> samples) {
    const double columns = static_cast<double>(min_.size());
    int previous = -1;  // column of the sample before, when it was drawn
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double x = firstX + static_cast<double>(i) * pixelsPerSample;
        const float value = samples[i];
        if (!(x >= 0 && x < columns) || !std::isfinite(value)) {
            previous = -1;
            continue;
        }
        const auto c = static_cast<std::size_t>(x);
        if (!filled_[c]) {
            filled_[c] = true;
            min_[c] = max_[c] = first_[c] = value;
            joinedFrom_[c] = previous;
        } else {
            if (value < min_[c]) min_[c] = value;
            if (value > max_[c]) max_[c] = value;
        }
        last_[c] = value;
        previous = static_cast<int>(c);
    }
}

bool ColumnEnvelope::Range(float& low, float& high) const {
    bool any = false;
    for (std::size_t c = 0; c < min_.size(); ++c) {
        if (!filled_[c]) continue;
        if (!any || min_[c] < low) low = min_[c];
        if (!any || max_[c] > high) high = max_[c];
        any = true;
    }
    return any;
}

}  // namespace trq
