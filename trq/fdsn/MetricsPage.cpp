#include "trq/fdsn/MetricsPage.h"

#include <algorithm>
#include <cmath>

#include "trq/fdsn/PrometheusText.h"

namespace trq {

namespace {

MetricLabels StreamLabels(const StreamName& name) {
    return {{"network", name.network},
            {"station", name.station},
            {"location", name.location},
            {"channel", name.channel}};
}

void StreamFamilies(PrometheusText& text, const MetricsView& view) {
    const auto& streams = view.overview.streams;
    text.Family("trq_stream_last_sample_timestamp_seconds", "gauge",
                "One sample period after the stream's last sample (the end of its latest "
                "archive file), seconds since 1970 UTC.");
    for (const OverviewStream& stream : streams) {
        if (stream.Archived())
            text.Sample("trq_stream_last_sample_timestamp_seconds", StreamLabels(stream.name),
                        static_cast<double>(*stream.figures.last) / 1e6);
    }
    text.Family("trq_stream_latency_seconds", "gauge",
                "Now minus the stream's last sample, when /metrics was asked.");
    for (const OverviewStream& stream : streams) {
        if (stream.Archived())
            text.Sample("trq_stream_latency_seconds", StreamLabels(stream.name),
                        static_cast<double>(view.overview.now - *stream.figures.last) / 1e6);
    }
    text.Family("trq_stream_archive_files", "gauge", "Archive files of the stream (catalog rows).");
    for (const OverviewStream& stream : streams) {
        const auto found = view.totals.find({stream.name.station, stream.name.channel});
        text.Sample("trq_stream_archive_files", StreamLabels(stream.name),
                    found == view.totals.end() ? 0 : static_cast<double>(found->second.files));
    }
    text.Family("trq_stream_archive_samples", "gauge", "Samples of the stream in the archive.");
    for (const OverviewStream& stream : streams) {
        const auto found = view.totals.find({stream.name.station, stream.name.channel});
        text.Sample("trq_stream_archive_samples", StreamLabels(stream.name),
                    found == view.totals.end() ? 0 : std::round(found->second.samples));
    }
    text.Family("trq_stream_gaps_last_day", "gauge",
                "Gaps in the stream's data that ended within the last 24 hours.");
    for (const OverviewStream& stream : streams) {
        text.Sample("trq_stream_gaps_last_day", StreamLabels(stream.name),
                    stream.figures.gapsSince);
    }
}

void RequestFamilies(PrometheusText& text, const MetricsView& view) {
    text.Family("trq_http_requests_total", "counter",
                "Requests answered, by route (a service's name, or a page's) and status code.");
    for (const auto& [label, route] : view.requests) {
        for (const auto& [status, count] : route.statuses) {
            text.Sample("trq_http_requests_total",
                        {{"service", label}, {"code", std::to_string(status)}},
                        static_cast<double>(count));
        }
    }
    text.Family("trq_http_request_duration_seconds", "histogram",
                "Time from a request's arrival to the end of its answer, by route.");
    for (const auto& [label, route] : view.requests) {
        for (std::size_t i = 0; i < kDurationBuckets.size(); ++i) {
            text.Sample("trq_http_request_duration_seconds_bucket",
                        {{"service", label}, {"le", PrometheusValue(kDurationBuckets[i])}},
                        static_cast<double>(route.atMost[i]));
        }
        text.Sample("trq_http_request_duration_seconds_bucket",
                    {{"service", label}, {"le", "+Inf"}}, static_cast<double>(route.count));
        text.Sample("trq_http_request_duration_seconds_sum", {{"service", label}}, route.seconds);
        text.Sample("trq_http_request_duration_seconds_count", {{"service", label}},
                    static_cast<double>(route.count));
    }
    text.Family("trq_picture_cache_requests_total", "counter",
                "Pictures asked for: found kept (hit) or drawn (miss).");
    text.Sample("trq_picture_cache_requests_total", {{"result", "hit"}},
                static_cast<double>(view.pictureHits));
    text.Sample("trq_picture_cache_requests_total", {{"result", "miss"}},
                static_cast<double>(view.pictureMisses));
}

void WatchFamilies(PrometheusText& text, const WatchStatus& watch) {
    text.Family("trq_watch_recordings_total", "counter",
                "Recordings the watch mode handled, by outcome (converted, or why one failed).");
    for (const auto& [outcome, count] : watch.recordings) {
        text.Sample("trq_watch_recordings_total", {{"outcome", outcome}},
                    static_cast<double>(count));
    }
    if (watch.backlog) {
        text.Family("trq_watch_backlog_recordings", "gauge",
                    "Recordings waiting for the watch mode to convert them.");
        text.Sample("trq_watch_backlog_recordings", {}, static_cast<double>(*watch.backlog));
    }
    if (watch.journalBytes) {
        text.Family("trq_catalog_journal_bytes", "gauge",
                    "Bytes of registrations waiting in the catalog's journal.");
        text.Sample("trq_catalog_journal_bytes", {}, static_cast<double>(*watch.journalBytes));
    }
}

}  // namespace

std::string MetricsPage(const MetricsView& view) {
    PrometheusText text;
    StreamFamilies(text, view);
    RequestFamilies(text, view);
    if (view.watch) WatchFamilies(text, *view.watch);
    return text.Text();
}

}  // namespace trq
