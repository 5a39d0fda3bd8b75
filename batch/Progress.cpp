#include "batch/Progress.h"

#include <unistd.h>

namespace {
constexpr auto kPlainInterval = std::chrono::seconds(10);
}

Progress::Progress(std::size_t recordings, uintmax_t bytes, bool quiet, std::FILE* out)
    : out_(out),
      quiet_(quiet),
      terminal_(isatty(fileno(out)) != 0),
      total_(recordings),
      totalBytes_(bytes),
      started_(std::chrono::steady_clock::now()),
      printed_(started_) {}

void Progress::Done(uintmax_t bytes) {
    std::lock_guard lock(mutex_);
    ++done_;
    doneBytes_ += bytes;
    const auto now = std::chrono::steady_clock::now();
    if (terminal_ || now - printed_ >= kPlainInterval) {
        printed_ = now;
        Print();
    }
}

void Progress::Finish() {
    std::lock_guard lock(mutex_);
    if (terminal_ && !quiet_ && done_ > 0) std::fputc('\n', out_);
}

void Progress::Print() {
    if (quiet_) return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const double mbPerSecond = seconds > 0 ? doneBytes_ / 1e6 / seconds : 0;
    const double left = doneBytes_ > 0 ? seconds * (totalBytes_ - doneBytes_) / doneBytes_ : 0;
    std::fprintf(out_, "%s%zu/%zu recordings, %.1f MB/s, %.0f s left%s", terminal_ ? "\r" : "",
                 done_, total_, mbPerSecond, left, terminal_ ? "   " : "\n");
    std::fflush(out_);
}
