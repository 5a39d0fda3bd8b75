#include "batch/DryRun.h"

#include <algorithm>
#include <filesystem>

#include "archive/ArchiveText.h"
#include "archive/ChannelBuffer.h"
#include "archive/StationArchive.h"
#include "batch/ConsoleLines.h"
#include "recorder/ChannelLoop.h"
#include "recorder/RecordingOpener.h"

namespace {

// The start times of the archive files one channel of `count` samples from `start` fills:
// the writer takes blocks of at most 5000 samples and starts a new file once a file covers
// more than its length less one second.
std::vector<EpochSeconds> FileStarts(EpochSeconds start, double rate, int64_t count) {
    const double limit = CStationArchive::kFileLengthMinutes * 60 - 1;
    std::vector<EpochSeconds> starts;
    double fileSeconds = -1;  // no file open
    for (int64_t first = 0; first < count; first += CChannelBuffer::kCapacity) {
        const int64_t n = std::min<int64_t>(CChannelBuffer::kCapacity, count - first);
        if (fileSeconds < 0) {
            starts.push_back(start + static_cast<double>(first) / rate);
            fileSeconds = 0;
        }
        fileSeconds += static_cast<double>(n) / rate;
        if (fileSeconds > limit) fileSeconds = -1;
    }
    if (count == 0) starts.push_back(start);
    return starts;
}

}  // namespace

RecordingOutcome DryRunRecording(const PlannedRecording& recording, const std::string& dataDir,
                                 const ChannelMap& channelMap, std::set<std::string>& planned) {
    RecordingOutcome outcome;
    outcome.recording = recording;
    outcome.dryRun = true;
    ConsoleLines lines;
    OpenedRecording opened = OpenRecording(recording.path.c_str(), HeaderReadLine::kLeftOut);
    outcome.exitCode = opened.exitCode;
    if (outcome.exitCode == 0) {
        outcome.exitCode =
            CheckRecording(opened.file, opened.header, channelMap, &IsUsableChannelName);
    }
    if (outcome.exitCode == 0 && !IsUsableStationName(recording.station)) {
        outcome.exitCode = -7;
    }
    if (outcome.exitCode != 0) {
        outcome.reasons = lines.Errors();
        return outcome;
    }
    const RecorderHeader& header = opened.header;
    const EpochSeconds start = RecordingStartTime(header);
    for (int channel = 1; channel <= header.channelCount; ++channel) {
        const std::string name = ChannelNameOf(channelMap, channel);
        for (EpochSeconds fileStart :
             FileStarts(start, header.samplesPerSecond, header.samplesPerChannel)) {
            const std::string path =
                CatalogPath(recording.station,
                            ArchiveFileName(ArchiveTimeOf(fileStart), name, recording.station));
            const bool there = planned.count(path) > 0 ||
                               std::filesystem::exists(DiskPathOfCatalogPath(dataDir, path));
            (there ? outcome.replaced : outcome.created).push_back(path);
            planned.insert(path);
        }
    }
    return outcome;
}
