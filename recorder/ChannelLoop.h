#pragma once
// The channel loop: tests the recorder file's length against its header, then decodes
// every channel block into floats and hands it on, one call per channel.

#include <cstdint>
#include <functional>

#include "recorder/Calendar.h"

namespace platform {
class BinaryFile;
}
struct ChannelMap;
struct RecorderHeader;

// Receives one decoded channel: station, channel name, sample rate, start time of the
// first sample, number of samples and the samples. The samples are only valid during
// the call. In the converter this is CArchiveWriter::AddSamples.
using SampleReceiver = std::function<void(const char* station, const char* channel,
                                          double rate, EpochSeconds start, int32_t count,
                                          const float* samples)>;

// Converts every channel of the open recorder file. Returns 0 when the loop has run,
// -5 when the file does not match its header ("ERROR: Wrong file size!!!") or a channel
// block could not be read whole ("ERROR: read channel %d of file %s!!!" with `filePath`).
int ConvertChannels(const SampleReceiver& receiver, platform::BinaryFile& file,
                    const RecorderHeader& header, const char* stationName,
                    const ChannelMap& channelMap, const char* filePath);
