#include "batch/Progress.h"

#include <cstdio>

#include "platform/Console.h"

namespace {
constexpr auto kSeldomInterval = std::chrono::seconds(10);
}

Progress::Progress(std::size_t recordings, uintmax_t bytes, bool quiet)
    : sink_(InstalledConsoleSink()),
      quiet_(quiet),
      inPlace_(sink_.ProgressInPlace()),
      total_(recordings),
      totalBytes_(bytes),
      started_(std::chrono::steady_clock::now()),
      told_(started_) {}

void Progress::Done(uintmax_t bytes, const std::vector<std::string>& notices) {
    std::lock_guard lock(mutex_);
    for (const std::string& notice : notices) sink_.Notice(notice);
    ++done_;
    doneBytes_ += bytes;
    const auto now = std::chrono::steady_clock::now();
    if (inPlace_ || now - told_ >= kSeldomInterval) {
        told_ = now;
        Tell();
    }
}

void Progress::Finish() {
    std::lock_guard lock(mutex_);
    if (!quiet_) sink_.Progress("");
}

void Progress::Tell() {
    if (quiet_) return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const double mbPerSecond = seconds > 0 ? doneBytes_ / 1e6 / seconds : 0;
    const double left = doneBytes_ > 0 ? seconds * (totalBytes_ - doneBytes_) / doneBytes_ : 0;
    char state[128];
    std::snprintf(state, sizeof state, "%zu/%zu recordings, %.1f MB/s, %.0f s left", done_, total_,
                  mbPerSecond, left);
    sink_.Progress(state);
}
