#include "odbc/FieldExchange.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <type_traits>

#include "odbc/OdbcCalls.h"
#include "odbc/Recordset.h"

namespace {

// Bytes allocated beyond a text column's bound buffer (see ColumnBuffer).
constexpr std::size_t kTextBufferSlack = 256;

bool IsDirty(const FieldSlot& slot) {
    return (slot.status & kFieldDirty) != 0;
}

bool IsNull(const FieldSlot& slot) {
    return (slot.status & kFieldNull) != 0;
}

// The indicator that sends a field's value: its size, or SQL_NULL_DATA for a null field.
template <typename Kind>
SQLLEN SendIndicator(const FieldSlot& slot, const typename Kind::Member& member) {
    return IsNull(slot) ? SQL_NULL_DATA : Kind::ValueSize(member);
}

// A date is bound through the slot's timestamp, which must follow the member.
template <typename Kind>
void RefreshDateProxy(FieldSlot& slot, const typename Kind::Member& member) {
    if constexpr (std::is_same_v<Kind, fieldrules::DateKind>) {
        slot.dateProxy = fieldrules::ToTimestamp(member);
    }
}

// The buffer a parameter is bound to: the member itself, except for a date.
template <typename Kind>
void* ValueBuffer(FieldSlot& slot, typename Kind::Member& member) {
    if constexpr (std::is_same_v<Kind, fieldrules::TextKind>) {
        return member.data();
    } else if constexpr (std::is_same_v<Kind, fieldrules::DateKind>) {
        return &slot.dateProxy;
    } else {
        return &member;
    }
}

}  // namespace

void FieldExchange::ExchangeText(const char* column, std::string& member, SQLLEN maxLength,
                                 SQLSMALLINT /*columnType*/, SQLSMALLINT /*scale*/) {
    // The column type and scale describe the text as a statement parameter, which the
    // layer does not bind; result columns and written values use the column's own type.
    Exchange<fieldrules::TextKind>(column, member, maxLength);
}

void FieldExchange::ExchangeLong(const char* column, int32_t& member) {
    Exchange<fieldrules::LongKind>(column, member, 0);
}

void FieldExchange::ExchangeDouble(const char* column, double& member) {
    Exchange<fieldrules::DoubleKind>(column, member, 0);
}

void FieldExchange::ExchangeDate(const char* column, std::time_t& member) {
    Exchange<fieldrules::DateKind>(column, member, 0);
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
    Field<Kind> field{slots[field_ - 1], column, member, maxLength};
    Dispatch(field);
}

template <typename Kind>
void FieldExchange::Dispatch(Field<Kind>& field) {
    switch (pass_) {
        case kBindColumn:
            return BindColumn(field);
        case kFixup:
            return Fixup(field);
        case kSetNull:
            return SetNull(field);
        case kMarkForAddNew:
            return MarkForAddNew(field);
        case kMarkForUpdate:
            return MarkForUpdate(field);
        case kStore:
            return Store(field);
        case kLoad:
            return Load(field);
        case kName:
            return Name(field);
        case kNameValue:
            return NameValue(field);
        case kValue:
            return Value(field);
        case kBindForUpdate:
            return BindForUpdate(field);
        case kUnbindAfterUpdate:
            return UnbindAfterUpdate(field);
        case kAllocateCache:
            return AllocateCache(field);
    }
}

// ---------------------------------------------------------------------------------------
// Result columns
// ---------------------------------------------------------------------------------------

template <typename Kind>
void FieldExchange::BindColumn(Field<Kind>& field) {
    void* buffer = nullptr;
    const SQLLEN size = ColumnBuffer(field, buffer);
    const SQLRETURN code =
        Odbc().BindCol(recordset_.statement_.Get(), static_cast<SQLUSMALLINT>(field_),
                       Kind::kValueType, buffer, size, &field.slot.indicator);
    if (!recordset_.IsSuccess(code)) recordset_.RaiseError(code, recordset_.statement_.Get());
    field.slot.column = field.column;
    field.slot.boundType = Kind::kValueType;
    field.slot.boundBuffer = buffer;
}

// Sets `buffer` to where the driver puts the field's result column; returns its size in
// bytes.
template <typename Kind>
SQLLEN FieldExchange::ColumnBuffer(Field<Kind>& field, void*& buffer) {
    FieldSlot& slot = field.slot;
    if constexpr (std::is_same_v<Kind, fieldrules::TextKind>) {
        const std::vector<ColumnDescription>& columns = recordset_.columns_;
        const SQLLEN length =
            field_ <= static_cast<int>(columns.size())
                ? fieldrules::TextColumnLength(columns[field_ - 1].sqlType,
                                               columns[field_ - 1].precision, field.maxLength)
                : field.maxLength;
        // The driver is told length + 1 bytes. The buffer is longer: unixODBC's cursor
        // library (2.3.11) copies a null text column fetched from PostgreSQL with strcpy
        // from a buffer the driver left unwritten, so a few bytes more may arrive; they
        // land here instead of in the next allocation. The indicator says null, so they
        // are never read.
        slot.textBuffer.assign(static_cast<std::size_t>(length) + 1 + kTextBufferSlack, '\0');
        slot.textCapacity = length;
        buffer = slot.textBuffer.data();
        return length + 1;
    } else if constexpr (std::is_same_v<Kind, fieldrules::DateKind>) {
        buffer = &slot.dateProxy;
        return sizeof(TIMESTAMP_STRUCT);
    } else {
        buffer = &field.member;
        return sizeof(field.member);
    }
}

template <typename Kind>
void FieldExchange::Fixup(Field<Kind>& field) {
    FieldSlot& slot = field.slot;
    if (slot.indicator == SQL_NULL_DATA) {
        slot.status |= kFieldNull;
        Kind::SetNullMarker(field.member);
        return;
    }
    slot.status &= static_cast<uint8_t>(~kFieldNull);
    if constexpr (std::is_same_v<Kind, fieldrules::TextKind>) {
        const auto capacity = static_cast<std::size_t>(slot.textCapacity);
        std::size_t length = slot.indicator >= 0
                                 ? std::min(static_cast<std::size_t>(slot.indicator), capacity)
                                 : strnlen(slot.textBuffer.data(), capacity);
        field.member.assign(slot.textBuffer.data(), length);
    } else if constexpr (std::is_same_v<Kind, fieldrules::DateKind>) {
        if (!fieldrules::FromTimestamp(slot.dateProxy, field.member)) {
            slot.status |= kFieldNull;
            Kind::SetNullMarker(field.member);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Status and cache
// ---------------------------------------------------------------------------------------

template <typename Kind>
void FieldExchange::SetNull(Field<Kind>& field) {
    if (!setNull_) {
        field.slot.status &= static_cast<uint8_t>(~kFieldNull);
        return;
    }
    field.slot.status |= kFieldNull;
    Kind::SetNullMarker(field.member);
    field.slot.indicator = SQL_NULL_DATA;
}

template <typename Kind>
void FieldExchange::MarkForAddNew(Field<Kind>& field) {
    fieldrules::MarkForAddNew<Kind>(field.slot.status, field.member);
}

template <typename Kind>
void FieldExchange::MarkForUpdate(Field<Kind>& field) {
    FieldSlot& slot = field.slot;
    fieldrules::MarkForUpdate<Kind>(slot.status, field.member, slot.cachedStatus, slot.cachedValue);
}

template <typename Kind>
void FieldExchange::Store(Field<Kind>& field) {
    FieldSlot& slot = field.slot;
    fieldrules::Store<Kind>(slot.status, field.member, slot.cachedStatus, slot.cachedValue);
}

template <typename Kind>
void FieldExchange::Load(Field<Kind>& field) {
    FieldSlot& slot = field.slot;
    if (!fieldrules::Load<Kind>(slot.status, field.member, slot.cachedStatus, slot.cachedValue)) {
        slot.indicator = SQL_NULL_DATA;
        return;
    }
    slot.indicator = Kind::ValueSize(field.member);
    RefreshDateProxy<Kind>(slot, field.member);
}

template <typename Kind>
void FieldExchange::AllocateCache(Field<Kind>& field) {
    field.slot.cachedValue = typename Kind::Member{};
}

// ---------------------------------------------------------------------------------------
// Statement texts and parameters
// ---------------------------------------------------------------------------------------

template <typename Kind>
void FieldExchange::Name(Field<Kind>& field) {
    if (!IsDirty(field.slot)) return;
    Append(field.column);
    Append(separator_);
}

template <typename Kind>
void FieldExchange::NameValue(Field<Kind>& field) {
    if (!IsDirty(field.slot)) return;
    Append(field.column);
    Append("=");
    AppendParameter(field);
}

template <typename Kind>
void FieldExchange::Value(Field<Kind>& field) {
    if (IsDirty(field.slot)) AppendParameter(field);
}

template <typename Kind>
void FieldExchange::AppendParameter(Field<Kind>& field) {
    field.slot.indicator = SendIndicator<Kind>(field.slot, field.member);
    Append("?");
    Append(separator_);
    RefreshDateProxy<Kind>(field.slot, field.member);
    BindParameter(field);
}

template <typename Kind>
void FieldExchange::BindParameter(Field<Kind>& field) {
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN precision = 0;
    SQLSMALLINT scale = 0;
    const std::vector<ColumnDescription>& columns = recordset_.columns_;
    if (field_ <= static_cast<int>(columns.size())) {
        sqlType = columns[field_ - 1].sqlType;
        precision = columns[field_ - 1].precision;
        scale = columns[field_ - 1].scale;
    }
    if constexpr (std::is_same_v<Kind, fieldrules::DateKind>) {
        precision = 23;
        scale = 0;
    }
    ++parametersBound_;
    const SQLRETURN code =
        Odbc().BindParameter(parameterStatement_, static_cast<SQLUSMALLINT>(parametersBound_),
                             SQL_PARAM_INPUT, Kind::kValueType, sqlType, precision, scale,
                             ValueBuffer<Kind>(field.slot, field.member), 0, &field.slot.indicator);
    if (code != SQL_SUCCESS) recordset_.RaiseError(code, parameterStatement_);
}

// ---------------------------------------------------------------------------------------
// SQLSetPos
// ---------------------------------------------------------------------------------------

template <typename Kind>
void FieldExchange::BindForUpdate(Field<Kind>& field) {
    FieldSlot& slot = field.slot;
    RefreshDateProxy<Kind>(slot, field.member);
    if constexpr (std::is_same_v<Kind, fieldrules::TextKind>) {
        // SQLSetPos reads the bound column buffer, not the member.
        if (!slot.textBuffer.empty()) {
            const std::size_t length =
                std::min(field.member.size(), static_cast<std::size_t>(slot.textCapacity));
            std::memcpy(slot.textBuffer.data(), field.member.data(), length);
            slot.textBuffer[length] = '\0';
        }
    }
    slot.indicator = IsDirty(slot) ? SendIndicator<Kind>(slot, field.member) : SQL_IGNORE;
}

template <typename Kind>
void FieldExchange::UnbindAfterUpdate(Field<Kind>& field) {
    if (!IsDirty(field.slot)) field.slot.indicator = Kind::ValueSize(field.member);
}
