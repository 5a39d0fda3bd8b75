#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <thread>
#include <utility>

namespace platform {

namespace {

// How often a held lock is tried again. Conversions take seconds, so a tenth of a second
// adds nothing noticeable to the wait and costs nothing while waiting.
constexpr std::chrono::milliseconds kRetryInterval{100};

}  // namespace

FileLock FileLock::Acquire(const std::string& path, std::chrono::milliseconds wait,
                           const std::function<void()>& onWaiting) {
    const FileCalls& sys = FileSystemCalls();
    FileLock lock;
    lock.fd_ = sys.Open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock.fd_ < 0) {
        lock.error_ = {"open", errno};
        return lock;
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (bool first = true;; first = false) {
        if (sys.Flock(lock.fd_, LOCK_EX | LOCK_NB) == 0) {
            lock.state_ = State::kHeld;
            return lock;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            lock.error_ = {"flock", errno};
            lock.Release();
            return lock;  // still kFailed
        }
        if (first && onWaiting) onWaiting();
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(kRetryInterval);
    }
    lock.Release();
    lock.state_ = State::kBusy;
    return lock;
}

FileLock::FileLock(FileLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), state_(other.state_), error_(other.error_) {
    other.state_ = State::kFailed;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
        state_ = std::exchange(other.state_, State::kFailed);
        error_ = other.error_;
    }
    return *this;
}

FileLock::~FileLock() {
    Release();
}

void FileLock::Release() {
    // Closing the descriptor drops the lock; a failing close cannot keep it.
    if (fd_ >= 0) FileSystemCalls().Close(std::exchange(fd_, -1));
    if (state_ == State::kHeld) state_ = State::kReleased;
}

}  // namespace platform
