#pragma once
// One ODBC statement handle, owned: whoever holds the StatementHandle holds the statement,
// and it is dropped (SQLFreeStmt with SQL_DROP, answer ignored) when the holder goes away
// or is given another one. Allocation and release go through the OdbcCalls table.

#include <sql.h>
#include <sqlext.h>

class StatementHandle {
  public:
    // Holds no statement.
    StatementHandle() noexcept = default;
    ~StatementHandle() { Reset(); }
    StatementHandle(StatementHandle&& other) noexcept : handle_(other.Release()) {}
    StatementHandle& operator=(StatementHandle&& other) noexcept;
    StatementHandle(const StatementHandle&) = delete;
    StatementHandle& operator=(const StatementHandle&) = delete;

    // Drops any statement held, then allocates one on `connection` (SQLAllocStmt). Returns
    // the driver's answer; the new statement is held only when that answer is
    // SQL_SUCCESS, SQL_SUCCESS_WITH_INFO or SQL_NO_DATA_FOUND.
    SQLRETURN Allocate(SQLHDBC connection);
    // Drops the statement held, if any.
    void Reset() noexcept;
    // Gives up ownership: the caller must drop the returned statement.
    SQLHSTMT Release() noexcept;

    // The statement, or SQL_NULL_HSTMT.
    SQLHSTMT Get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != SQL_NULL_HSTMT; }

  private:
    SQLHSTMT handle_ = SQL_NULL_HSTMT;
};
