#include "catalog/CatalogStore.h"

#include <algorithm>
#include <cmath>

#include "catalog/CatalogSelection.h"
#include "catalog/FileList.h"
#include "odbc/ConnectString.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "odbc/FieldSlot.h"
#include "odbc/OdbcCalls.h"
#include "odbc/StatementHandle.h"
#include "odbc/UntilDone.h"

namespace {

// The driver's text of a database error, on one line.
std::string ErrorText(const CDBException& error) {
    std::string text = error.errorText;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    if (text.empty()) text = "database layer condition " + std::to_string(error.retCode);
    return text;
}

// Throws the database's error unless `code` is a success of `statement`.
void Check(CDatabase& database, const StatementHandle& statement, SQLRETURN code) {
    if (!CDatabase::IsSuccess(code)) ThrowDatabaseError(code, &database, statement.Get());
}

// Prepares `sql` on `statement`, binds `parameters` (text) to its markers and executes it.
// The parameters and `lengths` are read by the driver while it executes, so they belong to
// the caller.
void ExecuteBound(CDatabase& database, StatementHandle& statement, const std::string& sql,
                  std::vector<std::string>& parameters, std::vector<SQLLEN>& lengths) {
    Check(database, statement, statement.Allocate(database.Handle()));
    std::string text = sql;
    Check(database, statement, UntilDone([&] {
              return Odbc().Prepare(statement.Get(), reinterpret_cast<SQLCHAR*>(text.data()),
                                    SQL_NTS);
          }));
    lengths.resize(parameters.size());
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        lengths[i] = static_cast<SQLLEN>(parameters[i].size());
        Check(database, statement,
              Odbc().BindParameter(statement.Get(), static_cast<SQLUSMALLINT>(i + 1),
                                   SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                                   std::max<SQLULEN>(parameters[i].size(), 1), 0,
                                   parameters[i].data(), lengths[i], &lengths[i]));
    }
    Check(database, statement, UntilDone([&] { return Odbc().Execute(statement.Get()); }));
}

// Runs `sql` with its one text parameter bound to `value`, on a statement of its own.
void ExecuteWithText(CDatabase& database, const std::string& sql, const std::string& value) {
    StatementHandle statement;
    std::vector<std::string> parameters{value};
    std::vector<SQLLEN> lengths;
    ExecuteBound(database, statement, sql, parameters, lengths);
}

// The one text column of the one row that `sql` gives with `parameters` bound to its
// markers; nothing when that row holds NULL (the MIN of no rows).
std::optional<std::string> QueryOneText(CDatabase& database, const std::string& sql,
                                        std::vector<std::string> parameters) {
    StatementHandle statement;
    std::vector<SQLLEN> lengths;
    ExecuteBound(database, statement, sql, parameters, lengths);
    auto check = [&](SQLRETURN code) { Check(database, statement, code); };
    // Names are VARCHAR(255); room for every byte of a multi-byte encoding besides.
    std::vector<char> value(1024);
    SQLLEN valueLength = 0;
    check(Odbc().BindCol(statement.Get(), 1, SQL_C_CHAR, value.data(),
                         static_cast<SQLLEN>(value.size()), &valueLength));
    const SQLRETURN fetched = UntilDone([&] { return Odbc().Fetch(statement.Get()); });
    check(fetched);
    if (fetched == SQL_NO_DATA_FOUND || valueLength == SQL_NULL_DATA) return std::nullopt;
    return std::string(value.data());
}

// Walks the distinct values of `column` upwards, each the MIN above the one before, under
// `condition` (with its parameters) on the other columns.
std::vector<std::string> DistinctValues(CDatabase& database, const std::string& column,
                                        const std::string& condition,
                                        const std::vector<std::string>& parameters) {
    const std::string sql =
        "SELECT MIN(" + column + ") FROM FILELIST WHERE " + condition + column + ">?";
    std::vector<std::string> values;
    std::string after;  // below every name: the converter never writes an empty one
    for (;;) {
        std::vector<std::string> bound = parameters;
        bound.push_back(after);
        std::optional<std::string> next = QueryOneText(database, sql, std::move(bound));
        // The database orders by its own collation, which need not be the order of bytes;
        // a name met again would mean a collation that is no order at all.
        if (!next || std::find(values.begin(), values.end(), *next) != values.end()) break;
        after = *next;
        values.push_back(std::move(*next));
    }
    std::sort(values.begin(), values.end());
    return values;
}

CatalogRow RowOf(const CFileList& set) {
    CatalogRow row;
    row.station = set.station;
    row.rate = set.samplesPerSecond;
    row.gain = set.gain;
    row.path = set.path;
    row.dataType = set.dataType;
    row.channel = set.channel;
    row.creator = set.creator;
    row.loadTime = static_cast<int64_t>(set.loadDate);
    row.start = set.begin;
    row.duration = set.duration;
    row.dataOffset = set.dataOffset;
    // Field numbers in the order of CFileList's columns.
    static const char* const kColumns[] = {"STA",     "SPS",    "GAIN",   "CPATH", "DATATYPE", "CH",
                                           "CREATER", "LDDATE", "TBEGIN", "TQTY",  "FOFF"};
    for (int field = 1; field <= 11; ++field) {
        if (set.FieldStatus(field) & kFieldNull) row.nullColumns.push_back(kColumns[field - 1]);
    }
    return row;
}

// A row whose station, channel, path, rate or span the table leaves NULL cannot be
// placed in time; the other columns do not matter to a selection.
bool HasNullSpan(const CatalogRow& row) {
    static const std::string kSpanColumns[] = {"STA", "CH", "CPATH", "SPS", "TBEGIN", "TQTY"};
    return std::any_of(
        row.nullColumns.begin(), row.nullColumns.end(), [](const std::string& column) {
            return std::find(std::begin(kSpanColumns), std::end(kSpanColumns), column) !=
                   std::end(kSpanColumns);
        });
}

}  // namespace

CatalogStore::CatalogStore(const CatalogLogin& login, Use use) : database_(new CDatabase) {
    try {
        // As the converter connects, but never waiting for a dialog.
        const uint32_t access = use == Use::kReadAndMend ? CDatabase::kSearchedPositionedWrites
                                                         : CDatabase::kOpenReadOnly;
        if (!login.Open(*database_, access | CDatabase::kNoOdbcDialog)) {
            throw CatalogError("the driver did not complete the connection");
        }
    } catch (const CDBException& error) {
        throw CatalogError(ErrorText(error));
    }
}

CatalogStore::~CatalogStore() = default;

std::vector<CatalogRow> CatalogStore::ReadRows(const std::string& path) {
    std::vector<CatalogRow> rows;
    try {
        CFileList set(database_.get());
        if (!path.empty()) set.SetFilter(CFileList::PathFilter(path));
        set.Open();
        for (; !set.IsEOF(); set.MoveNext()) rows.push_back(RowOf(set));
        set.Close();
    } catch (const CDBException& error) {
        throw CatalogError("reading FILELIST: " + ErrorText(error));
    }
    return rows;
}

std::vector<CatalogRow> CatalogStore::SelectRows(const CatalogSelection& selection) {
    std::vector<CatalogRow> rows;
    try {
        CFileList set(database_.get());
        SqlCondition condition = SelectionCondition(selection);
        set.SetFilter(std::move(condition.text));
        set.SetFilterParameters(std::move(condition.parameters));
        set.SetSort("TBEGIN,STA,CH,CPATH");
        // Read once, front to back: no scrolling cursor to keep.
        set.Open(CRecordset::kForwardOnly, nullptr, CRecordset::kReadOnly);
        for (; !set.IsEOF(); set.MoveNext()) {
            CatalogRow row = RowOf(set);
            if (!HasNullSpan(row) && RowMeetsSelection(row, selection)) {
                rows.push_back(std::move(row));
            }
        }
        set.Close();
    } catch (const CDBException& error) {
        throw CatalogError("reading FILELIST: " + ErrorText(error));
    }
    return rows;
}

void CatalogStore::DeleteRows(const std::string& path) {
    try {
        // A plain searched DELETE: rows that are alike in every column (duplicates) cannot
        // be told apart by a positioned one.
        ExecuteWithText(*database_, "DELETE FROM FILELIST WHERE CPATH=?", path);
    } catch (const CDBException& error) {
        throw CatalogError("deleting the FILELIST rows of " + path + ": " + ErrorText(error));
    }
}

std::vector<std::string> CatalogStore::ListStations() {
    try {
        return DistinctValues(*database_, "STA", "", {});
    } catch (const CDBException& error) {
        throw CatalogError("listing the stations of FILELIST: " + ErrorText(error));
    }
}

std::vector<std::string> CatalogStore::ListChannels(const std::string& station) {
    try {
        return DistinctValues(*database_, "CH", "STA=? AND ", {station});
    } catch (const CDBException& error) {
        throw CatalogError("listing the channels of " + station + ": " + ErrorText(error));
    }
}
