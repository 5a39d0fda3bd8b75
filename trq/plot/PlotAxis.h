#pragma once
// Tick marks for the plot's axes: round UTC times along the shared time axis and round
// amplitudes along each trace's scale.

#include <string>
#include <vector>

namespace trq {

struct TimeTick {
    double time = 0;        // EpochSeconds
    std::string label;      // "13:50:00", or "13:50" for steps of a minute and more
    std::string dateLabel;  // "2013-10-22" on the first tick and on ticks of a new day
};

// The smallest step of the series 0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30 s, 1, 2, 5, 10, 15,
// 30 min, 1, 2, 3, 6, 12 h, 1, 2, 5, 10 ... days that gives at most `maxTicks` ticks over
// `span` seconds.
double TimeTickStep(double span, int maxTicks);

// Ticks at the multiples of the step within [start, end].
std::vector<TimeTick> TimeTicks(double start, double end, int maxTicks);

// Round values (1, 2 or 5 times a power of ten apart) within [low, high], at most
// `maxTicks` of them.
std::vector<double> ValueTicks(double low, double high, int maxTicks);

// A short text for an amplitude: "130944", "-2.5", "2.1e+09".
std::string ValueLabel(double value);

}  // namespace trq
