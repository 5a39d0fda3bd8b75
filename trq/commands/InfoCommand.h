#pragma once
// `trq info FILE...`: each archive file's header fields, sample count, time span and sample
// statistics, and the recordings it holds (from the catalog's record of recordings);
// exits with kExitFault when a file is not consistent.

#include <ostream>
#include <string>
#include <vector>

#include "site/CatalogLocation.h"
#include "trq/Command.h"

namespace trq {

struct InfoOptions {
    std::vector<std::string> files;
    bool json = false;         // one JSON document on `out` instead of text
    CatalogArguments catalog;  // where the record of recordings is
};

int RunInfo(const InfoOptions& options, std::ostream& out, std::ostream& err);

// Adds `info` with its options to the command line.
AddedCommand AddInfoCommand(CLI::App& app);

}  // namespace trq
