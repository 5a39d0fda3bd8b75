#pragma once
// The batch's progress: recordings done of all, MB/s and the time left, told through the
// console sink of the thread that makes it (ConsoleSink::Progress), whichever worker is
// done, with the notices of each recording done above it. Every state where the sink shows
// each in place (a terminal), else one at most every ten seconds. Safe to call from every
// worker.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class ConsoleSink;

class Progress {
  public:
    Progress(std::size_t recordings, uintmax_t bytes, bool quiet);
    // One more recording of `bytes` bytes is done; its `notices` go to the sink first, each
    // as one notice, so that they stand above the progress line.
    void Done(uintmax_t bytes, const std::vector<std::string>& notices = {});
    // Ends the run's progress so that what follows starts on its own line.
    void Finish();

  private:
    void Tell();

    std::mutex mutex_;
    ConsoleSink& sink_;
    bool quiet_;
    bool inPlace_;
    std::size_t total_;
    uintmax_t totalBytes_;
    std::size_t done_ = 0;
    uintmax_t doneBytes_ = 0;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point told_;
};
