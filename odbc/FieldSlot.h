#pragma once
// The recordset's state per field and per result column, shared by the field-exchange
// passes, the recordset and the positioned-statement emulation.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <variant>
#include <vector>

// Status bits of a field.
inline constexpr uint8_t kFieldDirty = 0x1;  // to be sent by the next write
inline constexpr uint8_t kFieldNull = 0x2;   // the field is null (member holds the marker)

// A cached copy of a field's value; the alternative says the field's kind.
using CachedValue = std::variant<std::monostate, std::string, int32_t, double, std::time_t>;

// Everything the recordset keeps per field besides the member itself.
struct FieldSlot {
    uint8_t status = 0;            // kFieldDirty | kFieldNull
    SQLLEN indicator = 0;          // length/indicator of the bound buffer
    TIMESTAMP_STRUCT dateProxy{};  // the buffer bound for a date-time field
    std::vector<char> textBuffer;  // the buffer bound for a text field's result column
    SQLLEN textCapacity = 0;       // characters the driver may put there (NUL excluded)
    CachedValue cachedValue;
    uint8_t cachedStatus = 0;
    // What the bind-column pass bound, for reading the fetched row back.
    const char* column = nullptr;
    SQLSMALLINT boundType = 0;  // SQL_C_... of the bound buffer; 0 while unbound
    void* boundBuffer = nullptr;
};

// Result-column description from SQLDescribeCol.
struct ColumnDescription {
    std::string name;
    SQLSMALLINT sqlType = 0;
    SQLULEN precision = 0;
    SQLSMALLINT scale = 0;
    SQLSMALLINT nullable = 0;
};
