#include "odbc/Recordset.h"

#include <algorithm>

#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "odbc/OdbcCalls.h"
#include "odbc/SqlText.h"
#include "odbc/UntilDone.h"

namespace {

SQLCHAR* Text(const std::string& text) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str()));
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction, destruction
// ---------------------------------------------------------------------------------------

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

uint8_t CRecordset::FieldStatus(int field) const {
    if (field < 1 || field > static_cast<int>(fields_.size())) return 0;
    return fields_[field - 1].status;
}

// ---------------------------------------------------------------------------------------
// Open
// ---------------------------------------------------------------------------------------

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
        PrepareAndExecute();
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

SQLUINTEGER CRecordset::GetInfo32(SQLUSMALLINT item) const {
    SQLUINTEGER value = 0;
    SQLSMALLINT length = 0;
    const SQLRETURN code = Odbc().GetInfo(database_->Handle(), item, &value, sizeof value, &length);
    if (!CDatabase::IsSuccess(code)) RaiseError(code, SQL_NULL_HSTMT);
    return value;
}

void CRecordset::SetStatementOptions(SQLHSTMT statement) {
    database_->ApplyStatementOptions(statement);

    SQLUSMALLINT extendedFetch = 0;
    SQLRETURN code =
        Odbc().GetFunctions(database_->Handle(), SQL_API_SQLEXTENDEDFETCH, &extendedFetch);
    if (!CDatabase::IsSuccess(code)) RaiseError(code, SQL_NULL_HSTMT);
    scrollable_ = extendedFetch != 0;
    if (!scrollable_) {
        updatable_ = false;
    } else {
        char version[30] = {};
        SQLSMALLINT length = 0;
        code = Odbc().GetInfo(database_->Handle(), SQL_ODBC_VER, version, sizeof version, &length);
        if (!CDatabase::IsSuccess(code)) RaiseError(code, SQL_NULL_HSTMT);
        if (version[0] == '0' && version[1] < '2') ThrowDatabaseError(LayerError::kOdbcV2Required);
    }

    const SQLUINTEGER scrollOptions = GetInfo32(SQL_SCROLL_OPTIONS);
    SQLULEN cursorType = SQL_CURSOR_FORWARD_ONLY;
    switch (openType_) {
        case kSnapshot:
            if ((scrollOptions & SQL_SO_STATIC) == 0) {
                ThrowDatabaseError(LayerError::kSnapshotNotSupported);
            }
            cursorType = SQL_CURSOR_STATIC;
            break;
        case kKeysetDriven:
            if ((scrollOptions & SQL_SO_KEYSET_DRIVEN) == 0) {
                ThrowDatabaseError(LayerError::kKeysetNotSupported);
            }
            cursorType = SQL_CURSOR_KEYSET_DRIVEN;
            break;
        case kDynamic:
            if ((scrollOptions & SQL_SO_DYNAMIC) == 0) {
                ThrowDatabaseError(LayerError::kDynamicNotSupported);
            }
            cursorType = SQL_CURSOR_DYNAMIC;
            break;
        default:
            break;
    }

    const uint32_t updateOptions = database_->UpdateOptions();
    if ((updateOptions & CDatabase::kSetPosUpdates) != 0) {
        updateMethod_ = UpdateMethod::kSetPos;
    } else if ((updateOptions & CDatabase::kPositionedStatements) != 0) {
        updateMethod_ = UpdateMethod::kStatements;
    } else {
        updateMethod_ = UpdateMethod::kNone;
        updatable_ = false;
    }

    concurrency_ = SQL_CONCUR_READ_ONLY;
    if ((updatable_ || appendable_) && database_->IsUpdatable()) {
        driverConcurrency_ = GetInfo32(SQL_SCROLL_CONCURRENCY);
        if (lockMode_ == LockMode::kOptimistic) {
            if ((driverConcurrency_ & SQL_SCCO_OPT_ROWVER) != 0) {
                concurrency_ = SQL_CONCUR_ROWVER;
            } else if ((driverConcurrency_ & SQL_SCCO_OPT_VALUES) != 0) {
                concurrency_ = SQL_CONCUR_VALUES;
            } else if ((driverConcurrency_ & SQL_SCCO_LOCK) != 0) {
                concurrency_ = SQL_CONCUR_LOCK;
            }
        } else if ((driverConcurrency_ & SQL_SCCO_LOCK) != 0) {
            concurrency_ = SQL_CONCUR_LOCK;
        }
    }

    code = Odbc().SetStmtOption(statement, SQL_CURSOR_TYPE, cursorType);
    if (!IsSuccess(code)) RaiseError(code, statement);
    code = Odbc().SetStmtOption(statement, SQL_CONCURRENCY, concurrency_);
    if (!IsSuccess(code)) RaiseError(code, statement);
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

void CRecordset::PrepareAndExecute() {
    for (;;) {
        const SQLRETURN code = UntilDone(
            [&] { return Odbc().Prepare(statement_.Get(), Text(statementText_), SQL_NTS); });
        if (IsSuccess(code)) break;
        CDBException error = Diagnostics(code, statement_.Get());
        const bool notCapable = error.stateText.find("State:S1C00") != std::string::npos;
        if (concurrency_ == SQL_CONCUR_READ_ONLY || !notCapable) throw error;
        // The driver cannot prepare with this concurrency: step down and try again.
        if ((driverConcurrency_ & SQL_SCCO_LOCK) != 0 &&
            (concurrency_ == SQL_CONCUR_ROWVER || concurrency_ == SQL_CONCUR_VALUES)) {
            concurrency_ = SQL_CONCUR_LOCK;
        } else {
            concurrency_ = SQL_CONCUR_READ_ONLY;
            updatable_ = false;
            appendable_ = false;
        }
        const SQLRETURN set = Odbc().SetStmtOption(statement_.Get(), SQL_CONCURRENCY, concurrency_);
        if (!IsSuccess(set)) RaiseError(set, statement_.Get());
    }

    const SQLRETURN code = UntilDone([&] { return Odbc().Execute(statement_.Get()); });
    if (!IsSuccess(code)) RaiseError(code, statement_.Get());
    isOpen_ = true;
    if (code == SQL_SUCCESS_WITH_INFO) {
        // The driver may have given a read-only cursor instead of the one asked for.
        SQLULEN granted = 0;
        const SQLRETURN get = Odbc().GetStmtOption(statement_.Get(), SQL_CONCURRENCY, &granted);
        if (!IsSuccess(get)) RaiseError(get, statement_.Get());
        if (granted == SQL_CONCUR_READ_ONLY) {
            updatable_ = false;
            appendable_ = false;
        }
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

// ---------------------------------------------------------------------------------------
// Fetch
// ---------------------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------------------
// Passes
// ---------------------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------------------
// Changing rows
// ---------------------------------------------------------------------------------------

void CRecordset::AddNew() {
    if (!appendable_) ThrowDatabaseError(LayerError::kReadOnly);
    if (editMode_ != kNoEdit) RunPass(FieldExchange::kLoad);
    RunPass(FieldExchange::kStore);
    RunPass(FieldExchange::kSetNull);
    ClearDirtyBits();
    editMode_ = kAddNewMode;
}

void CRecordset::Edit() {
    if (!updatable_) ThrowDatabaseError(LayerError::kReadOnly);
    if (isEOF_ || isBOF_ || isDeleted_) ThrowDatabaseError(LayerError::kNoCurrentRecord);
    if (editMode_ != kNoEdit) RunPass(FieldExchange::kLoad);
    RunPass(FieldExchange::kStore);
    editMode_ = kEditMode;
}

void CRecordset::Delete() {
    if (editMode_ != kNoEdit) ThrowDatabaseError(LayerError::kIllegalMode);
    WriteRecord();
}

bool CRecordset::Update() {
    if (editMode_ != kAddNewMode && editMode_ != kEditMode) {
        ThrowDatabaseError(LayerError::kIllegalMode);
    }
    return WriteRecord();
}

bool CRecordset::WriteRecord() {
    if (editMode_ == kAddNewMode) {
        if (!appendable_) ThrowDatabaseError(LayerError::kReadOnly);
    } else {
        if (!updatable_) ThrowDatabaseError(LayerError::kReadOnly);
        if (isEOF_ || isBOF_ || isDeleted_) ThrowDatabaseError(LayerError::kNoCurrentRecord);
    }
    if (editMode_ != kNoEdit) {
        RunPass(editMode_ == kAddNewMode ? FieldExchange::kMarkForAddNew
                                         : FieldExchange::kMarkForUpdate);
        if (!AnyFieldDirty()) return false;
    }
    if (updateMethod_ == UpdateMethod::kSetPos) {
        WriteThroughSetPos();
    } else {
        WriteThroughStatement();
    }
    AfterWrite();
    ClearDirtyBits();
    return true;
}

void CRecordset::WriteThroughSetPos() {
    RunPass(FieldExchange::kBindForUpdate);
    SQLUSMALLINT operation = SQL_DELETE;
    SQLUSMALLINT expectedStatus = SQL_ROW_DELETED;
    if (editMode_ == kEditMode) {
        operation = SQL_UPDATE;
        expectedStatus = SQL_ROW_UPDATED;
    } else if (editMode_ == kAddNewMode) {
        operation = SQL_ADD;
        expectedStatus = SQL_ROW_ADDED;
    }
    const SQLRETURN code = UntilDone(
        [&] { return Odbc().SetPos(statement_.Get(), 1, operation, SQL_LOCK_NO_CHANGE); });
    if (!IsSuccess(code)) RaiseError(code, statement_.Get());
    if (code == SQL_SUCCESS_WITH_INFO && rowStatus_ != expectedStatus) {
        ThrowDatabaseError(LayerError::kRowUpdateNotSupported);
    }
    RunPass(FieldExchange::kUnbindAfterUpdate);
}

void CRecordset::WriteThroughStatement() {
    PrepareUpdateStatement();

    std::string text;
    int parametersBound = 0;
    switch (editMode_) {
        case kNoEdit:
            text = "DELETE FROM " + tableName_;
            break;
        case kAddNewMode: {
            std::string names;
            RunTextPass(FieldExchange::kName, names, ",", SQL_NULL_HSTMT);
            sqltext::CloseList(names, ')');
            std::string values;
            RunTextPass(FieldExchange::kValue, values, ",", updateStatement_.Get(),
                        &parametersBound);
            sqltext::CloseList(values, ')');
            text = "INSERT INTO " + tableName_ + " (" + names + " VALUES (" + values;
            break;
        }
        case kEditMode: {
            std::string assignments;
            RunTextPass(FieldExchange::kNameValue, assignments, ",", updateStatement_.Get(),
                        &parametersBound);
            sqltext::CloseList(assignments, ' ');
            text = "UPDATE " + tableName_ + " SET " + assignments;
            break;
        }
    }
    if (editMode_ != kAddNewMode) {
        ReadCursorName();
        text += " WHERE CURRENT OF " + cursorName_;
    }
    const char quote = database_->QuoteChar();
    updateStatementText_ = sqltext::ReplaceBrackets(text, quote);
    lastUpdateStatementText_ = updateStatementText_;

    std::string executed = updateStatementText_;
    if (editMode_ != kAddNewMode && EmulatesPositionedStatements()) {
        if (std::optional<std::string> searched =
                currentRow_.SearchedStatement(updateStatementText_, cursorName_, quote)) {
            executed = std::move(*searched);
            const SQLRETURN bound = currentRow_.BindParameters(
                updateStatement_.Get(), static_cast<SQLUSMALLINT>(parametersBound + 1));
            if (bound != SQL_SUCCESS) RaiseError(bound, updateStatement_.Get());
        }
    }
    lastExecutedUpdateText_ = executed;

    const SQLRETURN code = UntilDone(
        [&] { return Odbc().ExecDirect(updateStatement_.Get(), Text(executed), SQL_NTS); });
    if (!IsSuccess(code)) RaiseError(code, updateStatement_.Get());

    SQLLEN rows = 0;
    if (!IsSuccess(Odbc().RowCount(updateStatement_.Get(), &rows)) || rows == -1) rows = 1;
    if (rows == 0) ThrowDatabaseError(LayerError::kNoRowsAffected);
    if (rows != 1) ThrowDatabaseError(LayerError::kMultipleRowsAffected);
    updateStatementText_.clear();
}

// A statement used before is reused once closed and rid of its parameters; one that
// refuses either is dropped for a new one.
void CRecordset::PrepareUpdateStatement() {
    if (updateStatement_) {
        const bool closed = IsSuccess(Odbc().FreeStmt(updateStatement_.Get(), SQL_CLOSE));
        const bool reset = IsSuccess(Odbc().FreeStmt(updateStatement_.Get(), SQL_RESET_PARAMS));
        if (closed && reset) return;
    }
    const SQLRETURN code = updateStatement_.Allocate(database_->Handle());
    if (!CDatabase::IsSuccess(code)) RaiseError(code, SQL_NULL_HSTMT);
}

void CRecordset::ReadCursorName() {
    if (hasCursorName_) return;
    SQLCHAR name[19] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN code = Odbc().GetCursorName(statement_.Get(), name, sizeof name, &length);
    if (!IsSuccess(code)) RaiseError(code, statement_.Get());
    cursorName_ = reinterpret_cast<const char*>(name);
    hasCursorName_ = true;
}

bool CRecordset::EmulatesPositionedStatements() const {
    return database_ != nullptr && (database_->OpenOptions() & CDatabase::kUseCursorLib) != 0 &&
           updateMethod_ == UpdateMethod::kStatements;
}

void CRecordset::AfterWrite() noexcept {
    try {
        if (editMode_ == kNoEdit) {
            isDeleted_ = true;
            currentRow_.Clear();
            RunPass(FieldExchange::kSetNull);
        } else if (editMode_ == kAddNewMode) {
            isBOF_ = false;
            isEOF_ = false;
            RunPass(FieldExchange::kLoad);
        }
    } catch (...) {
        // The row is written; restoring the members is best effort.
    }
    editMode_ = kNoEdit;
}

// ---------------------------------------------------------------------------------------
// Close
// ---------------------------------------------------------------------------------------

void CRecordset::Close() {
    cursorName_.clear();
    hasCursorName_ = false;
    statement_.Reset();
    updateStatement_.Reset();
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
