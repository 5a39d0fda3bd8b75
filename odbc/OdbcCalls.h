#pragma once
// Every ODBC call of the database layer goes through this table, so that tests can
// replace single calls to produce driver answers that no installed driver gives
// (a read-only data source, a refused query time-out, a row count of -1).

#include <sql.h>
#include <sqlext.h>

struct OdbcCalls {
    decltype(&::SQLAllocEnv) AllocEnv = &::SQLAllocEnv;
    decltype(&::SQLAllocConnect) AllocConnect = &::SQLAllocConnect;
    decltype(&::SQLSetConnectOption) SetConnectOption = &::SQLSetConnectOption;
    decltype(&::SQLGetConnectOption) GetConnectOption = &::SQLGetConnectOption;
    decltype(&::SQLDriverConnect) DriverConnect = &::SQLDriverConnect;
    decltype(&::SQLConnect) Connect = &::SQLConnect;
    decltype(&::SQLGetInfo) GetInfo = &::SQLGetInfo;
    decltype(&::SQLGetFunctions) GetFunctions = &::SQLGetFunctions;
    decltype(&::SQLAllocStmt) AllocStmt = &::SQLAllocStmt;
    decltype(&::SQLSetStmtOption) SetStmtOption = &::SQLSetStmtOption;
    decltype(&::SQLGetStmtOption) GetStmtOption = &::SQLGetStmtOption;
    decltype(&::SQLPrepare) Prepare = &::SQLPrepare;
    decltype(&::SQLExecute) Execute = &::SQLExecute;
    decltype(&::SQLExecDirect) ExecDirect = &::SQLExecDirect;
    decltype(&::SQLTables) Tables = &::SQLTables;
    decltype(&::SQLNumResultCols) NumResultCols = &::SQLNumResultCols;
    decltype(&::SQLDescribeCol) DescribeCol = &::SQLDescribeCol;
    decltype(&::SQLBindCol) BindCol = &::SQLBindCol;
    decltype(&::SQLExtendedFetch) ExtendedFetch = &::SQLExtendedFetch;
    decltype(&::SQLFetch) Fetch = &::SQLFetch;
    decltype(&::SQLBindParameter) BindParameter = &::SQLBindParameter;
    decltype(&::SQLGetCursorName) GetCursorName = &::SQLGetCursorName;
    decltype(&::SQLRowCount) RowCount = &::SQLRowCount;
    decltype(&::SQLSetPos) SetPos = &::SQLSetPos;
    decltype(&::SQLFreeStmt) FreeStmt = &::SQLFreeStmt;
    decltype(&::SQLTransact) Transact = &::SQLTransact;
    decltype(&::SQLError) Error = &::SQLError;
    decltype(&::SQLGetDiagRec) GetDiagRec = &::SQLGetDiagRec;
    decltype(&::SQLDisconnect) Disconnect = &::SQLDisconnect;
    decltype(&::SQLFreeConnect) FreeConnect = &::SQLFreeConnect;
    decltype(&::SQLFreeEnv) FreeEnv = &::SQLFreeEnv;
};

// The table in use. Production code only reads it.
OdbcCalls& Odbc();

// Test helper: installs a modified table for its lifetime and restores the old one.
class ScopedOdbcCalls {
  public:
    explicit ScopedOdbcCalls(const OdbcCalls& replacement) : saved_(Odbc()) {
        Odbc() = replacement;
    }
    ~ScopedOdbcCalls() { Odbc() = saved_; }
    ScopedOdbcCalls(const ScopedOdbcCalls&) = delete;
    ScopedOdbcCalls& operator=(const ScopedOdbcCalls&) = delete;

  private:
    OdbcCalls saved_;
};
