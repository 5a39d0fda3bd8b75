#include "odbc/PositionedStatement.h"

#include <algorithm>
#include <cstring>

#include "odbc/OdbcCalls.h"
#include "odbc/SqlText.h"

namespace {

// Bytes of the value the driver put into a bound buffer.
std::size_t FetchedSize(const FieldSlot& slot) {
    switch (slot.boundType) {
        case SQL_C_CHAR: {
            const auto capacity = static_cast<std::size_t>(slot.textCapacity);
            if (slot.indicator >= 0) {
                return std::min(static_cast<std::size_t>(slot.indicator), capacity);
            }
            return strnlen(slot.textBuffer.data(), capacity);
        }
        case SQL_C_LONG:
            return sizeof(int32_t);
        case SQL_C_TIMESTAMP:
            return sizeof(TIMESTAMP_STRUCT);
        default:
            return 0;
    }
}

}  // namespace

void CurrentRowKey::Capture(const std::vector<FieldSlot>& fields,
                            const std::vector<ColumnDescription>& columns) {
    columns_.clear();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldSlot& slot = fields[i];
        if (slot.boundType == 0 || slot.boundType == SQL_C_DOUBLE ||
            slot.boundType == SQL_C_TIMESTAMP || slot.column == nullptr) {
            continue;
        }
        Column column;
        column.name = slot.column;
        column.valueType = slot.boundType;
        if (i < columns.size()) column.description = columns[i];
        if (slot.indicator == SQL_NULL_DATA) {
            column.indicator = SQL_NULL_DATA;
        } else {
            const auto* bytes = static_cast<const char*>(slot.boundBuffer);
            column.value.assign(bytes, bytes + FetchedSize(slot));
            column.indicator = static_cast<SQLLEN>(column.value.size());
            // A text keeps a terminating NUL, so that even an empty one has a buffer.
            if (column.valueType == SQL_C_CHAR) column.value.push_back('\0');
        }
        columns_.push_back(std::move(column));
    }
}

std::optional<std::string> CurrentRowKey::SearchedStatement(std::string_view positioned,
                                                            std::string_view cursorName,
                                                            char quoteChar) const {
    if (columns_.empty()) return std::nullopt;
    std::string ending = " WHERE CURRENT OF ";
    ending += cursorName;
    if (positioned.size() < ending.size() ||
        positioned.substr(positioned.size() - ending.size()) != ending) {
        return std::nullopt;
    }
    std::string conditions;
    for (const Column& column : columns_) {
        if (!conditions.empty()) conditions += " AND ";
        conditions += column.name;
        conditions += column.indicator == SQL_NULL_DATA ? " IS NULL" : "=?";
    }
    std::string searched(positioned.substr(0, positioned.size() - ending.size()));
    searched += " WHERE ";
    searched += sqltext::ReplaceBrackets(conditions, quoteChar);
    return searched;
}

SQLRETURN CurrentRowKey::BindParameters(SQLHSTMT statement, SQLUSMALLINT firstParameter) {
    SQLUSMALLINT number = firstParameter;
    for (Column& column : columns_) {
        if (column.indicator == SQL_NULL_DATA) continue;
        SQLULEN precision = column.description.precision;
        if (column.valueType == SQL_C_CHAR) {
            const auto length = static_cast<SQLULEN>(std::max<SQLLEN>(column.indicator, 1));
            precision = std::max(precision, length);
        }
        const SQLRETURN code = Odbc().BindParameter(
            statement, number++, SQL_PARAM_INPUT, column.valueType, column.description.sqlType,
            precision, column.description.scale, column.value.data(), 0, &column.indicator);
        if (code != SQL_SUCCESS) return code;
    }
    return SQL_SUCCESS;
}

int CurrentRowKey::ParameterCount() const {
    return static_cast<int>(std::count_if(columns_.begin(), columns_.end(), [](const Column& c) {
        return c.indicator != SQL_NULL_DATA;
    }));
}
