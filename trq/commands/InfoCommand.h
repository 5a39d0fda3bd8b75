#pragma once
// `trq info FILE...`: each archive file's header fields, sample count, time span and sample
// statistics; exits with kExitFault when a file is not consistent.

#include <ostream>
#include <string>
#include <vector>

#include "trq/Command.h"

namespace trq {

struct InfoOptions {
    std::vector<std::string> files;
    bool json = false;  // one JSON document on `out` instead of text
};

int RunInfo(const InfoOptions& options, std::ostream& out, std::ostream& err);

// Adds `info` with its options to the command line.
AddedCommand AddInfoCommand(CLI::App& app);

}  // namespace trq
