#pragma once
// A real catalog (SQLite file or PostgreSQL database, each through its ODBC driver) with an
// open CDatabase on it, for tests of the recordset layer and the FILELIST registration.
// Parameterised suites run every case on both databases.

#include <gtest/gtest.h>

#include <charconv>
#include <cstdlib>
#include <ctime>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/FileList.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "tests/support/Catalog.h"
#include "tests/support/TempDir.h"

namespace testsupport {

enum class CatalogKind { kSqlite, kPostgres };

inline std::string CatalogKindName(const ::testing::TestParamInfo<CatalogKind>& info) {
    return info.param == CatalogKind::kSqlite ? "SQLite" : "PostgreSQL";
}

// Sections of an ini file: section -> key -> value.
inline std::map<std::string, std::map<std::string, std::string>> ReadIniFile(
    const std::string& path) {
    std::map<std::string, std::map<std::string, std::string>> sections;
    std::istringstream in(ReadFile(path));
    std::string line;
    std::string section;
    auto trim = [](std::string text) {
        const auto first = text.find_first_not_of(" \t\r");
        const auto last = text.find_last_not_of(" \t\r");
        return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    };
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
        } else if (const auto eq = line.find('='); eq != std::string::npos && !section.empty()) {
            sections[section][trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
        }
    }
    return sections;
}

// The catalog's connect string without the data source name: the driver library and every
// setting of the data source (and of its driver entry) spelled out. Tests that connect
// in-process use it, because unixODBC 2.3.11 reads the data source definitions once per
// process: after a first connect, ODBCINI / ODBCSYSINI pointing at another test's files
// are no longer looked at (a second catalog's name is "not found", or a reused name still
// reaches the first catalog's driver). The converter itself, a process per run, connects
// through the data source name.
inline std::string DirectConnectString(const TempDir& dir, const TestCatalog& catalog) {
    auto sources = ReadIniFile(dir / "odbc/odbc.ini");
    auto drivers = ReadIniFile(dir / "odbc/odbcinst.ini");
    const auto& source = sources.at(catalog.dsn);
    const auto& driver = drivers.at(source.at("Driver"));
    std::string connect = "DRIVER={" + driver.at("Driver") + "};";
    for (const auto* settings : {&driver, &source}) {
        for (const auto& [key, value] : *settings) {
            if (key == "Driver" || key == "Description" || key == "Setup") continue;
            connect += key + "=" + value + ";";
        }
    }
    return connect + "UID=" + catalog.user + ";PWD=" + catalog.password + ";";
}

// A fresh catalog of `kind` in `dir`, connected to directly (see DirectConnectString).
// Each catalog of a directory gets a data source (and SQLite file) of its own.
inline TestCatalog MakeCatalog(CatalogKind kind, const TempDir& dir, bool uniquePath = true) {
    static int serial = 0;
    const std::string dsn = "TRQ" + std::to_string(++serial);
    TestCatalog catalog = kind == CatalogKind::kSqlite ? MakeSqliteCatalog(dir, dsn, uniquePath)
                                                       : MakePostgresCatalog(dir, dsn, uniquePath);
    catalog.connect = DirectConnectString(dir, catalog);
    return catalog;
}

// A cell of QueryRows in a form both databases agree on: numbers as the shortest text
// that reads back the same (SQLite gives "100.0" where PostgreSQL gives "100").
inline std::string NormalCell(const std::string& cell) {
    char* end = nullptr;
    const double number = std::strtod(cell.c_str(), &end);
    if (cell.empty() || end != cell.c_str() + cell.size()) return cell;
    char text[40];
    const auto result = std::to_chars(text, text + sizeof text, number);
    return std::string(text, result.ptr);
}

// Options word the converter opens its connection with: the ODBC cursor library.
inline constexpr uint32_t kConverterOpenOptions = CDatabase::kUseCursorLib;

// Fixture: a fresh catalog of the parameter's kind and a connection opened as the
// converter opens it. Members are destroyed in reverse order: connection, then files.
class CatalogDatabaseTest : public ::testing::TestWithParam<CatalogKind> {
  protected:
    void SetUp() override { OpenCatalog(true, kConverterOpenOptions); }

    // (Re)creates the catalog and opens the connection with `options`.
    void OpenCatalog(bool uniquePath, uint32_t options) {
        database_.Close();
        catalog_ = MakeCatalog(GetParam(), dir_, uniquePath);
        catalog_.UseInThisProcess();
        try {
            ASSERT_TRUE(database_.Open(catalog_.connect, options));
        } catch (const CDBException& error) {
            FAIL() << "Open(" << catalog_.connect << "): " << error.errorText << error.stateText;
        }
    }

    // FILELIST rows as text, ordered by path and load date; columns as in `columns`.
    std::vector<std::vector<std::string>> Rows(
        const std::string& columns = "STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,TBEGIN,TQTY,FOFF",
        const std::string& where = "") {
        std::string sql = "SELECT " + columns + " FROM FILELIST";
        if (!where.empty()) sql += " WHERE " + where;
        sql += " ORDER BY CPATH, LDDATE, CH";
        std::vector<std::vector<std::string>> rows = QueryRows(catalog_, sql);
        for (auto& row : rows) {
            for (auto& cell : row) cell = NormalCell(cell);
        }
        return rows;
    }

    bool IsSqlite() const { return GetParam() == CatalogKind::kSqlite; }

    TempDir dir_;
    TestCatalog catalog_;
    CDatabase database_;
};

// Inserts one FILELIST row through the recordset layer (as the converter writes rows).
inline void InsertFileRow(CDatabase& database, const std::string& path, const std::string& channel,
                          double duration, std::time_t loadDate) {
    CFileList row(&database);
    row.SetFilter(CFileList::PathFilter(path));
    row.Open();
    row.AddNew();
    row.station = "STA1";
    row.samplesPerSecond = 100;
    row.gain = 1;
    row.path = path;
    row.dataType = 3;
    row.channel = channel;
    row.creator = "PLQ2TRQ";
    row.loadDate = loadDate;
    row.begin = 951868799.999;
    row.duration = duration;
    row.dataOffset = 512;
    row.Update();
    row.Close();
}

}  // namespace testsupport
