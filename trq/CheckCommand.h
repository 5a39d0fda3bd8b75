#pragma once
// `trq check DATADIR --dsn NAME [--repair]`: compares the archive files below DATADIR with
// the catalog's FILELIST rows and, with --repair, rewrites the rows from the files through
// the converter's own registration code.

#include <ostream>
#include <string>

#include "catalog/CatalogStore.h"

namespace trq {

struct CheckOptions {
    std::string dataDir;
    CatalogLogin login;
    bool repair = false;
    // CREATER of rows that the repair adds for files without one; a repaired row keeps its
    // own.
    std::string creator = "PLQ2TRQ";
    bool json = false;
};

int RunCheck(const CheckOptions& options, std::ostream& out, std::ostream& err);

}  // namespace trq
