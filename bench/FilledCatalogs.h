#pragma once
// A pair of catalogs of about a million rows for the benchmarks that read at catalog scale:
// an SQLite catalog (WAL) and a database of a throwaway local PostgreSQL server (durable
// commits, as installed), both made by scripts/catalog-setup.sh in a temporary directory,
// filled by the databases' own clients in one statement and removed at exit.
//
// The rows are given as the SELECT part of an INSERT over a row number `i` (from 0 to
// count - 1), in the dialect both databases share, and a WHERE condition on `i` (may be
// empty).

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "catalog/CatalogLogin.h"

class FilledCatalogs {
  public:
    // `name` names the directory, the data sources and the PostgreSQL database.
    FilledCatalogs(const std::string& name, const std::string& rowColumns,
                   const std::string& rowCondition, long long count) {
        std::string pattern = "/tmp/plq-bench-" + name + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) return;
        dir_ = pattern;
        setenv("ODBCSYSINI", (dir_ + "/odbc").c_str(), 1);
        setenv("ODBCINI", (dir_ + "/odbc/odbc.ini").c_str(), 1);
        const std::string insert =
            "INSERT INTO FILELIST "
            "(STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,FOFF) " +
            rowColumns;
        MakeSqlite(name, insert, rowCondition, count);
        MakePostgres(name, insert, rowCondition, count);
    }
    ~FilledCatalogs() {
        if (!state_.empty()) Shell(SourceDir() + "/scripts/pg-test-cluster.sh stop " + state_);
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    FilledCatalogs(const FilledCatalogs&) = delete;
    FilledCatalogs& operator=(const FilledCatalogs&) = delete;

    std::optional<CatalogLogin> sqlite;
    std::optional<CatalogLogin> postgres;

  private:
    static std::string SourceDir() {
        return std::filesystem::path(__FILE__).parent_path().parent_path().string();
    }
    static bool Shell(const std::string& command) {
        return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
    }
    static std::map<std::string, std::string> ReadAssignments(const std::string& path) {
        std::map<std::string, std::string> values;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            if (const auto eq = line.find('='); eq != std::string::npos) {
                values[line.substr(0, eq)] = line.substr(eq + 1);
            }
        }
        return values;
    }
    std::string Setup(const std::string& arguments) const {
        return SourceDir() + "/scripts/catalog-setup.sh " + arguments + " --ini-dir " + dir_ +
               "/odbc";
    }

    void MakeSqlite(const std::string& name, const std::string& insert,
                    const std::string& condition, long long count) {
        const std::string db = dir_ + "/catalog.db";
        const std::string fill =
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
            "WHERE i < " +
            std::to_string(count - 1) + ") " + insert + "FROM n" + condition +
            "; PRAGMA wal_checkpoint(TRUNCATE);";
        const std::string dsn = name + "lite";
        if (Shell(Setup("sqlite --dsn " + dsn + " --db " + db)) &&
            Shell("sqlite3 -batch " + db + " \"" + fill + "\"")) {
            sqlite = CatalogLogin{dsn, "", "", false, ""};
        }
    }

    void MakePostgres(const std::string& name, const std::string& insert,
                      const std::string& condition, long long count) {
        const std::string state = dir_ + "/pg.env";
        if (!Shell(SourceDir() + "/scripts/pg-test-cluster.sh start " + state + " durable")) {
            return;
        }
        state_ = state;
        auto pg = ReadAssignments(state);
        const std::string fill = insert + "FROM generate_series(0, " + std::to_string(count - 1) +
                                 ") AS i" + condition + "; ANALYZE FILELIST;";
        const std::string dsn = name + "pg", db = "plq_" + name;
        if (Shell(Setup("postgres --dsn " + dsn + " --host " + pg["PGHOST"] + " --port " +
                        pg["PGPORT"] + " --db " + db + " --user " + pg["PGUSER"] + " --password " +
                        pg["PGPASSWORD"])) &&
            Shell("PGPASSWORD=" + pg["PGPASSWORD"] + " " + pg["PGBIN"] + "/psql -X -q -v " +
                  "ON_ERROR_STOP=1 -h " + pg["PGHOST"] + " -p " + pg["PGPORT"] + " -U " +
                  pg["PGUSER"] + " -d " + db + " -c \"" + fill + "\"")) {
            postgres = CatalogLogin{dsn, pg["PGUSER"], pg["PGPASSWORD"], false, ""};
        }
    }

    std::string dir_;
    std::string state_;
};
