#include "platform/BinaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace platform {

BinaryFile BinaryFile::OpenReadOnly(const std::string& path) {
    // Non-blocking, so that a FIFO without a writer cannot hold the open forever; the flag
    // changes nothing for the regular files that are kept.
    BinaryFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.IsOpen()) {
        file.openFailure_ = std::strerror(errno);
        return file;
    }
    struct stat info {};
    if (::fstat(file.fd_, &info) != 0) {
        file.openFailure_ = std::strerror(errno);
        file.Close();
    } else if (!S_ISREG(info.st_mode)) {
        file.openFailure_ = "not a regular file";
        file.Close();  // a directory, FIFO or device has no length to test against a header
    }
    return file;
}

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), openFailure_(std::move(other.openFailure_)) {}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        openFailure_ = std::move(other.openFailure_);
    }
    return *this;
}

BinaryFile::~BinaryFile() {
    Close();
}

int64_t BinaryFile::Read(void* buffer, std::size_t count) {
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        ssize_t got = ::read(fd_, out + done, count - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            return done > 0 ? static_cast<int64_t>(done) : -1;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<int64_t>(done);
}

bool BinaryFile::SeekTo(int64_t offset) {
    // lseek answers -1 on failure: a negative offset must not pass for a success.
    return offset >= 0 &&
           ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

int64_t BinaryFile::Length() const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
}

void BinaryFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace platform
