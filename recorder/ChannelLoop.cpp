#include "recorder/ChannelLoop.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/BinaryFile.h"
#include "platform/Console.h"
#include "platform/ExitCodes.h"
#include "recorder/ChannelMap.h"
#include "recorder/RecorderHeader.h"
#include "recorder/SampleDecoding.h"

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

// One block's raw bytes and its decoded samples; obtained once per file and reused for
// every channel. Both hold at least one element so that their pointers are never null.
struct ChannelBuffers {
    std::vector<unsigned char> raw;
    std::vector<float> samples;
};

bool ObtainBuffers(ChannelBuffers& buffers, int64_t sampleBytes, int32_t sampleCount) {
    try {
        buffers.raw.resize(std::max<std::size_t>(static_cast<std::size_t>(sampleBytes), 1));
        buffers.samples.resize(std::max<std::size_t>(static_cast<std::size_t>(sampleCount), 1));
        return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    buffers = ChannelBuffers{};
    return false;
}

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

// The archive names files and fills catalog rows with four-digit years: a start time
// before the year 1 or after 9999 (a header from garbage, or fields far out of range) has
// no place in it.
bool IsArchivableStart(EpochSeconds start) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    float seconds = 0;
    return EpochSecondsToDate(start, year, month, day, hour, minute, seconds) && year >= 1 &&
           year <= 9999;
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

std::string ChannelNameOf(const ChannelMap& channelMap, int channel) {
    const char* mapped = FindChannelName(channelMap, channel);
    if (mapped != nullptr) return mapped;
    char defaultName[16];
    std::snprintf(defaultName, sizeof defaultName, "CH%d", channel);
    return defaultName;
}

EpochSeconds RecordingStartTime(const RecorderHeader& header) {
    const float seconds = static_cast<float>(header.second + header.millisecond * 0.001);
    return DateToEpochSeconds(header.year, header.month, header.day, header.hour, header.minute,
                              seconds);
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
    const int64_t expected = LayoutOf(header).FileLength(channelCount);
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
    if (!IsArchivableStart(RecordingStartTime(header))) {
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

    ChannelBuffers buffers;
    if (!ObtainBuffers(buffers, layout.sampleBytes, sampleCount)) {
        ConsoleMessage("ERROR: not enough memory for a channel block!!!");
        ConsoleNotice("cannot obtain %lld bytes for the samples of one channel",
                      static_cast<long long>(layout.sampleBytes + 4LL * sampleCount));
        return ExitCode::kUnexpected;
    }

    const auto sampleBytes = static_cast<std::size_t>(layout.sampleBytes);
    for (int channel = 1; channel <= channelCount; ++channel) {
        // One positioning and two reads per block. Neither the positioning nor the
        // prefix read is checked: a failure there shows as a short sample read.
        file.SeekTo(layout.BlockOffset(channel));
        unsigned char prefix[kBlockPrefixSize];
        file.Read(prefix, sizeof prefix);
        if (file.Read(buffers.raw.data(), sampleBytes) != layout.sampleBytes) {
            ConsoleMessage("ERROR: read channel %d of file %s!!!", channel, filePath);
            ConsoleNotice(
                "read channel %d of %s: the file ended early (it changed while it was "
                "read)",
                channel, filePath);
            return kFileDoesNotMatch;
        }
        DecodeSamples(header.sampleFormat, buffers.raw.data(),
                      static_cast<std::size_t>(sampleCount), buffers.samples.data());

        const std::string channelName = ChannelNameOf(channelMap, channel);
        receiver(stationName, channelName.c_str(), static_cast<double>(header.samplesPerSecond),
                 start, sampleCount, buffers.samples.data());
    }
    return kConverted;
}
