#pragma once
// `trq check [DATADIR] [--repair]`: compares the archive files below DATADIR with the
// catalog's FILELIST rows and, with --repair, rewrites the rows from the files through the
// converter's own registration code, and records the checksums of files that agree with
// their rows and have none. `--verify` compares the files with their checksums instead
// (ChecksumVerification.h). The catalog and the data directory are found as the converter
// finds them unless given.

#include <ostream>
#include <string>

#include "catalog/CatalogStore.h"
#include "trq/Command.h"
#include "trq/commands/CatalogOptions.h"
#include "trq/commands/ChecksumVerification.h"

namespace trq {

struct CheckOptions {
    CatalogArguments catalog;  // catalog.dataDir: DATADIR
    bool repair = false;
    // CREATER of rows that the repair adds for files without one; a repaired row keeps its
    // own.
    std::string creator = "PLQ2TRQ";
    bool json = false;
    bool verify = false;
    std::string budget;                      // --budget SIZE, as given
    std::string olderThan;                   // --older-than AGE, as given
    RecordingLookup* recordings = nullptr;  // for --verify; null: the catalog's own
};

int RunCheck(const CheckOptions& options, std::ostream& out, std::ostream& err);

// Adds `check` with its options to the command line.
AddedCommand AddCheckCommand(CLI::App& app);

}  // namespace trq
