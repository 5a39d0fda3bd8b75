#pragma once
// Read-only access to a recorder file: bytes as stored, no newline translation,
// no sharing restriction (other processes may read or write the file meanwhile).

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class BinaryFile {
  public:
    BinaryFile() = default;
    // Opens `path` read-only. Check IsOpen(): a failed open yields a closed file, and so
    // does anything but a regular file (a directory, FIFO or device).
    static BinaryFile OpenReadOnly(const std::string& path);

    BinaryFile(BinaryFile&& other) noexcept;
    BinaryFile& operator=(BinaryFile&& other) noexcept;
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;
    ~BinaryFile();  // closes; never throws

    bool IsOpen() const { return fd_ >= 0; }
    // Why the open failed ("No such file or directory", "not a regular file"); empty when
    // it did not.
    const std::string& OpenFailure() const { return openFailure_; }
    // Reads up to `count` bytes; returns the number read, 0 at end of file, -1 on error.
    // Retries interrupted and partial reads so that a short count means end of file or error.
    int64_t Read(void* buffer, std::size_t count);
    // Positions at `offset` bytes from the start; false on failure.
    bool SeekTo(int64_t offset);
    // Length of the file in bytes, -1 on failure.
    int64_t Length() const;
    void Close();

  private:
    explicit BinaryFile(int fd) : fd_(fd) {}
    int fd_ = -1;
    std::string openFailure_;
};

}  // namespace platform
