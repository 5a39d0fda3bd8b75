#pragma once
// Archive files: writing a channel's block out, appended to the channel's current file or
// as the first block of a new one, and syncing what was written. The writer
// (ArchiveWriter.h) decides when a block leaves memory and registers the file this tells
// it about.
//
// A channel's current file stays open from its first block to its last. A file that takes
// no more samples is not synced on its own: the kernel is asked to start writing it out,
// and the files finished within a short window are synced together at one barrier
// (SyncFinishedFiles), after which the writer registers them. Between its last block and
// the barrier, a file's row still claims what it claimed before (its first block, or what
// an earlier run registered).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/CatalogRegistrar.h"
#include "archive/ReplacedFiles.h"
#include "archive/StationArchive.h"
#include "platform/FileServices.h"

// The archive files a writer made or changed (catalog paths), each once, in order of first
// change: made anew, made anew in place of a file that was there, and extended without
// having been made by this writer.
struct WrittenFiles {
    std::vector<std::string> created;
    std::vector<std::string> replaced;
    std::vector<std::string> extended;
    // Of `replaced`, those that held other data than their replacement (ReplacedFiles.h).
    std::vector<std::string> otherData;
};

// A registration that a written block calls for.
struct BlockRegistration {
    RegistrationKind kind = RegistrationKind::kNewFile;
    FileRegistration file;
    int64_t fileLength = 0;  // bytes in the file once the block is in it
};

// A file that takes no more samples in this run and is synced whole: its row as it stands,
// with its checksum where checksums are kept, and its length.
struct FinishedFile {
    FileRegistration file;
    int64_t length = 0;
    // The file could not be synced and was cut back to what its rows stated before: its
    // kept extensions claim samples it no longer holds. `file` then states it once more
    // where its checksum was still due (with `file.checksum`), or not at all.
    bool cutBack = false;
};

class ArchiveFileOutput {
  public:
    void SetDataDir(const char* directory) { dataDir_ = directory; }
    const std::string& DataDir() const { return dataDir_; }
    // While set, every file's bytes are hashed as they are written, and a finished file
    // comes with its checksum (FileChecksum.h).
    void SetKeepChecksums(bool keep) { keepChecksums_ = keep; }

    // Writes the channel's block to its archive file (appending or starting a new file) and
    // empties the block. Returns the registration the file needs, none when nothing was
    // written. A new file that is finished at once (the final flush) carries its checksum.
    std::optional<BlockRegistration> Flush(CStationArchive& station, CChannelBuffer& channel);
    // While set, every file written is finished: a new file is synced before its
    // registration, an extended one waits for the barrier.
    void SetFinalFlush(bool finalFlush) { finalFlush_ = finalFlush; }
    // The channel leaves its current file (it takes no more samples): an open file waits for
    // the next barrier. Tells when that file replaced one that held other data
    // (ReplacedFiles.h).
    void LeaveFile(const CStationArchive& station, CChannelBuffer& channel);
    // Syncs the station directories that got new files since they were last synced.
    void SyncNewDirectories();

    // The barrier: syncs every finished file that waits for it (fdatasync) and closes it. A
    // file whose sync or close fails is reported as a write failure and left out of
    // TakeFinishedFiles.
    void SyncFinishedFiles();
    // True when the barrier is due: kMostAwaitingSync files wait, or the first of them has
    // waited kSyncWindow.
    bool SyncDue() const;
    static constexpr std::size_t kMostAwaitingSync = 64;
    // Channel files kept open at once: a recording may have thousands of channels, each
    // leaving its file open until the run ends. Beyond this many the longest open is closed
    // and opened again by its name when it takes a block or is left.
    static constexpr std::size_t kMostOpenFiles = 32;
    static constexpr std::chrono::milliseconds kSyncWindow{1000};
    // The files that were written to after their first block and have since been synced
    // whole at a barrier: they take no more samples in this run, and every sample they hold
    // is on stable storage. The list is emptied.
    std::vector<FinishedFile> TakeFinishedFiles() { return std::exchange(finishedFiles_, {}); }
    // False when the file (catalog path) is no longer `length` bytes long: another writer
    // has made it anew or extended it since, and its own registrations describe it. True
    // also when its length cannot be read.
    bool StillWrittenUpTo(const std::string& catalogPath, int64_t length);

    // True once a block could not be written whole ("ERROR: write file %s!!!" was printed).
    bool WriteFailed() const { return writeFailed_; }
    const WrittenFiles& Written() const { return written_; }

  private:
    // A finished file, still open, whose data the kernel has been asked to write out.
    struct AwaitingSync {
        FinishedFile finished;
        platform::OutputFile file;
        std::string fullPath;
        CChannelBuffer* channel;                  // that wrote it; lives as long as the writer
        CChannelBuffer::StatedFile statedBefore;  // what its rows stated before it finished
    };

    std::optional<BlockRegistration> AppendBlock(CStationArchive& station, CChannelBuffer& channel);
    std::optional<BlockRegistration> WriteNewFile(CStationArchive& station,
                                                  CChannelBuffer& channel);
    // Fills the 512-byte header of the channel's current file; false when the text had to
    // be cut (it never runs past the buffer).
    bool BuildHeader(char (&buffer)[512], const CStationArchive& station,
                     const CChannelBuffer& channel) const;
    bool MakeDirectory(const char* path);
    // fullPath_ = data directory + "/" + `relativePath` with every backslash made a "/";
    // with an empty data directory just the relative path (the current directory).
    void ComposeFullPath(const char* relativePath);
    // Prints "ERROR: write file <fullPath_>!!!" and remembers the failure; `reason` (the
    // failed call, its path and the system's error text) goes to the operator's notices.
    void ReportWriteFailure(const std::string& reason = std::string());
    // Writes the first block of a new file under a temporary name and renames it into place;
    // `replaced` tells whether a file of that name was there before.
    bool CreateWholeFile(CChannelBuffer& channel, const char* header, const std::string& name,
                         bool& replaced);
    // Opens the channel's current file (fullPath_) to append to it, when it is as long as the
    // channel left it; reports the failure otherwise.
    bool OpenToAppend(CChannelBuffer& channel);
    // Notes that the channel's file is open now, closing the longest open one beyond
    // kMostOpenFiles.
    void KeepOpen(CChannelBuffer& channel);
    // Hands the channel's open file (fullPath_) on to the next barrier, starting its writeback.
    void AwaitSync(const CStationArchive& station, CChannelBuffer& channel);
    bool IsAwaitingSync(const std::string& catalogPath) const;
    // A file that could not be synced or closed: reported, cut back to what its rows stated
    // before it finished, its lost samples counted on its channel (which stops).
    void CutBack(AwaitingSync& waiting);
    // Lists a file in written_ (an extension only when the file is not listed yet).
    void NoteWritten(const std::string& path, bool made, bool replaced);
    // The row of the channel's current file as it stands, with its checksum when kept.
    FileRegistration CurrentFile(const CStationArchive& station, CChannelBuffer& channel,
                                 bool withChecksum) const;

    std::string dataDir_;
    bool writeFailed_ = false;
    bool keepChecksums_ = false;
    std::vector<AwaitingSync> awaitingSync_;     // finished, in order, not yet synced
    std::vector<CChannelBuffer*> openChannels_;  // whose file was opened, oldest first
    std::chrono::steady_clock::time_point firstAwaiting_;
    std::vector<FinishedFile> finishedFiles_;       // see TakeFinishedFiles
    bool finalFlush_ = false;                       // FlushAll is running: files are finished
    std::vector<std::string> unsyncedDirectories_;  // station directories with new files
    WrittenFiles written_;
    ReplacedFiles replacedFiles_{written_.otherData};
    // Scratch paths of Flush, kept so that their memory is reused from flush to flush.
    std::string relativePath_;
    std::string fullPath_;
    std::string directoryPath_;
    std::string temporaryPath_;
};
