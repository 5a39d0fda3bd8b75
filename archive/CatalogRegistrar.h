#pragma once
// What the archive writer tells the catalog about the archive files it creates or
// extends, and the interface it tells it through. The converter's run flow hands the
// writer an implementation on the catalog database; tests hand it one that records.

#include <cstdint>
#include <string>

#include "archive/ArchiveText.h"
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
};

enum class RegistrationKind {
    kNewFile,       // the file was made anew: any row of its path is replaced
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

class CatalogRegistrar {
  public:
    virtual ~CatalogRegistrar() = default;
    virtual RegistrationOutcome Register(RegistrationKind kind, const FileRegistration& file) = 0;
    // The program the rows name as their creator (CREATER).
    virtual const std::string& CreatorName() const = 0;
};
