#include "odbc/Recordset.h"

#include <algorithm>

#include "odbc/DBException.h"
#include "odbc/Database.h"

CRecordset::CRecordset(CDatabase* database) : database_(database) {
    if (database_ == nullptr || !database_->IsOpen()) return;
    // A failed allocation is left to Open, which allocates again and reports the failure.
    if (CDatabase::IsSuccess(statement_.Allocate(database_->Handle()))) {
        database_->AddRecordset(this);
    }
}

CRecordset::~CRecordset() {
    try {
        if (statement_) Close();
        ownedDatabase_.reset();
    } catch (...) {
        // Destruction never raises; a failed close has nothing left to release.
    }
}

bool CRecordset::IsSuccess(SQLRETURN code) const {
    return code == SQL_SUCCESS || code == SQL_SUCCESS_WITH_INFO || code == SQL_NEED_DATA ||
           code == SQL_NO_DATA_FOUND;
}

void CRecordset::RaiseError(SQLRETURN code, SQLHSTMT statement) const {
    ThrowDatabaseError(code, database_, statement);
}

CDBException CRecordset::Diagnostics(SQLRETURN code, SQLHSTMT statement) const {
    CDBException error(code);
    if (database_ != nullptr) error.BuildErrorTexts(database_, statement);
    return error;
}

SQLCHAR* CRecordset::SqlChars(const std::string& text) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str()));
}

uint8_t CRecordset::FieldStatus(int field) const {
    if (field < 1 || field > static_cast<int>(fields_.size())) return 0;
    return fields_[field - 1].status;
}

void CRecordset::RunPass(FieldExchange::Pass pass) {
    if (fields_.empty()) return;
    FieldExchange exchange(pass, *this);
    ExchangeFields(exchange);
}

void CRecordset::RunTextPass(FieldExchange::Pass pass, std::string& text, const char* separator,
                             SQLHSTMT parameterStatement, int* parametersBound) {
    if (fields_.empty()) return;
    FieldExchange exchange(pass, *this);
    exchange.SetText(&text, separator);
    exchange.SetParameterStatement(parameterStatement);
    ExchangeFields(exchange);
    if (parametersBound != nullptr) *parametersBound = exchange.ParametersBound();
}

bool CRecordset::AnyFieldDirty() const {
    return std::any_of(fields_.begin(), fields_.end(),
                       [](const FieldSlot& slot) { return (slot.status & kFieldDirty) != 0; });
}

void CRecordset::ClearDirtyBits() {
    for (FieldSlot& slot : fields_) slot.status &= static_cast<uint8_t>(~kFieldDirty);
}

void CRecordset::Close() {
    cursorName_.clear();
    hasCursorName_ = false;
    statement_.Reset();
    updateStatement_.Reset();
    preparedWriteText_.clear();
    // The buffers go after the statements, so that no driver holds a pointer into them.
    fields_.clear();
    columns_.clear();
    rowStatus_ = 0;
    currentRow_.Clear();
    if (database_ != nullptr) database_->RemoveRecordset(this);

    isOpen_ = false;
    isBOF_ = true;
    isEOF_ = true;
    isDeleted_ = false;
    appendable_ = false;
    updatable_ = false;
    scrollable_ = false;
    lockMode_ = LockMode::kOptimistic;
    boundFieldCount_ = 0;
    resultColumnCount_ = -1;
    editMode_ = kNoEdit;
}
