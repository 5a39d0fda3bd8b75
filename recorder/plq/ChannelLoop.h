#pragma once
// The channel loop of a PLQ recorder file: tests the file's length against its header, then
// decodes every channel block into floats and hands it on, a piece at a time.

#include <cstdint>

#include "recorder/Calendar.h"
#include "recorder/Recording.h"

namespace platform {
class BinaryFile;
}
struct ChannelMap;
struct RecorderHeader;

// The start time of a recording: the header's date and time, with seconds formed as
// second + millisecond * 0.001 in double precision and rounded to a float.
EpochSeconds RecordingStartTime(const RecorderHeader& header);

// The file length the header announces: 256 + channelCount * (4 + bytes per sample *
// samplesPerChannel), in 64 bits.
int64_t AnnouncedFileLength(const RecorderHeader& header);

// The tests ConvertChannels makes before it hands anything on (length, counts, rate, start
// time, channel names), each printing its message; returns 0 when the recording passes them
// all, else ConvertChannels' code for the first that fails.
int CheckRecording(const platform::BinaryFile& file, const RecorderHeader& header,
                   const ChannelMap& channelMap, ChannelNameRule isUsableName = nullptr);

// Converts every channel of the open recorder file, channels 1..channelCount in order,
// each named from `channelMap` or "CH<n>", all with the same start time. A channel is read,
// decoded and handed on in pieces of at most 5000 samples (a channel of no samples as one
// empty piece), each with the start time of its first sample (start + index / rate), so
// that memory does not grow with the recording.
//
// Returns 0 when every channel was handed on (also for 0 channels). Returns -5 after
// printing "ERROR: Wrong file size!!!" when the file's length differs from
// 256 + channelCount * (4 + bytes per sample * samplesPerChannel), or when channelCount or
// samplesPerChannel is negative; nothing is handed on then. Returns -5 after printing
// "ERROR: Wrong sample rate!!!" when
// samplesPerSecond is 0 or negative, and after "ERROR: Wrong start time!!!" when the start
// time lies before the year 1 or after the year 9999, also with nothing handed on.
// Returns -11 after printing "ERROR: channels %d and %d have the same name %s!!!" when two
// channels would be archived under names equal but for letter case (they would share one
// archive stream and the second would overwrite the first's files); nothing is handed on.
// Returns -12 after printing "ERROR: bad channel name %s!!!" when `isUsableName` (if given)
// refuses a channel's name; nothing is handed on.
// Each refusal also gives its reason as a notice.
// Returns -5 after printing "ERROR: read channel %d of file %s!!!" (channel number,
// `filePath`) when a block comes back short although the length matched (the file shrank
// while being read); what was read before has been handed on already.
int ConvertChannels(const SampleReceiver& receiver, platform::BinaryFile& file,
                    const RecorderHeader& header, const char* stationName,
                    const ChannelMap& channelMap, const char* filePath,
                    ChannelNameRule isUsableName = nullptr);

// How many of the stored words of channel `channel` (1 .. channelCount) carry each exponent,
// read from the file as gain-ranged words (format 0); all 0 when the block cannot be read.
ExponentCounts CountGainExponents(platform::BinaryFile& file, const RecorderHeader& header,
                                  int channel);
