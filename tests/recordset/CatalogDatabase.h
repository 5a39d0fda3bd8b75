#pragma once
// A real catalog (SQLite file or PostgreSQL database, each through its ODBC driver) with an
// open CDatabase on it, for tests of the recordset layer and the FILELIST registration.
// Parameterised suites run every case on both databases.

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "catalog/FileList.h"
#include "odbc/Database.h"
#include "tests/support/Catalog.h"
#include "tests/support/TempDir.h"

namespace testsupport {

enum class CatalogKind { kSqlite, kPostgres };

inline std::string CatalogKindName(const ::testing::TestParamInfo<CatalogKind>& info) {
    return info.param == CatalogKind::kSqlite ? "SQLite" : "PostgreSQL";
}

inline TestCatalog MakeCatalog(CatalogKind kind, const TempDir& dir, bool uniquePath = true) {
    return kind == CatalogKind::kSqlite ? MakeSqliteCatalog(dir, "TRQ", uniquePath)
                                        : MakePostgresCatalog(dir, "TRQ", uniquePath);
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
        ASSERT_TRUE(database_.Open(catalog_.connect, options));
    }

    // FILELIST rows as text, ordered by path and load date; columns as in `columns`.
    std::vector<std::vector<std::string>> Rows(
        const std::string& columns = "STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,TBEGIN,TQTY,FOFF",
        const std::string& where = "") {
        std::string sql = "SELECT " + columns + " FROM FILELIST";
        if (!where.empty()) sql += " WHERE " + where;
        sql += " ORDER BY CPATH, LDDATE, CH";
        return QueryRows(catalog_, sql);
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
