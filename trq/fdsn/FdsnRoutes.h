#pragma once
// The route table: the server's pages (the archive at a glance, one page per station, their
// pictures and stylesheet, the metrics for monitoring) and every FDSN web service it offers,
// each below /fdsnws/<name>/1/ (FdsnService.h). The server adds its handlers from it, and
// the pages build their links from it.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "trq/fdsn/FdsnService.h"

namespace trq {

// What a route answers with.
enum class RouteKind {
    kHome,                 // the stations, their latency and coverage, links (HTML)
    kStationPage,          // one station: channels, quick looks, metadata, gaps (HTML)
    kAvailabilityPicture,  // spans, gaps and overlaps of streams over a window (PNG)
    kQuickLook,            // the samples of streams over a window (PNG)
    kStyle,                // the pages' stylesheet
    kIcon,                 // the icon browsers ask every site for
    kMetrics,              // figures for monitoring, in the Prometheus text format
    kUsage,
    kVersion,
    kWadl,
    kMethod
};

struct FdsnRoute {
    RouteKind kind;
    std::string path;                      // "/", "/fdsnws/station/1/query"
    const FdsnService* service = nullptr;  // null for the pages
    const FdsnMethod* method = nullptr;    // kMethod's
    // The media type of a page or fixed document; null for a method, whose answer names
    // its own.
    const char* mediaType = nullptr;
    // What the metrics count the route's requests under: its service's name, or the page's.
    std::string label = {};
};

std::span<const FdsnService* const> FdsnServices();

// Every route: the pages, then for each service its usage page, version, WADL (GET) and
// methods (GET and POST).
const std::vector<FdsnRoute>& FdsnRouteTable();

// The route of a page (every kind but the services' has one).
const FdsnRoute& PageRoute(RouteKind kind);

// The path of a service's method: "/fdsnws/dataselect/1/query".
std::string MethodPath(const FdsnService& service, std::string_view method);

// The service whose routes `path` lies below, or null.
const FdsnService* ServiceOfPath(std::string_view path);

// The metrics label of a request for `path`: its route's label, "none" for a path that is
// not served.
std::string RouteLabelOfPath(std::string_view path);

}  // namespace trq
