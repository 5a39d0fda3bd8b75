#include "catalog/Availability.h"

#include <algorithm>
#include <cstdio>

namespace {

// Adds [from, to) to the list, joining it with the last entry when they touch or overlap.
void AppendMerged(std::vector<TimeWindow>& list, int64_t from, int64_t to) {
    if (from >= to) return;
    if (!list.empty() && from <= list.back().to) {
        list.back().to = std::max(list.back().to, to);
    } else {
        list.push_back({from, to});
    }
}

// Gaps, overlaps and coverage from the channel's spans, which are in order of their start.
void SweepSpans(ChannelAvailability& channel, const TimeWindow& window) {
    int64_t coveredUpTo = window.from;
    for (const AvailableSpan& span : channel.spans) {
        AppendMerged(channel.gaps, coveredUpTo, span.time.from);
        AppendMerged(channel.overlaps, span.time.from, std::min(span.time.to, coveredUpTo));
        channel.covered +=
            std::max<int64_t>(0, span.time.to - std::max(span.time.from, coveredUpTo));
        coveredUpTo = std::max(coveredUpTo, span.time.to);
    }
    AppendMerged(channel.gaps, coveredUpTo, window.to);
}

}  // namespace

double ChannelAvailability::CoveragePercent(const TimeWindow& window) const {
    if (window.Length() <= 0) return 0;
    return 100.0 * static_cast<double>(covered) / static_cast<double>(window.Length());
}

std::string ChannelAvailability::CoverageText(const TimeWindow& window) const {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f %%", CoveragePercent(window));
    return text;
}

std::vector<ChannelAvailability> DescribeAvailability(
    const std::vector<ContinuousSegment>& segments, const TimeWindow& window) {
    std::vector<ChannelAvailability> channels;
    for (const ContinuousSegment& segment : segments) {
        if (channels.empty() || channels.back().station != segment.station ||
            channels.back().channel != segment.channel) {
            channels.push_back({segment.station, segment.channel, {}, {}, {}, 0});
        }
        const TimeWindow clipped{std::max(segment.start, window.from),
                                 std::min(segment.end, window.to)};
        if (clipped.from < clipped.to) {
            channels.back().spans.push_back({clipped, segment.rate, segment.files.size()});
        }
    }
    for (ChannelAvailability& channel : channels) SweepSpans(channel, window);
    return channels;
}

TimeWindow SelectionWindow(const CatalogSelection& selection,
                           const std::vector<ContinuousSegment>& segments) {
    TimeWindow window{selection.From(), selection.From()};
    if (!selection.from && !segments.empty()) {
        window.from = std::min_element(segments.begin(), segments.end(),
                                       [](const ContinuousSegment& a, const ContinuousSegment& b) {
                                           return a.start < b.start;
                                       })
                          ->start;
    }
    window.to = selection.to.value_or(window.from);
    if (!selection.to) {
        for (const ContinuousSegment& segment : segments) {
            window.to = std::max(window.to, segment.end);
        }
    }
    return window;
}
