#include "trq/MiniSeedWriter.h"

#include <libmseed.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace trq {

namespace {

struct TraceDeleter {
    void operator()(MSTrace* trace) const { mst_free(&trace); }
};
using TraceHandle = std::unique_ptr<MSTrace, TraceDeleter>;

struct RecordDeleter {
    void operator()(MSRecord* record) const { msr_free(&record); }
};
using RecordHandle = std::unique_ptr<MSRecord, RecordDeleter>;

void CopyCode(char (&field)[11], const std::string& code) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, code.data(), std::min(code.size(), sizeof field - 1));
}

}  // namespace

std::string SeedCodeProblem(const std::string& code, std::size_t minLength, std::size_t maxLength) {
    if (code.size() < minLength || code.size() > maxLength) {
        return "\"" + code + "\" is " + std::to_string(code.size()) +
               " characters; a SEED record holds " + std::to_string(minLength) + " to " +
               std::to_string(maxLength);
    }
    for (char c : code) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            return "\"" + code + "\" holds a character other than A-Z, a-z and 0-9";
        }
    }
    return "";
}

MiniSeedWriter::MiniSeedWriter(const std::string& path, int recordLength)
    : path_(path), recordLength_(recordLength), file_(std::fopen(path.c_str(), "wb")) {
    if (!file_) {
        throw std::runtime_error("fopen(" + path + ") failed: " + std::strerror(errno));
    }
}

MiniSeedWriter::~MiniSeedWriter() {
    if (finished_) return;
    file_.reset();
    std::remove(path_.c_str());
}

void MiniSeedWriter::HandleRecord(char* record, int length, void* self) {
    auto* writer = static_cast<MiniSeedWriter*>(self);
    if (std::fwrite(record, 1, static_cast<std::size_t>(length), writer->file_.get()) !=
        static_cast<std::size_t>(length)) {
        writer->writeFailed_ = true;
    }
    ++writer->records_;
}

void MiniSeedWriter::Write(const MiniSeedTrace& trace) {
    if (trace.samples.empty()) return;
    TraceHandle mst(mst_init(nullptr));
    if (!mst) throw std::runtime_error("mst_init failed");
    CopyCode(mst->network, trace.network);
    CopyCode(mst->station, trace.station);
    CopyCode(mst->location, trace.location);
    CopyCode(mst->channel, trace.channel);
    mst->dataquality = 'D';
    mst->starttime = trace.startMicroseconds;
    mst->samprate = trace.sampleRate;
    // libmseed owns and frees the sample buffer (mst_free), so it comes from malloc.
    const std::size_t bytes = trace.samples.size() * sizeof(float);
    mst->datasamples = std::malloc(bytes);
    if (mst->datasamples == nullptr) throw std::bad_alloc();
    std::memcpy(mst->datasamples, trace.samples.data(), bytes);
    mst->numsamples = static_cast<int64_t>(trace.samples.size());
    mst->samplecnt = mst->numsamples;
    mst->sampletype = 'f';

    // The records' fixed header holds the start time to 100 microseconds; Blockette 1001
    // carries the microseconds beyond, which libmseed fills in only when the template of
    // the records has one. A template's codes take the place of the trace's.
    RecordHandle recordTemplate(msr_init(nullptr));
    if (!recordTemplate) throw std::runtime_error("msr_init failed");
    CopyCode(recordTemplate->network, trace.network);
    CopyCode(recordTemplate->station, trace.station);
    CopyCode(recordTemplate->location, trace.location);
    CopyCode(recordTemplate->channel, trace.channel);
    recordTemplate->dataquality = 'D';
    blkt_1001_s timing{};
    if (msr_addblockette(recordTemplate.get(), reinterpret_cast<char*>(&timing), sizeof timing,
                         1001, 0) == nullptr) {
        throw std::runtime_error("msr_addblockette(1001) failed");
    }

    int64_t packed = 0;
    const int records = mst_pack(mst.get(), &MiniSeedWriter::HandleRecord, this, recordLength_,
                                 DE_FLOAT32, 1, &packed, 1, 0, recordTemplate.get());
    if (records < 0 || packed != static_cast<int64_t>(trace.samples.size())) {
        throw std::runtime_error("mst_pack failed for " + trace.station + " " + trace.channel +
                                 " (" + std::to_string(packed) + " of " +
                                 std::to_string(trace.samples.size()) + " samples packed)");
    }
    if (writeFailed_) {
        throw std::runtime_error("fwrite(" + path_ + ") failed: " + std::strerror(errno));
    }
    samples_ += packed;
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
