#pragma once
// Where a program finds the catalog and the archive: as the converter finds them
// (./plq2trq.ini, then the system's trq.ini, then the fallback TRQ), unless its caller
// (a command line, say) gives them.

#include <stdexcept>
#include <string>

#include "catalog/CatalogLogin.h"

struct CatalogArguments {
    // An empty data source: the data source, user and password come from the ini files,
    // and a user or password given here replaces the one they give. A data source given
    // here comes with the user and password given here (or none), as its odbc.ini may hold
    // them.
    CatalogLogin login;
    std::string passwordFile;  // its first line is the password
    std::string dataDir;       // empty: the ini files' [DATA] DIR
};

struct FoundCatalog {
    CatalogLogin login;
    std::string dataDir;
    bool fromSettings = false;  // the data source came from the ini files
};

// Settings that were asked for but cannot be read (a password file): the caller's command
// line names something that is not there.
class SettingsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Throws SettingsError when the password file cannot be read.
FoundCatalog FindCatalog(const CatalogArguments& arguments);
