#include "archive/ArchiveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

std::string SystemError(const char* call, const std::string& path, int error) {
    return std::string(call) + "(" + path + ") failed: " + std::strerror(error);
}

// Opened without blocking, so that a FIFO or a device is refused at once by the caller's
// test instead of waiting for a writer; reads of a regular file never block anyway.
FileHandle OpenForReading(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw ArchiveReadError(SystemError("open", path, errno));
    FileHandle file(::fdopen(fd, "rb"));
    if (!file) {
        const int error = errno;
        ::close(fd);
        throw ArchiveReadError(SystemError("fdopen", path, error));
    }
    return file;
}

void ReadExactly(std::FILE* file, void* buffer, std::size_t count, const std::string& path) {
    if (std::fread(buffer, 1, count, file) == count) return;
    if (std::ferror(file)) throw ArchiveReadError(SystemError("fread", path, errno));
    throw ArchiveFormatError("file ended early (changed while it was read)");
}

std::vector<float> ReadSamplesAt(std::FILE* file, const ArchiveFile& archive, int64_t first,
                                 int64_t count) {
    const auto offset = static_cast<int64_t>(kArchiveHeaderSize + kArchiveSampleSize * first);
    if (::fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        throw ArchiveReadError(SystemError("fseek", archive.path, errno));
    }
    const auto size = static_cast<std::size_t>(count);
    std::vector<unsigned char> bytes(size * kArchiveSampleSize);
    ReadExactly(file, bytes.data(), bytes.size(), archive.path);
    std::vector<float> samples(size);
    DecodeArchiveSamples(bytes, samples);
    return samples;
}

}  // namespace

ArchiveFile OpenArchiveFile(const std::string& path) {
    FileHandle file = OpenForReading(path);
    struct stat info {};
    if (::fstat(::fileno(file.get()), &info) != 0) {
        throw ArchiveReadError(SystemError("fstat", path, errno));
    }
    if (!S_ISREG(info.st_mode)) throw ArchiveFormatError("not a regular file");

    ArchiveFile archive;
    archive.path = path;
    archive.fileSize = static_cast<int64_t>(info.st_size);
    if (archive.fileSize < static_cast<int64_t>(kArchiveHeaderSize)) {
        throw ArchiveFormatError("file is " + std::to_string(archive.fileSize) +
                                 " bytes, shorter than the 512-byte header");
    }
    std::array<unsigned char, kArchiveHeaderSize> bytes{};
    ReadExactly(file.get(), bytes.data(), bytes.size(), path);
    archive.header = ParseArchiveHeader(bytes);

    const int64_t sampleBytes = archive.fileSize - static_cast<int64_t>(kArchiveHeaderSize);
    if (sampleBytes % static_cast<int64_t>(kArchiveSampleSize) != 0) {
        throw ArchiveFormatError("file is " + std::to_string(archive.fileSize) +
                                 " bytes, not 512 + 4 x samples (" +
                                 std::to_string(sampleBytes % 4) + " bytes left over)");
    }
    archive.sampleCount = sampleBytes / static_cast<int64_t>(kArchiveSampleSize);
    return archive;
}

std::vector<float> ReadArchiveSamples(const ArchiveFile& archive) {
    FileHandle file = OpenForReading(archive.path);
    std::vector<float> samples = ReadSamplesAt(file.get(), archive, 0, archive.sampleCount);
    if (std::fgetc(file.get()) != EOF) {
        throw ArchiveFormatError("file grew while it was read");
    }
    return samples;
}

std::vector<float> ReadArchiveSampleRange(const ArchiveFile& archive, int64_t first,
                                          int64_t count) {
    if (first < 0 || count < 0 || first + count > archive.sampleCount) {
        throw std::out_of_range("ReadArchiveSampleRange: samples " + std::to_string(first) + " + " +
                                std::to_string(count) + " beyond " +
                                std::to_string(archive.sampleCount));
    }
    FileHandle file = OpenForReading(archive.path);
    return ReadSamplesAt(file.get(), archive, first, count);
}

void DecodeArchiveSamples(std::span<const unsigned char> bytes, std::span<float> samples) {
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const unsigned char* b = bytes.data() + i * kArchiveSampleSize;
        const uint32_t bits =
            uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
        samples[i] = std::bit_cast<float>(bits);
    }
}
