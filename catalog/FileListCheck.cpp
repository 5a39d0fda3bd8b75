#include "catalog/FileListCheck.h"

#include <string.h>
#include <strings.h>

#include "catalog/FileList.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "odbc/OdbcCalls.h"
#include "odbc/StatementHandle.h"
#include "odbc/UntilDone.h"

namespace {

// SELECT of every column the registration writes, answering no row.
std::string ProbeText() {
    std::string text = "SELECT ";
    for (int field = 1; field <= CFileList::kColumnCount; ++field) {
        text += std::string(field > 1 ? "," : "") + CFileList::ColumnName(field);
    }
    return text + " FROM FILELIST WHERE 1=0";
}

// Whether the catalog's list of tables holds FILELIST (letter case ignored: PostgreSQL keeps
// the name in lower case). True also when the list cannot be had: then the driver's message
// of the query is the better answer.
bool ListsFileList(CDatabase& database) {
    StatementHandle statement;
    if (!CDatabase::IsSuccess(statement.Allocate(database.Handle()))) return true;
    SQLCHAR types[] = "TABLE";
    if (!CDatabase::IsSuccess(UntilDone([&] {
            return Odbc().Tables(statement.Get(), nullptr, 0, nullptr, 0, nullptr, 0, types,
                                 SQL_NTS);
        }))) {
        return true;
    }
    char name[256] = {};
    SQLLEN indicator = 0;
    if (!CDatabase::IsSuccess(
            Odbc().BindCol(statement.Get(), 3, SQL_C_CHAR, name, sizeof name, &indicator))) {
        return true;
    }
    SQLRETURN fetched = SQL_SUCCESS;
    while ((fetched = Odbc().Fetch(statement.Get())) == SQL_SUCCESS ||
           fetched == SQL_SUCCESS_WITH_INFO) {
        if (indicator != SQL_NULL_DATA && ::strcasecmp(name, "FILELIST") == 0) return true;
    }
    // A list that broke off tells nothing.
    return fetched != SQL_NO_DATA_FOUND;
}

}  // namespace

std::string FileListProblem(CDatabase& database) {
    StatementHandle statement;
    SQLRETURN code = statement.Allocate(database.Handle());
    if (CDatabase::IsSuccess(code)) {
        database.ApplyStatementOptions(statement.Get());
        std::string text = ProbeText();
        code = UntilDone([&] {
            return Odbc().ExecDirect(statement.Get(), reinterpret_cast<SQLCHAR*>(text.data()),
                                     SQL_NTS);
        });
        if (CDatabase::IsSuccess(code)) return "";
    }
    CDBException error(code);
    error.BuildErrorTexts(&database, statement.Get());
    statement.Reset();
    // The driver's text names the table it misses ("no such table: FILELIST", "relation
    // \"filelist\" does not exist"); a query that failed for another reason (a disk error)
    // is told in the driver's words, even where the catalog then lists no tables either.
    const bool namesTable = ::strcasestr(error.errorText.c_str(), "FILELIST") != nullptr;
    if (namesTable && !ListsFileList(database)) return "the catalog has no table FILELIST";
    return "FILELIST cannot be read: " + error.errorText;
}
