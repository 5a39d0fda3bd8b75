#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "odbc/OdbcCalls.h"
#include "odbc/Recordset.h"

namespace {

SQLUINTEGER GetInfo32(CDatabase& database, SQLUSMALLINT item) {
    SQLUINTEGER value = 0;
    SQLSMALLINT length = 0;
    const SQLRETURN code = Odbc().GetInfo(database.Handle(), item, &value, sizeof value, &length);
    if (!CDatabase::IsSuccess(code)) ThrowDatabaseError(code, &database);
    return value;
}

// Scrolling needs SQLExtendedFetch.
bool HasExtendedFetch(CDatabase& database) {
    SQLUSMALLINT extendedFetch = 0;
    const SQLRETURN code =
        Odbc().GetFunctions(database.Handle(), SQL_API_SQLEXTENDEDFETCH, &extendedFetch);
    if (!CDatabase::IsSuccess(code)) ThrowDatabaseError(code, &database);
    return extendedFetch != 0;
}

// A scrolling cursor is used only through a driver of ODBC 2 or later.
void RequireOdbcVersion2(CDatabase& database) {
    char version[30] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN code =
        Odbc().GetInfo(database.Handle(), SQL_ODBC_VER, version, sizeof version, &length);
    if (!CDatabase::IsSuccess(code)) ThrowDatabaseError(code, &database);
    if (version[0] == '0' && version[1] < '2') ThrowDatabaseError(LayerError::kOdbcV2Required);
}

// The cursor type of an open type; the driver must offer it (`scrollOptions`: the
// SQL_SCROLL_OPTIONS bits).
SQLULEN CursorType(unsigned openType, SQLUINTEGER scrollOptions) {
    switch (openType) {
        case CRecordset::kSnapshot:
            if ((scrollOptions & SQL_SO_STATIC) == 0) {
                ThrowDatabaseError(LayerError::kSnapshotNotSupported);
            }
            return SQL_CURSOR_STATIC;
        case CRecordset::kKeysetDriven:
            if ((scrollOptions & SQL_SO_KEYSET_DRIVEN) == 0) {
                ThrowDatabaseError(LayerError::kKeysetNotSupported);
            }
            return SQL_CURSOR_KEYSET_DRIVEN;
        case CRecordset::kDynamic:
            if ((scrollOptions & SQL_SO_DYNAMIC) == 0) {
                ThrowDatabaseError(LayerError::kDynamicNotSupported);
            }
            return SQL_CURSOR_DYNAMIC;
        default:
            return SQL_CURSOR_FORWARD_ONLY;
    }
}

// The concurrency to ask for first among those the driver offers (`offered`: the
// SQL_SCROLL_CONCURRENCY bits). Optimistic locking prefers row versions to values, and
// either to a lock; pessimistic locking takes a lock. Read-only when none fits.
SQLULEN PreferredConcurrency(CRecordset::LockMode mode, SQLUINTEGER offered) {
    if (mode == CRecordset::LockMode::kOptimistic) {
        if ((offered & SQL_SCCO_OPT_ROWVER) != 0) return SQL_CONCUR_ROWVER;
        if ((offered & SQL_SCCO_OPT_VALUES) != 0) return SQL_CONCUR_VALUES;
    }
    if ((offered & SQL_SCCO_LOCK) != 0) return SQL_CONCUR_LOCK;
    return SQL_CONCUR_READ_ONLY;
}

}  // namespace

void CRecordset::SetStatementOptions(SQLHSTMT statement) {
    database_->ApplyStatementOptions(statement);
    scrollable_ = HasExtendedFetch(*database_);
    if (!scrollable_) {
        updatable_ = false;
    } else {
        RequireOdbcVersion2(*database_);
    }
    const SQLULEN cursorType = CursorType(openType_, GetInfo32(*database_, SQL_SCROLL_OPTIONS));
    ChooseUpdateMethod();
    ChooseConcurrency();

    SQLRETURN code = Odbc().SetStmtOption(statement, SQL_CURSOR_TYPE, cursorType);
    if (!IsSuccess(code)) RaiseError(code, statement);
    code = Odbc().SetStmtOption(statement, SQL_CONCURRENCY, concurrency_);
    if (!IsSuccess(code)) RaiseError(code, statement);
}

void CRecordset::ChooseUpdateMethod() {
    const uint32_t updateOptions = database_->UpdateOptions();
    if ((updateOptions & CDatabase::kSetPosUpdates) != 0) {
        updateMethod_ = UpdateMethod::kSetPos;
    } else if ((updateOptions & CDatabase::kPositionedStatements) != 0) {
        updateMethod_ = UpdateMethod::kStatements;
    } else {
        updateMethod_ = UpdateMethod::kNone;
        updatable_ = false;
    }
}

void CRecordset::ChooseConcurrency() {
    concurrency_ = SQL_CONCUR_READ_ONLY;
    if (!(updatable_ || appendable_) || !database_->IsUpdatable()) return;
    // Writes that name the row by its values need nothing of the driver's cursor: a
    // read-only one spares the driver its row versions (psqlODBC would add the row's ctid to
    // the SELECT and look the table up in the system catalogs).
    if ((database_->OpenOptions() & CDatabase::kSearchedPositionedWrites) != 0) return;
    driverConcurrency_ = GetInfo32(*database_, SQL_SCROLL_CONCURRENCY);
    concurrency_ = PreferredConcurrency(lockMode_, driverConcurrency_);
}
