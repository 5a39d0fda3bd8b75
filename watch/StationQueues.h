#pragma once
// The watch mode's backlog: one queue per station, taken in the order its jobs came, by
// workers that each hold one station at a time, so that a station's recordings are
// converted one after the other and stations side by side. A job put back to be tried
// again later goes to the front of its station's queue and holds the station back until
// then, so that the station's order stays. Safe to use from every thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "watch/WatchJob.h"

class StationQueues {
  public:
    using Clock = std::chrono::steady_clock;

    // At the back of its station's queue.
    void Push(WatchJob job);
    // At the front of its station's queue; nothing of the station is taken before `notBefore`.
    void PushFront(WatchJob job, Clock::time_point notBefore);
    // The next job of a station that no worker holds and whose time has come, the station
    // served longest ago first; waits for one. The station is held until Release. Nothing
    // once Stop was called.
    std::optional<WatchJob> Take();
    void Release(const std::string& station);
    // Take returns nothing from now on, in every worker.
    void Stop();

    // Jobs not yet taken, and jobs being worked on.
    std::size_t Waiting() const;
    std::size_t Working() const;

  private:
    struct Station {
        std::deque<WatchJob> jobs;
        Clock::time_point notBefore{};
        bool held = false;
        uint64_t served = 0;  // the turn it was last taken in
    };

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Station> stations_;
    uint64_t turn_ = 0;
    bool stopping_ = false;
};
