#pragma once
// Real catalog databases for tests: an SQLite file or a database on the suite's throwaway
// PostgreSQL cluster, each with table FILELIST and a data source in an odbc.ini of the
// test's own temporary directory. Both are made by scripts/catalog-setup.sh, the same
// script that sets up a production catalog.
//
// Configuration files: the data source and its driver are written to <dir>/odbc/odbc.ini
// and <dir>/odbc/odbcinst.ini; `env` sets ODBCSYSINI=<dir>/odbc and
// ODBCINI=<dir>/odbc/odbc.ini, so a process started with it (RunProcess) reads nothing
// outside the temporary directory.
//
// In-process use: unixODBC (2.3.11 here) keeps what it has read from odbc.ini and
// odbcinst.ini for the rest of the process: later changes of ODBCINI/ODBCSYSINI, and
// rewritten sections, are not seen (a data source name keeps its first driver, psqlODBC
// keeps its first settings); only sections it has not read yet are looked up afresh.
// Therefore UseInThisProcess() points the process, once and for good, at one configuration
// directory of its own (a temporary directory removed at exit, holding both drivers), and
// every catalog also gets a data source name unique in this process (`dsn` plus "_<n>"),
// which is appended there and also written to the catalog's own odbc.ini. `connect` uses
// that unique name, so it reaches the right database in-process and out of process alike;
// `dsn` is the name the caller asked for (e.g. for the converter's plq2trq.ini).
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
    std::string dsn;   // data source name as requested
    std::string user;  // login the data source accepts
    std::string password;
    std::string connect;  // "DSN=<uniqueDsn>;UID=<user>;PWD=<password>;"
    // ODBCINI / ODBCSYSINI pointing at the temporary directory: pass to RunProcess.
    std::map<std::string, std::string> env;
    // Makes `connect` work in this process (see above); call before connecting in-process.
    void UseInThisProcess() const;
    // The SQLite file's path, or the PostgreSQL database's name.
    std::string database;
    // The same data source under a name no other catalog of this process has.
    std::string uniqueDsn;
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
