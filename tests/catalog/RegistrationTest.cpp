// FILELIST rows written by the converter's registration on real catalogs (SQLite and
// PostgreSQL through their ODBC drivers, connected as the converter connects), with the
// clock fixed past 2038 so that every load date is known (cases in registration.cases).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "catalog/FileList.h"
#include "catalog/FileRowWriter.h"
#include "odbc/Database.h"
#include "odbc/OdbcCalls.h"
#include "platform/Clock.h"
#include "tests/support/CaseScript.h"
#include "tests/support/Catalog.h"
#include "tests/support/ConsoleLines.h"

using namespace testsupport;

namespace {

constexpr std::time_t k2040 = 2208988800;  // 2040-01-01 00:00:00 UTC

int statements = 0;         // the INSERT, UPDATE and DELETE statements sent
std::set<SQLHSTMT> writes;  // statements prepared with such a text
bool IsWrite(const SQLCHAR* text) {
    return std::strncmp(reinterpret_cast<const char*>(text), "SELECT", 6) != 0;
}
SQLRETURN SQL_API CountedExecDirect(SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length) {
    statements += IsWrite(text);
    return ::SQLExecDirect(statement, text, length);
}
SQLRETURN SQL_API NotedPrepare(SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length) {
    if (IsWrite(text))
        writes.insert(statement);
    else
        writes.erase(statement);
    return ::SQLPrepare(statement, text, length);
}
SQLRETURN SQL_API CountedExecute(SQLHSTMT statement) {
    statements += writes.count(statement);
    return ::SQLExecute(statement);
}

// Runs the step on the catalog; returns the line it gives, if any.
std::string RunStep(std::vector<std::string> f, const TestCatalog& catalog, CDatabase& database) {
    if (f[0] == "sql") ExecuteSql(catalog, f[1]);
    if (f[0] == "row") {
        ExecuteSql(catalog, "INSERT INTO FILELIST VALUES ('STA1',100,1,'" + f[1] + "',3,'" + f[2] +
                                "','OTHER','2000-01-01 00:00:00',1600000000.25," + f[3] + ",512)");
    }
    if (f[0] == "read") {
        CFileList row(&database);
        row.SetFilter(CFileList::PathFilter(f[1]));
        row.Open();
        return "read " + f[1] + ": " +
               (row.FieldStatus(8) & kFieldNull ? "null" : std::to_string(row.loadDate));
    }
    const bool finished = f[0].ends_with("+");
    if (finished) f[0].pop_back();
    if (f[0] != "N" && f[0] != "E") return "";
    OdbcCalls calls = Odbc();
    calls.ExecDirect = &CountedExecDirect;
    calls.Prepare = &NotedPrepare;
    calls.Execute = &CountedExecute;
    const ScopedOdbcCalls seam(calls);
    const platform::ScopedFixedClock clock(k2040 + (f.size() > 4 ? std::stoi(f[4]) : 0));
    FileRegistration file{f[1], "STA1", f[3], 1600000000.25, std::stod(f[2]), 100};
    if (finished) {
        const int64_t length = 512 + 4 * std::llround(file.duration * file.rate);
        file.checksum = FileChecksum{length, std::string(32, 'a'), {std::string(32, 'b')}};
    }
    statements = 0;
    const bool made = f[0] == "N" ? RegisterNewFileRow(database, "PLQ2TRQ", file)
                                  : UpdateExtendedFileRow(database, "PLQ2TRQ", file);
    if (!made) return f[0] + " " + f[1] + ": failed";
    return f.size() > 5 ? f[0] + " " + f[1] + ": statements " + std::to_string(statements) : "";
}

class Registration : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(Registration, StepsLeaveTheirRows) {
    ::setenv("TZ", "UTC", 1);  // LDDATE holds local time
    ::tzset();
    const ScriptCase& c = GetParam();
    const auto has = [&](const char* line) {
        return std::find(c.steps.begin(), c.steps.end(), line) != c.steps.end();
    };
    TempDir dir;
    const TestCatalog catalog =
        MakeCatalog(c.catalog == "sqlite" ? CatalogKind::kSqlite : CatalogKind::kPostgres, dir,
                    "TRQ", !has("unique|no"));
    CDatabase database;
    ASSERT_TRUE(
        database.Open(catalog.connect, has("cursor-library|no") ? 0 : CDatabase::kUseCursorLib));
    ConsoleLines console;
    std::vector<std::string> out;
    for (const std::string& step : c.steps) {
        const std::string line = RunStep(Fields(step, '|'), catalog, database);
        if (!line.empty()) out.push_back(line);
    }
    std::vector<std::string> rows;
    for (auto cells : QueryRows(catalog,
                                "SELECT CPATH,CH,TQTY,LDDATE,STA,SPS,GAIN,DATATYPE,"
                                "CREATER,TBEGIN,FOFF FROM FILELIST")) {
        // SQLite keeps the text its driver wrote, with the fraction of the second.
        if (cells[3].ends_with(".000")) cells[3].resize(cells[3].size() - 4);
        rows.push_back(cells[0]);
        for (std::size_t i = 1; i < cells.size(); ++i) rows.back() += "|" + cells[i];
    }
    std::sort(rows.begin(), rows.end());
    out.insert(out.end(), rows.begin(), rows.end());
    if (!has("sql|DROP TABLE FILECHECKSUM")) {
        for (const auto& cells :
             QueryRows(catalog, "SELECT CPATH,FLENGTH,RECORDED FROM FILECHECKSUM ORDER BY CPATH")) {
            out.push_back("checksum " + cells[0] + "|" + cells[1] + "|" + cells[2]);
        }
    }
    if (!console.out.empty()) out.push_back("printed: " + console.out);
    for (const std::string& notice : console.notices) out.push_back("notice: " + notice);
    EXPECT_EQ(out, c.expected);
}

CASE_TABLE(registration, Registration,
           ReadCaseScriptForEachCatalog("tests/catalog/registration.cases"));

}  // namespace
