#pragma once
// Real catalog databases for tests: an SQLite file or a database on the suite's throwaway
// PostgreSQL cluster, each with table FILELIST and a data source in an odbc.ini of the
// test's own temporary directory. Both are made by scripts/catalog-setup.sh, the same
// script that sets up a production catalog.
//
// Configuration files: the data source and its driver are written to <dir>/odbc/odbc.ini
// and <dir>/odbc/odbcinst.ini; `env` sets ODBCSYSINI=<dir>/odbc and
// ODBCINI=<dir>/odbc/odbc.ini, so nothing outside the temporary directory is read or
// written. unixODBC (2.3.11 here) reads both variables and both files anew on every
// connect and caches neither, so one process can use several catalogs one after another
// by calling UseInThisProcess() before each connect (CatalogSupport tests check this).
//
// The PostgreSQL cluster is started and stopped by CTest (fixture "pg", see
// tests/CMakeLists.txt), which writes its address to <build>/pg-test-cluster.env. To run a
// test binary without CTest, start it yourself:
//   scripts/pg-test-cluster.sh start <build>/pg-test-cluster.env   (and stop afterwards)

#include <map>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace testsupport {

struct TestCatalog {
    std::string dsn;   // data source name
    std::string user;  // login the data source accepts
    std::string password;
    std::string connect;  // "DSN=<dsn>;UID=<user>;PWD=<password>;"
    // ODBCINI / ODBCSYSINI pointing at the temporary directory: pass to RunProcess, or
    // apply in-process with UseInThisProcess().
    std::map<std::string, std::string> env;
    // Sets the variables of `env` in this process (for in-process ODBC use).
    void UseInThisProcess() const;
    // The SQLite file's path, or the PostgreSQL database's name.
    std::string database;
};

// An SQLite catalog file in `dir` with table FILELIST (unique index on CPATH unless
// `uniquePath` is false) and data source `dsn`.
TestCatalog MakeSqliteCatalog(const TempDir& dir, const std::string& dsn = "TRQ",
                              bool uniquePath = true);

// A fresh database on the suite's PostgreSQL cluster, same table and index, data source
// `dsn`. Fails the calling test when the cluster is not running.
TestCatalog MakePostgresCatalog(const TempDir& dir, const std::string& dsn = "TRQ",
                                bool uniquePath = true);

// Checking helpers that talk to the catalog through unixODBC directly, not through the
// converter's database layer. Both call UseInThisProcess() and throw std::runtime_error
// with the driver's message when a call fails.

// Runs `sql` (no result set expected), e.g. to seed rows.
void ExecuteSql(const TestCatalog& catalog, const std::string& sql);
// Every row of the result of `sql`, each column as text; NULL reads as "<NULL>".
std::vector<std::vector<std::string>> QueryRows(const TestCatalog& catalog, const std::string& sql);

}  // namespace testsupport
