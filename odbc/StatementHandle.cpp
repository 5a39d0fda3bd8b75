#include "odbc/StatementHandle.h"

#include "odbc/Database.h"
#include "odbc/OdbcCalls.h"

StatementHandle& StatementHandle::operator=(StatementHandle&& other) noexcept {
    if (this != &other) {
        Reset();
        handle_ = other.Release();
    }
    return *this;
}

SQLRETURN StatementHandle::Allocate(SQLHDBC connection) {
    Reset();
    SQLHSTMT statement = SQL_NULL_HSTMT;
    const SQLRETURN code = Odbc().AllocStmt(connection, &statement);
    // A failed allocation may still have written to `statement`; it holds nothing to drop.
    if (CDatabase::IsSuccess(code)) handle_ = statement;
    return code;
}

void StatementHandle::Reset() noexcept {
    if (handle_ == SQL_NULL_HSTMT) return;
    Odbc().FreeStmt(handle_, SQL_DROP);
    handle_ = SQL_NULL_HSTMT;
}

SQLHSTMT StatementHandle::Release() noexcept {
    const SQLHSTMT handle = handle_;
    handle_ = SQL_NULL_HSTMT;
    return handle;
}
