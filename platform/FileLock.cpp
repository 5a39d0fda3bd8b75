#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
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

std::string FileLock::DescribeHolder(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return "";
    // Lines such as "1: FLOCK  ADVISORY  WRITE 1234 fd:01:5678 0 EOF": the holder's process,
    // then the device (major and minor in hex) and the inode of the locked file.
    char device[64];
    std::snprintf(device, sizeof device, "%02x:%02x:%llu", major(info.st_dev), minor(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, process, file;
        fields >> number >> kind >> mode >> access >> process >> file;
        if (kind != "FLOCK" || file != device || process.empty() || process[0] == '-') continue;
        std::string name;
        std::getline(std::ifstream("/proc/" + process + "/comm"), name);
        return "process " + process + (name.empty() ? "" : " (" + name + ")");
    }
    return "";
}

void FileLock::Release() {
    // Closing the descriptor drops the lock; a failing close cannot keep it.
    if (fd_ >= 0) FileSystemCalls().Close(std::exchange(fd_, -1));
    if (state_ == State::kHeld) state_ = State::kReleased;
}

}  // namespace platform
