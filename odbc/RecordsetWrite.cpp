#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "odbc/OdbcCalls.h"
#include "odbc/Recordset.h"
#include "odbc/SqlText.h"
#include "odbc/UntilDone.h"

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
// Through SQLSetPos on the SELECT's own statement
// ---------------------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------------------
// Through INSERT, UPDATE and DELETE statements on a second statement
// ---------------------------------------------------------------------------------------

void CRecordset::WriteThroughStatement() {
    PrepareUpdateStatement();
    int parametersBound = 0;
    std::string text = ComposeWrite(parametersBound);
    if (editMode_ != kAddNewMode) {
        ReadCursorName();
        text += " WHERE CURRENT OF " + cursorName_;
    }
    updateStatementText_ = sqltext::ReplaceBrackets(text, database_->QuoteChar());
    lastUpdateStatementText_ = updateStatementText_;
    lastExecutedUpdateText_ = ExecutedWriteText(parametersBound);
    ExecuteWrite(lastExecutedUpdateText_);
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
    preparedWriteText_.clear();
    const SQLRETURN code = updateStatement_.Allocate(database_->Handle());
    if (!CDatabase::IsSuccess(code)) RaiseError(code, SQL_NULL_HSTMT);
}

// The statement of the current edit mode, up to its WHERE; binds the values of the dirty
// fields as parameters and counts them in `parametersBound`.
std::string CRecordset::ComposeWrite(int& parametersBound) {
    if (editMode_ == kNoEdit) return "DELETE FROM " + tableName_;
    if (editMode_ == kEditMode) {
        std::string assignments;
        RunTextPass(FieldExchange::kNameValue, assignments, ",", updateStatement_.Get(),
                    &parametersBound);
        sqltext::CloseList(assignments, ' ');
        return "UPDATE " + tableName_ + " SET " + assignments;
    }
    std::string names;
    RunTextPass(FieldExchange::kName, names, ",", SQL_NULL_HSTMT);
    sqltext::CloseList(names, ')');
    std::string values;
    RunTextPass(FieldExchange::kValue, values, ",", updateStatement_.Get(), &parametersBound);
    sqltext::CloseList(values, ')');
    return "INSERT INTO " + tableName_ + " (" + names + " VALUES (" + values;
}

// What a write executes: the composed statement, or on a connection that uses the cursor
// library its searched form, whose conditions' values are bound after the
// `parametersBound` parameters of the dirty fields.
std::string CRecordset::ExecutedWriteText(int parametersBound) {
    if (editMode_ == kAddNewMode || !EmulatesPositionedStatements()) return updateStatementText_;
    std::optional<std::string> searched =
        currentRow_.SearchedStatement(updateStatementText_, cursorName_, database_->QuoteChar());
    if (!searched) return updateStatementText_;
    const SQLRETURN bound = currentRow_.BindParameters(
        updateStatement_.Get(), static_cast<SQLUSMALLINT>(parametersBound + 1));
    if (bound != SQL_SUCCESS) RaiseError(bound, updateStatement_.Get());
    return std::move(*searched);
}

// Executes a write, which must change exactly one row (a driver that cannot count the
// rows is trusted to have changed one).
void CRecordset::ExecuteWrite(const std::string& text) {
    PrepareWrite(text);
    const SQLRETURN code = database_->StatementAnswer(
        UntilDone([&] { return Odbc().Execute(updateStatement_.Get()); }), updateStatement_.Get());
    if (!IsSuccess(code)) {
        preparedWriteText_.clear();  // what a failed execution leaves prepared is not known
        RaiseError(code, updateStatement_.Get());
    }

    SQLLEN rows = 0;
    if (!IsSuccess(Odbc().RowCount(updateStatement_.Get(), &rows)) || rows == -1) rows = 1;
    if (rows == 0) ThrowDatabaseError(LayerError::kNoRowsAffected);
    if (rows != 1) ThrowDatabaseError(LayerError::kMultipleRowsAffected);
}

// Prepares `text` on the write statement unless it is prepared there already: a record
// written again and again (a file's row after every block) mostly sends the same statement
// with other values, which the driver then neither parses nor plans anew. The parameters
// are bound before; a prepare keeps them.
void CRecordset::PrepareWrite(const std::string& text) {
    if (text == preparedWriteText_) return;
    preparedWriteText_.clear();
    const SQLRETURN code =
        UntilDone([&] { return Odbc().Prepare(updateStatement_.Get(), SqlChars(text), SQL_NTS); });
    if (!IsSuccess(code)) RaiseError(code, updateStatement_.Get());
    preparedWriteText_ = text;
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
    return database_ != nullptr && database_->SearchesPositionedWrites() &&
           updateMethod_ == UpdateMethod::kStatements;
}
