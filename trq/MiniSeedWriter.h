#pragma once
// Writes miniSEED (SEED 2.4 data records) with libmseed: float32 samples, big-endian.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

namespace trq {

struct MiniSeedTrace {
    std::string network;   // 1-2 characters
    std::string station;   // 1-5 characters
    std::string location;  // 0-2 characters
    std::string channel;   // 1-3 characters
    double sampleRate = 0;
    int64_t startMicroseconds = 0;  // first sample, microseconds since 1970-01-01 UTC
    std::span<const float> samples;
};

// Why a code cannot go into a SEED record header, or "" when it can.
std::string SeedCodeProblem(const std::string& code, std::size_t minLength, std::size_t maxLength);

class MiniSeedWriter {
  public:
    // Creates (truncates) `path`. Throws std::runtime_error naming the call and the path.
    MiniSeedWriter(const std::string& path, int recordLength);
    // Closes the file; removes it unless Finish() has succeeded.
    ~MiniSeedWriter();
    MiniSeedWriter(const MiniSeedWriter&) = delete;
    MiniSeedWriter& operator=(const MiniSeedWriter&) = delete;

    // Packs all samples of `trace` into records. Throws std::runtime_error.
    void Write(const MiniSeedTrace& trace);
    // Flushes and closes the file. Throws std::runtime_error when it cannot be written.
    void Finish();

    int64_t Records() const { return records_; }
    int64_t Samples() const { return samples_; }

  private:
    static void HandleRecord(char* record, int length, void* self);

    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::string path_;
    int recordLength_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    bool writeFailed_ = false;
    bool finished_ = false;
    int64_t records_ = 0;
    int64_t samples_ = 0;
};

}  // namespace trq
