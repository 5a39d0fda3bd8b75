// The texts of a database error: the driver's messages in errorText, one "State:" line per
// diagnostic record in stateText, origin prefixes moved from the message to the state line.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "odbc/OdbcCalls.h"
#include "tests/support/Catalog.h"

using testsupport::MakePostgresCatalog;
using testsupport::MakeSqliteCatalog;
using testsupport::TempDir;
using testsupport::TestCatalog;

namespace {

// Runs `sql` on a fresh statement of `database` and returns the error that the layer
// raises for its failure.
CDBException ErrorOfStatement(CDatabase& database, const std::string& sql) {
    SQLHSTMT statement = SQL_NULL_HSTMT;
    EXPECT_EQ(SQLAllocStmt(database.Handle(), &statement), SQL_SUCCESS);
    std::string text = sql;
    SQLRETURN code = SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
    EXPECT_EQ(code, SQL_ERROR);
    CDBException raised(SQL_SUCCESS);
    try {
        ThrowDatabaseError(code, &database, statement);
    } catch (const CDBException& error) {
        raised = error;
    }
    SQLFreeStmt(statement, SQL_DROP);
    return raised;
}

TEST(Diagnostics, FailingQueryOnSqlite) {
    TempDir dir;
    TestCatalog catalog = MakeSqliteCatalog(dir);
    catalog.UseInThisProcess();
    CDatabase database;
    ASSERT_TRUE(database.Open(catalog.connect, CDatabase::kUseCursorLib));
    CDBException error = ErrorOfStatement(database, "SELECT NOPE FROM FILELIST");
    EXPECT_EQ(error.retCode, SQL_ERROR);
    EXPECT_EQ(error.errorText, "no such column: NOPE (1)\n");
    EXPECT_EQ(error.stateText, "State:S1000,Native:1,Origin:[SQLite]\n");
}

TEST(Diagnostics, FailingQueryOnPostgresHasNoOriginPrefixes) {
    TempDir dir;
    TestCatalog catalog = MakePostgresCatalog(dir);
    catalog.UseInThisProcess();
    CDatabase database;
    ASSERT_TRUE(database.Open(catalog.connect, CDatabase::kUseCursorLib));
    CDBException error = ErrorOfStatement(database, "SELECT * FROM NOSUCHTABLE");
    EXPECT_EQ(error.retCode, SQL_ERROR);
    EXPECT_EQ(error.errorText,
              "ERROR: relation \"nosuchtable\" does not exist;\n"
              "Error while executing the query\n");
    EXPECT_EQ(error.stateText, "State:42P01,Native:1,Origin:\n");
}

// Diagnostic records answered by the replaced SQLError, in order; then SQL_NO_DATA_FOUND.
struct Record {
    const char* state;
    SQLINTEGER native;
    const char* message;
};
std::vector<Record> records;
std::size_t nextRecord = 0;
struct ErrorCall {
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT stmt;
    SQLSMALLINT messageCapacity;
};
std::vector<ErrorCall> errorCalls;

SQLRETURN SQL_API ErrorScripted(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* state,
                                SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT capacity,
                                SQLSMALLINT* length) {
    errorCalls.push_back({env, dbc, stmt, capacity});
    if (nextRecord >= records.size()) return SQL_NO_DATA_FOUND;
    const Record& record = records[nextRecord++];
    std::memcpy(state, record.state, 6);
    *native = record.native;
    std::strncpy(reinterpret_cast<char*>(message), record.message, capacity);
    message[capacity - 1] = '\0';
    *length = static_cast<SQLSMALLINT>(std::strlen(record.message));
    return std::strlen(record.message) >= static_cast<std::size_t>(capacity) ? SQL_SUCCESS_WITH_INFO
                                                                             : SQL_SUCCESS;
}

struct TextsCase {
    const char* name;
    std::vector<Record> records;
    std::string errorText;
    std::string stateText;
};

class ScriptedDiagnostics : public testing::Test {
  protected:
    void SetUp() override {
        records.clear();
        nextRecord = 0;
        errorCalls.clear();
    }
    // The texts BuildErrorTexts makes of the scripted records.
    CDBException Build(CDatabase* database, SQLHSTMT statement) {
        OdbcCalls calls = Odbc();
        calls.Error = ErrorScripted;
        ScopedOdbcCalls scoped(calls);
        CDBException error(SQL_ERROR);
        error.BuildErrorTexts(database, statement);
        return error;
    }
};

TEST_F(ScriptedDiagnostics, TextsOfDiagnosticRecords) {
    const std::string longMessage(600, 'x');
    const TextsCase cases[] = {
        {"documented example",
         {{"42S02", 208, "[DM][Driver] Invalid object name"}},
         "Invalid object name\n",
         "State:42S02,Native:208,Origin:[DM][Driver]\n"},
        {"no prefixes: Origin: then the line feed",
         {{"HY000", 7, "plain message"}},
         "plain message\n",
         "State:HY000,Native:7,Origin:\n"},
        {"two records in the driver's order",
         {{"01000", 1, "[A] first"}, {"42000", -5, "[B][C]second"}},
         "first\nsecond\n",
         "State:01000,Native:1,Origin:[A]\nState:42000,Native:-5,Origin:[B][C]\n"},
        {"only one blank after a prefix is removed",
         {{"HY000", 0, "[A]  two blanks"}},
         " two blanks\n",
         "State:HY000,Native:0,Origin:[A]\n"},
        {"a bracket without its closing bracket stays in the message",
         {{"HY000", 0, "[A] [unclosed text"}},
         "[unclosed text\n",
         "State:HY000,Native:0,Origin:[A]\n"},
        {"brackets after the text are not prefixes",
         {{"HY000", 0, "text [A]"}},
         "text [A]\n",
         "State:HY000,Native:0,Origin:\n"},
        {"a message of prefixes only",
         {{"HY000", 0, "[A][B]"}},
         "\n",
         "State:HY000,Native:0,Origin:[A][B]\n"},
        {"an empty message", {{"HY000", 3, ""}}, "\n", "State:HY000,Native:3,Origin:\n"},
        {"state 00000 ends the list",
         {{"HY000", 1, "kept"}, {"00000", 0, "ignored"}, {"HY000", 2, "never read"}},
         "kept\n",
         "State:HY000,Native:1,Origin:\n"},
        {"a long message is cut to what the 512-byte buffer holds",
         {{"HY000", 0, longMessage.c_str()}},
         std::string(510, 'x') + "\n",
         "State:HY000,Native:0,Origin:\n"},
        {"no records", {}, "", ""},
    };
    for (const TextsCase& c : cases) {
        SCOPED_TRACE(c.name);
        records = c.records;
        nextRecord = 0;
        CDBException error = Build(nullptr, SQL_NULL_HSTMT);
        EXPECT_EQ(error.errorText, c.errorText);
        EXPECT_EQ(error.stateText, c.stateText);
    }
}

// SQLError is asked with the environment, the connection and the statement, a 512-byte
// message buffer (511 usable), and again after every record.
TEST_F(ScriptedDiagnostics, AsksWithTheConnectionsHandles) {
    TempDir dir;
    TestCatalog catalog = MakeSqliteCatalog(dir);
    catalog.UseInThisProcess();
    CDatabase database;
    ASSERT_TRUE(database.Open(catalog.connect, CDatabase::kUseCursorLib));
    SQLHSTMT statement = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocStmt(database.Handle(), &statement), SQL_SUCCESS);
    records = {{"HY000", 1, "one"}, {"HY000", 2, "two"}};
    Build(&database, statement);
    ASSERT_EQ(errorCalls.size(), 3u);
    for (const ErrorCall& call : errorCalls) {
        EXPECT_EQ(call.env, CDatabase::EnvironmentHandle());
        EXPECT_EQ(call.dbc, database.Handle());
        EXPECT_EQ(call.stmt, statement);
        EXPECT_EQ(call.messageCapacity, 511);
    }
    SQLFreeStmt(statement, SQL_DROP);
}

// Only SQL_ERROR with a connection collects diagnostics; the layer's own codes and every
// other return code raise with empty texts.
TEST_F(ScriptedDiagnostics, WhichCodesCarryTexts) {
    TempDir dir;
    TestCatalog catalog = MakeSqliteCatalog(dir);
    catalog.UseInThisProcess();
    CDatabase database;
    ASSERT_TRUE(database.Open(catalog.connect, CDatabase::kUseCursorLib));

    struct Case {
        SQLRETURN code;
        bool withConnection;
        bool texts;
    };
    const Case cases[] = {
        {SQL_ERROR, true, true},
        {SQL_ERROR, false, false},
        {SQL_INVALID_HANDLE, true, false},
        {SQL_NEED_DATA, true, false},
    };
    std::vector<SQLRETURN> layerCodes = {1002, 1003, 1005, 1006, 1007, 1008, 1009, 1012, 1013,
                                         1014, 1015, 1016, 1018, 1021, 1022, 1024, 1025};
    std::vector<Case> all(std::begin(cases), std::end(cases));
    for (SQLRETURN code : layerCodes) all.push_back({code, true, false});

    OdbcCalls calls = Odbc();
    calls.Error = ErrorScripted;
    ScopedOdbcCalls scoped(calls);
    for (const Case& c : all) {
        SCOPED_TRACE(c.code);
        records = {{"HY000", 9, "[X] message"}};
        nextRecord = 0;
        try {
            ThrowDatabaseError(c.code, c.withConnection ? &database : nullptr);
            ADD_FAILURE() << "nothing raised";
        } catch (const CDBException& error) {
            EXPECT_EQ(error.retCode, c.code);
            EXPECT_EQ(error.errorText, c.texts ? "message\n" : "");
            EXPECT_EQ(error.stateText, c.texts ? "State:HY000,Native:9,Origin:[X]\n" : "");
        }
    }
}

}  // namespace
