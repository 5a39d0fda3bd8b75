// Station and channel buffering: how samples are cut into chunks, gathered into blocks and
// when a block has to leave memory. Writing a block out is in ArchiveFiles.h.

#include "archive/ArchiveWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "archive/RegistrationJournal.h"
#include "archive/StationDirectory.h"
#include "platform/Console.h"
#include "recorder/UtcTime.h"

namespace {

// A block is never extended past this many samples (a single chunk may hold up to 5000).
constexpr int32_t kMergeLimit = 4900;

}  // namespace

CArchiveWriter::CArchiveWriter(CatalogRegistrar& registrar) : registrar_(registrar) {}

CArchiveWriter::~CArchiveWriter() {
    RemoveAllStations();
}

void CArchiveWriter::SetDataDir(const char* directory) {
    files_.SetDataDir(directory);
}

void CArchiveWriter::AddSamples(const char* station, const char* channel, double rate,
                                EpochSeconds start, int32_t count, const float* samples) {
    // Inputs the channel loop never produces are refused before anything is touched:
    // they would make durations infinite or meaningless, or read outside the caller's data.
    if (count <= 0 || samples == nullptr || station == nullptr || channel == nullptr) return;
    if (!(rate > 0) || !std::isfinite(rate)) return;
    if (!IsArchiveTime(start)) return;

    int32_t done = 0;
    int32_t remaining = count;
    while (remaining != 0) {
        int32_t n = remaining <= CChannelBuffer::kCapacity ? remaining : CChannelBuffer::kCapacity;
        AddBlock(station, channel, rate, start + done / rate, n, samples + done);
        done += n;
        remaining -= n;
    }
}

void CArchiveWriter::AddBlock(const char* station, const char* channel, double rate,
                              EpochSeconds start, int32_t count, const float* samples) {
    std::size_t s = FindOrAddStation(station);
    std::size_t c = FindOrAddChannel(s, channel, rate);
    CChannelBuffer& buffer = stations_[s]->Channel(c);

    // The tolerance and the chunk's duration use this call's rate; the merge test below
    // uses the rate the channel was created with.
    double step = 1.0 / rate;
    double duration = count * step;
    // An empty block is followed by nothing, not even by a chunk that starts near the epoch.
    bool followsOn = buffer.BufferedCount() > 0 &&
                     std::fabs(buffer.BlockStart() + buffer.BlockDuration() - start) <= step;
    if (followsOn && buffer.BufferedCount() + count <= kMergeLimit && buffer.SampleRate() > 1.0) {
        // Within one sample period counts as following on: the chunk is taken as starting
        // exactly where the block ends.
        buffer.AppendToBlock(duration, samples, count);
        return;
    }
    // A gap, an overlap, a full block or a slow channel: the block leaves memory first.
    // (An empty block always lands here; its flush only clears it.)
    Flush(s, c);
    buffer.StartBlock(start, duration, samples, count);
}

std::size_t CArchiveWriter::FindOrAddStation(const char* station) {
    // Case-sensitive: equal bytes, which also compares multibyte characters as wholes.
    for (std::size_t i = 0; i < stations_.size(); ++i) {
        if (stations_[i]->Name() == station) return i;
    }
    stations_.push_back(std::make_unique<CStationArchive>(station));
    return stations_.size() - 1;
}

std::size_t CArchiveWriter::FindOrAddChannel(std::size_t stationIndex, const char* channel,
                                             double rate) {
    CStationArchive& station = *stations_[stationIndex];
    std::ptrdiff_t found = station.FindChannel(channel);
    if (found >= 0) return static_cast<std::size_t>(found);
    return station.AddChannel(channel, rate);
}

void CArchiveWriter::FlushAll() {
    // Every file is finished now: all are synced at one barrier before their last
    // registrations.
    files_.SetFinalFlush(true);
    finalFlush_ = true;
    files_.SyncNewDirectories();
    for (std::size_t s = 0; s < stations_.size(); ++s) {
        for (std::size_t c = 0; c < stations_[s]->ChannelCount(); ++c) {
            Flush(s, c);
            // A file left without a last block.
            files_.LeaveFile(*stations_[s], stations_[s]->Channel(c));
        }
    }
    files_.SetFinalFlush(false);
    finalFlush_ = false;
    files_.SyncFinishedFiles();
    RegisterSyncedExtensions();
    // What is left belongs to files whose sync failed (reported as a write failure): their
    // rows keep claiming only what was synced before.
    keptExtensions_.clear();
    ReportStoppedChannels();
}

void CArchiveWriter::ReportStoppedChannels() {
    for (const auto& station : stations_) {
        for (std::size_t c = 0; c < station->ChannelCount(); ++c) {
            const CChannelBuffer& channel = station->Channel(c);
            int64_t& reported = reportedDrops_[&channel];
            if (channel.DroppedCount() == reported) continue;
            reported = channel.DroppedCount();
            ConsoleNotice(
                "channel %s of station %s: %lld samples from %s on were not written; convert "
                "the recording again once the archive can be written",
                channel.ChannelName().c_str(), station->Name().c_str(),
                static_cast<long long>(channel.DroppedCount()),
                FormatIsoUtc(channel.DroppedFrom(), 3).c_str());
        }
    }
}

void CArchiveWriter::Flush(std::size_t stationIndex, std::size_t channelIndex) {
    if (!checksumsAsked_) {
        // Asked once, before the first file: a catalog without checksums costs no hashing.
        files_.SetKeepChecksums(registrar_.KeepsChecksums());
        checksumsAsked_ = true;
    }
    CStationArchive& station = *stations_[stationIndex];
    const auto registration = files_.Flush(station, station.Channel(channelIndex));
    if (registration && registration->kind == RegistrationKind::kExtendedFile) {
        KeepExtension(registration->file, registration->fileLength);
    }
    const bool newFile = registration && registration->kind == RegistrationKind::kNewFile;
    // The files finished within the window are synced together once it has passed (or
    // enough of them wait), and then registered. Files synced early because a new file takes
    // their name are registered before it. At the end of the run the files finished by the
    // last blocks are registered together once all are synced (FlushAll).
    if (!finalFlush_ && files_.SyncDue()) files_.SyncFinishedFiles();
    if (newFile || !finalFlush_) RegisterSyncedExtensions();
    if (newFile) Register(registration->kind, registration->file);
}

void CArchiveWriter::KeepExtension(const FileRegistration& file, int64_t fileLength) {
    if (mergeExtensions_) {
        // Each extension states the whole file: the last one makes the same row.
        auto same =
            std::find_if(keptExtensions_.begin(), keptExtensions_.end(),
                         [&](const KeptExtension& kept) { return kept.file.path == file.path; });
        if (same != keptExtensions_.end()) {
            *same = {file, fileLength};
            return;
        }
    }
    keptExtensions_.push_back({file, fileLength});
}

void CArchiveWriter::RegisterSyncedExtensions() {
    const std::vector<FinishedFile> finished = files_.TakeFinishedFiles();
    if (finished.empty()) return;
    // Path by path, each in its order (a path's statements stay prepared from one row to the
    // next); the extensions of files not yet finished stay kept.
    std::stable_sort(
        keptExtensions_.begin(), keptExtensions_.end(),
        [](const KeptExtension& a, const KeptExtension& b) { return a.file.path < b.file.path; });
    std::vector<FileRegistration> due;
    for (const FinishedFile& done : finished) {
        auto first =
            std::find_if(keptExtensions_.begin(), keptExtensions_.end(),
                         [&](const KeptExtension& k) { return k.file.path == done.file.path; });
        auto end = std::find_if(first, keptExtensions_.end(), [&](const KeptExtension& k) {
            return k.file.path != done.file.path;
        });
        if (done.cutBack) {
            // Its kept extensions claim what it no longer holds.
            if (done.file.checksum) due.push_back(done.file);
        } else if (files_.StillWrittenUpTo(done.file.path, done.length)) {
            // (Otherwise another writer has changed the file since; its registrations
            // describe it then.)
            for (auto kept = first; kept != end; ++kept) due.push_back(std::move(kept->file));
            // The last registration of the file states it whole, with its checksum: a file
            // finished after its first block alone is stated once more for it.
            if (first != end) {
                due.back().checksum = done.file.checksum;
            } else if (done.file.checksum) {
                due.push_back(done.file);
            }
        }
        keptExtensions_.erase(first, end);
    }
    std::stable_sort(
        due.begin(), due.end(),
        [](const FileRegistration& a, const FileRegistration& b) { return a.path < b.path; });
    if (due.empty()) return;
    const GroupOutcome group = registrar_.RegisterExtensions(due);
    if (group.registered == due.size()) return;
    // A group the catalog did not take (or rolled back) is kept like single registrations.
    catalogFailed_ = true;
    for (std::size_t i = group.registered; i < due.size(); ++i) {
        Defer(RegistrationKind::kExtendedFile, due[i]);
    }
}

void CArchiveWriter::RemoveAllStations() {
    // First entry first, like the lists were filled.
    for (auto& station : stations_) station.reset();
    stations_.clear();
}

void CArchiveWriter::RegisterNewFile(const FileRegistration& file) {
    Register(RegistrationKind::kNewFile, file);
}

void CArchiveWriter::UpdateExtendedFile(const FileRegistration& file) {
    Register(RegistrationKind::kExtendedFile, file);
}

void CArchiveWriter::Register(RegistrationKind kind, const FileRegistration& file) {
    if (registrar_.Register(kind, file) == RegistrationOutcome::kRegistered) return;
    // Kept with its exact values whatever the reason, so that the row can be made later as
    // it should have been (a row rebuilt from the header would lose the start's fraction).
    catalogFailed_ = true;
    Defer(kind, file);
}

void CArchiveWriter::Defer(RegistrationKind kind, const FileRegistration& file) {
    const std::string journal =
        StationDirectoryPath(files_.DataDir(), file.station) + "/" + kJournalFileName;
    const std::string failure =
        AppendToJournal(journal, {kind, file, registrar_.CreatorName(), std::nullopt});
    if (!failure.empty()) {
        // The row is lost to the journal as well; `trq check --repair` can still rebuild it
        // from the file's header, to the whole second.
        ConsoleNotice("cannot keep the registration of %s for later: %s", file.path.c_str(),
                      failure.c_str());
        return;
    }
    ++deferredCount_;
    if (std::find(journalPaths_.begin(), journalPaths_.end(), journal) == journalPaths_.end()) {
        journalPaths_.push_back(journal);
    }
}
