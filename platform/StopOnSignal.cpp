#include "platform/StopOnSignal.h"

#include <pthread.h>

#include <chrono>
#include <utility>

namespace platform {

StopOnSignal::StopOnSignal(std::function<void()> stop) {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    // Blocked before any other thread starts, so every thread inherits the mask and only
    // sigwait below takes them.
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    watcher_ = std::thread([this, stop = std::move(stop)] {
        int signal = 0;
        sigwait(&signals_, &signal);
        while (!done_) {
            stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
}

StopOnSignal::~StopOnSignal() {
    done_ = true;
    pthread_kill(watcher_.native_handle(), SIGTERM);
    watcher_.join();
}

}  // namespace platform
