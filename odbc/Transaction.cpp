#include "odbc/Transaction.h"

#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "odbc/OdbcCalls.h"

Transaction::Transaction(CDatabase& database) : database_(database) {
    if (!database_.CanTransact()) return;
    const SQLRETURN code =
        Odbc().SetConnectOption(database_.Handle(), SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
    if (!CDatabase::IsSuccess(code)) ThrowDatabaseError(code, &database_);
    open_ = true;
}

Transaction::~Transaction() {
    if (open_) End(SQL_ROLLBACK);
}

void Transaction::Commit() {
    if (!open_) return;
    const SQLRETURN code =
        Odbc().Transact(CDatabase::EnvironmentHandle(), database_.Handle(), SQL_COMMIT);
    if (!CDatabase::IsSuccess(code)) {
        CDBException error(code);
        error.BuildErrorTexts(&database_, SQL_NULL_HSTMT);
        End(SQL_ROLLBACK);
        throw error;
    }
    // psqlODBC answers SQL_SUCCESS to a commit when the server ended the session before it
    // (the driver finds no transaction left to commit) or while it waited for the server's
    // confirmation. The work is then taken as not committed; a writer that does it again on
    // a new connection writes the same rows.
    if (database_.IsDead()) {
        CDBException error(LayerError::kCommitUnconfirmed);
        error.errorText = "the connection ended before the commit was confirmed\n";
        End(SQL_ROLLBACK);
        throw error;
    }
    End(SQL_COMMIT);
}

void Transaction::End(unsigned short completion) noexcept {
    // A rollback after a lost connection fails as well; there is nothing left to undo.
    if (completion == SQL_ROLLBACK) {
        Odbc().Transact(CDatabase::EnvironmentHandle(), database_.Handle(), SQL_ROLLBACK);
    }
    open_ = false;
    if (CDatabase::IsSuccess(
            Odbc().SetConnectOption(database_.Handle(), SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON))) {
        return;
    }
    try {
        Odbc().Transact(CDatabase::EnvironmentHandle(), database_.Handle(), SQL_ROLLBACK);
        database_.Close();
    } catch (...) {
        // Closed all the same as far as it can be: nothing more to do here.
    }
}
