#pragma once
// `trq export FILE... -o OUT.mseed`: archive files as miniSEED with float32 samples.

#include <ostream>
#include <string>
#include <vector>

#include "catalog/CatalogStore.h"

namespace trq {

struct ExportOptions {
    std::vector<std::string> files;
    std::string output;
    std::string network = "XX";
    std::string location;
    int recordLength = 4096;
    // With a data source, each file's start time is the TBEGIN of its FILELIST row (with
    // the fraction of a second the header lacks); without one, the header's whole second.
    CatalogLogin login;
};

int RunExport(const ExportOptions& options, std::ostream& out, std::ostream& err);

}  // namespace trq
