#pragma once
// Pure text work of the recordset layer: recognising statements, composing the SELECT of a
// table, finding the table an updatable statement reads, and turning square brackets into
// the connection's identifier quote character. No ODBC calls here.

#include <optional>
#include <string>
#include <string_view>

namespace sqltext {

// True when `text` begins with `prefix`, compared without regard to ASCII case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// True when the text is a statement to be sent as it stands: it begins, without regard to
// case, with "{CALL", "{", "SELECT" or "WITH ". Anything else is taken for a table name.
bool IsStatement(std::string_view text);

// Replaces the last character of a list built with a one-character separator, e.g.
// "A,B," + ')' -> "A,B)". An empty text stays empty.
void CloseList(std::string& list, char last);

// "SELECT " + the names (each already followed by ",") with the last "," turned into a
// blank, then " FROM " and the table: "SELECT A,B  FROM T" (two blanks before FROM).
std::string SelectFromTable(std::string nameList, std::string_view table);

// Appends " WHERE " + filter and " ORDER BY " + sort, each only when not empty.
void AppendFilterAndSort(std::string& statement, std::string_view filter, std::string_view sort);

// The table an updatable statement reads, or nothing when the statement is not updatable:
// a procedure call or escape ("{CALL", "{"), no " FROM ", a " GROUP BY " or " UNION ", or a
// FROM part (up to the first " WHERE " or " ORDER BY ") that holds "," or " JOIN ".
// Keywords are matched without regard to case and only outside single-quoted literals and
// square brackets. The table is the FROM part without its leading " FROM ".
std::optional<std::string> UpdatableTable(std::string_view statement);

// Outside single-quoted literals, "[" and "]" become `quoteChar` and a doubled "[[" or "]]"
// becomes one bracket. A quote toggles the literal state, except that two quotes in a row
// are copied as they stand without toggling it.
std::string ReplaceBrackets(std::string_view text, char quoteChar);

// The text as an SQL string literal's contents: every apostrophe doubled.
std::string EscapeLiteral(std::string_view text);

}  // namespace sqltext
