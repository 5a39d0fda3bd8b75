#include <algorithm>

#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "odbc/OdbcCalls.h"
#include "odbc/Recordset.h"
#include "odbc/SqlText.h"
#include "odbc/TextParameters.h"
#include "odbc/UntilDone.h"

bool CRecordset::Open(unsigned openType, const char* sql, uint32_t options) {
    openType_ = openType == kDefaultOpenType ? defaultOpenType_ : openType;
    options_ = options;
    appendable_ = (options & kReadOnly) == 0;
    updatable_ = (options & (kReadOnly | kAppendOnly)) == 0;

    if (!EnsureStatement()) return false;
    try {
        SetStatementOptions(statement_.Get());
        AllocateFieldData();
        BuildStatementText(sql);
        PrepareSelect();
        BindFilterParameters();
        ExecuteSelect();
        DescribeColumns();
        rowStatus_ = 0;
        MoveNext();
        isBOF_ = isEOF_;
    } catch (...) {
        Close();
        throw;
    }
    return true;
}

void CRecordset::Requery() {
    if (!isOpen_ || !statement_) ThrowDatabaseError(LayerError::kIllegalMode);
    try {
        CloseCursor();
        ExecuteSelect();
        rowStatus_ = 0;
        isBOF_ = false;
        isEOF_ = false;
        isDeleted_ = false;
        MoveNext();
        isBOF_ = isEOF_;
    } catch (...) {
        Close();
        throw;
    }
}

void CRecordset::CloseCursor() {
    if (statement_) {
        const SQLRETURN code = Odbc().FreeStmt(statement_.Get(), SQL_CLOSE);
        if (!IsSuccess(code)) RaiseError(code, statement_.Get());
    }
    isBOF_ = true;
    isEOF_ = true;
    isDeleted_ = false;
    editMode_ = kNoEdit;
    currentRow_.Clear();
}

// Makes sure a statement exists: only a recordset built on a closed (or no) connection
// still has to connect and allocate it here. False when that connection is not made.
bool CRecordset::EnsureStatement() {
    if (statement_) return true;
    if (database_ == nullptr) {
        ownedDatabase_ = std::make_unique<CDatabase>();
        database_ = ownedDatabase_.get();
    }
    if (!database_->IsOpen()) {
        const std::string connect = DefaultConnect();
        if (!sqltext::StartsWithNoCase(connect, "ODBC;")) return false;
        const bool cursorLibrary = openType_ == kSnapshot && (options_ & kReadOnly) == 0;
        if (!database_->Open(connect.substr(5), cursorLibrary ? CDatabase::kUseCursorLib : 0)) {
            return false;
        }
    }
    if (!CDatabase::IsSuccess(statement_.Allocate(database_->Handle()))) {
        ThrowDatabaseError(SQL_INVALID_HANDLE);
    }
    database_->AddRecordset(this);
    return true;
}

void CRecordset::AllocateFieldData() {
    fields_.assign(static_cast<std::size_t>(std::max(fieldCount_, 0)), FieldSlot{});
}

void CRecordset::BuildStatementText(const char* sql) {
    std::string text = sql != nullptr ? std::string(sql) : DefaultSQL();
    if (!sqltext::IsStatement(text)) {
        // A table name: the SELECT lists every field.
        for (FieldSlot& slot : fields_) slot.status |= kFieldDirty;
        std::string names;
        RunTextPass(FieldExchange::kName, names, ",", SQL_NULL_HSTMT);
        if (names.empty()) ThrowDatabaseError(LayerError::kEmptyColumnList);
        text = sqltext::SelectFromTable(std::move(names), text);
    }
    sqltext::AppendFilterAndSort(text, filter_, sort_);
    if (updatable_ || appendable_) {
        std::optional<std::string> table = sqltext::UpdatableTable(text);
        if (table) {
            tableName_ = *table;
        } else {
            updatable_ = false;
            appendable_ = false;
        }
    }
    statementText_ = sqltext::ReplaceBrackets(text, database_->QuoteChar());
}

void CRecordset::PrepareSelect() {
    for (;;) {
        const SQLRETURN code = UntilDone(
            [&] { return Odbc().Prepare(statement_.Get(), SqlChars(statementText_), SQL_NTS); });
        if (IsSuccess(code)) return;
        CDBException error = Diagnostics(code, statement_.Get());
        const bool notCapable = error.stateText.find("State:S1C00") != std::string::npos;
        if (concurrency_ == SQL_CONCUR_READ_ONLY || !notCapable) throw error;
        StepDownConcurrency();
    }
}

void CRecordset::BindFilterParameters() {
    const SQLRETURN code =
        BindTextParameters(statement_.Get(), filterParameters_, filterParameterLengths_);
    if (!IsSuccess(code)) RaiseError(code, statement_.Get());
}

// The driver cannot prepare with the concurrency asked for: asks for the next weaker one,
// down to read-only, which gives up writing.
void CRecordset::StepDownConcurrency() {
    if ((driverConcurrency_ & SQL_SCCO_LOCK) != 0 &&
        (concurrency_ == SQL_CONCUR_ROWVER || concurrency_ == SQL_CONCUR_VALUES)) {
        concurrency_ = SQL_CONCUR_LOCK;
    } else {
        concurrency_ = SQL_CONCUR_READ_ONLY;
        updatable_ = false;
        appendable_ = false;
    }
    const SQLRETURN code = Odbc().SetStmtOption(statement_.Get(), SQL_CONCURRENCY, concurrency_);
    if (!IsSuccess(code)) RaiseError(code, statement_.Get());
}

void CRecordset::ExecuteSelect() {
    const SQLRETURN code = database_->StatementAnswer(
        UntilDone([&] { return Odbc().Execute(statement_.Get()); }), statement_.Get());
    if (!IsSuccess(code)) RaiseError(code, statement_.Get());
    isOpen_ = true;
    if (code != SQL_SUCCESS_WITH_INFO) return;
    // The driver may have given a read-only cursor instead of the one asked for.
    SQLULEN granted = 0;
    const SQLRETURN get = Odbc().GetStmtOption(statement_.Get(), SQL_CONCURRENCY, &granted);
    if (!IsSuccess(get)) RaiseError(get, statement_.Get());
    if (granted == SQL_CONCUR_READ_ONLY) {
        updatable_ = false;
        appendable_ = false;
    }
}

void CRecordset::DescribeColumns() {
    SQLSMALLINT count = 0;
    SQLRETURN code = UntilDone([&] { return Odbc().NumResultCols(statement_.Get(), &count); });
    if (!IsSuccess(code)) RaiseError(code, statement_.Get());
    resultColumnCount_ = count;
    columns_.assign(static_cast<std::size_t>(std::max<SQLSMALLINT>(count, 0)), ColumnDescription{});
    for (SQLSMALLINT column = 1; column <= count; ++column) {
        SQLCHAR name[256] = {};
        SQLSMALLINT nameLength = 0;
        ColumnDescription& description = columns_[column - 1];
        code = UntilDone([&] {
            return Odbc().DescribeCol(statement_.Get(), static_cast<SQLUSMALLINT>(column), name,
                                      sizeof name, &nameLength, &description.sqlType,
                                      &description.precision, &description.scale,
                                      &description.nullable);
        });
        if (!IsSuccess(code)) RaiseError(code, statement_.Get());
        description.name = reinterpret_cast<const char*>(name);
    }
}

void CRecordset::MoveNext() {
    if (boundFieldCount_ == 0) {
        if (!fields_.empty()) {
            FieldExchange bind(FieldExchange::kBindColumn, *this);
            ExchangeFields(bind);
            boundFieldCount_ = bind.FieldsVisited();
            RunPass(FieldExchange::kAllocateCache);
        }
        isBOF_ = false;
        isEOF_ = false;
        isDeleted_ = false;
    }
    if (boundFieldCount_ > 0) {
        for (FieldSlot& slot : fields_) slot.status = 0;
        editMode_ = kNoEdit;
    }
    if (isEOF_) ThrowDatabaseError(LayerError::kNoDataFound);
    Fetch();
}

void CRecordset::Fetch() {
    SQLRETURN code;
    if (openType_ == kForwardOnly) {
        code = UntilDone([&] { return Odbc().Fetch(statement_.Get()); });
        isDeleted_ = false;
    } else {
        SQLULEN rowsFetched = 0;
        code = UntilDone([&] {
            return Odbc().ExtendedFetch(statement_.Get(), SQL_FETCH_NEXT, 1, &rowsFetched,
                                        &rowStatus_);
        });
        isDeleted_ = rowStatus_ == SQL_ROW_DELETED;
    }
    CheckFetchResult(code);

    if (code == SQL_NO_DATA_FOUND) {
        isEOF_ = true;
        currentRow_.Clear();
        return;
    }
    isBOF_ = false;
    isEOF_ = false;
    ++currentRecord_;
    recordCount_ = std::max(recordCount_, currentRecord_ + 1);
    RunPass(FieldExchange::kFixup);
    if (EmulatesPositionedStatements()) currentRow_.Capture(fields_, columns_);
}

void CRecordset::CheckFetchResult(SQLRETURN code) {
    if (code == SQL_SUCCESS_WITH_INFO) {
        const CDBException info = Diagnostics(code, statement_.Get());
        if (info.stateText.find("State:01004") != std::string::npos) {
            ThrowDatabaseError(LayerError::kDataTruncated);
        }
        if (info.stateText.find("State:01S01") != std::string::npos) {
            ThrowDatabaseError(LayerError::kRowFetch);
        }
        return;
    }
    if (!IsSuccess(code)) RaiseError(code, statement_.Get());
}
