#pragma once
// The status and cache rules of the four field kinds, the size of a text column's buffer
// and the conversion of dates: pure functions, so that they can be checked without a
// database.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "odbc/FieldSlot.h"

// The value a member holds while its field is null.
inline constexpr int32_t kLongNullMarker = 32484;
inline constexpr double kDoubleNullMarker = -9.123e19;
inline constexpr std::time_t kDateNullMarker = 0;

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
