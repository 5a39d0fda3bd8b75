#include "batch/DryRun.h"

#include <algorithm>
#include <filesystem>

#include "archive/ArchiveText.h"
#include "archive/ChannelBuffer.h"
#include "archive/StationArchive.h"
#include "batch/ConsoleLines.h"
#include "batch/ReplacedData.h"
#include "recorder/ChannelMap.h"
#include "recorder/RecordingOpener.h"

namespace {

// The archive files one channel of `count` samples from `start` fills: the writer takes
// blocks of at most 5000 samples and starts a new file once a file covers more than its
// length less one second. A channel without samples fills none.
std::vector<ArchiveFilePlan> ChannelFiles(int channel, const std::string& name, EpochSeconds start,
                                          double rate, int64_t count) {
    const double limit = CStationArchive::kFileLengthMinutes * 60 - 1;
    std::vector<ArchiveFilePlan> files;
    double fileSeconds = -1;  // no file open
    for (int64_t first = 0; first < count; first += CChannelBuffer::kCapacity) {
        const int64_t n = std::min<int64_t>(CChannelBuffer::kCapacity, count - first);
        if (fileSeconds < 0) {
            files.push_back(
                {channel, name, start + static_cast<double>(first) / rate, first, 0, {}});
            fileSeconds = 0;
        }
        files.back().sampleCount += n;
        fileSeconds += static_cast<double>(n) / rate;
        if (fileSeconds > limit) fileSeconds = -1;
    }
    return files;
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
    // As the conversion tells it.
    if (outcome.exitCode != 0) ConsoleNotice("%s", opened.failure.c_str());
    if (outcome.exitCode == 0) {
        outcome.exitCode = opened.recording->Check(channelMap, &IsUsableChannelName);
    }
    if (outcome.exitCode == 0 && !IsUsableStationName(recording.station)) {
        outcome.exitCode = -7;
    }
    if (outcome.exitCode != 0) {
        outcome.reasons = lines.Errors();
        outcome.notices = lines.Notices();
        return outcome;
    }
    Recording& recorded = *opened.recording;
    const EpochSeconds start = recorded.StartTime();
    std::vector<ArchiveFilePlan> files;
    std::vector<ReplacedFile> onDisk;  // replaced files that no recording before would make
    for (int channel = 1; channel <= recorded.ChannelCount(); ++channel) {
        for (ArchiveFilePlan& file :
             ChannelFiles(channel, ChannelNameOf(channelMap, channel), start, recorded.SampleRate(),
                          recorded.SamplesPerChannel())) {
            file.catalogPath = CatalogPath(
                recording.station,
                ArchiveFileName(ArchiveTimeOf(file.start), file.name, recording.station));
            const std::string diskPath = DiskPathOfCatalogPath(dataDir, file.catalogPath);
            if (planned.count(file.catalogPath) == 0 && std::filesystem::exists(diskPath)) {
                onDisk.push_back({file, diskPath});
            }
            files.push_back(std::move(file));
        }
    }
    // Only a recording that replaces files is decoded.
    if (!onDisk.empty()) {
        outcome.exitCode = CompareReplacedFiles(recorded, recording.station, channelMap, onDisk);
        if (outcome.exitCode != 0) {
            outcome.reasons = lines.Errors();
            outcome.notices = lines.Notices();
            return outcome;
        }
    }
    for (const ReplacedFile& file : onDisk) outcome.sameData[file.plan.catalogPath] = file.sameData;
    for (const ArchiveFilePlan& file : files) {
        const bool there =
            planned.count(file.catalogPath) > 0 || outcome.sameData.count(file.catalogPath) > 0;
        (there ? outcome.replaced : outcome.created).push_back(file.catalogPath);
        planned.insert(file.catalogPath);
    }
    return outcome;
}
