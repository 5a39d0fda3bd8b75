// Load on a running `trq serve`: CLIENTS clients at once, each asking the PATHs in turn
// (each client starting at another one) for SECONDS seconds, every request on a connection
// of its own, as a reverse proxy forwards them. A request fails when it gets no answer, a
// status other than 200, or an empty body. Prints one line of figures:
//
//   requests=N failed=N per_second=R p50_ms=T p99_ms=T max_ms=T mb_per_second=R
//
//   bench_serve_load HOST PORT CLIENTS SECONDS PATH...

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Tally {
    std::mutex mutex;
    std::vector<double> milliseconds;
    int64_t failed = 0;
    int64_t bytes = 0;
};

void RunClient(const std::string& host, int port, const std::vector<std::string>& paths,
               std::size_t first, Clock::time_point end, Tally& tally) {
    std::vector<double> milliseconds;
    int64_t failed = 0, bytes = 0;
    for (std::size_t i = first; Clock::now() < end; ++i) {
        httplib::Client client(host, port);
        client.set_read_timeout(60, 0);
        const Clock::time_point start = Clock::now();
        const httplib::Result result = client.Get(paths[i % paths.size()].c_str());
        milliseconds.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (!result || result->status != 200 || result->body.empty()) {
            ++failed;
        } else {
            bytes += static_cast<int64_t>(result->body.size());
        }
    }
    std::lock_guard lock(tally.mutex);
    tally.milliseconds.insert(tally.milliseconds.end(), milliseconds.begin(), milliseconds.end());
    tally.failed += failed;
    tally.bytes += bytes;
}

double Percentile(std::vector<double>& values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index =
        static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s HOST PORT CLIENTS SECONDS PATH...\n", argv[0]);
        return 2;
    }
    const std::string host = argv[1];
    const int port = std::atoi(argv[2]);
    const int clients = std::atoi(argv[3]);
    const double seconds = std::atof(argv[4]);
    const std::vector<std::string> paths(argv + 5, argv + argc);

    Tally tally;
    const Clock::time_point start = Clock::now();
    const Clock::time_point end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back(RunClient, host, port, std::cref(paths), static_cast<std::size_t>(c),
                             end, std::ref(tally));
    }
    for (std::thread& thread : threads) thread.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    const auto requests = static_cast<int64_t>(tally.milliseconds.size());
    const double p50 = Percentile(tally.milliseconds, 0.50);
    const double p99 = Percentile(tally.milliseconds, 0.99);
    const double max = tally.milliseconds.empty() ? 0 : tally.milliseconds.back();
    std::printf(
        "requests=%lld failed=%lld per_second=%.1f p50_ms=%.1f p99_ms=%.1f max_ms=%.1f "
        "mb_per_second=%.1f\n",
        static_cast<long long>(requests), static_cast<long long>(tally.failed),
        static_cast<double>(requests) / elapsed, p50, p99, max,
        static_cast<double>(tally.bytes) / elapsed / 1e6);
    return tally.failed == 0 ? 0 : 1;
}
