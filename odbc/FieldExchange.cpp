#include "odbc/FieldExchange.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "odbc/OdbcCalls.h"
#include "odbc/Recordset.h"

using namespace fieldrules;

namespace {
// Bytes allocated beyond a text column's bound buffer (see BindColumn).
constexpr std::size_t kTextBufferSlack = 256;
}  // namespace

void FieldExchange::ExchangeText(const char* column, std::string& member, SQLLEN maxLength,
                                 SQLSMALLINT /*columnType*/, SQLSMALLINT /*scale*/) {
    // The column type and scale describe the text as a statement parameter, which the
    // layer does not bind; result columns and written values use the column's own type.
    Exchange<TextKind>(column, member, maxLength);
}

void FieldExchange::ExchangeLong(const char* column, int32_t& member) {
    Exchange<LongKind>(column, member, 0);
}

void FieldExchange::ExchangeDouble(const char* column, double& member) {
    Exchange<DoubleKind>(column, member, 0);
}

void FieldExchange::ExchangeDate(const char* column, std::time_t& member) {
    Exchange<DateKind>(column, member, 0);
}

void FieldExchange::Append(const char* piece) {
    if (text_ != nullptr) *text_ += piece;
}

template <typename Kind>
void FieldExchange::Exchange(const char* column, typename Kind::Member& member, SQLLEN maxLength) {
    if (fieldType_ != kResultColumn) return;
    ++field_;
    if (restrictTo_ != 0 && field_ != restrictTo_) return;
    std::vector<FieldSlot>& slots = recordset_.fields_;
    if (field_ > static_cast<int>(slots.size())) {
        throw std::logic_error("ExchangeFields lists more fields than the record class counts");
    }
    FieldSlot& slot = slots[field_ - 1];
    const bool dirty = (slot.status & kFieldDirty) != 0;
    const bool null = (slot.status & kFieldNull) != 0;

    switch (pass_) {
        case kBindColumn:
            BindColumn<Kind>(slot, column, member, maxLength);
            break;
        case kFixup:
            Fixup<Kind>(slot, member);
            break;
        case kSetNull:
            if (setNull_) {
                slot.status |= kFieldNull;
                Kind::SetNullMarker(member);
                slot.indicator = SQL_NULL_DATA;
            } else {
                slot.status &= static_cast<uint8_t>(~kFieldNull);
            }
            break;
        case kMarkForAddNew:
            MarkForAddNew<Kind>(slot.status, member);
            break;
        case kMarkForUpdate:
            MarkForUpdate<Kind>(slot.status, member, slot.cachedStatus, slot.cachedValue);
            break;
        case kStore:
            Store<Kind>(slot.status, member, slot.cachedStatus, slot.cachedValue);
            break;
        case kLoad:
            if (Load<Kind>(slot.status, member, slot.cachedStatus, slot.cachedValue)) {
                slot.indicator = Kind::ValueSize(member);
                RefreshBoundValue<Kind>(slot, member);
            } else {
                slot.indicator = SQL_NULL_DATA;
            }
            break;
        case kName:
            if (dirty) {
                Append(column);
                Append(separator_);
            }
            break;
        case kNameValue:
        case kValue:
            if (dirty) {
                if (pass_ == kNameValue) {
                    Append(column);
                    Append("=");
                }
                slot.indicator = null ? SQL_NULL_DATA : Kind::ValueSize(member);
                Append("?");
                Append(separator_);
                RefreshBoundValue<Kind>(slot, member);
                BindParameter<Kind>(slot, member);
            }
            break;
        case kBindForUpdate:
            RefreshBoundValue<Kind>(slot, member);
            if (!dirty) {
                slot.indicator = SQL_IGNORE;
            } else {
                slot.indicator = null ? SQL_NULL_DATA : Kind::ValueSize(member);
            }
            break;
        case kUnbindAfterUpdate:
            if (!dirty) slot.indicator = Kind::ValueSize(member);
            break;
        case kAllocateCache:
            slot.cachedValue = typename Kind::Member{};
            break;
    }
}

template <typename Kind>
void* FieldExchange::ValueBuffer(FieldSlot& slot, typename Kind::Member& member) {
    if constexpr (std::is_same_v<Kind, TextKind>) {
        return member.data();
    } else if constexpr (std::is_same_v<Kind, DateKind>) {
        return &slot.dateProxy;
    } else {
        return &member;
    }
}

// Brings the bound buffer in line with the member where the two differ: the date proxy
// always, and for the positioned update through SQLSetPos also the text column buffer
// (the driver reads the bound buffer, not the member).
template <typename Kind>
void FieldExchange::RefreshBoundValue(FieldSlot& slot, typename Kind::Member& member) {
    if constexpr (std::is_same_v<Kind, DateKind>) {
        slot.dateProxy = ToTimestamp(member);
    } else if constexpr (std::is_same_v<Kind, TextKind>) {
        if (pass_ == kBindForUpdate && !slot.textBuffer.empty()) {
            const std::size_t length =
                std::min(member.size(), static_cast<std::size_t>(slot.textCapacity));
            std::memcpy(slot.textBuffer.data(), member.data(), length);
            slot.textBuffer[length] = '\0';
        }
    }
}

template <typename Kind>
void FieldExchange::BindColumn(FieldSlot& slot, const char* column, typename Kind::Member& member,
                               SQLLEN maxLength) {
    void* buffer = nullptr;
    SQLLEN size = 0;
    if constexpr (std::is_same_v<Kind, TextKind>) {
        const std::vector<ColumnDescription>& columns = recordset_.columns_;
        const bool described = field_ <= static_cast<int>(columns.size());
        const SQLLEN length = described ? TextColumnLength(columns[field_ - 1].sqlType,
                                                           columns[field_ - 1].precision, maxLength)
                                        : maxLength;
        // The driver is told length + 1 bytes. The buffer is longer: unixODBC's cursor
        // library (2.3.11) copies a null text column fetched from PostgreSQL with strcpy
        // from a buffer the driver left unwritten, so a few bytes more may arrive; they
        // land here instead of in the next allocation. The indicator says null, so they
        // are never read.
        slot.textBuffer.assign(static_cast<std::size_t>(length) + 1 + kTextBufferSlack, '\0');
        slot.textCapacity = length;
        buffer = slot.textBuffer.data();
        size = length + 1;
    } else if constexpr (std::is_same_v<Kind, DateKind>) {
        buffer = &slot.dateProxy;
        size = sizeof(TIMESTAMP_STRUCT);
    } else {
        buffer = &member;
        size = sizeof(member);
    }
    const SQLRETURN code =
        Odbc().BindCol(recordset_.statement_.Get(), static_cast<SQLUSMALLINT>(field_),
                       Kind::kValueType, buffer, size, &slot.indicator);
    if (!recordset_.IsSuccess(code)) recordset_.RaiseError(code, recordset_.statement_.Get());
    slot.column = column;
    slot.boundType = Kind::kValueType;
    slot.boundBuffer = buffer;
}

template <typename Kind>
void FieldExchange::Fixup(FieldSlot& slot, typename Kind::Member& member) {
    if (slot.indicator == SQL_NULL_DATA) {
        slot.status |= kFieldNull;
        Kind::SetNullMarker(member);
        return;
    }
    slot.status &= static_cast<uint8_t>(~kFieldNull);
    if constexpr (std::is_same_v<Kind, TextKind>) {
        const auto capacity = static_cast<std::size_t>(slot.textCapacity);
        std::size_t length = slot.indicator >= 0
                                 ? std::min(static_cast<std::size_t>(slot.indicator), capacity)
                                 : strnlen(slot.textBuffer.data(), capacity);
        member.assign(slot.textBuffer.data(), length);
    } else if constexpr (std::is_same_v<Kind, DateKind>) {
        if (!FromTimestamp(slot.dateProxy, member)) {
            slot.status |= kFieldNull;
            Kind::SetNullMarker(member);
        }
    }
}

template <typename Kind>
void FieldExchange::BindParameter(FieldSlot& slot, typename Kind::Member& member) {
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN precision = 0;
    SQLSMALLINT scale = 0;
    const std::vector<ColumnDescription>& columns = recordset_.columns_;
    if (field_ <= static_cast<int>(columns.size())) {
        sqlType = columns[field_ - 1].sqlType;
        precision = columns[field_ - 1].precision;
        scale = columns[field_ - 1].scale;
    }
    if constexpr (std::is_same_v<Kind, DateKind>) {
        precision = 23;
        scale = 0;
    }
    ++parametersBound_;
    const SQLRETURN code =
        Odbc().BindParameter(parameterStatement_, static_cast<SQLUSMALLINT>(parametersBound_),
                             SQL_PARAM_INPUT, Kind::kValueType, sqlType, precision, scale,
                             ValueBuffer<Kind>(slot, member), 0, &slot.indicator);
    if (code != SQL_SUCCESS) recordset_.RaiseError(code, parameterStatement_);
}
