#include "odbc/SqlText.h"

#include <cctype>

namespace sqltext {
namespace {

char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool MatchesAt(std::string_view text, std::size_t position, std::string_view token) {
    if (text.size() - position < token.size()) return false;
    for (std::size_t i = 0; i < token.size(); ++i) {
        if (Upper(text[position + i]) != Upper(token[i])) return false;
    }
    return true;
}

// Position of the first `token` (no case) at or after `from` that starts outside quoted
// literals and square brackets, or npos. Tokens hold neither quotes nor brackets, so a
// token that starts outside lies outside as a whole; each begins with a blank or a comma.
std::size_t FindKeyword(std::string_view text, std::string_view token, std::size_t from = 0) {
    bool inLiteral = false;
    bool inBrackets = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!inBrackets && c == '\'') {
            inLiteral = !inLiteral;
            continue;
        }
        if (!inLiteral && c == '[') inBrackets = true;
        if (!inLiteral && c == ']') inBrackets = false;
        // Every keyword starts with a blank or a comma: compare only where the text has one.
        if (!inLiteral && !inBrackets && i >= from && c == token[0] && MatchesAt(text, i, token)) {
            return i;
        }
    }
    return std::string_view::npos;
}

}  // namespace

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return MatchesAt(text, 0, prefix);
}

bool IsStatement(std::string_view text) {
    // "{CALL" begins with "{", so one test covers both escapes; "WITH " begins a SELECT with
    // common table expressions (a table name holds no blank).
    return StartsWithNoCase(text, "{") || StartsWithNoCase(text, "SELECT") ||
           StartsWithNoCase(text, "WITH ");
}

void CloseList(std::string& list, char last) {
    if (!list.empty()) list.back() = last;
}

std::string SelectFromTable(std::string nameList, std::string_view table) {
    CloseList(nameList, ' ');
    std::string select = "SELECT ";
    select += nameList;
    select += " FROM ";
    select += table;
    return select;
}

void AppendFilterAndSort(std::string& statement, std::string_view filter, std::string_view sort) {
    if (!filter.empty()) {
        statement += " WHERE ";
        statement += filter;
    }
    if (!sort.empty()) {
        statement += " ORDER BY ";
        statement += sort;
    }
}

std::optional<std::string> UpdatableTable(std::string_view statement) {
    if (StartsWithNoCase(statement, "{")) return std::nullopt;
    const std::size_t from = FindKeyword(statement, " FROM ");
    if (from == std::string_view::npos) return std::nullopt;
    if (FindKeyword(statement, " GROUP BY ") != std::string_view::npos ||
        FindKeyword(statement, " UNION ") != std::string_view::npos) {
        return std::nullopt;
    }
    std::size_t end = std::min(FindKeyword(statement, " WHERE ", from),
                               FindKeyword(statement, " ORDER BY ", from));
    if (end == std::string_view::npos) end = statement.size();
    const std::string_view fromPart = statement.substr(from, end - from);
    if (FindKeyword(fromPart, ",") != std::string_view::npos ||
        FindKeyword(fromPart, " JOIN ") != std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(fromPart.substr(std::string_view(" FROM ").size()));
}

std::string ReplaceBrackets(std::string_view text, char quoteChar) {
    std::string result;
    result.reserve(text.size());
    bool inLiteral = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool doubled = i + 1 < text.size() && text[i + 1] == c;
        if (c == '\'') {
            if (doubled) {
                result += "''";
                ++i;
            } else {
                result += c;
                inLiteral = !inLiteral;
            }
        } else if (!inLiteral && (c == '[' || c == ']')) {
            result += doubled ? c : quoteChar;
            if (doubled) ++i;
        } else {
            result += c;
        }
    }
    return result;
}

std::string EscapeLiteral(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        escaped += c;
        if (c == '\'') escaped += '\'';
    }
    return escaped;
}

}  // namespace sqltext
