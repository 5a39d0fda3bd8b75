#include "trq/fdsn/FdsnRoutes.h"

#include <stdexcept>

#include "trq/fdsn/AvailabilityService.h"
#include "trq/fdsn/DataselectService.h"
#include "trq/fdsn/StationService.h"

namespace trq {

namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kPng = "image/png";

std::vector<FdsnRoute> MakeRouteTable() {
    std::vector<FdsnRoute> routes{
        {RouteKind::kHome, "/", nullptr, nullptr, kHtml, "home"},
        {RouteKind::kStationPage, "/station", nullptr, nullptr, kHtml, "station-page"},
        {RouteKind::kAvailabilityPicture, "/pictures/availability.png", nullptr, nullptr, kPng,
         "pictures"},
        {RouteKind::kQuickLook, "/pictures/quicklook.png", nullptr, nullptr, kPng, "pictures"},
        {RouteKind::kStyle, "/trq.css", nullptr, nullptr, "text/css; charset=utf-8", "style"},
        {RouteKind::kIcon, "/favicon.ico", nullptr, nullptr, "image/svg+xml", "style"},
        // The media type of the Prometheus text format, version 0.0.4.
        {RouteKind::kMetrics, "/metrics", nullptr, nullptr,
         "text/plain; version=0.0.4; charset=utf-8", "metrics"}};
    for (const FdsnService* service : FdsnServices()) {
        const std::string base = service->BasePath();
        for (const auto& [kind, document] : {std::pair{RouteKind::kUsage, kUsagePage},
                                             {RouteKind::kVersion, kVersionDocument},
                                             {RouteKind::kWadl, kWadlDocument}}) {
            routes.push_back({kind, base + document.path, service, nullptr, document.mediaType,
                              service->Name()});
        }
        for (const FdsnMethod& method : service->Methods()) {
            routes.push_back({RouteKind::kMethod, base + method.name, service, &method, nullptr,
                              service->Name()});
        }
    }
    return routes;
}

}  // namespace

std::span<const FdsnService* const> FdsnServices() {
    static const FdsnService* const services[] = {&DataselectService(), &StationService(),
                                                  &AvailabilityService()};
    return services;
}

const std::vector<FdsnRoute>& FdsnRouteTable() {
    static const std::vector<FdsnRoute> routes = MakeRouteTable();
    return routes;
}

const FdsnRoute& PageRoute(RouteKind kind) {
    for (const FdsnRoute& route : FdsnRouteTable()) {
        if (route.kind == kind && !route.service) return route;
    }
    throw std::logic_error("no page route of this kind");
}

std::string MethodPath(const FdsnService& service, std::string_view method) {
    return service.BasePath() + std::string(method);
}

const FdsnService* ServiceOfPath(std::string_view path) {
    for (const FdsnService* service : FdsnServices()) {
        if (path.starts_with("/fdsnws/" + std::string(service->Name()) + "/")) return service;
    }
    return nullptr;
}

std::string RouteLabelOfPath(std::string_view path) {
    for (const FdsnRoute& route : FdsnRouteTable()) {
        if (route.path == path) return route.label;
    }
    return "none";
}

}  // namespace trq
