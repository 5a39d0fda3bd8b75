#pragma once
// miniSEED records (SEED 2.4 data records, big-endian) one after another into a file or onto
// standard output.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "trq/mseed/TraceWriter.h"

namespace trq {

// The output name that stands for standard output.
inline constexpr char kStandardOutputName[] = "-";

// What the file and standard output share: records written to a stream as they are packed.
class MiniSeedStreamWriter : public TraceWriter {
  public:
    MiniSeedStreamWriter(const MiniSeedStreamWriter&) = delete;
    MiniSeedStreamWriter& operator=(const MiniSeedStreamWriter&) = delete;

    void Write(const MiniSeedTrace& trace) override;
    // Flushes and closes the stream. Throws std::runtime_error when it cannot be written.
    void Finish() override;
    std::string Summary(std::string_view source) const override;

    // A stream as it was opened, with errno of the opening call when it failed (null).
    struct Opened {
        std::FILE* file;
        int error;
    };

  protected:
    // Takes the stream opened for `name`; throws std::runtime_error naming the call and
    // the name when it could not be opened.
    MiniSeedStreamWriter(std::string name, int recordLength, Opened opened);
    const std::string& Name() const { return name_; }
    bool Finished() const { return finished_; }
    // Closes the stream without a check, for a writer that goes unfinished.
    void Abandon() { file_.reset(); }

  private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::string name_;
    int recordLength_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    bool writeFailed_ = false;
    bool finished_ = false;
    int64_t records_ = 0;
    int64_t samples_ = 0;
};

class MiniSeedFileWriter final : public MiniSeedStreamWriter {
  public:
    // Creates (truncates) `path`. Throws std::runtime_error naming the call and the path.
    MiniSeedFileWriter(const std::string& path, int recordLength);
    // Removes the file unless Finish() has succeeded: no half-written output is left.
    ~MiniSeedFileWriter() override;
};

// Standard output through a descriptor of its own, so that closing it leaves stdout alone;
// named "-".
class StandardOutputWriter final : public MiniSeedStreamWriter {
  public:
    explicit StandardOutputWriter(int recordLength);
};

}  // namespace trq
