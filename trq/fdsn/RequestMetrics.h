#pragma once
// Requests the server answered, counted for /metrics per route label (a service's name, or a
// page's, FdsnRoutes.h): by status, and their durations as a histogram. Safe to record from
// every worker at once.

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace trq {

// The histogram's upper bounds in seconds (Prometheus's default buckets); +Inf follows.
inline constexpr std::array<double, 11> kDurationBuckets{0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                                         0.5,   1,    2.5,   5,    10};

struct RouteRequests {
    std::map<int, int64_t> statuses;  // status -> requests
    // Requests that took at most each bound (cumulative, as the format has them).
    std::array<int64_t, kDurationBuckets.size()> atMost{};
    double seconds = 0;  // summed
    int64_t count = 0;
};

class RequestMetrics {
  public:
    // Every route label starts at zero, so that a rate over it exists before the first
    // request.
    RequestMetrics();

    void Record(const std::string& label, int status, double seconds);
    // The figures now, by route label.
    std::map<std::string, RouteRequests> Snapshot() const;

  private:
    mutable std::mutex mutex_;
    std::map<std::string, RouteRequests> routes_;
};

}  // namespace trq
