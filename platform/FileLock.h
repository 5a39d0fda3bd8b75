#pragma once
// An exclusive lock on a lock file, held from Acquire until the object is destroyed or
// Release is called. The lock is flock(2) on the open file: the system drops it when the
// process ends in any way, so a killed converter never leaves a station locked.

#include <chrono>
#include <functional>
#include <string>

#include "platform/FileServices.h"

namespace platform {

class FileLock {
  public:
    enum class State {
        kHeld,    // this process holds the lock
        kBusy,    // another process held it for longer than the wait allowed
        kFailed,  // the lock file could not be opened or locked (see Error)
        kReleased,
    };

    FileLock() = default;
    // Opens `path` (creating it, empty, if needed) and locks it. While another process
    // holds the lock, waits for it, up to `wait`; `onWaiting` is called once, when the first
    // try finds the lock held.
    static FileLock Acquire(const std::string& path, std::chrono::milliseconds wait,
                            const std::function<void()>& onWaiting = {});

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // Who holds the lock on `path` on this machine, from the system's list of locks:
    // "process 1234 (plq2trq)", or empty when no local process holds it or the list cannot
    // be read (a holder on another host of a shared file system is not listed).
    static std::string DescribeHolder(const std::string& path);

    State GetState() const { return state_; }
    bool Held() const { return state_ == State::kHeld; }
    const FileError& Error() const { return error_; }
    void Release();

  private:
    int fd_ = -1;
    State state_ = State::kFailed;
    FileError error_;
};

}  // namespace platform
