#include "trq/plot/PlotAxis.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "recorder/UtcTime.h"

namespace trq {

double TimeTickStep(double span, int maxTicks) {
    static const double kSteps[] = {0.1, 0.2, 0.5, 1,    2,    5,    10,    15,    30,    60,   120,
                                    300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    if (maxTicks < 1) maxTicks = 1;
    for (double step : kSteps) {
        if (span / step <= maxTicks) return step;
    }
    if (!std::isfinite(span)) return 86400;
    // Beyond a day per tick: 2, 5, 10, 20, 50 ... days.
    for (double decade = 1;; decade *= 10) {
        for (double factor : {2.0, 5.0, 10.0}) {
            const double step = factor * decade * 86400;
            if (span / step <= maxTicks) return step;
        }
    }
}

std::vector<TimeTick> TimeTicks(double start, double end, int maxTicks) {
    std::vector<TimeTick> ticks;
    if (!(end > start)) return ticks;
    const double step = TimeTickStep(end - start, maxTicks);
    int64_t previousDay = 0;
    for (double k = std::ceil(start / step); k * step <= end; k += 1) {
        TimeTick tick;
        tick.time = k * step;
        // Rounded to a tenth of a second, the finest step, so that 0.1 steps print exactly.
        const double tenths = std::round(tick.time * 10);
        const auto second = static_cast<int64_t>(std::floor(tenths / 10));
        const CivilTime t = EpochSecondsToCivil(second);
        char text[48];
        if (step < 1) {
            std::snprintf(text, sizeof text, "%02d:%02d:%02d.%d", t.hour, t.minute, t.second,
                          static_cast<int>(tenths - static_cast<double>(second) * 10));
        } else if (step < 60) {
            std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
        } else {
            std::snprintf(text, sizeof text, "%02d:%02d", t.hour, t.minute);
        }
        tick.label = text;
        const int64_t day = second >= 0 ? second / 86400 : (second - 86399) / 86400;
        if (ticks.empty() || day != previousDay) {
            std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
            tick.dateLabel = text;
        }
        previousDay = day;
        ticks.push_back(tick);
    }
    return ticks;
}

std::vector<double> ValueTicks(double low, double high, int maxTicks) {
    std::vector<double> ticks;
    if (!(high > low) || maxTicks < 1) return ticks;
    const double rough = (high - low) / maxTicks;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if ((high - low) / step <= maxTicks) break;
    }
    for (double k = std::ceil(low / step); k * step <= high; k += 1) {
        const double value = k * step;
        ticks.push_back(std::fabs(value) < step * 1e-9 ? 0.0 : value);
    }
    return ticks;
}

std::string ValueLabel(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

}  // namespace trq
