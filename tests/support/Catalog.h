#pragma once
// Real catalog databases for tests: an SQLite file or a database on the suite's throwaway
// PostgreSQL cluster, each with table FILELIST and a data source in an odbc.ini of the
// test's own temporary directory.

#include <map>
#include <string>

#include "tests/support/TempDir.h"

namespace testsupport {

struct TestCatalog {
    std::string dsn;       // data source name
    std::string user;      // login the data source accepts
    std::string password;
    std::string connect;   // "DSN=<dsn>;UID=<user>;PWD=<password>;"
    // ODBCINI / ODBCSYSINI pointing at the temporary directory: pass to RunProcess, or
    // apply in-process with UseInThisProcess().
    std::map<std::string, std::string> env;
    // Sets the variables of `env` in this process (for in-process ODBC use).
    void UseInThisProcess() const;
};

// An SQLite catalog file in `dir` with table FILELIST (unique index on CPATH unless
// `uniquePath` is false) and data source `dsn`.
TestCatalog MakeSqliteCatalog(const TempDir& dir, const std::string& dsn = "TRQ",
                              bool uniquePath = true);

// A fresh database on the suite's PostgreSQL cluster, same table and index, data source
// `dsn`. Fails the calling test when the cluster is not running.
TestCatalog MakePostgresCatalog(const TempDir& dir, const std::string& dsn = "TRQ",
                                bool uniquePath = true);

}  // namespace testsupport
