#include "trq/fdsn/RequestMetrics.h"

#include "trq/fdsn/FdsnRoutes.h"

namespace trq {

RequestMetrics::RequestMetrics() {
    for (const FdsnRoute& route : FdsnRouteTable()) routes_[route.label];
}

void RequestMetrics::Record(const std::string& label, int status, double seconds) {
    std::lock_guard lock(mutex_);
    RouteRequests& route = routes_[label];
    ++route.statuses[status];
    for (std::size_t i = 0; i < kDurationBuckets.size(); ++i) {
        if (seconds <= kDurationBuckets[i]) ++route.atMost[i];
    }
    route.seconds += seconds;
    ++route.count;
}

std::map<std::string, RouteRequests> RequestMetrics::Snapshot() const {
    std::lock_guard lock(mutex_);
    return routes_;
}

}  // namespace trq
