#pragma once
// SEED 2.4 data records made with libmseed: Steim-2 or float32 samples, big-endian,
// Blockette 1000
// and Blockette 1001 (the microseconds of the start time), handed on one record at a time
// so that a caller can write them to a file or a network connection as they come.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace trq {

// How samples are written: Steim-2 (compressed integers) or float32.
enum class MiniSeedEncoding { kSteim2, kFloat32 };

struct MiniSeedTrace {
    std::string network;   // 1-2 characters
    std::string station;   // 1-5 characters
    std::string location;  // 0-2 characters
    std::string channel;   // 1-3 characters
    double sampleRate = 0;
    int64_t startMicroseconds = 0;  // first sample, microseconds since 1970-01-01 UTC
    std::span<const float> samples;
    int32_t firstSequenceNumber = 1;  // of the first record; the next ones count on
    MiniSeedEncoding encoding = MiniSeedEncoding::kFloat32;
};

// Whether Steim-2 carries `samples` exactly: each a whole number in the range of int32, and
// each difference from the one before within the 30 bits Steim-2 has for it.
bool Steim2Carries(std::span<const float> samples);

using MiniSeedRecordSink = std::function<void(const char* record, std::size_t length)>;

// Packs every sample of `trace` into records of `recordLength` bytes (a power of two from
// 256 to 65536), each handed to `sink`, and returns how many there were. Every record but
// the last is full. Throws std::runtime_error when libmseed fails or Steim-2 is asked for
// samples it cannot carry (Steim2Carries), and whatever `sink` throws.
int64_t PackMiniSeed(const MiniSeedTrace& trace, int recordLength, const MiniSeedRecordSink& sink);

// How many float32 samples a full record of `recordLength` bytes holds. The first call
// packs a probe record; make it before threads pack at once, so that libmseed's one-time
// set-up of byte orders happens on one thread.
std::size_t Float32SamplesPerRecord(int recordLength);

}  // namespace trq
