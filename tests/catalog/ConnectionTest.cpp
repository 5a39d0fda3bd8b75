// Connecting to the catalog and losing it: the drivers' own failures, answers no installed
// driver gives (made through the ODBC call seam around a real SQLite connection), the texts
// of diagnostic records, the registrar's one reconnect (cases in connection.cases).

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <regex>

#include "catalog/DatabaseRegistrar.h"
#include "catalog/FileRowWriter.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "odbc/OdbcCalls.h"
#include "tests/support/CaseScript.h"
#include "tests/support/Catalog.h"
#include "tests/support/ConsoleLines.h"

using namespace testsupport;

namespace {

const FileRegistration kFile{"p", "STA1", "CH1", 1600000000.25, 50, 100};

int timeoutCalls = 0, prepares = 0;
int executions = 0, endedExecution = 0;    // the one answered as on a session that ended
SQLHSTMT endedStatement = SQL_NULL_HSTMT;  // its statement, the only one with its records
SQLUSMALLINT lowItem = 0;                  // the conformance answered with -1
std::vector<std::string> lost;    // the SQLSTATEs of the first prepared statements' failures
std::deque<std::string> records;  // "STATE,NATIVE,MESSAGE" given out before the driver's own

void Replace(OdbcCalls& c, const std::string& seam) {
    c.Error = [](auto env, auto dbc, auto stmt, SQLCHAR* state, SQLINTEGER* native,
                 SQLCHAR* message, auto capacity, SQLSMALLINT* length) -> SQLRETURN {
        if (records.empty() || (endedStatement != SQL_NULL_HSTMT && stmt != endedStatement))
            return ::SQLError(env, dbc, stmt, state, native, message, capacity, length);
        const std::vector<std::string> record = Fields(records.front(), ',');
        records.pop_front();
        std::strcpy(reinterpret_cast<char*>(state), record[0].c_str());
        std::snprintf(reinterpret_cast<char*>(message), capacity, "%s", record[2].c_str());
        *length = static_cast<SQLSMALLINT>(record[2].size());
        return *native = std::stoi(record[1]), SQL_SUCCESS;
    };
    if (seam == "refused-time-out") {
        c.SetStmtOption = [](auto statement, auto option, auto value) -> SQLRETURN {
            if (option != SQL_QUERY_TIMEOUT) return ::SQLSetStmtOption(statement, option, value);
            return ++timeoutCalls, SQL_ERROR;
        };
    }
    if (seam == "connect-with-info") {
        c.DriverConnect = [](auto... a) -> SQLRETURN {
            const SQLRETURN code = ::SQLDriverConnect(a...);
            return code == SQL_SUCCESS ? SQL_SUCCESS_WITH_INFO : code;
        };
    }
    if (seam == "connect-cancelled")
        c.DriverConnect = [](auto...) -> SQLRETURN { return SQL_NO_DATA_FOUND; };
    lowItem = seam == "api-level"   ? SQL_ODBC_API_CONFORMANCE
              : seam == "sql-level" ? SQL_ODBC_SQL_CONFORMANCE
                                    : 0;
    if (lowItem != 0) {
        c.GetInfo = [](auto dbc, auto item, auto value, auto... rest) -> SQLRETURN {
            const SQLRETURN code = ::SQLGetInfo(dbc, item, value, rest...);
            if (item == lowItem) *static_cast<SQLSMALLINT*>(value) = -1;
            return code;
        };
    }
    if (seam.starts_with("ended-")) {
        endedExecution = std::stoi(seam.substr(6));
        c.Execute = [](SQLHSTMT statement) -> SQLRETURN {
            const SQLRETURN code = ::SQLExecute(statement);
            if (++executions != endedExecution) return code;
            endedStatement = statement;
            records = {"57P01,0,FATAL: terminating connection due to administrator command",
                       "00000,0,"};
            return SQL_SUCCESS_WITH_INFO;
        };
        c.GetDiagRec = [](auto type, auto handle, SQLSMALLINT number, SQLCHAR* state,
                          auto... rest) -> SQLRETURN {
            if (records.empty() || handle != endedStatement)
                return ::SQLGetDiagRec(type, handle, number, state, rest...);
            if (static_cast<std::size_t>(number) >= records.size()) return SQL_NO_DATA;
            std::strcpy(reinterpret_cast<char*>(state),
                        Fields(records[number - 1], ',')[0].c_str());
            return SQL_SUCCESS;
        };
    }
    if (seam.starts_with("lost-")) {
        lost = Fields(seam.substr(5), '-');
        c.Prepare = [](auto... a) -> SQLRETURN {
            if (static_cast<std::size_t>(prepares) >= lost.size())
                return ++prepares, ::SQLPrepare(a...);
            records = {
                lost[prepares++] + ",26,[psqlODBC] server closed the connection unexpectedly",
                "00000,0,"};
            return SQL_ERROR;
        };
    }
}

std::vector<std::string> Open(const std::string& seam, const std::string& connect,
                              const std::string& reconnect) {
    OdbcCalls calls = Odbc();
    Replace(calls, seam);
    const ScopedOdbcCalls scoped(calls);
    ConsoleLines console;
    CDatabase database;
    std::string result;
    try {
        result = database.Open(connect, CDatabase::kUseCursorLib) ? "opened," : "not opened,";
    } catch (const CDBException& error) {
        result = "error " + std::to_string(error.retCode) + " " + error.errorText +
                 error.stateText + ",";
    }
    if (database.IsOpen()) {
        CatalogLogin login;
        login.wholeConnectString = reconnect;
        // How long connecting again is tried, and also how long any one call may take: on a
        // loaded machine a call under the sanitizers can take a second, and a bound of 1 s
        // then cut it and connected again (one statement more prepared than the case says).
        login.timeoutSeconds = 3;
        DatabaseRegistrar registrar(database, "PLQ2TRQ", login, CDatabase::kUseCursorLib);
        for (RegistrationKind kind :
             {RegistrationKind::kNewFile, RegistrationKind::kExtendedFile}) {
            const RegistrationOutcome outcome = registrar.Register(kind, kFile);
            result += outcome == RegistrationOutcome::kRegistered ? " registered"
                      : outcome == RegistrationOutcome::kFailed   ? " failed"
                                                                  : " unavailable";
        }
    } else {
        const bool released = CDatabase::ConnectionCount() == 0 && !CDatabase::EnvironmentHandle();
        result += released ? " released" : " not released";
    }
    if (timeoutCalls) result += ", time-out refused " + std::to_string(timeoutCalls) + " time(s)";
    if (prepares) result += ", " + std::to_string(prepares) + " statements prepared";
    std::vector<std::string> out = {result};
    if (!console.out.empty()) out.push_back("printed: " + console.out);
    for (const std::string& notice : console.notices) out.push_back("notice: " + notice);
    return out;
}

class Connection : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(Connection, OpeningRegisteringAndLosingTheCatalog) {
    const ScriptCase& c = GetParam();
    TempDir dir;
    const bool postgres = c.steps[0] == "catalog|postgres";
    const TestCatalog catalog =
        MakeCatalog(postgres ? CatalogKind::kPostgres : CatalogKind::kSqlite, dir);
    std::vector<std::string> out;
    for (const std::string& step : c.steps) {
        std::vector<std::string> f = Fields(step, '|');
        timeoutCalls = prepares = executions = 0;
        endedStatement = SQL_NULL_HSTMT;
        if (f[0] == "records") {
            records.assign(f.begin() + 1, f.end());
            OdbcCalls calls = Odbc();
            Replace(calls, "");
            const ScopedOdbcCalls scoped(calls);
            CDBException error(SQL_ERROR);
            error.BuildErrorTexts(nullptr, SQL_NULL_HSTMT);
            out.insert(out.end(), {error.errorText, error.stateText});
        }
        if (f[0] != "open") continue;
        f.resize(4, "catalog");
        for (std::string& field : f) field = field == "catalog" ? catalog.connect : field;
        if (f[2] == "wrong-password")
            f[2] = catalog.connect.substr(0, catalog.connect.rfind("PWD=")) + "PWD=x;";
        // The cluster's port changes from run to run.
        for (const std::string& line : Open(f[1], f[2], f[3]))
            out.push_back(std::regex_replace(line, std::regex("port [0-9]+"), "port PORT"));
    }
    EXPECT_EQ(out, c.expected) << c.title;
}

CASE_TABLE(connection, Connection, ReadCaseScript("tests/catalog/connection.cases"));

}  // namespace
