#pragma once
// Database errors: raised by the connection and the recordset layer, caught by the
// catalog registration (which prints errorText) and by the run flow (failed open).

#include <sql.h>

#include <string>

class CDatabase;

class CException {
  public:
    virtual ~CException() = default;
    // Runtime class name of the error.
    virtual const char* ClassName() const { return "CException"; }
};

class CDBException : public CException {
  public:
    explicit CDBException(SQLRETURN code) : retCode(code) {}
    const char* ClassName() const override { return "CDBException"; }

    SQLRETURN retCode;      // ODBC return code, or one of the layer codes below
    std::string errorText;  // the driver's messages, each + "\n", origin prefixes removed
    std::string stateText;  // "State:%s,Native:%ld,Origin:[..][..]\n" per diagnostic record

    // Fills errorText and stateText from the diagnostics of the given handles.
    void BuildErrorTexts(CDatabase* database, SQLHSTMT statement);
};

// Layer error codes (the layer's own conditions); their texts are empty, but for
// kCommitUnconfirmed's.
namespace LayerError {
inline constexpr SQLRETURN kForwardOnly = 1002;      // non-next fetch without scrolling
inline constexpr SQLRETURN kEmptyColumnList = 1003;  // SELECT from a class without fields
inline constexpr SQLRETURN kIllegalMode = 1005;      // Update/Delete in the wrong edit mode
inline constexpr SQLRETURN kMultipleRowsAffected = 1006;
inline constexpr SQLRETURN kNoCurrentRecord = 1007;
inline constexpr SQLRETURN kNoRowsAffected = 1008;
inline constexpr SQLRETURN kReadOnly = 1009;  // cannot append / update
inline constexpr SQLRETURN kKeysetNotSupported = 1012;
inline constexpr SQLRETURN kSnapshotNotSupported = 1013;
inline constexpr SQLRETURN kApiConformance = 1014;
inline constexpr SQLRETURN kSqlConformance = 1015;
inline constexpr SQLRETURN kNoDataFound = 1016;  // fetch past the end / before start
inline constexpr SQLRETURN kOdbcV2Required = 1018;
inline constexpr SQLRETURN kDataTruncated = 1021;
inline constexpr SQLRETURN kRowFetch = 1022;
inline constexpr SQLRETURN kRowUpdateNotSupported = 1024;
inline constexpr SQLRETURN kDynamicNotSupported = 1025;
// The driver answered a commit as done on a connection that had ended: what was written in
// the transaction may not have been committed (Transaction::Commit).
inline constexpr SQLRETURN kCommitUnconfirmed = 1026;
}  // namespace LayerError

// True when a diagnostic's SQLSTATE says the session with the server ended: class 08 (the
// connection), or the server's own word that it ends the session: 57P01 (a fast shutdown or
// restart, pg_terminate_backend), 57P02 (a crash of another backend), 57P03 (not yet
// accepting connections).
bool IsSessionEndState(const std::string& state);
// True when one of the error's diagnostics says so, or the error is kCommitUnconfirmed.
bool SaysSessionEnded(const CDBException& error);

// Builds a CDBException for `code` (with diagnostics when code is SQL_ERROR and a
// connection is given) and throws it.
[[noreturn]] void ThrowDatabaseError(SQLRETURN code, CDatabase* database = nullptr,
                                     SQLHSTMT statement = SQL_NULL_HSTMT);
