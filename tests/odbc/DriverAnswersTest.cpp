// Driver answers that neither installed driver gives, produced by replacing single calls
// of the ODBC call table around a real SQLite connection: a read-only data source, no
// identifier quote character, a refused query time-out, a cancelled connect, a failing
// connection allocation, drivers below the required conformance.

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "odbc/OdbcCalls.h"
#include "tests/support/Catalog.h"

using testsupport::MakeSqliteCatalog;
using testsupport::TempDir;
using testsupport::TestCatalog;

namespace {

// What the replaced calls answer and what they saw. Plain function pointers cannot
// capture, so the fakes share this one record; each test starts from a fresh one.
struct Script {
    SQLUSMALLINT failInfoItem = 0xffff;   // SQLGetInfo item answered with SQL_ERROR
    SQLUSMALLINT readOnlyInfoAnswer = 0;  // 'Y' or 'N' for SQL_DATA_SOURCE_READ_ONLY
    SQLSMALLINT apiConformance = -100;    // replaces the driver's answer unless -100
    SQLSMALLINT sqlConformance = -100;
    SQLRETURN stmtOptionAnswer = SQL_SUCCESS;  // SQLSetStmtOption(SQL_QUERY_TIMEOUT)
    int stmtOptionCalls = 0;
    std::vector<std::pair<SQLUSMALLINT, SQLULEN>> connectOptions;  // SQLSetConnectOption
};
Script script;

SQLRETURN SQL_API GetInfoScripted(SQLHDBC dbc, SQLUSMALLINT item, SQLPOINTER value,
                                  SQLSMALLINT capacity, SQLSMALLINT* length) {
    if (item == script.failInfoItem) return SQL_ERROR;
    if (item == SQL_DATA_SOURCE_READ_ONLY && script.readOnlyInfoAnswer != 0) {
        static_cast<char*>(value)[0] = static_cast<char>(script.readOnlyInfoAnswer);
        static_cast<char*>(value)[1] = '\0';
        if (length != nullptr) *length = 1;
        return SQL_SUCCESS;
    }
    if (item == SQL_ODBC_API_CONFORMANCE && script.apiConformance != -100) {
        *static_cast<SQLSMALLINT*>(value) = script.apiConformance;
        return SQL_SUCCESS;
    }
    if (item == SQL_ODBC_SQL_CONFORMANCE && script.sqlConformance != -100) {
        *static_cast<SQLSMALLINT*>(value) = script.sqlConformance;
        return SQL_SUCCESS;
    }
    return ::SQLGetInfo(dbc, item, value, capacity, length);
}

SQLRETURN SQL_API SetConnectOptionRecorded(SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
    script.connectOptions.emplace_back(option, value);
    return ::SQLSetConnectOption(dbc, option, value);
}

SQLRETURN SQL_API SetStmtOptionScripted(SQLHSTMT statement, SQLUSMALLINT option, SQLULEN value) {
    if (option != SQL_QUERY_TIMEOUT) return ::SQLSetStmtOption(statement, option, value);
    ++script.stmtOptionCalls;
    if (script.stmtOptionAnswer != SQL_SUCCESS) return script.stmtOptionAnswer;
    return ::SQLSetStmtOption(statement, option, value);
}

SQLRETURN SQL_API AllocConnectFails(SQLHENV, SQLHDBC* dbc) {
    *dbc = SQL_NULL_HDBC;
    return SQL_ERROR;
}

SQLRETURN SQL_API DriverConnectCancelled(SQLHDBC, SQLHWND, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                         SQLSMALLINT, SQLSMALLINT*, SQLUSMALLINT) {
    return SQL_NO_DATA_FOUND;
}

class DriverAnswers : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CDatabase::ConnectionCount(), 0);
        script = Script{};
        catalog_ = MakeSqliteCatalog(dir_, "TRQ");
        catalog_.UseInThisProcess();
        calls_.GetInfo = GetInfoScripted;
        calls_.SetConnectOption = SetConnectOptionRecorded;
        calls_.SetStmtOption = SetStmtOptionScripted;
    }

    // Opens with the converter's options and the scripted calls, and expects an error.
    CDBException FailingOpen(CDatabase& database) {
        ScopedOdbcCalls scoped(calls_);
        try {
            database.Open(catalog_.connect, CDatabase::kUseCursorLib);
        } catch (const CDBException& error) {
            return error;
        }
        ADD_FAILURE() << "Open did not raise";
        return CDBException(SQL_SUCCESS);
    }

    void ExpectReleased(const CDatabase& database) {
        EXPECT_FALSE(database.IsOpen());
        EXPECT_EQ(CDatabase::ConnectionCount(), 0);
        EXPECT_EQ(CDatabase::EnvironmentHandle(), nullptr);
    }

    TempDir dir_;
    TestCatalog catalog_;
    OdbcCalls calls_ = Odbc();
};

TEST_F(DriverAnswers, ConnectionOptionsSetBeforeConnecting) {
    CDatabase database;
    {
        ScopedOdbcCalls scoped(calls_);
        ASSERT_TRUE(database.Open(catalog_.connect, CDatabase::kUseCursorLib));
    }
    using Option = std::pair<SQLUSMALLINT, SQLULEN>;
    EXPECT_EQ(script.connectOptions,
              (std::vector<Option>{{SQL_LOGIN_TIMEOUT, 15}, {SQL_ODBC_CURSORS, SQL_CUR_USE_ODBC}}));

    // Read-only: access mode before the connect, and once more after the capabilities.
    script.connectOptions.clear();
    CDatabase readOnly;
    {
        ScopedOdbcCalls scoped(calls_);
        ASSERT_TRUE(readOnly.Open(catalog_.connect, CDatabase::kOpenReadOnly));
    }
    EXPECT_EQ(script.connectOptions, (std::vector<Option>{{SQL_LOGIN_TIMEOUT, 15},
                                                          {SQL_ACCESS_MODE, SQL_MODE_READ_ONLY},
                                                          {SQL_ACCESS_MODE, SQL_MODE_READ_ONLY}}));
}

TEST_F(DriverAnswers, ReadOnlyDataSourceMakesTheConnectionNotUpdatable) {
    script.readOnlyInfoAnswer = 'Y';
    CDatabase database;
    {
        ScopedOdbcCalls scoped(calls_);
        ASSERT_TRUE(database.Open(catalog_.connect, CDatabase::kUseCursorLib));
    }
    EXPECT_FALSE(database.IsUpdatable());
    // No access-mode call: the data source is read-only by itself.
    for (const auto& [option, value] : script.connectOptions) EXPECT_NE(option, SQL_ACCESS_MODE);

    script.readOnlyInfoAnswer = 'N';
    CDatabase writable;
    {
        ScopedOdbcCalls scoped(calls_);
        ASSERT_TRUE(writable.Open(catalog_.connect, CDatabase::kUseCursorLib));
    }
    EXPECT_TRUE(writable.IsUpdatable());
}

TEST_F(DriverAnswers, FailingReadOnlyQueryMakesTheConnectionNotUpdatable) {
    script.failInfoItem = SQL_DATA_SOURCE_READ_ONLY;
    CDatabase database;
    ScopedOdbcCalls scoped(calls_);
    ASSERT_TRUE(database.Open(catalog_.connect, CDatabase::kUseCursorLib));
    EXPECT_FALSE(database.IsUpdatable());
}

TEST_F(DriverAnswers, FailingQuoteCharacterQueryLeavesABlank) {
    script.failInfoItem = SQL_IDENTIFIER_QUOTE_CHAR;
    CDatabase database;
    ScopedOdbcCalls scoped(calls_);
    ASSERT_TRUE(database.Open(catalog_.connect, CDatabase::kUseCursorLib));
    EXPECT_EQ(database.QuoteChar(), ' ');
}

// Capability queries never raise; a failing cursor behaviour query reads -1.
TEST_F(DriverAnswers, FailingCapabilityQueriesKeepTheSafeValues) {
    const std::pair<SQLUSMALLINT, std::function<void(const CDatabase&)>> cases[] = {
        {SQL_POSITIONED_STATEMENTS,
         [](const CDatabase& db) { EXPECT_EQ(db.UpdateOptions(), CDatabase::kGetDataBound); }},
        {SQL_GETDATA_EXTENSIONS,
         [](const CDatabase& db) {
             EXPECT_EQ(db.UpdateOptions(), CDatabase::kPositionedStatements);
         }},
        {SQL_TXN_CAPABLE, [](const CDatabase& db) { EXPECT_FALSE(db.CanTransact()); }},
        {SQL_CURSOR_COMMIT_BEHAVIOR,
         [](const CDatabase& db) {
             EXPECT_EQ(db.CursorCommitBehavior(), -1);
             EXPECT_EQ(db.CursorRollbackBehavior(), SQL_CB_PRESERVE);
         }},
        {SQL_CURSOR_ROLLBACK_BEHAVIOR,
         [](const CDatabase& db) { EXPECT_EQ(db.CursorRollbackBehavior(), -1); }},
    };
    for (const auto& [item, check] : cases) {
        SCOPED_TRACE(item);
        script.failInfoItem = item;
        CDatabase database;
        ScopedOdbcCalls scoped(calls_);
        ASSERT_TRUE(database.Open(catalog_.connect, CDatabase::kUseCursorLib));
        check(database);
    }
}

// The first statement tries the time-out; once refused, later statements skip the call.
TEST_F(DriverAnswers, RefusedQueryTimeoutIsTriedOnceOnly) {
    CDatabase database;
    ASSERT_TRUE(database.Open(catalog_.connect, CDatabase::kUseCursorLib));
    script.stmtOptionAnswer = SQL_ERROR;
    ScopedOdbcCalls scoped(calls_);
    for (int statementNumber = 1; statementNumber <= 3; ++statementNumber) {
        SQLHSTMT statement = SQL_NULL_HSTMT;
        ASSERT_EQ(SQLAllocStmt(database.Handle(), &statement), SQL_SUCCESS);
        database.ApplyStatementOptions(statement);  // raises nothing
        SQLFreeStmt(statement, SQL_DROP);
        EXPECT_EQ(script.stmtOptionCalls, 1);
        EXPECT_EQ(database.QueryTimeout(), -1);
    }
}

TEST_F(DriverAnswers, QueryTimeoutAnsweredWithInfoCountsAsSet) {
    CDatabase database;
    ASSERT_TRUE(database.Open(catalog_.connect, CDatabase::kUseCursorLib));
    script.stmtOptionAnswer = SQL_SUCCESS_WITH_INFO;
    ScopedOdbcCalls scoped(calls_);
    for (int statementNumber = 1; statementNumber <= 2; ++statementNumber) {
        SQLHSTMT statement = SQL_NULL_HSTMT;
        ASSERT_EQ(SQLAllocStmt(database.Handle(), &statement), SQL_SUCCESS);
        database.ApplyStatementOptions(statement);
        SQLFreeStmt(statement, SQL_DROP);
    }
    EXPECT_EQ(script.stmtOptionCalls, 2);
    EXPECT_EQ(database.QueryTimeout(), 15);
}

TEST_F(DriverAnswers, CancelledConnectReturnsFalseAndReleasesEverything) {
    calls_.DriverConnect = DriverConnectCancelled;
    CDatabase database;
    {
        ScopedOdbcCalls scoped(calls_);
        EXPECT_FALSE(database.Open(catalog_.connect, CDatabase::kUseCursorLib));
    }
    ExpectReleased(database);
    EXPECT_EQ(database.ConnectString(), catalog_.connect);  // no completed string came back
}

TEST_F(DriverAnswers, FailingConnectionAllocationRaisesItsCode) {
    calls_.AllocConnect = AllocConnectFails;
    CDatabase database;
    CDBException error = FailingOpen(database);
    EXPECT_EQ(error.retCode, SQL_ERROR);
    EXPECT_EQ(error.errorText, "");
    EXPECT_EQ(error.stateText, "");
    ExpectReleased(database);
}

TEST_F(DriverAnswers, ConformanceBelowTheRequiredLevelRaisesTheLayerCodes) {
    struct Case {
        SQLSMALLINT api;
        SQLSMALLINT sql;
        SQLRETURN expected;
    };
    const Case cases[] = {
        {SQL_OAC_NONE, SQL_OSC_CORE, LayerError::kApiConformance},
        {SQL_OAC_LEVEL1, -1, LayerError::kSqlConformance},
        {SQL_OAC_NONE, -1, LayerError::kApiConformance},  // API conformance is checked first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        script.apiConformance = c.api;
        script.sqlConformance = c.sql;
        CDatabase database;
        CDBException error = FailingOpen(database);
        EXPECT_EQ(error.retCode, c.expected);
        EXPECT_EQ(error.errorText, "");
        EXPECT_EQ(error.stateText, "");
        ExpectReleased(database);
    }
    // Level 1 and Minimum are enough.
    script.apiConformance = SQL_OAC_LEVEL1;
    script.sqlConformance = SQL_OSC_MINIMUM;
    CDatabase database;
    ScopedOdbcCalls scoped(calls_);
    EXPECT_TRUE(database.Open(catalog_.connect, CDatabase::kUseCursorLib));
}

TEST_F(DriverAnswers, FailingConformanceQueryRaisesItsReturnCode) {
    for (SQLUSMALLINT item : {SQL_ODBC_API_CONFORMANCE, SQL_ODBC_SQL_CONFORMANCE}) {
        SCOPED_TRACE(item);
        script.failInfoItem = item;
        CDatabase database;
        CDBException error = FailingOpen(database);
        EXPECT_EQ(error.retCode, SQL_ERROR);
        ExpectReleased(database);
    }
}

}  // namespace
