#include "archive/ArchiveFiles.h"

#include <algorithm>
#include <bit>
#include <cerrno>
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
    platform::OutputFile file = platform::OutputFile::OpenForAppend(fullPath_.c_str());
    if (!file.IsOpen()) {
        // Deleted, locked or refused: the block is dropped, the file and its row stay.
        ReportWriteFailure(file.LastError().Describe(fullPath_));
        return std::nullopt;
    }
    if (file.LengthAtOpen() != channel.FileLength()) {
        // Another writer (a second converter on the same recording) has made this file anew
        // or extended it since this channel last wrote it: the block would land behind
        // samples it does not follow. It is dropped like a block whose file cannot be opened.
        file.Close();
        ReportWriteFailure("append " + fullPath_ + ": the file was changed by another writer");
        return std::nullopt;
    }
    const int64_t blockBytes = static_cast<int64_t>(channel.BufferedCount()) * 4;
    // Rotation: a file covering more than an hour less one second takes no further appends.
    const int32_t limitSeconds = station.FileLengthMinutes() * 60 - 1;
    const bool finished =
        finalFlush_ || channel.FileDuration() + channel.BlockDuration() > limitSeconds;
    if (!WriteAndSync(file, nullptr, channel, finished)) {
        // Whatever part of the block reached the file is cut off again, so that the file
        // keeps matching its catalog row.
        const std::string reason = file.LastError().Describe(fullPath_);
        file.TruncateTo(file.LengthAtOpen());
        file.Close();
        ReportWriteFailure(reason);
        return std::nullopt;
    }
    if (!file.Close()) {
        // The samples may or may not have reached the disk: cut them off again if the file
        // can still be opened, so that it keeps matching its row.
        platform::OutputFile again = platform::OutputFile::OpenForAppend(fullPath_.c_str());
        if (again.IsOpen()) again.TruncateTo(file.LengthAtOpen());
        ReportWriteFailure(file.LastError().Describe(fullPath_));
        return std::nullopt;
    }

    replacedFiles_.Compare(channel, file.LengthAtOpen(), channel.Samples(),
                           static_cast<std::size_t>(blockBytes));
    if (keepChecksums_) {
        channel.FileHasher().Add(channel.Samples(), static_cast<std::size_t>(blockBytes));
    }
    channel.ExtendFile(channel.BlockDuration());
    channel.SetFileLength(file.LengthAtOpen() + blockBytes);
    channel.SetFileUnsynced(!finished);
    if (finished)
        finishedFiles_.push_back({CurrentFile(station, channel, true), channel.FileLength()});
    NoteWritten(channel.CurrentFilePath(), false, false);
    BlockRegistration extended{RegistrationKind::kExtendedFile,
                               CurrentFile(station, channel, false), channel.FileLength()};
    if (channel.FileDuration() > limitSeconds) channel.ForgetFile();
    return extended;
}

std::optional<BlockRegistration> ArchiveFileOutput::WriteNewFile(CStationArchive& station,
                                                                 CChannelBuffer& channel) {
    SyncLeftFile(station, channel);  // a gap: the channel leaves its file for good
    channel.StartFile(channel.BlockStart(), channel.BlockDuration());
    channel.SetFileLength(-1);  // known once the file is written whole

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

    bool replaced = false;
    channel.FileHasher().Reset();
    if (!CreateWholeFile(channel, header, fileName, replaced)) return std::nullopt;
    const auto blockBytes = static_cast<std::size_t>(channel.BufferedCount()) * 4;
    channel.SetFileLength(static_cast<int64_t>(sizeof header + blockBytes));
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
    bool written = WriteAndSync(file, header, channel, finalFlush_);
    written = file.Close() && written;
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
    channel.SetFileUnsynced(!finalFlush_);
    if (std::find(unsyncedDirectories_.begin(), unsyncedDirectories_.end(), directoryPath_) ==
        unsyncedDirectories_.end()) {
        unsyncedDirectories_.push_back(directoryPath_);
    }
    if (finalFlush_) SyncNewDirectories();
    return true;
}

bool ArchiveFileOutput::WriteAndSync(platform::OutputFile& file, const char* header,
                                     CChannelBuffer& channel, bool finished) {
    const std::size_t headerSize = header == nullptr ? 0 : kArchiveHeaderSize;
    return WriteBlock(file, header, headerSize, channel) && (!finished || file.SyncData());
}

void ArchiveFileOutput::SyncLeftFile(const CStationArchive& station, CChannelBuffer& channel) {
    replacedFiles_.Finish(channel);
    if (!channel.FileUnsynced()) return;
    channel.SetFileUnsynced(false);
    ComposeFullPath(channel.CurrentFilePath());
    const platform::FileError error = platform::SyncFileData(fullPath_.c_str());
    if (error.Failed()) {
        ReportWriteFailure(error.Describe(fullPath_));
        return;
    }
    finishedFiles_.push_back({CurrentFile(station, channel, true), channel.FileLength()});
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
