#pragma once
// What the batch form's command line asks for (parsed in plq2trq/CommandLine.h):
// `plq2trq --station STA FILE...` or `plq2trq --tree DIR`, with --jobs, --quiet, --report
// and --dry-run.

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
