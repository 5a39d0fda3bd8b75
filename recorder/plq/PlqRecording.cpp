#include "recorder/plq/PlqRecording.h"

#include <cstdio>
#include <string>
#include <utility>

#include "platform/Console.h"
#include "platform/ExitCodes.h"
#include "recorder/plq/ChannelLoop.h"
#include "recorder/plq/RecorderHeader.h"
#include "recorder/plq/SampleDecoding.h"

namespace {

// Largest magnitude of a gain-ranged word: 1023 x 2^7.
constexpr float kGainRangedFullScale = 130944.0f;

class PlqRecording : public Recording {
  public:
    PlqRecording(platform::BinaryFile file, const RecorderHeader& header, const char* path)
        : file_(std::move(file)), header_(header), path_(path) {}

    EpochSeconds StartTime() const override { return RecordingStartTime(header_); }
    double SampleRate() const override { return header_.samplesPerSecond; }
    int ChannelCount() const override { return header_.channelCount; }
    int64_t SamplesPerChannel() const override { return header_.samplesPerChannel; }

    int Check(const ChannelMap& channelMap, ChannelNameRule isUsableName) const override {
        return CheckRecording(file_, header_, channelMap, isUsableName);
    }
    int ReadChannels(const SampleReceiver& receiver, const char* station,
                     const ChannelMap& channelMap, ChannelNameRule isUsableName) override {
        return ConvertChannels(receiver, file_, header_, station, channelMap, path_.c_str(),
                               isUsableName);
    }
    void Close() override { file_.Close(); }

    RecordingDescription Describe() const override;
    ExponentCounts GainExponents(int channel) override {
        if (header_.sampleFormat != kGainRangedFormat) return {};
        return CountGainExponents(file_, header_, channel);
    }

  private:
    platform::BinaryFile file_;
    RecorderHeader header_;
    std::string path_;
};

RecordingDescription PlqRecording::Describe() const {
    const RecorderHeader& h = header_;
    RecordingDescription description;
    description.fields = {{"systemName", std::string(h.systemName)},
                          {"year", h.year},
                          {"month", h.month},
                          {"day", h.day},
                          {"hour", h.hour},
                          {"minute", h.minute},
                          {"second", h.second},
                          {"millisecond", h.millisecond},
                          {"samplesPerSecond", h.samplesPerSecond},
                          {"channelCount", h.channelCount},
                          {"samplesPerChannel", h.samplesPerChannel},
                          {"sampleFormat", h.sampleFormat}};
    description.announcedLength = AnnouncedFileLength(h);
    description.formatKey = kFormatKey;
    description.formatKeyPlace = "the system name";
    description.formatKeyFound = HasFormatKey(h);
    if (h.sampleFormat == kGainRangedFormat) description.gainRangedFullScale = kGainRangedFullScale;
    return description;
}

}  // namespace

OpenedRecording OpenPlqRecording(platform::BinaryFile file, const char* path) {
    OpenedRecording opened;
    RecorderHeader header;
    if (ReadRecorderHeader(file, header) != 0) {
        ConsoleMessage("ERROR: read file %s!!!", path);
        char reason[96];
        std::snprintf(reason, sizeof reason, ": %lld bytes, a recorder file header takes %zu",
                      static_cast<long long>(file.Length()), kRecorderHeaderSize);
        opened.failure = std::string("read ") + path + reason;
        opened.exitCode = ExitCode::kReadFile;
        return opened;
    }
    if (!HasFormatKey(header)) {
        ConsoleMessage("ERROR: file %s is not PLQ-format (not found key \"%s\")!!!", path,
                       kFormatKey);
        ConsoleMessage("%s", header.systemName);
        opened.failure = std::string(path) + ": the system name in its header does not contain \"" +
                         kFormatKey + "\"";
        opened.exitCode = ExitCode::kNotPlq;
    }
    opened.recording = std::make_unique<PlqRecording>(std::move(file), header, path);
    return opened;
}
