#include "watch/StationQueues.h"

void StationQueues::Push(WatchJob job) {
    {
        std::lock_guard lock(mutex_);
        const std::string station = job.station;
        stations_[station].jobs.push_back(std::move(job));
    }
    changed_.notify_one();
}

void StationQueues::PushFront(WatchJob job, Clock::time_point notBefore) {
    {
        std::lock_guard lock(mutex_);
        Station& station = stations_[job.station];
        station.jobs.push_front(std::move(job));
        station.notBefore = notBefore;
    }
    changed_.notify_all();
}

std::optional<WatchJob> StationQueues::Take() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stopping_) return std::nullopt;
        const Clock::time_point now = Clock::now();
        Station* next = nullptr;
        std::optional<Clock::time_point> soonest;
        for (auto& [name, station] : stations_) {
            if (station.held || station.jobs.empty()) continue;
            if (station.notBefore > now) {
                if (!soonest || station.notBefore < *soonest) soonest = station.notBefore;
            } else if (next == nullptr || station.served < next->served) {
                next = &station;
            }
        }
        if (next != nullptr) {
            WatchJob job = std::move(next->jobs.front());
            next->jobs.pop_front();
            next->held = true;
            next->served = ++turn_;
            return job;
        }
        if (soonest) {
            changed_.wait_until(lock, *soonest);
        } else {
            changed_.wait(lock);
        }
    }
}

void StationQueues::Release(const std::string& station) {
    {
        std::lock_guard lock(mutex_);
        stations_[station].held = false;
    }
    changed_.notify_all();
}

void StationQueues::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
}

std::size_t StationQueues::Waiting() const {
    std::lock_guard lock(mutex_);
    std::size_t count = 0;
    for (const auto& [name, station] : stations_) count += station.jobs.size();
    return count;
}

std::size_t StationQueues::Working() const {
    std::lock_guard lock(mutex_);
    std::size_t count = 0;
    for (const auto& [name, station] : stations_) count += station.held;
    return count;
}
