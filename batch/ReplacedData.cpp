#include "batch/ReplacedData.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "archive/ArchiveFile.h"
#include "archive/ArchiveText.h"
#include "platform/BinaryFile.h"
#include "recorder/Recording.h"

namespace {

int64_t FileLengthOf(const ArchiveFilePlan& plan) {
    return static_cast<int64_t>(kArchiveHeaderSize + kArchiveSampleSize * plan.sampleCount);
}

// Whether the file has the length and the header the conversion would give it: what can be
// told without decoding the recording.
bool SameLengthAndHeader(const ReplacedFile& file, double rate, const std::string& station) {
    platform::BinaryFile existing = platform::BinaryFile::OpenReadOnly(file.diskPath);
    if (!existing.IsOpen() || existing.Length() != FileLengthOf(file.plan)) return false;
    std::array<char, kArchiveHeaderSize> expected;
    std::array<char, kArchiveHeaderSize> held;
    return ComposeFileHeader(expected, file.plan.start, rate, station.c_str(),
                             file.plan.name.c_str()) &&
           existing.Read(held.data(), held.size()) == static_cast<int64_t>(held.size()) &&
           expected == held;
}

// The decoded pieces of the channels, as they stream past, against the samples of the files
// not yet found different. One file is open at a time, read a piece at a time.
class SampleComparison {
  public:
    explicit SampleComparison(std::vector<ReplacedFile>& files) : files_(files) {}

    // The channel's next `count` samples (pieces come channel by channel, in time order, and
    // every channel hands on at least one, maybe empty).
    void Piece(const char* channel, int32_t count, const float* samples) {
        if (channel_ == 0 || channelName_ != channel) {
            ++channel_;
            channelName_ = channel;
            position_ = 0;
        }
        const int64_t end = position_ + count;
        while (next_ < files_.size() && Passed(files_[next_].plan)) ++next_;
        for (std::size_t k = next_; k < files_.size() && files_[k].plan.channel == channel_ &&
                                    files_[k].plan.firstSample < end;
             ++k) {
            const ArchiveFilePlan& plan = files_[k].plan;
            const int64_t from = std::max(position_, plan.firstSample);
            const int64_t to = std::min(end, plan.firstSample + plan.sampleCount);
            if (from < to && files_[k].sameData)
                Compare(k, from, to - from, samples + (from - position_));
        }
        position_ = end;
    }

  private:
    // The file's last sample lies before the current piece.
    bool Passed(const ArchiveFilePlan& plan) const {
        return plan.channel < channel_ ||
               (plan.channel == channel_ && plan.firstSample + plan.sampleCount <= position_);
    }

    // Samples `first` .. `first + count - 1` of the channel against those of file `k`.
    void Compare(std::size_t k, int64_t first, int64_t count, const float* samples) {
        ReplacedFile& file = files_[k];
        if (openIndex_ != k) {
            open_ = platform::BinaryFile::OpenReadOnly(file.diskPath);
            openIndex_ = k;
        }
        const auto size = static_cast<std::size_t>(count);
        bytes_.resize(size * kArchiveSampleSize);
        held_.resize(size);
        const auto offset = static_cast<int64_t>(
            kArchiveHeaderSize + kArchiveSampleSize * (first - file.plan.firstSample));
        file.sameData =
            open_.IsOpen() && open_.SeekTo(offset) &&
            open_.Read(bytes_.data(), bytes_.size()) == static_cast<int64_t>(bytes_.size());
        if (!file.sameData) return;
        DecodeArchiveSamples(bytes_, held_);
        file.sameData = std::memcmp(held_.data(), samples, size * sizeof(float)) == 0;
    }

    std::vector<ReplacedFile>& files_;
    std::size_t next_ = 0;  // the first file whose samples are still to come
    int channel_ = 0;       // the channel being decoded, 1 .. channelCount
    std::string channelName_;
    int64_t position_ = 0;  // index in its channel of the next piece's first sample
    platform::BinaryFile open_;
    std::size_t openIndex_ = SIZE_MAX;  // which file open_ is
    std::vector<unsigned char> bytes_;  // a piece of the open file
    std::vector<float> held_;           // the same piece decoded
};

}  // namespace

int CompareReplacedFiles(Recording& recording, const std::string& station,
                         const ChannelMap& channelMap, std::vector<ReplacedFile>& files) {
    const double rate = recording.SampleRate();
    bool undecided = false;
    for (ReplacedFile& file : files) {
        file.sameData = SameLengthAndHeader(file, rate, station);
        undecided = undecided || file.sameData;
    }
    if (!undecided) return 0;
    SampleComparison comparison(files);
    const SampleReceiver receiver =
        [&comparison](const char*, const char* channel, double, EpochSeconds, int32_t count,
                      const float* samples) { comparison.Piece(channel, count, samples); };
    return recording.ReadChannels(receiver, station.c_str(), channelMap, &IsUsableChannelName);
}
