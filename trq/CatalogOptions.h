#pragma once
// Where a trq command finds the catalog and the archive: as the converter finds them
// (./plq2trq.ini, then the system's trq.ini, then the fallback TRQ), unless the command
// line says otherwise.

#include <string>

#include "catalog/CatalogStore.h"

namespace CLI {
class App;
}

namespace trq {

struct CatalogArguments {
    // An empty data source: the data source, user and password come from the ini files,
    // and --user or --password-file replace the one they give. A data source given here
    // comes with the user and password given here (or none), as its odbc.ini may hold them.
    CatalogLogin login;
    std::string passwordFile;  // its first line is the password
    std::string dataDir;       // empty: the ini files' [DATA] DIR
};

// --dsn, --user, --password-file and --password (which the help advises against: a
// password on the command line shows in `ps` and in the shell's history).
void AddCatalogArguments(CLI::App& command, CatalogArguments& arguments);

struct FoundCatalog {
    CatalogLogin login;
    std::string dataDir;
    bool fromSettings = false;  // the data source came from the ini files
};

// Throws std::runtime_error when the password file cannot be read.
FoundCatalog FindCatalog(const CatalogArguments& arguments);

}  // namespace trq
