#pragma once
// The archive writer: gathers each station's channels into blocks of consecutive
// samples and writes them to the archive's hourly files, registering every file it
// creates or extends in the catalog.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/StationArchive.h"
#include "recorder/Calendar.h"

class CDatabase;

// What the writer tells the catalog about one archive file it created or extended.
struct FileRegistration {
    std::string path;  // relative to the data directory: "STA\ddmmyyyy-hhmmss-CHN.STA"
    std::string station;
    std::string channel;
    EpochSeconds start = 0;  // time of the file's first sample
    double duration = 0;     // seconds covered by the samples in the file
    double rate = 0;         // samples per second
    int32_t gain = 1;
    int32_t dataType = 3;
};

// Where registrations go. The converter registers in the catalog database; tests record.
class CatalogRegistrar {
  public:
    virtual ~CatalogRegistrar() = default;
    // Each returns false when the catalog could not be updated (the failure is printed).
    virtual bool RegisterNewFile(const FileRegistration& file) = 0;
    virtual bool UpdateExtendedFile(const FileRegistration& file) = 0;
};

class CArchiveWriter {
  public:
    // `database` is not owned and may be null when a registrar is installed.
    CArchiveWriter(CDatabase* database, std::string creatorName);
    virtual ~CArchiveWriter();  // deletes all entries; does not flush
    CArchiveWriter(const CArchiveWriter&) = delete;
    CArchiveWriter& operator=(const CArchiveWriter&) = delete;

    void SetDataDir(const char* directory);
    // Cuts the samples into chunks of at most 5000 and takes each into the channel's block.
    // The samples are copied before the call returns.
    // Refused without any effect (the channel loop never passes them): a count of 0 or
    // below, a null station, channel or samples pointer, a rate that is not a positive
    // finite number, a start that is not finite or lies outside the years 1 to 9999.
    void AddSamples(const char* station, const char* channel, double rate, EpochSeconds start,
                    int32_t count, const float* samples);
    // Flushes every channel of every station (end of a run).
    void FlushAll();

    // Catalog registration of a created / extended archive file (values as Flush passes them).
    void RegisterNewFile(const char* path, const char* station, const char* channel,
                         EpochSeconds start, double duration, double rate, int32_t gain,
                         int32_t dataType);
    void UpdateExtendedFile(const char* path, const char* station, const char* channel,
                            EpochSeconds start, double duration, double rate, int32_t gain,
                            int32_t dataType);

    // Replaces the catalog as the receiver of registrations (tests); null restores it.
    void SetRegistrar(CatalogRegistrar* registrar) { registrar_ = registrar; }

    // True once a block could not be written whole ("ERROR: write file %s!!!" was printed).
    bool WriteFailed() const { return writeFailed_; }
    // True once a registration failed.
    bool CatalogFailed() const { return catalogFailed_; }

    const std::string& CreatorName() const { return creatorName_; }
    const std::string& DataDir() const { return dataDir_; }
    CDatabase* Database() const { return database_; }

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
    // registers the file and empties the block.
    void Flush(std::size_t stationIndex, std::size_t channelIndex);
    void AppendBlock(CStationArchive& station, CChannelBuffer& channel);
    void WriteNewFile(std::size_t stationIndex, std::size_t channelIndex);
    // Fills the 512-byte header of the channel's current file; false when the text had to
    // be cut (it never runs past the buffer).
    bool BuildHeader(char (&buffer)[512], std::size_t stationIndex, std::size_t channelIndex) const;
    bool MakeDirectory(const char* path);
    // fullPath_ = data directory + "/" + `relativePath` with every backslash made a "/";
    // with an empty data directory just the relative path (the current directory).
    void ComposeFullPath(const char* relativePath);
    // Prints "ERROR: write file <fullPath_>!!!" and remembers the failure.
    void ReportWriteFailure();

    std::vector<std::unique_ptr<CStationArchive>> stations_;
    std::string creatorName_;
    std::string dataDir_;
    CDatabase* database_ = nullptr;
    CatalogRegistrar* registrar_ = nullptr;
    bool writeFailed_ = false;
    bool catalogFailed_ = false;
    // Scratch paths of Flush, kept so that their memory is reused from flush to flush.
    std::string relativePath_;
    std::string fullPath_;
    std::string directoryPath_;
};
