#pragma once
// What the archive writer tells the catalog about the archive files it creates or
// extends, and the interface it tells it through. The converter's run flow hands the
// writer an implementation on the catalog database; tests hand it one that records.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveText.h"
#include "archive/FileChecksum.h"
#include "archive/RecordingRecord.h"
#include "recorder/Calendar.h"

// One archive file as its catalog row describes it.
struct FileRegistration {
    std::string path;  // relative to the data directory: "STA\ddmmyyyy-hhmmss-CHN.STA"
    std::string station;
    std::string channel;
    EpochSeconds start = 0;  // time of the file's first sample
    double duration = 0;     // seconds covered by the samples in the file
    double rate = 0;         // samples per second
    int32_t gain = kArchiveGain;
    int32_t dataType = kArchiveDataTypeFloat;
    // Set on the registration that states a finished file (synced, taking no more samples):
    // the checksum of its whole content, which the catalog keeps beside the row.
    std::optional<FileChecksum> checksum = std::nullopt;
};

enum class RegistrationKind {
    // The file was made anew: any row of its path is replaced, and any checksum of the path
    // dropped (until the registration that finishes the file brings the new one).
    kNewFile,
    kExtendedFile,  // samples were appended: the row is updated (added when missing)
};

enum class RegistrationOutcome {
    kRegistered,
    // This registration failed (the failure has been printed); the catalog is still usable.
    kFailed,
    // The catalog cannot be reached for the rest of the run (the connection is lost and
    // could not be made again): the registration was not made, and later ones will not be
    // either. The writer keeps them in the station's journal instead.
    kCatalogUnavailable,
};

// What became of a group of extensions: the first `registered` of them were made; the
// outcome is that of the first one that was not (kRegistered when all were made).
struct GroupOutcome {
    RegistrationOutcome outcome = RegistrationOutcome::kRegistered;
    std::size_t registered = 0;
};

class CatalogRegistrar {
  public:
    virtual ~CatalogRegistrar() = default;
    virtual RegistrationOutcome Register(RegistrationKind kind, const FileRegistration& file) = 0;
    // The extensions of files whose samples are on stable storage, in the order they were
    // made. A catalog with transactions makes all of them or none; this default makes them
    // one by one and stops at the first that fails.
    virtual GroupOutcome RegisterExtensions(const std::vector<FileRegistration>& files);
    // Keeps the record of a recording's conversion. This default keeps none (a catalog
    // without a record of recordings) and counts it made.
    virtual RegistrationOutcome RegisterRecording(const RecordingRecord& record);
    // The program the rows name as their creator (CREATER).
    virtual const std::string& CreatorName() const = 0;
    // Whether the catalog keeps checksums: the writer hashes what it writes only then.
    virtual bool KeepsChecksums() { return true; }
};
