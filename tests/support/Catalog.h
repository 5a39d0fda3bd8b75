#pragma once
// Real catalog databases for tests: an SQLite file, or a database on the suite's throwaway
// PostgreSQL cluster (started and stopped by CTest, fixture "pg"). Both get table FILELIST
// from scripts/catalog-setup.sh, the script that sets up a production catalog: it runs once
// per process and kind into a template, and every catalog is a copy of it (a file copy, or
// CREATE DATABASE ... TEMPLATE), which is much quicker than running the script each time.
//
// Programs started on a catalog read its data source `dsn` from <dir>/odbc (pass `env` to
// RunProcess). In this process unixODBC reads odbc.ini once and keeps it, so a data source
// name cannot be used here for more than one catalog: in-process connections use
// `connect` instead, which names the driver library and every setting directly.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace testsupport {

enum class CatalogKind { kSqlite, kPostgres };

std::string CatalogKindName(const ::testing::TestParamInfo<CatalogKind>& info);

struct TestCatalog {
    CatalogKind kind = CatalogKind::kSqlite;
    std::string dsn;   // data source name, as a plq2trq.ini names it
    std::string user;  // a login the catalog accepts
    std::string password;
    std::string database;  // the SQLite file, or the PostgreSQL database's name
    std::string connect;   // the driver and every setting, for connections in this process
    // ODBCSYSINI and ODBCINI pointing at <dir>/odbc: pass to RunProcess.
    std::map<std::string, std::string> env;
};

// A fresh catalog with data source `dsn` in `dir`; `uniquePath` false leaves out the unique
// index on CPATH. Fails the test (and throws) when it cannot be made.
TestCatalog MakeCatalog(CatalogKind kind, const TempDir& dir, const std::string& dsn = "TRQ",
                        bool uniquePath = true);

// Statements through unixODBC directly, not through the converter's layer. Throw
// std::runtime_error with the driver's message on failure.
void ExecuteSql(const TestCatalog& catalog, const std::string& sql);
// Every row of the result, each cell as text (NULL as "<NULL>"), numbers in the shortest
// form that reads back the same, so that both databases give the same text ("100", not
// "100.0").
std::vector<std::vector<std::string>> QueryRows(const TestCatalog& catalog, const std::string& sql);
// One connection kept for many statements, for tests that query a catalog hundreds of times
// (connecting costs more than a query). The same texts as QueryRows.
class CatalogSession {
  public:
    explicit CatalogSession(const TestCatalog& catalog);
    ~CatalogSession();
    void Execute(const std::string& sql);
    std::vector<std::vector<std::string>> Query(const std::string& sql);

  private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
};
// Makes the catalog refuse every row written to FILELIST (a trigger that raises an error), or
// take them again: a catalog that opens and holds its table but takes no registration.
void RefuseRows(const TestCatalog& catalog, bool refuse = true);
// A statement on the PostgreSQL cluster's maintenance database (to create, lock out or
// drop a test's database).
void ExecuteOnCluster(const std::string& sql);

// A PostgreSQL cluster of the test's own (scripts/pg-test-cluster.sh, its files below /tmp
// as the suite's), which the test may restart without disturbing the others; stopped and
// removed when it goes.
class PrivateCluster {
  public:
    explicit PrivateCluster(const TempDir& dir);
    ~PrivateCluster();
    PrivateCluster(const PrivateCluster&) = delete;
    PrivateCluster& operator=(const PrivateCluster&) = delete;

    // A fast restart: sessions are ended, connections refused for a moment.
    void Restart() const;
    // Database trq here with catalog-setup.sh, and data source TRQ for it in `odbcDir`
    // (odbc.ini, odbcinst.ini: a workspace's "odbc", whose TRQ it replaces). With
    // `protocol741` false, without Protocol=7.4-1: the driver's own rollback, a SAVEPOINT
    // before each statement.
    TestCatalog MakeCatalog(const std::string& odbcDir, bool protocol741 = true) const;

  private:
    std::string dir_;
    std::string state_;
    std::map<std::string, std::string> settings_;  // PGHOST, PGPORT, PGUSER, PGPASSWORD, ...
};

}  // namespace testsupport
