#pragma once
// Texts bound to the '?' markers of a statement, as the recordsets bind their filter's
// parameters: values that come from outside (a web request, a path) never become part of
// a statement's text. And a statement that returns no rows (a searched DELETE) run with
// such parameters on a statement handle of its own.

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

class CDatabase;

// Binds `texts` in order as input parameters of `statement`, `lengths` resized to match;
// the driver reads both while the statement executes, so they stay the caller's until then.
// Returns the first answer that is no success, else SQL_SUCCESS.
SQLRETURN BindTextParameters(SQLHSTMT statement, std::vector<std::string>& texts,
                             std::vector<SQLLEN>& lengths);

// Prepares `sql` on a statement of its own, binds `texts` and executes it. Raises
// CDBException with the statement's diagnostics.
void ExecuteWithTextParameters(CDatabase& database, const std::string& sql,
                               std::vector<std::string> texts);
