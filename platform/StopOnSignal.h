#pragma once
// A clean stop of a long-running program on SIGINT (Ctrl-C) or SIGTERM (systemctl stop):
// the stop runs on a thread of its own, where it may do what no signal handler may (take a
// lock, wait for a server's threads).

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace platform {

class StopOnSignal {
  public:
    // Blocks SIGINT and SIGTERM in the calling thread, and so in every thread it starts
    // afterwards: construct it before any other thread, so that only its own takes them. On
    // the first of them, calls `stop` from that thread, and again every 50 ms until this
    // object goes: a stop that comes before the work has begun (a server not yet listening)
    // would otherwise be lost.
    explicit StopOnSignal(std::function<void()> stop);
    // Ends the watching thread; the signals stay blocked.
    ~StopOnSignal();
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

  private:
    sigset_t signals_{};
    std::atomic<bool> done_{false};
    std::thread watcher_;
};

}  // namespace platform
