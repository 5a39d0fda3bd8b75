#pragma once
// One channel of one station in the archive writer: the block of consecutive samples held
// in memory, and the archive file the channel's data currently go to.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "archive/FileChecksum.h"
#include "platform/FileServices.h"
#include "recorder/Calendar.h"

class CChannelBuffer {
  public:
    // The most samples a block holds, and so the most a chunk may carry.
    static constexpr int32_t kCapacity = 5000;
    // Capacity of the current file path, terminating NUL included.
    static constexpr std::size_t kPathCapacity = 2048;

    CChannelBuffer(std::string channelName, double sampleRate);
    virtual ~CChannelBuffer() = default;
    CChannelBuffer(const CChannelBuffer&) = delete;
    CChannelBuffer& operator=(const CChannelBuffer&) = delete;

    // Set when the entry is created, never changed afterwards.
    double SampleRate() const { return sampleRate_; }
    const std::string& ChannelName() const { return channelName_; }

    // --- The block. Invariants: block start + block duration is when the channel's next
    // sample is expected; an empty block has count 0, start 0 and duration 0.
    EpochSeconds BlockStart() const { return blockStart_; }
    double BlockDuration() const { return blockDuration_; }
    int32_t BufferedCount() const { return bufferedCount_; }
    const float* Samples() const { return samples_.data(); }
    float* Samples() { return samples_.data(); }
    // Makes `count` samples (1..kCapacity) starting at `start` and lasting `duration` the
    // block, replacing what it held.
    void StartBlock(EpochSeconds start, double duration, const float* samples, int32_t count);
    // Appends `count` samples lasting `duration`; the caller has checked that they fit.
    void AppendToBlock(double duration, const float* samples, int32_t count);
    void ClearBlock();

    // --- The current archive file. File start 0 with duration 0 means there is none.
    bool HasCurrentFile() const { return !(fileStart_ == 0 && fileDuration_ == 0); }
    EpochSeconds FileStart() const { return fileStart_; }
    double FileDuration() const { return fileDuration_; }
    // Relative to the data directory, "STA\ddmmyyyy-hhmmss-CHN.STA"; empty at first.
    const char* CurrentFilePath() const { return currentFilePath_.data(); }
    void StartFile(EpochSeconds start, double duration);
    void ExtendFile(double duration) { fileDuration_ += duration; }
    // Length in bytes the current file has as this channel wrote it, or -1 when the channel
    // did not write it whole (its creation failed). An append goes only to a file of exactly
    // this length: any other length means that another writer has changed the file since.
    int64_t FileLength() const { return fileLength_; }
    void SetFileLength(int64_t length) { fileLength_ = length; }
    // Back to "no current file"; the path is kept until the next file replaces it.
    void ForgetFile();
    // The current file, kept open (and locked) from its first block to its last, so that a
    // block costs one write; closed, or handed on to be synced, when the file takes no more
    // samples. Not open when nothing of the current file is unsynced.
    platform::OutputFile& OpenFile() { return openFile_; }
    bool OpenFileIsOpen() const { return openFile_.IsOpen(); }
    // What the current file's rows state so far: its length and duration then, and whether
    // its checksum still has to be stated (a new file's first block: its row came without
    // one, and the block is not synced yet). A file whose later blocks cannot be synced is
    // cut back to it.
    struct StatedFile {
        int64_t length = -1;
        double duration = 0;
        bool checksumDue = false;
    };
    const StatedFile& Stated() const { return stated_; }
    void SetStated(const StatedFile& stated) { stated_ = stated; }
    // Stores the path; false (and the path unchanged) when it does not fit the capacity.
    bool SetCurrentFilePath(std::string_view path);
    // The checksum of the bytes written to the current file so far (when the writer keeps
    // checksums): fed only with what reached the file whole.
    ChecksumBuilder& FileHasher() { return fileHasher_; }

    // --- A channel whose block could not be written takes no more blocks in this run: they
    // would start files named after later blocks, which converting the recording again
    // (the remedy for a failed write) does not replace. Its samples from the failed block on
    // are counted instead, for the report.
    bool Stopped() const { return droppedCount_ > 0; }
    int64_t DroppedCount() const { return droppedCount_; }
    EpochSeconds DroppedFrom() const { return droppedFrom_; }
    // Counts the block's samples as not written (the first such block stops the channel).
    void DropBlock() { DropSamples(bufferedCount_, blockStart_); }
    // Counts `count` samples from `from` on as not written; any count stops the channel.
    void DropSamples(int64_t count, EpochSeconds from);

  private:
    double sampleRate_;
    std::string channelName_;
    std::array<char, kPathCapacity> currentFilePath_{};
    EpochSeconds fileStart_ = 0;
    double fileDuration_ = 0;
    int64_t fileLength_ = -1;
    platform::OutputFile openFile_;
    StatedFile stated_;
    ChecksumBuilder fileHasher_;
    int64_t droppedCount_ = 0;
    EpochSeconds droppedFrom_ = 0;
    EpochSeconds blockStart_ = 0;
    double blockDuration_ = 0;
    int32_t bufferedCount_ = 0;
    std::array<float, kCapacity> samples_;
};
