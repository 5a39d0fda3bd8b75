#pragma once
// Writing archive files on POSIX: an existing file opened for appending, a new file created
// (or truncated) under an exclusive lock, a directory level created. Every system call goes
// through a replaceable table so that tests can make failures really happen (a refused open,
// a short write, a full disk, a failing close) without a broken disk.

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// The system calls the file services use. `Open` takes the mode always (the real open()
// is variadic and cannot be replaced by a plain function pointer).
struct FileCalls {
    int (*Open)(const char* path, int flags, mode_t mode);
    int (*Flock)(int fd, int operation);
    off_t (*Lseek)(int fd, off_t offset, int whence);
    ssize_t (*Writev)(int fd, const struct iovec* pieces, int count);
    int (*Ftruncate)(int fd, off_t length);
    int (*Close)(int fd);
    int (*Mkdir)(const char* path, mode_t mode);
    int (*Unlink)(const char* path);
    int (*Rename)(const char* from, const char* to);
    int (*Fdatasync)(int fd);
    int (*Fsync)(int fd);
    int (*SyncFileRange)(int fd, off64_t offset, off64_t count, unsigned int flags);
    int (*Fstat)(int fd, struct stat* status);
};

// The real system calls.
FileCalls RealFileCalls();
// The table in use. Production code only reads it.
FileCalls& FileSystemCalls();

// Test helper: installs a modified table for its lifetime and restores the old one.
class ScopedFileCalls {
  public:
    explicit ScopedFileCalls(const FileCalls& replacement) : saved_(FileSystemCalls()) {
        FileSystemCalls() = replacement;
    }
    ~ScopedFileCalls() { FileSystemCalls() = saved_; }
    ScopedFileCalls(const ScopedFileCalls&) = delete;
    ScopedFileCalls& operator=(const ScopedFileCalls&) = delete;

  private:
    FileCalls saved_;
};

// Which call failed and with which errno. `call` is null while nothing failed.
struct FileError {
    const char* call = nullptr;
    int code = 0;
    bool Failed() const { return call != nullptr; }
    // "<call> <path>: <strerror>" for diagnostics.
    std::string Describe(const std::string& path) const;
};

// One archive file open for writing. Move-only; the destructor closes it (errors ignored,
// never throws) — call Close() to learn whether the close succeeded.
class OutputFile {
  public:
    OutputFile() = default;
    // Opens an existing file for writing, positioned at its end, without truncating it.
    // Fails when the file does not exist or another writer holds its lock.
    static OutputFile OpenForAppend(const char* path);
    // Creates the file or truncates an existing one, for writing. Other writers are kept
    // out by an exclusive advisory lock until the file is closed; a file that another
    // writer holds locked is refused (and not truncated).
    static OutputFile CreateTruncated(const char* path);
    // Opens a file for appending with O_APPEND, creating it when missing: every Write lands
    // at the end, whoever else appends meanwhile. No lock is taken.
    static OutputFile OpenAppending(const char* path);

    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    bool IsOpen() const { return fd_ >= 0; }
    // Length of the file when it was opened (0 for a created file).
    int64_t LengthAtOpen() const { return lengthAtOpen_; }
    // Writes `firstSize` bytes of `first` and then `secondSize` bytes of `second` (either
    // may be empty) at the current position with one gathering write; partial writes and
    // interruptions are continued. False when not everything was written.
    bool Write(const void* first, std::size_t firstSize, const void* second = nullptr,
               std::size_t secondSize = 0);
    // Cuts the file back to `length` bytes.
    bool TruncateTo(int64_t length);
    // False once the file has no name left (removed, or replaced by a rename): what is
    // written to it would reach nobody. Also false when that cannot be told (fstat failed).
    bool StillNamed();
    // Asks the kernel to start writing the file's data to the disk without waiting for it
    // (sync_file_range), so that a later SyncData finds little left to do. Only a hint: a
    // failure is not reported, the later SyncData tells whether the data are safe.
    void StartWriteback();
    // Waits until the file's data are on stable storage (fdatasync).
    bool SyncData();
    // Closes the file; false when the close reported an error (data may not have reached
    // the disk). The file is closed afterwards either way.
    bool Close();
    // The first failure met by this file (or by the open that produced it).
    const FileError& LastError() const { return error_; }

  private:
    explicit OutputFile(int fd) : fd_(fd) {}
    bool Fail(const char* call, int code);
    int fd_ = -1;
    int64_t lengthAtOpen_ = 0;
    FileError error_;
};

// Creates one directory level with mode 0777 less the umask. True when it was created;
// an existing directory gives false like any other failure.
bool MakeDirectoryLevel(const char* path);
// Removes a file; true on success (errno tells why not).
bool RemoveFile(const char* path);
// Renames `from` to `to`, replacing `to` in one step; true on success (errno tells why not).
bool RenameFile(const char* from, const char* to);
// Waits until the entries of the directory at `path` (a new file's name) are on stable
// storage; the error when not.
FileError SyncDirectory(const char* path);

}  // namespace platform
