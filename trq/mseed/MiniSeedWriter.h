#pragma once
// Writes miniSEED (SEED 2.4 data records) to a file: float32 samples, big-endian.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "trq/mseed/MiniSeedPacker.h"

namespace trq {

// The output name that stands for standard output.
inline constexpr char kStandardOutputName[] = "-";

class MiniSeedWriter {
  public:
    // Creates (truncates) `path`; "-" is standard output. Throws std::runtime_error naming
    // the call and the path.
    MiniSeedWriter(const std::string& path, int recordLength);
    // Closes the file; removes it unless Finish() has succeeded (standard output stays).
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
