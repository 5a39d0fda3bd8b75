// Statement texts the database layer composes, without a database: literals, the table an
// updatable statement writes to, bracket quoting, the searched form of positioned
// statements, connect strings (cases in sqltext.cases).

#include <gtest/gtest.h>

#include "catalog/CatalogStore.h"
#include "odbc/PositionedStatement.h"
#include "odbc/SqlText.h"
#include "tests/support/CaseScript.h"

using namespace testsupport;

namespace {

// The row as the bind pass leaves it: "COL=value" a text, "COL" a null, "COL#" a double.
std::string Searched(const std::string& positioned, const std::vector<std::string>& row) {
    std::vector<FieldSlot> fields(row.size());
    std::vector<std::string> names(row.size());
    static double rate = 100;
    for (std::size_t i = 0; i < row.size(); ++i) {
        const std::size_t equals = row[i].find('=');
        names[i] = row[i].substr(0, equals);
        fields[i].column = names[i].c_str();
        fields[i].textBuffer.assign(
            row[i].begin() + static_cast<std::ptrdiff_t>(std::min(equals + 1, row[i].size())),
            row[i].end());
        fields[i].textBuffer.resize(256);
        fields[i].textCapacity = 255;
        fields[i].indicator = equals == std::string::npos ? SQL_NULL_DATA : SQL_NTS;
        fields[i].boundType = row[i].back() == '#' ? SQL_C_DOUBLE : SQL_C_CHAR;
        fields[i].boundBuffer =
            row[i].back() == '#' ? static_cast<void*>(&rate) : fields[i].textBuffer.data();
    }
    CurrentRowKey key;
    key.Capture(fields, std::vector<ColumnDescription>(row.size()));
    return key.SearchedStatement(positioned, "c", '"').value_or("(none)") + " / " +
           std::to_string(key.ParameterCount());
}

std::string Composed(const std::string& step) {
    const std::size_t blank = step.find(' ');
    const std::string what = step.substr(0, blank), text = step.substr(blank + 1);
    const std::vector<std::string> words = Fields(text);
    if (what == "literal") return sqltext::EscapeLiteral(text);
    if (what == "table") return sqltext::UpdatableTable(text).value_or("(not updatable)");
    if (what == "brackets") return sqltext::ReplaceBrackets(text, '"');
    if (what == "kind") return sqltext::IsStatement(text) ? "statement" : "table";
    if (what == "login")
        return CatalogLogin{words[0], words.size() > 1 ? words[1] : "",
                            words.size() > 2 ? words[2] : "", false, ""}
            .ConnectString();
    if (what == "positioned") {
        const std::size_t bar = text.find('|');
        return Searched(text.substr(0, bar), bar + 1 == text.size() ? std::vector<std::string>()
                                                                    : Fields(text.substr(bar + 1)));
    }
    std::string select = sqltext::SelectFromTable(text, "T");
    sqltext::AppendFilterAndSort(select, "cpath='X'", "A");
    return select;
}

class SqlText : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(SqlText, ComposedTexts) {
    const ScriptCase& c = GetParam();
    std::vector<std::string> out;
    for (const std::string& step : c.steps) out.push_back(Composed(step));
    EXPECT_EQ(out, c.expected) << c.title;
}

CASE_TABLE(sqltext, SqlText, ReadCaseScript("tests/catalog/sqltext.cases"));

}  // namespace
