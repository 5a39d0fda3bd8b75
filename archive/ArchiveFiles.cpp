#include "archive/ArchiveFiles.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "archive/ArchiveText.h"
#include "archive/StationDirectory.h"
#include "platform/Console.h"
#include "platform/FileServices.h"

namespace {

// Longest full path handed to the file system, terminating NUL included.
constexpr std::size_t kFullPathCapacity = PATH_MAX;

// Writes the block's samples after `header` (header may be empty) as float32 little-endian.
// On a big-endian machine the block is turned around in place first; it is dropped after
// the flush anyway.
bool WriteBlock(platform::OutputFile& file, const char* header, std::size_t headerSize,
                CChannelBuffer& channel) {
    float* samples = channel.Samples();
    auto count = static_cast<std::size_t>(channel.BufferedCount());
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < count; ++i) {
            uint32_t bits;
            std::memcpy(&bits, &samples[i], sizeof bits);
            bits = __builtin_bswap32(bits);
            std::memcpy(&samples[i], &bits, sizeof bits);
        }
    }
    return file.Write(header, headerSize, samples, count * sizeof(float));
}

}  // namespace

std::optional<BlockRegistration> ArchiveFileOutput::Flush(CStationArchive& station,
                                                          CChannelBuffer& channel) {
    std::optional<BlockRegistration> registration;
    if (channel.BufferedCount() > 0) {
        // A block that starts within one sample period of the current file's end continues
        // that file. A channel without a current file always starts a new one, even for
        // data that begin right at the epoch.
        double tolerance = 1.0 / channel.SampleRate();
        bool continuesFile =
            channel.HasCurrentFile() && std::fabs(channel.FileStart() + channel.FileDuration() -
                                                  channel.BlockStart()) <= tolerance;
        // A channel whose block could not be written stops for the run: later blocks would
        // start files of their own that no complete run makes.
        if (!channel.Stopped()) {
            registration =
                continuesFile ? AppendBlock(station, channel) : WriteNewFile(station, channel);
        }
        if (!registration) channel.DropBlock();
    }
    // Whatever became of the samples, the block is empty now.
    channel.ClearBlock();
    return registration;
}

std::optional<BlockRegistration> ArchiveFileOutput::AppendBlock(CStationArchive& station,
                                                                CChannelBuffer& channel) {
    ComposeFullPath(channel.CurrentFilePath());
    if (fullPath_.size() >= kFullPathCapacity) {
        ReportWriteFailure();
        return std::nullopt;
    }
    platform::OutputFile& file = channel.OpenFile();
    // Removed or replaced since the last block: opened again by its name, which tells.
    if (file.IsOpen() && !file.StillNamed()) file.Close();
    if (!file.IsOpen() && !OpenToAppend(channel)) return std::nullopt;
    const int64_t lengthBefore = channel.FileLength();
    const int64_t blockBytes = static_cast<int64_t>(channel.BufferedCount()) * 4;
    // Rotation: a file covering more than an hour less one second takes no further appends.
    const int32_t limitSeconds = station.FileLengthMinutes() * 60 - 1;
    const bool finished =
        finalFlush_ || channel.FileDuration() + channel.BlockDuration() > limitSeconds;
    if (!WriteBlock(file, nullptr, 0, channel)) {
        // Whatever part of the block reached the file is cut off again, so that the file
        // keeps matching its rows. The channel stops here, so the file takes no more: what
        // it held before the block is synced at the barrier like any finished file.
        const std::string reason = file.LastError().Describe(fullPath_);
        file.TruncateTo(lengthBefore);
        AwaitSync(station, channel);
        ReportWriteFailure(reason);
        return std::nullopt;
    }

    replacedFiles_.Compare(channel, lengthBefore, channel.Samples(),
                           static_cast<std::size_t>(blockBytes));
    if (keepChecksums_) {
        channel.FileHasher().Add(channel.Samples(), static_cast<std::size_t>(blockBytes));
    }
    channel.ExtendFile(channel.BlockDuration());
    channel.SetFileLength(lengthBefore + blockBytes);
    if (finished) AwaitSync(station, channel);
    NoteWritten(channel.CurrentFilePath(), false, false);
    BlockRegistration extended{RegistrationKind::kExtendedFile,
                               CurrentFile(station, channel, false), channel.FileLength()};
    if (channel.FileDuration() > limitSeconds) channel.ForgetFile();
    return extended;
}

bool ArchiveFileOutput::OpenToAppend(CChannelBuffer& channel) {
    platform::OutputFile file = platform::OutputFile::OpenForAppend(fullPath_.c_str());
    if (!file.IsOpen()) {
        // Deleted, locked or refused: the block is dropped, the file and its row stay.
        ReportWriteFailure(file.LastError().Describe(fullPath_));
        return false;
    }
    if (file.LengthAtOpen() != channel.FileLength()) {
        // Another writer has made this file anew or extended it since this channel wrote it
        // (or the channel never wrote it whole): the block would land behind samples it does
        // not follow. It is dropped like a block whose file cannot be opened.
        file.Close();
        ReportWriteFailure("append " + fullPath_ + ": the file was changed by another writer");
        return false;
    }
    channel.OpenFile() = std::move(file);
    KeepOpen(channel);
    return true;
}

void ArchiveFileOutput::KeepOpen(CChannelBuffer& channel) {
    std::erase_if(openChannels_, [&](const CChannelBuffer* open) {
        return open == &channel || !open->OpenFileIsOpen();
    });
    if (openChannels_.size() >= kMostOpenFiles) {
        CChannelBuffer& oldest = *openChannels_.front();
        openChannels_.erase(openChannels_.begin());
        // Its unsynced samples stay as they are: the file is synced when it is left.
        if (!oldest.OpenFile().Close()) {
            const std::string path = DiskPathOfCatalogPath(dataDir_, oldest.CurrentFilePath());
            ConsoleNotice("%s", oldest.OpenFile().LastError().Describe(path).c_str());
        }
    }
    openChannels_.push_back(&channel);
}

std::optional<BlockRegistration> ArchiveFileOutput::WriteNewFile(CStationArchive& station,
                                                                 CChannelBuffer& channel) {
    LeaveFile(station, channel);  // a gap: the channel leaves its file for good
    channel.StartFile(channel.BlockStart(), channel.BlockDuration());
    channel.SetFileLength(-1);  // known once the file is written whole
    channel.SetStated({});

    // Relative path: "STA" + "\ddmmyyyy-hhmmss-CHN.STA".
    const std::string fileName =
        ArchiveFileName(ArchiveTimeOf(channel.FileStart()), channel.ChannelName(), station.Name());
    relativePath_ = CatalogPath(station.Name(), fileName);
    ComposeFullPath(relativePath_.c_str());

    char header[kArchiveHeaderSize];
    bool usable = IsUsableStationName(station.Name()) &&
                  IsUsableChannelName(channel.ChannelName()) &&
                  relativePath_.size() < CChannelBuffer::kPathCapacity &&
                  fullPath_.size() < kFullPathCapacity && BuildHeader(header, station, channel);
    if (!usable) {
        // Names that cannot make a file of this archive: every block of the channel is
        // refused alike, so the channel is left without a current file.
        channel.ForgetFile();
        ReportWriteFailure("name " + relativePath_ + ": no archive file can have this name");
        return std::nullopt;
    }

    // The station directory: data directory + "/" + station. Usually it exists already.
    directoryPath_.assign(fullPath_, 0,
                          fullPath_.size() - relativePath_.size() + station.Name().size());
    MakeDirectory(directoryPath_.c_str());
    channel.SetCurrentFilePath(relativePath_);

    // A finished file of the same name is still open, waiting for its sync: it is synced and
    // closed first, so that its rows are made before the new file's and its lock does not
    // keep the new file out.
    if (IsAwaitingSync(relativePath_)) SyncFinishedFiles();

    bool replaced = false;
    channel.FileHasher().Reset();
    if (!CreateWholeFile(channel, header, fileName, replaced)) return std::nullopt;
    const auto blockBytes = static_cast<std::size_t>(channel.BufferedCount()) * 4;
    channel.SetFileLength(static_cast<int64_t>(sizeof header + blockBytes));
    // A file of the final flush is registered with its checksum at once.
    channel.SetStated({channel.FileLength(), channel.FileDuration(), !finalFlush_});
    if (keepChecksums_) {
        channel.FileHasher().Add(header, sizeof header);
        channel.FileHasher().Add(channel.Samples(), blockBytes);
    }
    NoteWritten(relativePath_, true, replaced);
    // No rotation test here: a first block longer than the limit still gets appends. A file
    // of the final flush is finished already: its registration carries its checksum.
    return BlockRegistration{RegistrationKind::kNewFile,
                             CurrentFile(station, channel, finalFlush_)};
}

// The file is made under a temporary name and renamed into place once its header and first
// block are in it whole: a run killed at any moment leaves either the file that was there
// before or the new one with a whole block, never an empty or half-written file.
bool ArchiveFileOutput::CreateWholeFile(CChannelBuffer& channel, const char* header,
                                        const std::string& fileName, bool& replaced) {
    temporaryPath_ = directoryPath_ + "/" + TemporaryFileName(fileName);
    platform::OutputFile file = platform::OutputFile::CreateTruncated(temporaryPath_.c_str());
    if (!file.IsOpen()) {
        // The channel keeps the file it believes in; the next continuing block is tried as
        // an append to it, fails and is reported as well.
        ReportWriteFailure(file.LastError().Describe(temporaryPath_));
        return false;
    }
    // A file of the final flush takes no more blocks: it is synced and closed before it
    // takes its name. Any other stays open for the blocks that extend it.
    bool written = WriteBlock(file, header, kArchiveHeaderSize, channel) &&
                   (!finalFlush_ || (file.SyncData() && file.Close()));
    std::string reason = file.LastError().Describe(temporaryPath_);
    // A file that another writer is appending to (and holds locked) is not replaced.
    platform::OutputFile existing;
    if (written) existing = platform::OutputFile::OpenForAppend(fullPath_.c_str());
    const platform::FileError& held = existing.LastError();
    replaced = existing.IsOpen();
    // What the file held, to compare with what takes its place (kept open past the rename).
    platform::BinaryFile former;
    if (replaced) former = platform::BinaryFile::OpenReadOnly(fullPath_);
    if (written && held.Failed() && std::strcmp(held.call, "flock") == 0) {
        written = false;
        reason = held.Describe(fullPath_);
    }
    if (written && !platform::RenameFile(temporaryPath_.c_str(), fullPath_.c_str())) {
        written = false;
        reason = "rename " + temporaryPath_ + ": " + std::strerror(errno);
    }
    if (!written) {
        file.Close();
        platform::RemoveFile(temporaryPath_.c_str());
        ReportWriteFailure(reason);
        return false;
    }
    if (former.IsOpen()) {
        replacedFiles_.Begin(channel, std::move(former), fullPath_, relativePath_,
                             channel.FileStart());
        replacedFiles_.Compare(channel, 0, header, kArchiveHeaderSize);
        replacedFiles_.Compare(channel, kArchiveHeaderSize, channel.Samples(),
                               static_cast<std::size_t>(channel.BufferedCount()) * 4);
    }
    if (!finalFlush_) {
        channel.OpenFile() = std::move(file);
        KeepOpen(channel);
    }
    if (std::find(unsyncedDirectories_.begin(), unsyncedDirectories_.end(), directoryPath_) ==
        unsyncedDirectories_.end()) {
        unsyncedDirectories_.push_back(directoryPath_);
    }
    if (finalFlush_) SyncNewDirectories();
    return true;
}

void ArchiveFileOutput::LeaveFile(const CStationArchive& station, CChannelBuffer& channel) {
    replacedFiles_.Finish(channel);
    const CChannelBuffer::StatedFile& stated = channel.Stated();
    const bool unstated = stated.length != channel.FileLength() || stated.checksumDue;
    ComposeFullPath(channel.CurrentFilePath());
    if (!channel.OpenFile().IsOpen()) {
        // Closed while others were open (KeepOpen): opened again to be synced.
        if (!unstated || channel.FileLength() < 0 || !OpenToAppend(channel)) return;
    }
    AwaitSync(station, channel);
}

void ArchiveFileOutput::AwaitSync(const CStationArchive& station, CChannelBuffer& channel) {
    platform::OutputFile& file = channel.OpenFile();
    if (channel.Stated().length == channel.FileLength() && !channel.Stated().checksumDue) {
        // Its rows state it whole already, so it was synced as it stands (an append that
        // failed and was cut back to it).
        file.Close();
        return;
    }
    // The disk starts on it now; the barrier's fdatasync then mostly waits for the journal.
    file.StartWriteback();
    if (awaitingSync_.empty()) firstAwaiting_ = std::chrono::steady_clock::now();
    awaitingSync_.push_back({{CurrentFile(station, channel, true), channel.FileLength()},
                             std::move(file),
                             fullPath_,
                             &channel,
                             channel.Stated()});
    // Once synced, its registrations state it whole, with its checksum.
    channel.SetStated({channel.FileLength(), channel.FileDuration(), false});
}

bool ArchiveFileOutput::IsAwaitingSync(const std::string& catalogPath) const {
    return std::any_of(awaitingSync_.begin(), awaitingSync_.end(),
                       [&](const AwaitingSync& w) { return w.finished.file.path == catalogPath; });
}

bool ArchiveFileOutput::SyncDue() const {
    return !awaitingSync_.empty() &&
           (awaitingSync_.size() >= kMostAwaitingSync ||
            std::chrono::steady_clock::now() - firstAwaiting_ >= kSyncWindow);
}

void ArchiveFileOutput::SyncFinishedFiles() {
    for (AwaitingSync& waiting : awaitingSync_) {
        bool synced = waiting.file.StillNamed() && waiting.file.SyncData();
        synced = waiting.file.Close() && synced;
        if (synced) {
            finishedFiles_.push_back(std::move(waiting.finished));
        } else {
            CutBack(waiting);
        }
    }
    awaitingSync_.clear();
}

void ArchiveFileOutput::CutBack(AwaitingSync& waiting) {
    fullPath_ = waiting.fullPath;
    ReportWriteFailure(waiting.file.LastError().Describe(waiting.fullPath));
    const CChannelBuffer::StatedFile& before = waiting.statedBefore;
    FinishedFile& finished = waiting.finished;
    finished.cutBack = true;
    // Whatever the failed call left of the samples since, they are not known to be on the
    // disk: the file goes back to what its rows stated, and is synced as that.
    platform::OutputFile file = platform::OutputFile::OpenForAppend(fullPath_.c_str());
    const bool cut = file.IsOpen() && file.TruncateTo(before.length) && file.SyncData();
    file.Close();
    CChannelBuffer& channel = *waiting.channel;
    channel.DropSamples((finished.length - before.length) / 4,
                        finished.file.start + before.duration);
    if (channel.CurrentFilePath() == finished.file.path) {
        channel.SetFileLength(before.length);
        channel.SetStated(before);
    }
    finished.length = before.length;
    finished.file.duration = before.duration;
    finished.file.checksum.reset();
    // Its first block's row came without a checksum: it is stated once more with the
    // checksum of what it holds now, read back.
    if (cut && before.checksumDue && keepChecksums_) {
        try {
            finished.file.checksum = ChecksumOfFile(fullPath_);
        } catch (const std::runtime_error& error) {
            ConsoleNotice("%s", error.what());
        }
    }
    finishedFiles_.push_back(std::move(finished));
}

FileRegistration ArchiveFileOutput::CurrentFile(const CStationArchive& station,
                                                CChannelBuffer& channel, bool withChecksum) const {
    FileRegistration file{channel.CurrentFilePath(), station.Name(),         channel.ChannelName(),
                          channel.FileStart(),       channel.FileDuration(), channel.SampleRate()};
    if (withChecksum && keepChecksums_) file.checksum = channel.FileHasher().Checksum();
    return file;
}

bool ArchiveFileOutput::StillWrittenUpTo(const std::string& catalogPath, int64_t length) {
    ComposeFullPath(catalogPath.c_str());
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(fullPath_, error);
    return error || size == static_cast<std::uintmax_t>(length);
}

void ArchiveFileOutput::SyncNewDirectories() {
    for (const std::string& directory : unsyncedDirectories_) {
        const platform::FileError error = platform::SyncDirectory(directory.c_str());
        if (error.Failed()) {
            fullPath_ = directory;
            ReportWriteFailure(error.Describe(directory));
        }
    }
    unsyncedDirectories_.clear();
}

bool ArchiveFileOutput::BuildHeader(char (&buffer)[512], const CStationArchive& station,
                                    const CChannelBuffer& channel) const {
    return ComposeFileHeader(std::span<char, kArchiveHeaderSize>(buffer), channel.FileStart(),
                             channel.SampleRate(), station.Name().c_str(),
                             channel.ChannelName().c_str());
}

bool ArchiveFileOutput::MakeDirectory(const char* path) {
    return platform::MakeDirectoryLevel(path);
}

void ArchiveFileOutput::ComposeFullPath(const char* relativePath) {
    // An empty data directory (none configured) is the current one: the path stays relative
    // instead of starting at the root of the file system.
    fullPath_ = DiskPathOfCatalogPath(dataDir_, relativePath);
}

void ArchiveFileOutput::ReportWriteFailure(const std::string& reason) {
    ConsoleMessage("ERROR: write file %s!!!", fullPath_.c_str());
    if (!reason.empty()) ConsoleNotice("%s", reason.c_str());
    writeFailed_ = true;
}

void ArchiveFileOutput::NoteWritten(const std::string& path, bool made, bool replaced) {
    auto listed = [&path](const std::vector<std::string>& list) {
        return std::find(list.begin(), list.end(), path) != list.end();
    };
    if (made) {
        std::vector<std::string>& list = replaced ? written_.replaced : written_.created;
        if (!listed(list)) list.push_back(path);
    } else if (!listed(written_.extended) && !listed(written_.created) &&
               !listed(written_.replaced)) {
        written_.extended.push_back(path);
    }
}
