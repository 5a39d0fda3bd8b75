#pragma once
// Field exchange: a record class lists its fields once, in ExchangeFields, as one call of
// ExchangeText, ExchangeLong, ExchangeDouble or ExchangeDate per column. Every job that
// visits all fields (binding result columns, fixing up a fetched row, composing column
// lists and parameters, detecting changed fields, caching values) is one pass of that
// list with a FieldExchange whose pass says which job it is.
//
// The status and cache rules of the four field kinds are pure functions (namespace
// fieldrules) so that they can be checked without a database.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <variant>
#include <vector>

class CRecordset;

// Status bits of a field.
inline constexpr uint8_t kFieldDirty = 0x1;  // to be sent by the next write
inline constexpr uint8_t kFieldNull = 0x2;   // the field is null (member holds the marker)

// The value a member holds while its field is null.
inline constexpr int32_t kLongNullMarker = 32484;
inline constexpr double kDoubleNullMarker = -9.123e19;
inline constexpr std::time_t kDateNullMarker = 0;

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

namespace fieldrules {

// The four kinds of field: member type, ODBC value type, null marker, bytes sent for the
// member (a text's length, else the size of the bound value) and equality as the change
// test sees it.
struct TextKind {
    using Member = std::string;
    static constexpr SQLSMALLINT kValueType = SQL_C_CHAR;
    static bool IsNullMarker(const Member& member) { return member.empty(); }
    static void SetNullMarker(Member& member) { member.clear(); }
    static SQLLEN ValueSize(const Member& member) { return static_cast<SQLLEN>(member.size()); }
    static bool SameValue(const Member& a, const Member& b) { return a == b; }
};
struct LongKind {
    using Member = int32_t;
    static constexpr SQLSMALLINT kValueType = SQL_C_LONG;
    static bool IsNullMarker(Member member) { return member == kLongNullMarker; }
    static void SetNullMarker(Member& member) { member = kLongNullMarker; }
    static SQLLEN ValueSize(Member) { return sizeof(Member); }
    static bool SameValue(Member a, Member b) { return a == b; }
};
struct DoubleKind {
    using Member = double;
    static constexpr SQLSMALLINT kValueType = SQL_C_DOUBLE;
    static bool IsNullMarker(Member member) { return member == kDoubleNullMarker; }
    static void SetNullMarker(Member& member) { member = kDoubleNullMarker; }
    static SQLLEN ValueSize(Member) { return sizeof(Member); }
    // Equal unless one is less or greater than the other (so a NaN equals everything).
    static bool SameValue(Member a, Member b) { return !(a < b) && !(a > b); }
};
struct DateKind {
    using Member = std::time_t;
    static constexpr SQLSMALLINT kValueType = SQL_C_TIMESTAMP;
    static bool IsNullMarker(Member member) { return member == kDateNullMarker; }
    static void SetNullMarker(Member& member) { member = kDateNullMarker; }
    static SQLLEN ValueSize(Member) { return sizeof(TIMESTAMP_STRUCT); }
    static bool SameValue(Member a, Member b) { return a == b; }
};

// A new record: a member that differs from the null marker becomes dirty and not null.
template <typename Kind>
void MarkForAddNew(uint8_t& status, const typename Kind::Member& member);
// An edited record: renews the null bit from the member (text: null when empty; others:
// not null once the member differs from the marker) and sets the dirty bit when the field
// changed against the cached copy (null to value, value to null, or another value).
template <typename Kind>
void MarkForUpdate(uint8_t& status, const typename Kind::Member& member, uint8_t cachedStatus,
                   const CachedValue& cachedValue);
// Copies status and (unless null) the member into the cache.
template <typename Kind>
void Store(uint8_t status, const typename Kind::Member& member, uint8_t& cachedStatus,
           CachedValue& cachedValue);
// Restores status and member from the cache; returns false when the cached field is null
// (the member then gets the null marker).
template <typename Kind>
bool Load(uint8_t& status, typename Kind::Member& member, uint8_t cachedStatus,
          const CachedValue& cachedValue);

// Size of the buffer for a text result column, terminating NUL excluded: the column's
// precision plus room for a sign, point or exponent by SQL type, replaced by the field's
// maximum length when it exceeds it or is below 256.
SQLLEN TextColumnLength(SQLSMALLINT sqlType, SQLULEN precision, SQLLEN maxLength);

// Local calendar time of `seconds`, whole seconds (fraction 0).
TIMESTAMP_STRUCT ToTimestamp(std::time_t seconds);
// The instant of a local date and time (fraction ignored), or nothing for a year before
// 1970, which makes the field null.
bool FromTimestamp(const TIMESTAMP_STRUCT& timestamp, std::time_t& seconds);

}  // namespace fieldrules

class FieldExchange {
  public:
    enum Pass {
        kBindColumn,         // SQLBindCol for every result column
        kFixup,              // a fetched row into the members
        kSetNull,            // every field null
        kMarkForAddNew,      // dirty bits of a new record
        kMarkForUpdate,      // dirty bits of an edited record against the cache
        kStore,              // members into the cache
        kLoad,               // cache into the members
        kName,               // "COL," for each dirty field
        kNameValue,          // "COL=?," for each dirty field, binding parameters
        kValue,              // "?," for each dirty field, binding parameters
        kBindForUpdate,      // indicators for SQLSetPos: send dirty fields, ignore the rest
        kUnbindAfterUpdate,  // indicators back after SQLSetPos
        kAllocateCache,      // a cache entry of the right kind per field
    };
    enum FieldType { kNoFieldType, kResultColumn };

    FieldExchange(Pass pass, CRecordset& recordset) : pass_(pass), recordset_(recordset) {}

    // Called by ExchangeFields before the calls of its result columns.
    void SetFieldType(FieldType type) { fieldType_ = type; }

    // One call per field, in the order of the result columns. Column names are kept by
    // pointer while the recordset is open: pass string literals.
    void ExchangeText(const char* column, std::string& member, SQLLEN maxLength = 255,
                      SQLSMALLINT columnType = SQL_VARCHAR, SQLSMALLINT scale = 0);
    void ExchangeLong(const char* column, int32_t& member);
    void ExchangeDouble(const char* column, double& member);
    void ExchangeDate(const char* column, std::time_t& member);

    // Text passes build into `text`, each entry followed by the separator.
    void SetText(std::string* text, const char* separator) {
        text_ = text;
        separator_ = separator;
    }
    // Parameter passes bind on `statement`, numbering from 1.
    void SetParameterStatement(SQLHSTMT statement) { parameterStatement_ = statement; }
    // Restricts the pass to one field (1-based); 0: all fields.
    void RestrictToField(int field) { restrictTo_ = field; }
    // The set-null pass sets null (true) or clears the null bit (false).
    void SetNullFlag(bool setNull) { setNull_ = setNull; }

    Pass GetPass() const { return pass_; }
    int FieldsVisited() const { return field_; }
    int ParametersBound() const { return parametersBound_; }

  private:
    template <typename Kind>
    void Exchange(const char* column, typename Kind::Member& member, SQLLEN maxLength);
    template <typename Kind>
    void BindColumn(FieldSlot& slot, const char* column, typename Kind::Member& member,
                    SQLLEN maxLength);
    template <typename Kind>
    void Fixup(FieldSlot& slot, typename Kind::Member& member);
    template <typename Kind>
    void BindParameter(FieldSlot& slot, typename Kind::Member& member);
    template <typename Kind>
    void* ValueBuffer(FieldSlot& slot, typename Kind::Member& member);
    template <typename Kind>
    void RefreshBoundValue(FieldSlot& slot, typename Kind::Member& member);
    void Append(const char* piece);

    Pass pass_;
    CRecordset& recordset_;
    FieldType fieldType_ = kNoFieldType;
    int field_ = 0;  // 1-based number of the field being visited
    std::string* text_ = nullptr;
    const char* separator_ = ",";
    SQLHSTMT parameterStatement_ = SQL_NULL_HSTMT;
    int parametersBound_ = 0;
    int restrictTo_ = 0;
    bool setNull_ = true;
};
