#pragma once
// The watch mode's workers and what they share with the service's loop: the setup they
// convert with (replaced whole when the settings are read again), the stations' queues,
// the results they hand back and the wake-up that tells the loop of them. A worker takes
// one job at a time on a catalog connection of its own; a recording the archive could not
// take, or whose station another converter holds, goes back to the front of its station's
// queue, to be tried again.

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/WakeupEvent.h"
#include "recorder/ChannelMap.h"
#include "site/Settings.h"
#include "watch/StationQueues.h"
#include "watch/WatchJob.h"

// What the workers convert with.
struct WatchSetup {
    ConnectionSettings settings;  // with a station lock wait of at most a second
    ChannelMap channels;
    WatchSettings watch;
    int generation = 0;  // counts the readings of the settings
};

// Reads the converter's setup (site/ConverterSetup.h) and the watch mode's settings. A
// station another converter holds is waited for a second at a time, so that a stop is never
// held up by it; the service says once that it waits, and then waits on.
std::shared_ptr<const WatchSetup> ReadWatchSetup(const SettingsFiles& files, int generation);

// What the loop and its workers share.
class WatchShared {
  public:
    StationQueues queues;
    platform::WakeupEvent wakeup;
    std::atomic<bool> catalogAway{false};

    void SetSetup(std::shared_ptr<const WatchSetup> setup) {
        std::lock_guard lock(mutex_);
        setup_ = std::move(setup);
    }
    std::shared_ptr<const WatchSetup> Setup() const {
        std::lock_guard lock(mutex_);
        return setup_;
    }
    void Post(WatchResult result) {
        {
            std::lock_guard lock(mutex_);
            results_.push_back(std::move(result));
        }
        wakeup.Wake();
    }
    std::vector<WatchResult> TakeResults() {
        std::lock_guard lock(mutex_);
        return std::exchange(results_, {});
    }

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<const WatchSetup> setup_;
    std::vector<WatchResult> results_;
};

// A worker: jobs until the queues stop, each result posted.
void RunWatchWorker(WatchShared& shared);
