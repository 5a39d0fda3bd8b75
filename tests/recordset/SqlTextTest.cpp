// Statement texts of the recordset layer, without a database.

#include <gtest/gtest.h>

#include "odbc/SqlText.h"

namespace {

TEST(SqlText, StatementsAreRecognisedWithoutRegardToCase) {
    EXPECT_TRUE(sqltext::IsStatement("SELECT A FROM T"));
    EXPECT_TRUE(sqltext::IsStatement("select a from t"));
    EXPECT_TRUE(sqltext::IsStatement("{call proc}"));
    EXPECT_TRUE(sqltext::IsStatement("{ts '2020-01-01 00:00:00'}"));
    EXPECT_FALSE(sqltext::IsStatement("FILELIST"));
    EXPECT_FALSE(sqltext::IsStatement("SELEC"));
    EXPECT_FALSE(sqltext::IsStatement(""));
}

TEST(SqlText, SelectOfATableHasTwoBlanksBeforeFrom) {
    EXPECT_EQ(sqltext::SelectFromTable("STA,SPS,GAIN,", "FILELIST"),
              "SELECT STA,SPS,GAIN  FROM FILELIST");
    std::string select = sqltext::SelectFromTable("A,", "T");
    sqltext::AppendFilterAndSort(select, "cpath='X'", "");
    EXPECT_EQ(select, "SELECT A  FROM T WHERE cpath='X'");
    sqltext::AppendFilterAndSort(select, "", "A");
    EXPECT_EQ(select, "SELECT A  FROM T WHERE cpath='X' ORDER BY A");
}

TEST(SqlText, CloseListReplacesTheLastSeparator) {
    std::string list = "A,B,";
    sqltext::CloseList(list, ')');
    EXPECT_EQ(list, "A,B)");
    std::string empty;
    sqltext::CloseList(empty, ')');
    EXPECT_EQ(empty, "");
}

struct UpdatableCase {
    const char* statement;
    const char* table;  // nullptr: not updatable
};

class UpdatableStatement : public ::testing::TestWithParam<UpdatableCase> {};

TEST_P(UpdatableStatement, FindsTheTableOfAnUpdatableStatement) {
    const UpdatableCase& c = GetParam();
    std::optional<std::string> table = sqltext::UpdatableTable(c.statement);
    if (c.table == nullptr) {
        EXPECT_FALSE(table.has_value()) << c.statement << " -> " << table.value_or("");
    } else {
        ASSERT_TRUE(table.has_value()) << c.statement;
        EXPECT_EQ(*table, c.table);
    }
}

INSTANTIATE_TEST_SUITE_P(
    SqlText, UpdatableStatement,
    ::testing::Values(UpdatableCase{"SELECT A,B  FROM FILELIST WHERE cpath='X'", "FILELIST"},
                      UpdatableCase{"SELECT A FROM FILELIST", "FILELIST"},
                      UpdatableCase{"select a from filelist order by a", "filelist"},
                      UpdatableCase{"SELECT A FROM T ORDER BY A WHERE", "T"},
                      UpdatableCase{"SELECT A FROM [MY TABLE] WHERE A=1", "[MY TABLE]"},
                      // Keywords inside literals and brackets do not count.
                      UpdatableCase{"SELECT A FROM T WHERE B=' FROM X, Y JOIN Z GROUP BY '", "T"},
                      UpdatableCase{"SELECT A FROM T WHERE B='it''s , JOIN '", "T"},
                      UpdatableCase{"SELECT [ FROM ] FROM T", "T"},
                      UpdatableCase{"SELECT A FROM T WHERE B=' UNION '", "T"},
                      // Not updatable.
                      UpdatableCase{"{CALL P}", nullptr},
                      UpdatableCase{"{ts '2000-01-01'}", nullptr},
                      UpdatableCase{"SELECT 1", nullptr},
                      UpdatableCase{"SELECT A FROM T,U", nullptr},
                      UpdatableCase{"SELECT A FROM T JOIN U ON T.A=U.A", nullptr},
                      UpdatableCase{"SELECT A FROM T join U ON T.A=U.A", nullptr},
                      UpdatableCase{"SELECT A FROM T GROUP BY A", nullptr},
                      UpdatableCase{"SELECT A FROM T UNION SELECT A FROM U", nullptr},
                      UpdatableCase{"SELECT A FROM T WHERE B IN (SELECT B FROM U, V)", "T"}));

struct BracketCase {
    const char* text;
    char quote;
    const char* expected;
};

class BracketReplacement : public ::testing::TestWithParam<BracketCase> {};

TEST_P(BracketReplacement, ReplacesBracketsOutsideLiterals) {
    const BracketCase& c = GetParam();
    EXPECT_EQ(sqltext::ReplaceBrackets(c.text, c.quote), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    SqlText, BracketReplacement,
    ::testing::Values(
        BracketCase{"SELECT [A B] FROM [T]", '"', "SELECT \"A B\" FROM \"T\""},
        BracketCase{"SELECT [A] FROM T", '`', "SELECT `A` FROM T"},
        // A driver without a quote character: blanks.
        BracketCase{"SELECT [A] FROM T", ' ', "SELECT  A  FROM T"},
        // Doubled brackets become one, the text one character shorter each.
        BracketCase{"A]]B", '"', "A]B"}, BracketCase{"X[[1]]", '"', "X[1]"},
        BracketCase{"[[[A]]]", '"', "[\"A]\""},
        // Inside literals everything stays, doubled quotes included.
        BracketCase{"WHERE cpath='[x]]' AND [CH]='a'", '"', "WHERE cpath='[x]]' AND \"CH\"='a'"},
        BracketCase{"WHERE A='it''s [x]' AND [B]=1", '"', "WHERE A='it''s [x]' AND \"B\"=1"},
        BracketCase{"WHERE A='' AND [B]=''", '"', "WHERE A='' AND \"B\"=''"},
        BracketCase{"", '"', ""}));

TEST(SqlText, LiteralsDoubleEveryApostrophe) {
    EXPECT_EQ(sqltext::EscapeLiteral("STA1\\a.STA"), "STA1\\a.STA");
    EXPECT_EQ(sqltext::EscapeLiteral("x' OR '1'='1"), "x'' OR ''1''=''1");
    EXPECT_EQ(sqltext::EscapeLiteral("''"), "''''");
}

}  // namespace
