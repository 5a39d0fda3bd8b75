// The searched form of positioned statements, composed from a fetched row, without a
// database. (Its effect on real rows is checked by the recordset and registration suites.)

#include <gtest/gtest.h>

#include <cstring>

#include "odbc/PositionedStatement.h"

namespace {

// A fetched row as the bind-column pass leaves it: buffers, indicators, bound types.
class FetchedRow {
  public:
    FetchedRow() {
        fields_.resize(6);
        BindText(0, "STA", "STA1");
        Bind(1, "SPS", SQL_C_DOUBLE, &rate_, sizeof rate_);
        Bind(2, "GAIN", SQL_C_LONG, &gain_, sizeof gain_);
        BindText(3, "CH", "");
        Bind(4, "LDDATE", SQL_C_TIMESTAMP, &date_, sizeof date_);
        BindText(5, "CREATER", "PLQ2TRQ");
        columns_.resize(6);
        for (auto& column : columns_) column.sqlType = SQL_VARCHAR, column.precision = 255;
    }
    void SetNull(int index) { fields_[index].indicator = SQL_NULL_DATA; }
    std::vector<FieldSlot>& Fields() { return fields_; }
    std::vector<ColumnDescription>& Columns() { return columns_; }

  private:
    void BindText(int index, const char* column, const char* value) {
        FieldSlot& slot = fields_[index];
        slot.textBuffer.assign(256, '\0');
        slot.textCapacity = 255;
        std::strcpy(slot.textBuffer.data(), value);
        slot.indicator = static_cast<SQLLEN>(std::strlen(value));
        slot.column = column;
        slot.boundType = SQL_C_CHAR;
        slot.boundBuffer = slot.textBuffer.data();
    }
    void Bind(int index, const char* column, SQLSMALLINT type, void* buffer, SQLLEN size) {
        FieldSlot& slot = fields_[index];
        slot.indicator = size;
        slot.column = column;
        slot.boundType = type;
        slot.boundBuffer = buffer;
    }

    double rate_ = 100;
    int32_t gain_ = 1;
    TIMESTAMP_STRUCT date_{2021, 3, 4, 5, 6, 7, 0};
    std::vector<FieldSlot> fields_;
    std::vector<ColumnDescription> columns_;
};

TEST(PositionedStatement, NamesTheRowByItsFetchedValuesLeavingOutDoubles) {
    FetchedRow row;
    CurrentRowKey key;
    key.Capture(row.Fields(), row.Columns());
    EXPECT_EQ(
        key.SearchedStatement("DELETE FROM FILELIST WHERE CURRENT OF SQL_CUR1", "SQL_CUR1", '"'),
        "DELETE FROM FILELIST WHERE STA=? AND GAIN=? AND CH=? AND LDDATE=? AND CREATER=?");
    EXPECT_EQ(key.ParameterCount(), 5);
    // The SET part and its two blanks stay as composed; an empty cursor name is fine.
    EXPECT_EQ(
        key.SearchedStatement("UPDATE FILELIST SET LDDATE=?,TQTY=?  WHERE CURRENT OF ", "", '"'),
        "UPDATE FILELIST SET LDDATE=?,TQTY=?  WHERE STA=? AND GAIN=? AND CH=? AND "
        "LDDATE=? AND CREATER=?");
}

TEST(PositionedStatement, NullValuesBecomeIsNullConditionsWithoutParameters) {
    FetchedRow row;
    row.SetNull(0);
    row.SetNull(4);
    CurrentRowKey key;
    key.Capture(row.Fields(), row.Columns());
    EXPECT_EQ(key.SearchedStatement("DELETE FROM T WHERE CURRENT OF c", "c", '"'),
              "DELETE FROM T WHERE STA IS NULL AND GAIN=? AND CH=? AND LDDATE IS NULL AND "
              "CREATER=?");
    EXPECT_EQ(key.ParameterCount(), 3);
}

TEST(PositionedStatement, KeepsTheFetchedValuesNotLaterChanges) {
    FetchedRow row;
    CurrentRowKey key;
    key.Capture(row.Fields(), row.Columns());
    // The member changes after the fetch (an edit); the row is still named as fetched.
    std::strcpy(row.Fields()[0].textBuffer.data(), "STA2");
    *static_cast<int32_t*>(row.Fields()[2].boundBuffer) = 99;
    ASSERT_TRUE(key.SearchedStatement("DELETE FROM T WHERE CURRENT OF c", "c", '"'));
    EXPECT_EQ(key.ParameterCount(), 5);
}

TEST(PositionedStatement, ColumnNamesGoThroughBracketReplacement) {
    FetchedRow row;
    row.Fields()[0].column = "[STA]";
    CurrentRowKey key;
    key.Capture(row.Fields(), row.Columns());
    EXPECT_EQ(key.SearchedStatement("DELETE FROM T WHERE CURRENT OF c", "c", '`'),
              "DELETE FROM T WHERE `STA`=? AND GAIN=? AND CH=? AND LDDATE=? AND CREATER=?");
}

TEST(PositionedStatement, OtherStatementsAreLeftAlone) {
    FetchedRow row;
    CurrentRowKey key;
    EXPECT_FALSE(key.SearchedStatement("DELETE FROM T WHERE CURRENT OF c", "c", '"'))
        << "no row kept";
    key.Capture(row.Fields(), row.Columns());
    EXPECT_FALSE(key.SearchedStatement("DELETE FROM T WHERE CURRENT OF c", "d", '"'));
    EXPECT_FALSE(key.SearchedStatement("INSERT INTO T (A) VALUES (?)", "c", '"'));
    key.Clear();
    EXPECT_FALSE(key.SearchedStatement("DELETE FROM T WHERE CURRENT OF c", "c", '"'));
}

}  // namespace
