#include "odbc/CallWatchdog.h"

#include "odbc/Database.h"

CallWatchdog::~CallWatchdog() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

CallWatchdog::Watch::Watch(CallWatchdog& watchdog, CDatabase& database, Clock::time_point deadline)
    : watchdog_(watchdog), deadline_(deadline) {
    std::lock_guard lock(watchdog_.mutex_);
    if (!watchdog_.thread_.joinable())
        watchdog_.thread_ = std::thread(&CallWatchdog::Run, &watchdog_);
    id_ = ++watchdog_.lastId_;
    watchdog_.entries_[id_] = {&database, deadline, false};
    watchdog_.wake_.notify_all();
}

CallWatchdog::Watch::~Watch() {
    // Under the lock: once this returns, the connection is never cut for this watch.
    std::lock_guard lock(watchdog_.mutex_);
    watchdog_.entries_.erase(id_);
}

bool CallWatchdog::Watch::Expired() const {
    std::lock_guard lock(watchdog_.mutex_);
    return watchdog_.entries_.at(id_).expired;
}

void CallWatchdog::Run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const Clock::time_point now = Clock::now();
        Clock::time_point next = Clock::time_point::max();
        for (auto& [id, entry] : entries_) {
            if (entry.expired) continue;
            if (entry.deadline <= now) {
                entry.expired = true;
                entry.database->Cut();
            } else {
                next = std::min(next, entry.deadline);
            }
        }
        if (next == Clock::time_point::max()) {
            wake_.wait(lock);
        } else {
            wake_.wait_until(lock, next);
        }
    }
}
