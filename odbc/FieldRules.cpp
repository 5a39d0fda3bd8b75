#include "odbc/FieldRules.h"

#include <ctime>
#include <type_traits>
#include <variant>

namespace fieldrules {

template <typename Kind>
void MarkForAddNew(uint8_t& status, const typename Kind::Member& member) {
    if (!Kind::IsNullMarker(member)) {
        status |= kFieldDirty;
        status &= static_cast<uint8_t>(~kFieldNull);
    }
}

template <typename Kind>
void MarkForUpdate(uint8_t& status, const typename Kind::Member& member, uint8_t cachedStatus,
                   const CachedValue& cachedValue) {
    if constexpr (std::is_same_v<Kind, TextKind>) {
        if (member.empty()) {
            status |= kFieldNull;
        } else {
            status &= static_cast<uint8_t>(~kFieldNull);
        }
    } else if (!Kind::IsNullMarker(member)) {
        status &= static_cast<uint8_t>(~kFieldNull);
    }
    const bool wasNull = (cachedStatus & kFieldNull) != 0;
    const bool isNull = (status & kFieldNull) != 0;
    bool changed = false;
    if (wasNull) {
        changed = !isNull;
    } else if (isNull) {
        changed = true;
    } else {
        const auto* cached = std::get_if<typename Kind::Member>(&cachedValue);
        changed = cached == nullptr || !Kind::SameValue(member, *cached);
    }
    if (changed) status |= kFieldDirty;
}

template <typename Kind>
void Store(uint8_t status, const typename Kind::Member& member, uint8_t& cachedStatus,
           CachedValue& cachedValue) {
    cachedStatus = status;
    if ((status & kFieldNull) == 0) cachedValue = member;
}

template <typename Kind>
bool Load(uint8_t& status, typename Kind::Member& member, uint8_t cachedStatus,
          const CachedValue& cachedValue) {
    status = cachedStatus;
    const auto* cached = std::get_if<typename Kind::Member>(&cachedValue);
    if ((status & kFieldNull) != 0 || cached == nullptr) {
        // The member of a null field holds the marker, whatever it held before.
        Kind::SetNullMarker(member);
        return false;
    }
    member = *cached;
    return true;
}

#define PLQ_INSTANTIATE_FIELD_RULES(Kind)                                                          \
    template void MarkForAddNew<Kind>(uint8_t&, const Kind::Member&);                              \
    template void MarkForUpdate<Kind>(uint8_t&, const Kind::Member&, uint8_t, const CachedValue&); \
    template void Store<Kind>(uint8_t, const Kind::Member&, uint8_t&, CachedValue&);               \
    template bool Load<Kind>(uint8_t&, Kind::Member&, uint8_t, const CachedValue&);
PLQ_INSTANTIATE_FIELD_RULES(TextKind)
PLQ_INSTANTIATE_FIELD_RULES(LongKind)
PLQ_INSTANTIATE_FIELD_RULES(DoubleKind)
PLQ_INSTANTIATE_FIELD_RULES(DateKind)
#undef PLQ_INSTANTIATE_FIELD_RULES

SQLLEN TextColumnLength(SQLSMALLINT sqlType, SQLULEN precision, SQLLEN maxLength) {
    SQLLEN extra = 10;  // any other type: room for sign, point, exponent and the like
    switch (sqlType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
            extra = 0;
            break;
        case SQL_DECIMAL:
        case SQL_NUMERIC:
            extra = 2;
            break;
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT:
            extra = 1;
            break;
        default:
            break;
    }
    const SQLLEN length = static_cast<SQLLEN>(precision) + extra;
    if (length > maxLength || length < 256) return maxLength;
    return length;
}

TIMESTAMP_STRUCT ToTimestamp(std::time_t seconds) {
    std::tm local{};
    localtime_r(&seconds, &local);
    TIMESTAMP_STRUCT timestamp{};
    timestamp.year = static_cast<SQLSMALLINT>(local.tm_year + 1900);
    timestamp.month = static_cast<SQLUSMALLINT>(local.tm_mon + 1);
    timestamp.day = static_cast<SQLUSMALLINT>(local.tm_mday);
    timestamp.hour = static_cast<SQLUSMALLINT>(local.tm_hour);
    timestamp.minute = static_cast<SQLUSMALLINT>(local.tm_min);
    timestamp.second = static_cast<SQLUSMALLINT>(local.tm_sec);
    timestamp.fraction = 0;
    return timestamp;
}

bool FromTimestamp(const TIMESTAMP_STRUCT& timestamp, std::time_t& seconds) {
    // Dates before the epoch cannot be held; the member is 64-bit, so there is no upper
    // bound (rows written after January 2038 keep their time).
    if (timestamp.year < 1970) return false;
    std::tm local{};
    local.tm_year = timestamp.year - 1900;
    local.tm_mon = timestamp.month - 1;
    local.tm_mday = timestamp.day;
    local.tm_hour = timestamp.hour;
    local.tm_min = timestamp.minute;
    local.tm_sec = timestamp.second;
    local.tm_isdst = -1;  // let the time zone rules decide
    // mktime reads the time zone file's status again on every call (a stat per row fetched,
    // thousands in a day's conversion); rows written in the same second repeat their date,
    // so the last answer is kept.
    thread_local TIMESTAMP_STRUCT lastAsked{};
    thread_local std::time_t lastAnswer = -1;
    const auto same = [&](const TIMESTAMP_STRUCT& a) {
        return a.year == timestamp.year && a.month == timestamp.month && a.day == timestamp.day &&
               a.hour == timestamp.hour && a.minute == timestamp.minute &&
               a.second == timestamp.second;
    };
    if (lastAnswer != -1 && same(lastAsked)) {
        seconds = lastAnswer;
        return true;
    }
    seconds = std::mktime(&local);
    lastAsked = timestamp;
    lastAnswer = seconds;
    return true;
}

}  // namespace fieldrules
