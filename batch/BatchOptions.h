#pragma once
// The batch form's command line: `plq2trq --station STA FILE...` or `plq2trq --tree DIR`,
// with --jobs, --quiet, --report and --dry-run.

#include <string>
#include <vector>

struct BatchOptions {
    std::string station;             // --station: every FILE is of this station
    std::vector<std::string> files;  // the FILEs after --station
    std::string tree;                // --tree: DIR/STA/... recordings
    unsigned jobs = 0;               // stations converted side by side (0: the cores)
    bool quiet = false;              // no progress lines
    std::string report;              // --report: the JSON report's path
    bool dryRun = false;             // tell what would be done, write nothing
};

// Parses the batch command line into `options`. Returns -1 after printing the usage and
// the reason when it is not usable, 1 when only help was asked for (printed), else 0.
int ParseBatchOptions(int argc, char** argv, BatchOptions& options);
