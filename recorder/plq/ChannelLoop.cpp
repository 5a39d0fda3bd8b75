#include "recorder/plq/ChannelLoop.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/BinaryFile.h"
#include "platform/Console.h"
#include "platform/ExitCodes.h"
#include "recorder/ChannelMap.h"
#include "recorder/plq/RecorderHeader.h"
#include "recorder/plq/SampleDecoding.h"

namespace {

constexpr int kConverted = ExitCode::kConverted;
constexpr int kFileDoesNotMatch = ExitCode::kReadFile;

// The recorder file after its header: channelCount blocks of equal size, one per channel
// in channel order, nothing between them and nothing after the last.
//
//  FIELD         TYPE          OFFSET (channel n = 1..channelCount)
//  blockPrefix   4 bytes       256 + (n - 1) * blockSize   not interpreted
//  samples       B * N bytes   + 4                         little-endian, in time order
//
//  B = BytesPerSample(sampleFormat), N = samplesPerChannel, blockSize = B * N + 4.
constexpr int64_t kBlockPrefixSize = 4;

// Geometry of the channel blocks, in 64 bits: B * N alone can pass 4 GiB.
struct BlockLayout {
    int64_t sampleBytes = 0;  // B * N
    int64_t blockSize = 0;    // B * N + 4

    int64_t BlockOffset(int channel) const {
        return static_cast<int64_t>(kRecorderHeaderSize) + (channel - 1) * blockSize;
    }
    int64_t FileLength(int channelCount) const {
        return static_cast<int64_t>(kRecorderHeaderSize) + channelCount * blockSize;
    }
};

BlockLayout LayoutOf(const RecorderHeader& header) {
    BlockLayout layout;
    layout.sampleBytes =
        static_cast<int64_t>(BytesPerSample(header.sampleFormat)) * header.samplesPerChannel;
    layout.blockSize = layout.sampleBytes + kBlockPrefixSize;
    return layout;
}

// Samples a channel is read, decoded and handed on in at a time: the archive writer's own
// chunk size, so that it cuts the channel at the same samples as if it had got the whole
// block at once, and memory stays the same for a recording of any length.
constexpr int32_t kPieceSamples = 5000;

// The raw bytes and decoded samples of one piece, reused for every piece of every channel.
struct PieceBuffers {
    std::array<unsigned char, kPieceSamples * 4> raw;
    std::array<float, kPieceSamples> samples;
};

int ReportWrongFileSize(const std::string& reason) {
    ConsoleMessage("ERROR: Wrong file size!!!");
    ConsoleNotice("%s", reason.c_str());
    return kFileDoesNotMatch;
}

std::string Announced(const RecorderHeader& header) {
    return std::to_string(header.channelCount) + " channels of " +
           std::to_string(header.samplesPerChannel) + " samples in format " +
           std::to_string(header.sampleFormat);
}

// The writer keeps one channel per name, with letter case ignored. Two recorder channels
// of one file under the same name would therefore share one archive stream, and the
// second would start a file of the first one's name and time and overwrite it. Such a
// file is refused before anything is written. Returns true when the names are distinct.
bool ChannelNamesAreDistinct(const ChannelMap& channelMap, int channelCount) {
    std::map<std::string, int> firstChannelOf;
    for (int channel = 1; channel <= channelCount; ++channel) {
        const std::string name = ChannelNameOf(channelMap, channel);
        std::string folded = name;
        for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const auto [entry, added] = firstChannelOf.emplace(folded, channel);
        if (!added) {
            ConsoleMessage("ERROR: channels %d and %d have the same name %s!!!", entry->second,
                           channel, name.c_str());
            ConsoleNotice(
                "channels %d and %d would share the archive files of %s: give them "
                "names that differ in more than letter case in [CHANNELMAP]",
                entry->second, channel, name.c_str());
            return false;
        }
    }
    return true;
}

// Names that cannot be archived are refused before anything is written, not found block by
// block. Returns true when every name is usable.
bool ChannelNamesAreUsable(const ChannelMap& channelMap, int channelCount,
                           ChannelNameRule isUsableName) {
    if (isUsableName == nullptr) return true;
    for (int channel = 1; channel <= channelCount; ++channel) {
        const std::string name = ChannelNameOf(channelMap, channel);
        if (!isUsableName(name)) {
            ConsoleMessage("ERROR: bad channel name %s!!!", name.c_str());
            ConsoleNotice(
                "channel %d: the name \"%s\" from [CHANNELMAP] cannot be part of a "
                "file name (no / or \\)",
                channel, name.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

EpochSeconds RecordingStartTime(const RecorderHeader& header) {
    const float seconds = static_cast<float>(header.second + header.millisecond * 0.001);
    return DateToEpochSeconds(header.year, header.month, header.day, header.hour, header.minute,
                              seconds);
}

int64_t AnnouncedFileLength(const RecorderHeader& header) {
    return LayoutOf(header).FileLength(header.channelCount);
}

int CheckRecording(const platform::BinaryFile& file, const RecorderHeader& header,
                   const ChannelMap& channelMap, ChannelNameRule isUsableName) {
    const int channelCount = header.channelCount;
    // Negative counts describe no file at all and are refused before anything else. The
    // length test alone would not catch them: B * N + 4 is 0 for N = -2 in format 0 and
    // for N = -1 in the others, so a file of just its header would pass.
    if (channelCount < 0 || header.samplesPerChannel < 0) {
        return ReportWrongFileSize("the header announces " + Announced(header) +
                                   ": a count below zero");
    }
    const int64_t expected = AnnouncedFileLength(header);
    if (file.Length() != expected) {
        return ReportWrongFileSize("the file is " + std::to_string(file.Length()) +
                                   " bytes; its header announces " + Announced(header) + ", " +
                                   std::to_string(expected) + " bytes");
    }
    // Samples without a positive rate or a usable start time cannot be placed in time: the
    // file is refused as a whole rather than converted into nothing.
    if (header.samplesPerSecond <= 0) {
        ConsoleMessage("ERROR: Wrong sample rate!!!");
        ConsoleNotice("the header announces %d samples per second", header.samplesPerSecond);
        return kFileDoesNotMatch;
    }
    // The bounds, not the calendar fields: a time in the last day before the year 1
    // would still read as the year 1.
    if (!IsArchiveTime(RecordingStartTime(header))) {
        ConsoleMessage("ERROR: Wrong start time!!!");
        ConsoleNotice("the header's start lies outside the years 1 to 9999");
        return kFileDoesNotMatch;
    }
    if (!ChannelNamesAreUsable(channelMap, channelCount, isUsableName)) {
        return ExitCode::kBadChannelName;
    }
    if (!ChannelNamesAreDistinct(channelMap, channelCount)) return ExitCode::kSameChannelName;
    return kConverted;
}

int ConvertChannels(const SampleReceiver& receiver, platform::BinaryFile& file,
                    const RecorderHeader& header, const char* stationName,
                    const ChannelMap& channelMap, const char* filePath,
                    ChannelNameRule isUsableName) {
    const int checked = CheckRecording(file, header, channelMap, isUsableName);
    if (checked != kConverted || header.channelCount == 0) return checked;
    const EpochSeconds start = RecordingStartTime(header);
    const int channelCount = header.channelCount;
    const int32_t sampleCount = header.samplesPerChannel;
    const BlockLayout layout = LayoutOf(header);

    PieceBuffers buffers;
    const double rate = static_cast<double>(header.samplesPerSecond);
    const int bytesPerSample = BytesPerSample(header.sampleFormat);
    for (int channel = 1; channel <= channelCount; ++channel) {
        // One positioning and a prefix read per block, then the pieces in order. Neither
        // the positioning nor the prefix read is checked: a failure there shows as a short
        // sample read.
        file.SeekTo(layout.BlockOffset(channel));
        unsigned char prefix[kBlockPrefixSize];
        file.Read(prefix, sizeof prefix);
        const std::string channelName = ChannelNameOf(channelMap, channel);
        int32_t done = 0;
        do {
            const int32_t count = std::min(kPieceSamples, sampleCount - done);
            const auto bytes = static_cast<int64_t>(count) * bytesPerSample;
            if (file.Read(buffers.raw.data(), static_cast<std::size_t>(bytes)) != bytes) {
                ConsoleMessage("ERROR: read channel %d of file %s!!!", channel, filePath);
                ConsoleNotice(
                    "read channel %d of %s: the file ended early (it changed while it "
                    "was read)",
                    channel, filePath);
                return kFileDoesNotMatch;
            }
            DecodeSamples(header.sampleFormat, buffers.raw.data(), static_cast<std::size_t>(count),
                          buffers.samples.data());
            // The start of each piece as the writer computes the start of each chunk.
            receiver(stationName, channelName.c_str(), rate, start + done / rate, count,
                     buffers.samples.data());
            done += count;
        } while (done < sampleCount);
    }
    return kConverted;
}

ExponentCounts CountGainExponents(platform::BinaryFile& file, const RecorderHeader& header,
                                  int channel) {
    ExponentCounts counts{};
    const BlockLayout layout = LayoutOf(header);
    std::vector<unsigned char> raw(static_cast<std::size_t>(layout.sampleBytes));
    if (!file.SeekTo(layout.BlockOffset(channel) + kBlockPrefixSize) ||
        file.Read(raw.data(), raw.size()) != static_cast<int64_t>(raw.size())) {
        return counts;
    }
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
        ++counts[GainRangedExponent(static_cast<uint16_t>(raw[i] | raw[i + 1] << 8))];
    }
    return counts;
}
