#include "trq/mseed/MiniSeedWriter.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace trq {

namespace {

MiniSeedStreamWriter::Opened OpenFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    return {file, errno};
}

MiniSeedStreamWriter::Opened DuplicateStandardOutput() {
    const int fd = ::dup(STDOUT_FILENO);
    std::FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    const int error = errno;
    if (file == nullptr && fd >= 0) ::close(fd);
    return {file, error};
}

}  // namespace

MiniSeedStreamWriter::MiniSeedStreamWriter(std::string name, int recordLength, Opened opened)
    : name_(std::move(name)), recordLength_(recordLength), file_(opened.file) {
    if (!file_) {
        throw std::runtime_error("fopen(" + name_ + ") failed: " + std::strerror(opened.error));
    }
}

void MiniSeedStreamWriter::Write(const MiniSeedTrace& trace) {
    records_ += PackMiniSeed(trace, recordLength_, [this](const char* record, std::size_t length) {
        if (std::fwrite(record, 1, length, file_.get()) != length) writeFailed_ = true;
    });
    if (writeFailed_) {
        throw std::runtime_error("fwrite(" + name_ + ") failed: " + std::strerror(errno));
    }
    samples_ += static_cast<int64_t>(trace.samples.size());
}

void MiniSeedStreamWriter::Finish() {
    if (!file_) throw std::logic_error("MiniSeedStreamWriter::Finish called twice");
    std::FILE* file = file_.release();
    const bool flushed = std::fflush(file) == 0;
    const int error = errno;
    const bool closed = std::fclose(file) == 0;
    if (!flushed || !closed || writeFailed_) {
        throw std::runtime_error("writing " + name_ +
                                 " failed: " + std::strerror(flushed ? errno : error));
    }
    finished_ = true;
}

std::string MiniSeedStreamWriter::Summary(std::string_view source) const {
    return "wrote " + name_ + ": " + std::to_string(records_) + " records, " +
           std::to_string(samples_) + " samples " + std::string(source);
}

MiniSeedFileWriter::MiniSeedFileWriter(const std::string& path, int recordLength)
    : MiniSeedStreamWriter(path, recordLength, OpenFile(path)) {}

MiniSeedFileWriter::~MiniSeedFileWriter() {
    if (Finished()) return;
    Abandon();
    std::remove(Name().c_str());
}

StandardOutputWriter::StandardOutputWriter(int recordLength)
    : MiniSeedStreamWriter(kStandardOutputName, recordLength, DuplicateStandardOutput()) {}

}  // namespace trq
