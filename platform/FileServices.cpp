#include "platform/FileServices.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace platform {

namespace {

int RealOpen(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}

}  // namespace

FileCalls RealFileCalls() {
    return FileCalls{&RealOpen, &::flock,           &::lseek,  &::writev, &::ftruncate,
                     &::close,  &::mkdir,           &::unlink, &::rename, &::fdatasync,
                     &::fsync,  &::sync_file_range, &::fstat};
}

FileCalls& FileSystemCalls() {
    static FileCalls calls = RealFileCalls();
    return calls;
}

std::string FileError::Describe(const std::string& path) const {
    if (!Failed()) return {};
    return std::string(call) + " " + path + ": " + std::strerror(code);
}

OutputFile OutputFile::OpenForAppend(const char* path) {
    const FileCalls& sys = FileSystemCalls();
    OutputFile file(sys.Open(path, O_WRONLY | O_CLOEXEC, 0));
    if (file.fd_ < 0) {
        file.Fail("open", errno);
        return file;
    }
    if (sys.Flock(file.fd_, LOCK_EX | LOCK_NB) != 0) {
        file.Fail("flock", errno);
        file.Close();
        return file;
    }
    off_t end = sys.Lseek(file.fd_, 0, SEEK_END);
    if (end < 0) {
        file.Fail("lseek", errno);
        file.Close();
        return file;
    }
    file.lengthAtOpen_ = end;
    return file;
}

OutputFile OutputFile::CreateTruncated(const char* path) {
    const FileCalls& sys = FileSystemCalls();
    // Opened without O_TRUNC: the file is cut only once this writer holds the lock, so a
    // file that another writer is filling is left alone.
    OutputFile file(sys.Open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (file.fd_ < 0) {
        file.Fail("open", errno);
        return file;
    }
    if (sys.Flock(file.fd_, LOCK_EX | LOCK_NB) != 0) {
        file.Fail("flock", errno);
        file.Close();
        return file;
    }
    if (sys.Ftruncate(file.fd_, 0) != 0) {
        file.Fail("ftruncate", errno);
        file.Close();
        return file;
    }
    return file;
}

OutputFile OutputFile::OpenAppending(const char* path) {
    OutputFile file(FileSystemCalls().Open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
    if (file.fd_ < 0) file.Fail("open", errno);
    return file;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), lengthAtOpen_(other.lengthAtOpen_), error_(other.error_) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) FileSystemCalls().Close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        lengthAtOpen_ = other.lengthAtOpen_;
        error_ = other.error_;
    }
    return *this;
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) FileSystemCalls().Close(fd_);
}

bool OutputFile::Fail(const char* call, int code) {
    if (!error_.Failed()) error_ = FileError{call, code};
    return false;
}

bool OutputFile::Write(const void* first, std::size_t firstSize, const void* second,
                       std::size_t secondSize) {
    if (fd_ < 0) return Fail("write", EBADF);
    iovec pieces[2] = {{const_cast<void*>(first), firstSize},
                       {const_cast<void*>(second), secondSize}};
    iovec* next = pieces;
    int left = 2;
    // Skip empty pieces so that a finished write is recognised by `left` reaching 0.
    auto dropEmpty = [&] {
        while (left > 0 && next->iov_len == 0) {
            ++next;
            --left;
        }
    };
    dropEmpty();
    while (left > 0) {
        ssize_t written = FileSystemCalls().Writev(fd_, next, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return Fail("writev", errno);
        }
        if (written == 0) return Fail("writev", ENOSPC);  // no progress: give up
        auto done = static_cast<std::size_t>(written);
        while (left > 0 && done >= next->iov_len) {
            done -= next->iov_len;
            ++next;
            --left;
        }
        if (left > 0) {
            next->iov_base = static_cast<char*>(next->iov_base) + done;
            next->iov_len -= done;
        }
        dropEmpty();
    }
    return true;
}

bool OutputFile::TruncateTo(int64_t length) {
    if (fd_ < 0) return Fail("ftruncate", EBADF);
    if (FileSystemCalls().Ftruncate(fd_, static_cast<off_t>(length)) != 0) {
        return Fail("ftruncate", errno);
    }
    return true;
}

bool OutputFile::StillNamed() {
    struct stat status {};
    if (fd_ < 0) return Fail("fstat", EBADF);
    if (FileSystemCalls().Fstat(fd_, &status) != 0) return Fail("fstat", errno);
    if (status.st_nlink == 0) return Fail("fstat", ENOENT);
    return true;
}

void OutputFile::StartWriteback() {
    if (fd_ >= 0) FileSystemCalls().SyncFileRange(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

bool OutputFile::SyncData() {
    if (fd_ < 0) return Fail("fdatasync", EBADF);
    if (FileSystemCalls().Fdatasync(fd_) != 0) return Fail("fdatasync", errno);
    return true;
}

bool OutputFile::Close() {
    if (fd_ < 0) return true;
    int fd = std::exchange(fd_, -1);
    // The descriptor is released even when close() reports an error: retrying could
    // close a descriptor that another open has been given meanwhile.
    if (FileSystemCalls().Close(fd) != 0) return Fail("close", errno);
    return true;
}

bool MakeDirectoryLevel(const char* path) {
    return FileSystemCalls().Mkdir(path, 0777) == 0;
}

bool RemoveFile(const char* path) {
    return FileSystemCalls().Unlink(path) == 0;
}

bool RenameFile(const char* from, const char* to) {
    return FileSystemCalls().Rename(from, to) == 0;
}

FileError SyncDirectory(const char* path) {
    const FileCalls& sys = FileSystemCalls();
    const int fd = sys.Open(path, O_RDONLY | O_CLOEXEC | O_DIRECTORY, 0);
    if (fd < 0) return FileError{"open", errno};
    FileError error;
    if (sys.Fsync(fd) != 0) error = FileError{"fsync", errno};
    sys.Close(fd);
    return error;
}

}  // namespace platform
