#include "trq/CatalogSession.h"

#include <algorithm>

#include "catalog/FileList.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "odbc/FieldExchange.h"
#include "odbc/OdbcCalls.h"
#include "odbc/UntilDone.h"

namespace trq {

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

// One statement handle on the connection, freed on every way out.
class Statement {
  public:
    explicit Statement(CDatabase& database) : database_(database) {
        const SQLRETURN code = Odbc().AllocStmt(database.Handle(), &handle_);
        if (!CDatabase::IsSuccess(code)) ThrowDatabaseError(code, &database);
    }
    ~Statement() { Odbc().FreeStmt(handle_, SQL_DROP); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Runs `sql` with its one text parameter bound to `value`.
    void Execute(const std::string& sql, const std::string& value) {
        std::string text = sql;
        Check(UntilDone([&] {
            return Odbc().Prepare(handle_, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
        }));
        SQLLEN length = static_cast<SQLLEN>(value.size());
        std::string buffer = value;
        Check(Odbc().BindParameter(handle_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                                   std::max<SQLULEN>(value.size(), 1), 0, buffer.data(), length,
                                   &length));
        Check(UntilDone([&] { return Odbc().Execute(handle_); }));
    }

  private:
    void Check(SQLRETURN code) {
        if (!CDatabase::IsSuccess(code)) ThrowDatabaseError(code, &database_, handle_);
    }

    CDatabase& database_;
    SQLHSTMT handle_ = SQL_NULL_HSTMT;
};

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

}  // namespace

std::string CatalogLogin::ConnectString() const {
    std::string connect = "DSN=" + dsn + ";";
    if (!user.empty()) connect += "UID=" + user + ";";
    if (!password.empty()) connect += "PWD=" + password + ";";
    return connect;
}

CatalogSession::CatalogSession(const CatalogLogin& login) : database_(new CDatabase) {
    try {
        // As the converter connects, but never waiting for a dialog.
        if (!database_->Open(login.ConnectString(),
                             CDatabase::kUseCursorLib | CDatabase::kNoOdbcDialog)) {
            throw CatalogError("the driver did not complete the connection");
        }
    } catch (const CDBException& error) {
        throw CatalogError(ErrorText(error));
    }
}

CatalogSession::~CatalogSession() = default;

std::vector<CatalogRow> CatalogSession::ReadRows(const std::string& path) {
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

void CatalogSession::DeleteRows(const std::string& path) {
    try {
        // A plain searched DELETE: rows that are alike in every column (duplicates) cannot
        // be told apart by a positioned one.
        Statement(*database_).Execute("DELETE FROM FILELIST WHERE CPATH=?", path);
    } catch (const CDBException& error) {
        throw CatalogError("deleting the FILELIST rows of " + path + ": " + ErrorText(error));
    }
}

}  // namespace trq
