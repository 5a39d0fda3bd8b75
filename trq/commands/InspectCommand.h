#pragma once
// `trq inspect RECORDER...`: a dry run of the converter over recorder files. It reads each
// file with the converter's own code (header reader, format key test, length test, channel
// loop), so that it reports the converter's messages and exit codes, and gathers per
// channel the statistics of the decoded samples instead of writing them to the archive.

#include <ostream>
#include <string>
#include <vector>

#include "trq/Command.h"

namespace trq {

struct InspectOptions {
    std::vector<std::string> files;
    bool json = false;
};

// Returns the exit code the converter would end with for the first broken file (as the
// shell sees it: -5 gives 251), or 0 when every file would convert.
int RunInspect(const InspectOptions& options, std::ostream& out, std::ostream& err);

// Adds `inspect` with its options to the command line.
AddedCommand AddInspectCommand(CLI::App& app);

}  // namespace trq
