#pragma once
// /metrics: the archive's state and the server's work in the Prometheus text format
// (PrometheusText.h), for a monitoring system to scrape and alert on (docs/monitoring.md).
//
//   trq_stream_last_sample_timestamp_seconds   per stream: one sample period after its last
//                                              sample (the end of its latest file)
//   trq_stream_latency_seconds                 per stream: now minus that
//   trq_stream_archive_files                   per stream: its archive files (rows)
//   trq_stream_archive_samples                 per stream: its samples
//   trq_stream_gaps_last_day                   per stream: gaps that ended in the last 24 h
//   trq_http_requests_total                    per route label and status code
//   trq_http_request_duration_seconds          per route label: a histogram
//   trq_picture_cache_requests_total           pictures found kept (hit) or drawn (miss)
//   trq_watch_recordings_total                 by outcome        } only where the watch
//   trq_watch_backlog_recordings                                 } mode tells
//   trq_catalog_journal_bytes                                    }
//
// Every stream has the labels network, station, location, channel (as served); a stream
// the inventory lists without data has files and samples 0 and no time.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "catalog/CatalogFigures.h"
#include "trq/fdsn/ArchiveOverview.h"
#include "trq/fdsn/RequestMetrics.h"
#include "trq/fdsn/WatchStatus.h"

namespace trq {

struct MetricsView {
    ArchiveOverview overview;  // figures without windows, gaps of the last day
    // Keyed by station and channel as the catalog names them.
    std::map<std::pair<std::string, std::string>, StreamTotals> totals;
    std::map<std::string, RouteRequests> requests;
    int64_t pictureHits = 0;
    int64_t pictureMisses = 0;
    std::optional<WatchStatus> watch;
};

std::string MetricsPage(const MetricsView& view);

}  // namespace trq
