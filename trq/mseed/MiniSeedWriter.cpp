#include "trq/mseed/MiniSeedWriter.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace trq {

namespace {

// Standard output through a descriptor of its own, so that closing it leaves stdout alone.
std::FILE* OpenOutput(const std::string& path) {
    if (path != kStandardOutputName) return std::fopen(path.c_str(), "wb");
    const int fd = ::dup(STDOUT_FILENO);
    std::FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (file == nullptr && fd >= 0) ::close(fd);
    return file;
}

}  // namespace

MiniSeedWriter::MiniSeedWriter(const std::string& path, int recordLength)
    : path_(path), recordLength_(recordLength), file_(OpenOutput(path)) {
    if (!file_) {
        throw std::runtime_error("fopen(" + path + ") failed: " + std::strerror(errno));
    }
}

MiniSeedWriter::~MiniSeedWriter() {
    if (finished_ || path_ == kStandardOutputName) return;
    file_.reset();
    std::remove(path_.c_str());
}

void MiniSeedWriter::Write(const MiniSeedTrace& trace) {
    records_ += PackMiniSeed(trace, recordLength_, [this](const char* record, std::size_t length) {
        if (std::fwrite(record, 1, length, file_.get()) != length) writeFailed_ = true;
    });
    if (writeFailed_) {
        throw std::runtime_error("fwrite(" + path_ + ") failed: " + std::strerror(errno));
    }
    samples_ += static_cast<int64_t>(trace.samples.size());
}

void MiniSeedWriter::Finish() {
    if (!file_) throw std::logic_error("MiniSeedWriter::Finish called twice");
    std::FILE* file = file_.release();
    const bool flushed = std::fflush(file) == 0;
    const int error = errno;
    const bool closed = std::fclose(file) == 0;
    if (!flushed || !closed || writeFailed_) {
        throw std::runtime_error("writing " + path_ +
                                 " failed: " + std::strerror(flushed ? errno : error));
    }
    finished_ = true;
}

}  // namespace trq
