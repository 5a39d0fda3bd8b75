#pragma once
// One ODBC connection (ODBC 2.x calls through unixODBC) and the process-wide environment
// it shares with every other connection.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "odbc/ConnectionSockets.h"

class CRecordset;

class CDatabase {
  public:
    // Options word of Open.
    static constexpr uint32_t kOpenReadOnly = 0x2;
    static constexpr uint32_t kUseCursorLib = 0x4;
    static constexpr uint32_t kNoOdbcDialog = 0x8;
    static constexpr uint32_t kForceOdbcDialog = 0x10;
    // What the cursor library was loaded for, without it: the connection announces
    // positioned UPDATE and DELETE statements, which the recordsets execute in their searched
    // form (odbc/PositionedStatement.h), and reads through the driver's own read-only
    // cursors. The cursor library copied every result set into a temporary file first.
    static constexpr uint32_t kSearchedPositionedWrites = 0x20;

    // Update options, read from the driver at Open.
    static constexpr uint32_t kSetPosUpdates = 0x1;         // SQLSetPos update/delete/add
    static constexpr uint32_t kPositionedStatements = 0x2;  // positioned UPDATE and DELETE
    static constexpr uint32_t kGetDataBound = 0x4;          // SQLGetData on bound columns

    // A closed connection with the default time-outs. Also sets up the process-wide ODBC
    // state first, so that a program-wide CDatabase can still release it at process exit.
    CDatabase();
    ~CDatabase();  // releases the connection (and the environment with the last one)
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;

    // Connects with `connect` (passed to the driver manager unchanged). True when connected;
    // false when the driver's completion of the connection details was cancelled; throws
    // CDBException on every other failure, with everything the attempt allocated released.
    bool Open(const std::string& connect, uint32_t options);
    // Connects to data source `dsn` as `user` with `password` (an empty user or password is
    // left out). When every value can stand in a connect string as it is, this is Open of
    // "DSN=<dsn>;UID=<user>;PWD=<password>;" (`connect`, which the caller composed); when one
    // cannot (a ';', a brace, blanks at either end), SQLConnect takes the three apart, with the
    // same options: drivers read connect strings each in their own way, and not all honour
    // braces (the SQLite driver would take a "Database=" inside a password for its own).
    bool OpenDataSource(const std::string& connect, const std::string& dsn, const std::string& user,
                        const std::string& password, uint32_t options);
    // Closes every registered recordset, then disconnects.
    void Close();
    // Shuts down the connection's network sockets, from any thread (CallWatchdog.h): a call
    // blocked on a server that does not answer returns as on a lost connection, and so does
    // every later one. A connection without sockets of its own (SQLite) is not affected.
    void Cut() noexcept;
    bool IsOpen() const { return hdbc_ != SQL_NULL_HDBC; }
    // True when the connection is closed, or the driver knows it to be gone (SQL_ATTR_
    // CONNECTION_DEAD): after a failure whose diagnostics do not say so (a server that went
    // down between a statement and the SAVEPOINT the driver sends before it, or while the
    // driver described a result). A driver that cannot tell counts its connection alive.
    bool IsDead() const;
    // Sets the query time-out on a new statement, unless the connection already applies it
    // to every statement (see ApplySessionTimeout) or an earlier statement showed that the
    // driver refuses it.
    void ApplyStatementOptions(SQLHSTMT statement);
    // SQL_SUCCESS, SQL_SUCCESS_WITH_INFO and SQL_NO_DATA_FOUND.
    static bool IsSuccess(SQLRETURN code);
    // The answer of a statement's execution on this connection, as the layer takes it:
    // SQL_ERROR in place of a SQL_SUCCESS_WITH_INFO that tells of the session's end, which
    // psqlODBC gives when the server ends the session within its answer (the server's
    // parting message passed on as information; the statement did not run, or was rolled
    // back with the session). The diagnostics stay for SQLError. Any other answer as it is.
    SQLRETURN StatementAnswer(SQLRETURN code, SQLHSTMT statement) const;

    SQLHDBC Handle() const { return hdbc_; }
    // The process-wide environment handle (null while no connection is allocated).
    static SQLHENV EnvironmentHandle();
    // Number of connection handles allocated and not yet freed, process-wide.
    static int ConnectionCount();

    const std::string& ConnectString() const { return connect_; }
    // Whether the open connection's server is PostgreSQL (SQL_DBMS_NAME).
    bool IsPostgres() const;
    char QuoteChar() const { return quoteChar_; }
    bool IsUpdatable() const { return updatable_; }
    bool CanTransact() const { return transactions_; }
    int16_t CursorCommitBehavior() const { return cursorCommitBehavior_; }
    int16_t CursorRollbackBehavior() const { return cursorRollbackBehavior_; }
    uint32_t UpdateOptions() const { return updateOptions_; }
    uint32_t BookmarkAttributes() const { return bookmarkAttributes_; }
    uint32_t OpenOptions() const { return openOptions_; }
    // True when the recordsets execute positioned statements in their searched form: with
    // the cursor library (which hands them to the driver unchanged, and no driver runs
    // them) or with kSearchedPositionedWrites.
    bool SearchesPositionedWrites() const {
        return (openOptions_ & (kUseCursorLib | kSearchedPositionedWrites)) != 0;
    }
    int32_t LoginTimeout() const { return loginTimeout_; }
    int32_t QueryTimeout() const { return queryTimeout_; }

    // Recordsets holding a statement on this connection register here (under the ODBC lock).
    void AddRecordset(CRecordset* recordset);
    void RemoveRecordset(CRecordset* recordset);

  private:
    void AllocateConnection();
    // False when the driver's dialog was cancelled (SQL_NO_DATA_FOUND).
    bool Connect(uint32_t options);
    bool ConnectWithSeparateValues();
    void VerifyConformance();
    void ReadCapabilities();
    void ReadUpdateOptions();
    void ReadTransactionBehavior();
    void ReadFetchExtensions();
    void ReadAccessMode();
    void ReadQuoteChar();
    void ApplySessionTimeout();
    // Remembers which of the sockets opened since `before` are this connection's (found
    // through the port the PostgreSQL server sees; other drivers keep none).
    void FindSockets(const std::vector<odbc::OpenSocket>& before);
    void Disconnect() noexcept;  // SQLDisconnect + SQLFreeConnect, results ignored
    void Release() noexcept;

    SQLHDBC hdbc_ = SQL_NULL_HDBC;
    char quoteChar_ = ' ';
    std::string connect_;
    // Set while OpenDataSource connects through SQLConnect: data source, user, password.
    std::vector<std::string> separateLogin_;
    std::list<CRecordset*> recordsets_;
    bool updatable_ = true;
    bool transactions_ = false;
    int16_t cursorCommitBehavior_ = -1;
    int16_t cursorRollbackBehavior_ = -1;
    uint32_t updateOptions_ = 0;
    uint32_t bookmarkAttributes_ = 0;
    uint32_t openOptions_ = 0;
    int32_t loginTimeout_ = 15;
    int32_t queryTimeout_ = 15;
    bool sessionTimeout_ = false;
    std::mutex socketsMutex_;  // Cut comes from another thread
    std::vector<int> sockets_;
};
