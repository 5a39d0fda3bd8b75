#pragma once
// A recorder file opened for reading, whatever its format: when its samples start, their
// rate and channels, the tests a conversion makes before it writes anything, and every
// channel decoded into floats. OpenRecording (RecordingOpener.h) tells the format from the
// file itself.
//
// Each format lives in a folder of its own below recorder/ (recorder/plq/), which nothing
// outside recorder/ includes (scripts/check-layers.sh): a second format is a folder there
// and one line in OpenRecording.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "recorder/Calendar.h"

struct ChannelMap;

// Receives one decoded piece of a channel: station, channel name, sample rate, start time
// of the piece's first sample, number of samples and the samples. The samples are only
// valid during the call (never a null pointer, also for 0 samples). In the converter this
// is CArchiveWriter::AddSamples.
using SampleReceiver = std::function<void(const char* station, const char* channel, double rate,
                                          EpochSeconds start, int32_t count, const float* samples)>;

// Whether a channel name can be archived (the archive's rule, handed down by the caller).
using ChannelNameRule = bool (*)(std::string_view name);

// One field of a recording's header, named as its format names it: a number or a text.
struct HeaderField {
    std::string name;
    std::variant<int64_t, std::string> value;
};

// What a recording's header says about the file, for a reader to show (trq inspect).
struct RecordingDescription {
    std::vector<HeaderField> fields;  // in the order of the file
    int64_t announcedLength = 0;      // the file's length in bytes as the header announces it
    std::string formatKey;            // the text that marks the format ...
    std::string formatKeyPlace;       // ... where the header holds it ("the system name")
    bool formatKeyFound = false;
    // The largest magnitude of a gain-ranged sample (a sample there is clipped); 0 when the
    // samples are not gain-ranged.
    float gainRangedFullScale = 0;
};

// How many of a channel's stored gain-ranged words carry each exponent, 0 to 7.
using ExponentCounts = std::array<int64_t, 8>;

class Recording {
  public:
    virtual ~Recording() = default;

    // The time of every channel's first sample.
    virtual EpochSeconds StartTime() const = 0;
    // Samples per second of every channel, as the header gives it (Check tests it).
    virtual double SampleRate() const = 0;
    virtual int ChannelCount() const = 0;
    virtual int64_t SamplesPerChannel() const = 0;

    // The tests a conversion makes before it hands anything on: the file's length against
    // the header, the counts, the rate, the start time, and the channels' names (from
    // `channelMap`, or "CH<n>"), distinct and, if `isUsableName` is given, usable. Each
    // prints its message when it fails. Returns 0 when the recording passes them all, else
    // the exit code of the first that fails.
    virtual int Check(const ChannelMap& channelMap, ChannelNameRule isUsableName) const = 0;

    // Makes the tests of Check, then hands every channel to `receiver` as `station`, in
    // channel order, each in pieces in time order (a channel of no samples as one empty
    // piece), so that memory does not grow with the recording. Returns 0 when every channel
    // was handed on; else the exit code of the failed test, or of a read that came back
    // short after its message (the file changed meanwhile; what was read before has been
    // handed on already).
    virtual int ReadChannels(const SampleReceiver& receiver, const char* station,
                             const ChannelMap& channelMap, ChannelNameRule isUsableName) = 0;

    // Closes the file: nothing more is read.
    virtual void Close() = 0;

    // What the header says, for a reader to show.
    virtual RecordingDescription Describe() const = 0;
    // The exponents of the stored words of channel `channel` (1 .. ChannelCount()) when the
    // samples are gain-ranged, counted from the file: the decoded values do not tell them
    // (2 x 2^0 and 1 x 2^1 decode alike). All 0 when they are not, or cannot be read.
    virtual ExponentCounts GainExponents(int channel) = 0;
};

// What opening a recorder file gives.
struct OpenedRecording {
    // 0, or the exit code of the step that failed: ExitCode::kOpenFile, kReadFile, kNotPlq.
    int exitCode = 0;
    // Set once the header has been read: also when the file then proves to be of no known
    // format (kNotPlq), so that a reader can show what its header says. Of such a file, read
    // no channels.
    std::unique_ptr<Recording> recording;
    int64_t fileLength = -1;  // bytes, once the file is open
    // Why the step failed, one line for the operator's notice; empty when none did.
    std::string failure;
};
