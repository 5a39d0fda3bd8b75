#include "trq/mseed/MiniSeedPacker.h"

#include <libmseed.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <vector>

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

// libmseed calls back through a C function pointer; the sink and the first exception it
// threw travel in here, and the exception is thrown again once libmseed has returned.
struct SinkCall {
    const MiniSeedRecordSink* sink;
    int64_t records = 0;
    std::exception_ptr failure;
};

void HandleRecord(char* record, int length, void* data) {
    auto* call = static_cast<SinkCall*>(data);
    ++call->records;
    if (call->failure) return;
    try {
        (*call->sink)(record, static_cast<std::size_t>(length));
    } catch (...) {
        call->failure = std::current_exception();
    }
}

TraceHandle MakeTrace(const MiniSeedTrace& trace) {
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
    if (trace.encoding == MiniSeedEncoding::kSteim2) {
        auto* integers = static_cast<int32_t*>(mst->datasamples);
        for (std::size_t i = 0; i < trace.samples.size(); ++i)
            integers[i] = static_cast<int32_t>(trace.samples[i]);
        mst->sampletype = 'i';
    } else {
        std::memcpy(mst->datasamples, trace.samples.data(), bytes);
        mst->sampletype = 'f';
    }
    mst->numsamples = static_cast<int64_t>(trace.samples.size());
    mst->samplecnt = mst->numsamples;
    return mst;
}

// The records' fixed header holds the start time to 100 microseconds; Blockette 1001
// carries the microseconds beyond, which libmseed fills in only when the template of the
// records has one. A template's codes take the place of the trace's.
RecordHandle MakeTemplate(const MiniSeedTrace& trace) {
    RecordHandle recordTemplate(msr_init(nullptr));
    if (!recordTemplate) throw std::runtime_error("msr_init failed");
    CopyCode(recordTemplate->network, trace.network);
    CopyCode(recordTemplate->station, trace.station);
    CopyCode(recordTemplate->location, trace.location);
    CopyCode(recordTemplate->channel, trace.channel);
    recordTemplate->dataquality = 'D';
    recordTemplate->sequence_number = trace.firstSequenceNumber;
    blkt_1001_s timing{};
    if (msr_addblockette(recordTemplate.get(), reinterpret_cast<char*>(&timing), sizeof timing,
                         1001, 0) == nullptr) {
        throw std::runtime_error("msr_addblockette(1001) failed");
    }
    return recordTemplate;
}

}  // namespace

bool Steim2Carries(std::span<const float> samples) {
    // Steim-2's widest difference is 30 bits, signed.
    constexpr double kLargestDifference = (1 << 29) - 1, kSmallestDifference = -(1 << 29);
    double previous = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double value = samples[i];
        if (!(value >= INT32_MIN && value <= INT32_MAX) || value != std::floor(value)) return false;
        const double difference = value - previous;
        if (i > 0 && (difference > kLargestDifference || difference < kSmallestDifference))
            return false;
        previous = value;
    }
    return true;
}

int64_t PackMiniSeed(const MiniSeedTrace& trace, int recordLength, const MiniSeedRecordSink& sink) {
    if (trace.samples.empty()) return 0;
    const bool steim2 = trace.encoding == MiniSeedEncoding::kSteim2;
    if (steim2 && !Steim2Carries(trace.samples)) {
        throw std::runtime_error("Steim-2 cannot carry the samples of " + trace.station + " " +
                                 trace.channel + " exactly");
    }
    TraceHandle mst = MakeTrace(trace);
    RecordHandle recordTemplate = MakeTemplate(trace);
    SinkCall call{&sink, 0, nullptr};
    int64_t packed = 0;
    const int records =
        mst_pack(mst.get(), &HandleRecord, &call, recordLength, steim2 ? DE_STEIM2 : DE_FLOAT32, 1,
                 &packed, 1, 0, recordTemplate.get());
    if (call.failure) std::rethrow_exception(call.failure);
    if (records < 0 || packed != static_cast<int64_t>(trace.samples.size())) {
        throw std::runtime_error("mst_pack failed for " + trace.station + " " + trace.channel +
                                 " (" + std::to_string(packed) + " of " +
                                 std::to_string(trace.samples.size()) + " samples packed)");
    }
    return call.records;
}

std::size_t Float32SamplesPerRecord(int recordLength) {
    static std::mutex mutex;
    static std::map<int, std::size_t> known;
    std::lock_guard lock(mutex);
    if (auto found = known.find(recordLength); found != known.end()) return found->second;
    // Twice as many samples as the record has bytes fill the first record for certain;
    // its number of samples is the big-endian word at byte 30 of the fixed header.
    const std::vector<float> probe(static_cast<std::size_t>(recordLength) * 2, 0.0f);
    std::size_t perRecord = 0;
    PackMiniSeed({"XX", "PROBE", "", "BHZ", 1.0, 0, probe}, recordLength,
                 [&](const char* record, std::size_t) {
                     if (perRecord != 0) return;
                     const auto* bytes = reinterpret_cast<const unsigned char*>(record);
                     perRecord = static_cast<std::size_t>(bytes[30]) << 8 | bytes[31];
                 });
    if (perRecord == 0) throw std::runtime_error("libmseed packed no sample into a record");
    known[recordLength] = perRecord;
    return perRecord;
}

}  // namespace trq
