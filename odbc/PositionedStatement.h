#pragma once
// Positioned UPDATE and DELETE through the driver manager's cursor library.
//
// unixODBC's cursor library gives static scrolling and announces positioned UPDATE and
// DELETE statements, so the recordset composes "... WHERE CURRENT OF <cursor>"; but it
// hands such a statement to the driver unchanged, and neither the SQLite nor the
// PostgreSQL driver can run it (SQLite: near "OF": syntax error; PostgreSQL: cursor does
// not exist). So when the connection requested the cursor library, the recordset does the
// cursor library's job itself: it keeps the values fetched for the current row, and the
// statement it executes names that row by those values instead of by the cursor. A
// connection opened with CDatabase::kSearchedPositionedWrites gets the same without the
// cursor library (which copied every result set into a temporary file first):
//
//   UPDATE T SET A=?  WHERE CURRENT OF c   ->   UPDATE T SET A=?  WHERE K=? AND L IS NULL
//
// with one condition per bound result column, joined by " AND ": "COL=?" with the fetched
// value bound as a further parameter (after the SET parameters), or "COL IS NULL" where
// the fetched value was null. Double columns are left out: drivers do not give doubles
// back exactly, so an equality on one could miss the row. Date columns too: SQLite keeps
// dates as text, and one that another program wrote in another form (without ".000", or
// before 1970, which reads back as null) would not equal the value bound for it.

#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "odbc/FieldSlot.h"

class CurrentRowKey {
  public:
    // Forgets the row (no row is current).
    void Clear() { columns_.clear(); }
    // Copies the values just fetched into the bound buffers of `fields` (described by
    // `columns`, in field order). Unbound fields, double and date columns are skipped.
    void Capture(const std::vector<FieldSlot>& fields,
                 const std::vector<ColumnDescription>& columns);

    // The searched form of a positioned statement: `positioned` must end in
    // " WHERE CURRENT OF " + cursorName; that end is replaced by " WHERE " and the
    // conditions (column names through bracket replacement with `quoteChar`). Nothing
    // when the text does not end that way or no row is kept.
    std::optional<std::string> SearchedStatement(std::string_view positioned,
                                                 std::string_view cursorName, char quoteChar) const;

    // Binds the values of the "COL=?" conditions on `statement` as input parameters
    // numbered from `firstParameter`. Returns the first answer other than SQL_SUCCESS,
    // else SQL_SUCCESS.
    SQLRETURN BindParameters(SQLHSTMT statement, SQLUSMALLINT firstParameter);

    // Number of "COL=?" conditions.
    int ParameterCount() const;

  private:
    struct Column {
        std::string name;
        SQLSMALLINT valueType = 0;  // SQL_C_CHAR, SQL_C_LONG or SQL_C_TIMESTAMP
        ColumnDescription description;
        std::vector<char> value;  // the fetched bytes (a text with a terminating NUL)
        SQLLEN indicator = 0;     // byte count, or SQL_NULL_DATA
    };
    std::vector<Column> columns_;
};
