#pragma once
// The archive writer: gathers each station's channels into blocks of consecutive
// samples and writes them to the archive's hourly files, registering every file it
// creates or extends in the catalog. Registrations the catalog does not take go to the
// station's journal (RegistrationJournal.h), to be made later.
//
// A new file is registered as soon as its first block is written: its row gives the file's
// exact start from then on. The extensions of a file are kept until the file is finished
// (it reached its hour, the channel left it at a gap, or the run ends) and synced, and then
// registered together, in one transaction where the catalog has them: a row never claims
// samples that are not on stable storage, and an hour of a channel costs two commits
// instead of one per block. Files finished within about a second (ArchiveFiles.h) are
// synced together at one barrier and registered after it, so a finished file's row lags it
// by at most that window, or until the run ends. Meanwhile a reader of the catalog sees the
// row of the file's first block.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArchiveFiles.h"
#include "archive/CatalogRegistrar.h"
#include "archive/StationArchive.h"
#include "recorder/Calendar.h"

class CArchiveWriter {
  public:
    // `registrar` is not owned and must outlive the writer.
    explicit CArchiveWriter(CatalogRegistrar& registrar);
    virtual ~CArchiveWriter();  // deletes all entries; does not flush
    CArchiveWriter(const CArchiveWriter&) = delete;
    CArchiveWriter& operator=(const CArchiveWriter&) = delete;

    void SetDataDir(const char* directory);
    // Registers only the last extension of each file, in place of all of them (the rows
    // come out the same; a batch of recordings saves the statements).
    void SetMergeExtensions(bool merge) { mergeExtensions_ = merge; }
    // Cuts the samples into chunks of at most 5000 and takes each into the channel's block.
    // The samples are copied before the call returns.
    // Refused without any effect (the channel loop never passes them): a count of 0 or
    // below, a null station, channel or samples pointer, a rate that is not a positive
    // finite number, a start that is not finite or lies outside the years 1 to 9999.
    void AddSamples(const char* station, const char* channel, double rate, EpochSeconds start,
                    int32_t count, const float* samples);
    // Flushes every channel of every station (end of a run). Afterwards every archive file
    // the writer made or extended is on stable storage (fdatasync, and fsync of the station
    // directories for new files), each synced before its last registration.
    void FlushAll();

    // Catalog registration of a created / extended archive file.
    void RegisterNewFile(const FileRegistration& file);
    void UpdateExtendedFile(const FileRegistration& file);

    // True once a block could not be written whole ("ERROR: write file %s!!!" was printed).
    bool WriteFailed() const { return files_.WriteFailed(); }
    // True once a registration failed (also when it was kept in a journal).
    bool CatalogFailed() const { return catalogFailed_; }
    // Registrations kept in journals because the catalog did not take them, and the journals.
    std::size_t DeferredCount() const { return deferredCount_; }
    const std::vector<std::string>& JournalPaths() const { return journalPaths_; }

    const std::string& DataDir() const { return files_.DataDir(); }
    // The archive files this writer made or changed.
    const WrittenFiles& Written() const { return files_.Written(); }

    // The stations seen so far, in order of first sight (for inspection).
    std::size_t StationCount() const { return stations_.size(); }
    const CStationArchive& Station(std::size_t index) const { return *stations_[index]; }

  private:
    void AddBlock(const char* station, const char* channel, double rate, EpochSeconds start,
                  int32_t count, const float* samples);
    std::size_t FindOrAddStation(const char* station);
    std::size_t FindOrAddChannel(std::size_t stationIndex, const char* channel, double rate);
    void RemoveAllStations();

    // Writes the channel's block to its archive file (appending or starting a new file),
    // registers the file and empties the block. A block that cannot be written stops its
    // channel for the run (CChannelBuffer::DropBlock).
    void Flush(std::size_t stationIndex, std::size_t channelIndex);
    // Tells the operator which channels stopped and what they did not write (once for each
    // new count).
    void ReportStoppedChannels();
    void Register(RegistrationKind kind, const FileRegistration& file);
    // Keeps the extension until its file is synced.
    void KeepExtension(const FileRegistration& file, int64_t fileLength);
    // Registers the kept extensions of the files finished (synced) since the last call, the
    // last one of each file with the file's checksum.
    void RegisterSyncedExtensions();
    // Keeps a registration the catalog did not take in its station's journal.
    void Defer(RegistrationKind kind, const FileRegistration& file);

    std::vector<std::unique_ptr<CStationArchive>> stations_;
    ArchiveFileOutput files_;
    CatalogRegistrar& registrar_;
    struct KeptExtension {
        FileRegistration file;
        int64_t fileLength = 0;  // bytes in the file once the block was in it
    };
    std::vector<KeptExtension> keptExtensions_;  // in order, of files not yet synced
    bool mergeExtensions_ = false;
    bool checksumsAsked_ = false;  // the registrar was asked whether it keeps checksums
    bool finalFlush_ = false;      // FlushAll is running
    bool catalogFailed_ = false;
    std::size_t deferredCount_ = 0;
    std::vector<std::string> journalPaths_;
    std::map<const CChannelBuffer*, int64_t> reportedDrops_;  // samples of stopped channels told
};
