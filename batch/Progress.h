#pragma once
// The batch's progress on standard error: recordings done of all, MB/s and the time left.
// On a terminal one line rewritten in place; otherwise a plain line at most every ten
// seconds. Safe to call from every worker.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>

class Progress {
  public:
    Progress(std::size_t recordings, uintmax_t bytes, bool quiet, std::FILE* out = stderr);
    // One more recording of `bytes` bytes is done.
    void Done(uintmax_t bytes);
    // Ends the in-place line so that what follows starts on its own line.
    void Finish();

  private:
    void Print();

    std::mutex mutex_;
    std::FILE* out_;
    bool quiet_;
    bool terminal_;
    std::size_t total_;
    uintmax_t totalBytes_;
    std::size_t done_ = 0;
    uintmax_t doneBytes_ = 0;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point printed_;
};
