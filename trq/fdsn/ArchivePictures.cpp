#include "trq/fdsn/ArchivePictures.h"

#include <cstdio>

#include "catalog/Availability.h"
#include "catalog/CatalogComparison.h"
#include "catalog/ContinuousSegments.h"
#include "catalog/WindowSamples.h"
#include "recorder/UtcTime.h"
#include "trq/plot/AvailabilityPicture.h"
#include "trq/plot/PlotRenderer.h"

namespace trq {

namespace {

double Seconds(int64_t microseconds) {
    return static_cast<double>(microseconds) / 1e6;
}

std::string WindowTitle(const TimeWindow& window) {
    return FormatUtc(Seconds(window.from), 0) + " to " + FormatUtc(Seconds(window.to), 0) + " UTC";
}

std::string Label(const StreamName& stream) {
    return stream.station + " " + stream.channel;
}

// The trace of one stream: its runs' samples within the window, its gaps and overlaps.
PlotTrace StreamTrace(const StreamName& stream, std::vector<CatalogRow> rows,
                      const TimeWindow& window, int columns, const std::string& dataDir) {
    const std::vector<ContinuousSegment> segments = JoinIntoSegmentsPerRate(std::move(rows));
    char detail[64] = "no data";
    if (!segments.empty()) std::snprintf(detail, sizeof detail, "%g sps, counts", segments[0].rate);
    PlotTrace trace{Label(stream), detail, ColumnEnvelope(columns)};
    const double pixelsPerSecond = columns / Seconds(window.Length());
    for (const ContinuousSegment& segment : segments) {
        const WindowTrace samples = ReadWindowSamples(dataDir, segment, window);
        trace.envelope.Add(Seconds(samples.start - window.from) * pixelsPerSecond,
                           pixelsPerSecond / samples.rate, samples.samples);
    }
    for (const ChannelAvailability& channel : DescribeAvailability(segments, window)) {
        for (const TimeWindow& gap : channel.gaps)
            trace.marks.push_back({Seconds(gap.from), Seconds(gap.to), false});
        for (const TimeWindow& overlap : channel.overlaps)
            trace.marks.push_back({Seconds(overlap.from), Seconds(overlap.to), true});
    }
    if (segments.empty()) trace.marks.push_back({Seconds(window.from), Seconds(window.to), false});
    return trace;
}

}  // namespace

std::string AvailabilityPicture(ServedStreams& served, const std::vector<StreamName>& streams,
                                const TimeWindow& window, int width) {
    std::vector<ChannelAvailability> channels;
    for (const StreamName& stream : streams) {
        const std::vector<ContinuousSegment> segments =
            JoinIntoSegmentsPerRate(served.Rows(stream, window.from, window.to));
        std::vector<ChannelAvailability> described = DescribeAvailability(segments, window);
        if (described.empty()) {
            // Nothing in the window: a bar that is all gap.
            described.push_back({stream.station, stream.channel, {}, {window}, {}, 0});
        }
        channels.push_back(std::move(described.front()));
    }
    return AvailabilityPng(channels, window, width, "Data availability, " + WindowTitle(window));
}

std::string QuickLookPicture(ServedStreams& served, const std::vector<StreamName>& streams,
                             const TimeWindow& window, int width, const ServeSettings& settings,
                             ServerLog& log) {
    PlotLayout layout;
    layout.width = width;
    std::vector<PlotTrace> traces;
    for (const StreamName& stream : streams) {
        std::vector<CatalogRow> rows = served.Rows(stream, window.from, window.to);
        std::erase_if(rows, [&](const CatalogRow& row) {
            const std::vector<std::string> problems = RowFileProblems(row, settings.dataDir);
            for (const std::string& problem : problems)
                log.Note("quick look skipped " + row.path + ": " + problem);
            return !problems.empty();
        });
        traces.push_back(
            StreamTrace(stream, std::move(rows), window, layout.PlotWidth(), settings.dataDir));
    }
    return PlotPng(traces, Seconds(window.from), Seconds(window.to), layout, WindowTitle(window));
}

}  // namespace trq
