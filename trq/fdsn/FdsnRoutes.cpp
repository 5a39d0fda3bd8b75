#include "trq/fdsn/FdsnRoutes.h"

#include "trq/fdsn/AvailabilityService.h"
#include "trq/fdsn/DataselectService.h"
#include "trq/fdsn/StationService.h"

namespace trq {

namespace {

std::vector<FdsnRoute> MakeRouteTable() {
    std::vector<FdsnRoute> routes{
        {RouteKind::kIndex, "/", nullptr, nullptr, "text/html; charset=utf-8"}};
    for (const FdsnService* service : FdsnServices()) {
        const std::string base = service->BasePath();
        for (const auto& [kind, document] : {std::pair{RouteKind::kUsage, kUsagePage},
                                             {RouteKind::kVersion, kVersionDocument},
                                             {RouteKind::kWadl, kWadlDocument}}) {
            routes.push_back({kind, base + document.path, service, nullptr, document.mediaType});
        }
        for (const FdsnMethod& method : service->Methods()) {
            routes.push_back({RouteKind::kMethod, base + method.name, service, &method, nullptr});
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

const FdsnService* ServiceOfPath(std::string_view path) {
    for (const FdsnService* service : FdsnServices()) {
        if (path.starts_with("/fdsnws/" + std::string(service->Name()) + "/")) return service;
    }
    return nullptr;
}

}  // namespace trq
