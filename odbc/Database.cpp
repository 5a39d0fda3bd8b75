#include "odbc/Database.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "odbc/ConnectString.h"
#include "odbc/DBException.h"
#include "odbc/OdbcCalls.h"
#include "odbc/OdbcLock.h"
#include "odbc/Recordset.h"
#include "odbc/StatementHandle.h"
#include "odbc/UntilDone.h"

namespace {

// Process-wide ODBC state, shared by every connection and guarded by OdbcLock(). Plain
// values with constant initialisation: they outlive every CDatabase, including one that
// is destroyed at process exit.
SQLHENV environmentHandle = SQL_NULL_HENV;
int connectionCount = 0;

// Size of the completed connection string buffer handed to SQLDriverConnect.
constexpr SQLSMALLINT kConnectOutCapacity = 512;

// A 32-bit or 16-bit item of SQLGetInfo; false when the driver cannot answer.
bool Info32(SQLHDBC hdbc, SQLUSMALLINT item, SQLUINTEGER& value) {
    return CDatabase::IsSuccess(Odbc().GetInfo(hdbc, item, &value, sizeof value, nullptr));
}

bool Info16(SQLHDBC hdbc, SQLUSMALLINT item, SQLUSMALLINT& value) {
    return CDatabase::IsSuccess(Odbc().GetInfo(hdbc, item, &value, sizeof value, nullptr));
}

// Whether the connection's server is PostgreSQL, which gets a session time-out and whose
// sockets the watchdog can cut.
bool IsPostgres(SQLHDBC connection) {
    char dbms[32] = {};
    SQLSMALLINT length = 0;
    return CDatabase::IsSuccess(
               Odbc().GetInfo(connection, SQL_DBMS_NAME, dbms, sizeof dbms, &length)) &&
           std::string(dbms) == "PostgreSQL";
}

}  // namespace

CDatabase::CDatabase() {
    // Function-local statics used by the destructor: construct them before this object so
    // that they are destroyed after it.
    OdbcLock();
    Odbc();
}

CDatabase::~CDatabase() {
    Release();
}

bool CDatabase::IsDead() const {
    if (!IsOpen()) return true;
    SQLUINTEGER dead = SQL_CD_FALSE;
    return IsSuccess(Odbc().GetConnectOption(hdbc_, SQL_ATTR_CONNECTION_DEAD, &dead)) &&
           dead == SQL_CD_TRUE;
}

SQLRETURN CDatabase::StatementAnswer(SQLRETURN code, SQLHSTMT statement) const {
    if (code != SQL_SUCCESS_WITH_INFO) return code;
    if (IsDead()) return SQL_ERROR;
    // Read without taking them (SQLGetDiagRec, unlike SQLError, leaves the records).
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT record = 1;; ++record) {
        const SQLRETURN read = Odbc().GetDiagRec(SQL_HANDLE_STMT, statement, record, state, &native,
                                                 nullptr, 0, &length);
        if (read != SQL_SUCCESS && read != SQL_SUCCESS_WITH_INFO) break;
        if (IsSessionEndState(reinterpret_cast<const char*>(state))) return SQL_ERROR;
    }
    return code;
}

bool CDatabase::IsSuccess(SQLRETURN code) {
    return code == SQL_SUCCESS || code == SQL_SUCCESS_WITH_INFO || code == SQL_NO_DATA_FOUND;
}

SQLHENV CDatabase::EnvironmentHandle() {
    std::lock_guard lock(OdbcLock());
    return environmentHandle;
}

int CDatabase::ConnectionCount() {
    std::lock_guard lock(OdbcLock());
    return connectionCount;
}

bool CDatabase::Open(const std::string& connect, uint32_t options) {
    openOptions_ = options;
    updatable_ = (options & kOpenReadOnly) == 0;
    connect_ = connect;
    try {
        if (hdbc_ == SQL_NULL_HDBC) AllocateConnection();
        const std::vector<odbc::OpenSocket> before = odbc::OpenSockets();
        if (!Connect(options)) {
            Release();
            return false;
        }
        FindSockets(before);
        VerifyConformance();
        ReadCapabilities();
        ApplySessionTimeout();
    } catch (...) {
        Release();
        throw;
    }
    return true;
}

void CDatabase::AllocateConnection() {
    {
        std::lock_guard lock(OdbcLock());
        if (environmentHandle == SQL_NULL_HENV) {
            SQLHENV env = SQL_NULL_HENV;
            if (!IsSuccess(Odbc().AllocEnv(&env)) || env == SQL_NULL_HENV) throw std::bad_alloc();
            environmentHandle = env;
        }
        SQLHDBC hdbc = SQL_NULL_HDBC;
        SQLRETURN code = Odbc().AllocConnect(environmentHandle, &hdbc);
        if (!IsSuccess(code)) ThrowDatabaseError(code, this);
        hdbc_ = hdbc;
        ++connectionCount;
    }
    // A driver that refuses one of these options is still used: results are ignored.
    Odbc().SetConnectOption(hdbc_, SQL_LOGIN_TIMEOUT, static_cast<SQLULEN>(loginTimeout_));
    if (!updatable_) Odbc().SetConnectOption(hdbc_, SQL_ACCESS_MODE, SQL_MODE_READ_ONLY);
    if (openOptions_ & kUseCursorLib) {
        Odbc().SetConnectOption(hdbc_, SQL_ODBC_CURSORS, SQL_CUR_USE_ODBC);
    }
}

bool CDatabase::OpenDataSource(const std::string& connect, const std::string& dsn,
                               const std::string& user, const std::string& password,
                               uint32_t options) {
    if (connectstring::NeedsBraces(dsn) || connectstring::NeedsBraces(user) ||
        connectstring::NeedsBraces(password)) {
        separateLogin_ = {dsn, user, password};
    }
    try {
        const bool opened = Open(connect, options);
        separateLogin_.clear();
        return opened;
    } catch (...) {
        separateLogin_.clear();
        throw;
    }
}

bool CDatabase::ConnectWithSeparateValues() {
    auto text = [](std::string& value) { return reinterpret_cast<SQLCHAR*>(value.data()); };
    std::string& dsn = separateLogin_[0];
    std::string& user = separateLogin_[1];
    std::string& password = separateLogin_[2];
    const SQLRETURN code =
        Odbc().Connect(hdbc_, text(dsn), SQL_NTS, user.empty() ? nullptr : text(user), SQL_NTS,
                       password.empty() ? nullptr : text(password), SQL_NTS);
    if (!IsSuccess(code)) ThrowDatabaseError(code, this);
    return true;
}

bool CDatabase::Connect(uint32_t options) {
    if (!separateLogin_.empty()) return ConnectWithSeparateValues();
    SQLUSMALLINT completion = SQL_DRIVER_COMPLETE;
    if (options & kNoOdbcDialog) {
        completion = SQL_DRIVER_NOPROMPT;
    } else if (options & kForceOdbcDialog) {
        completion = SQL_DRIVER_PROMPT;
    }
    // There is no window on this platform: a driver that would need a dialog has none to
    // show and fails; a fully specified connect string needs none.
    std::vector<SQLCHAR> in(connect_.begin(), connect_.end());
    in.push_back('\0');
    SQLCHAR out[kConnectOutCapacity] = {};
    SQLSMALLINT outLength = 0;
    SQLRETURN code = SQL_ERROR;
    {
        // psqlODBC switches the process's locale (setlocale) while it connects, which is not
        // safe while another thread does the same: a batch's workers and a server's
        // threads connect one at a time.
        static std::mutex connecting;
        std::lock_guard one(connecting);
        code = Odbc().DriverConnect(hdbc_, nullptr, in.data(), SQL_NTS, out, kConnectOutCapacity,
                                    &outLength, completion);
    }
    if (code == SQL_NO_DATA_FOUND) return false;
    if (!IsSuccess(code)) ThrowDatabaseError(code, this);
    out[kConnectOutCapacity - 1] = '\0';
    connect_ = "ODBC;" + std::string(reinterpret_cast<const char*>(out));
    return true;
}

void CDatabase::VerifyConformance() {
    SQLSMALLINT apiConformance = 0;
    SQLRETURN code = Odbc().GetInfo(hdbc_, SQL_ODBC_API_CONFORMANCE, &apiConformance,
                                    sizeof apiConformance, nullptr);
    if (!IsSuccess(code)) ThrowDatabaseError(code, this);
    if (apiConformance < SQL_OAC_LEVEL1) ThrowDatabaseError(LayerError::kApiConformance);

    SQLSMALLINT sqlConformance = 0;
    code = Odbc().GetInfo(hdbc_, SQL_ODBC_SQL_CONFORMANCE, &sqlConformance, sizeof sqlConformance,
                          nullptr);
    if (!IsSuccess(code)) ThrowDatabaseError(code, this);
    if (sqlConformance < SQL_OSC_MINIMUM) ThrowDatabaseError(LayerError::kSqlConformance);
}

// None of these queries raises: a driver that cannot answer one gets the safe value.
void CDatabase::ReadCapabilities() {
    ReadUpdateOptions();
    ReadTransactionBehavior();
    ReadFetchExtensions();
    ReadAccessMode();
    ReadQuoteChar();
}

void CDatabase::ReadUpdateOptions() {
    updateOptions_ = 0;
    if (openOptions_ & kSearchedPositionedWrites) {
        updateOptions_ = kPositionedStatements;  // carried out by the recordsets themselves
        return;
    }
    SQLUINTEGER posOperations = 0;
    constexpr SQLUINTEGER kPosChanges = SQL_POS_UPDATE | SQL_POS_DELETE | SQL_POS_ADD;
    if (Info32(hdbc_, SQL_POS_OPERATIONS, posOperations) &&
        (posOperations & kPosChanges) == kPosChanges) {
        updateOptions_ |= kSetPosUpdates;
    }
    SQLUINTEGER positioned = 0;
    constexpr SQLUINTEGER kPositionedChanges = SQL_PS_POSITIONED_DELETE | SQL_PS_POSITIONED_UPDATE;
    if (Info32(hdbc_, SQL_POSITIONED_STATEMENTS, positioned) &&
        (positioned & kPositionedChanges) == kPositionedChanges) {
        updateOptions_ |= kPositionedStatements;
    }
}

void CDatabase::ReadTransactionBehavior() {
    SQLUSMALLINT txnCapable = SQL_TC_NONE;
    transactions_ = Info16(hdbc_, SQL_TXN_CAPABLE, txnCapable) && txnCapable != SQL_TC_NONE;

    SQLUSMALLINT behavior = 0;
    cursorCommitBehavior_ =
        Info16(hdbc_, SQL_CURSOR_COMMIT_BEHAVIOR, behavior) ? static_cast<int16_t>(behavior) : -1;
    behavior = 0;
    cursorRollbackBehavior_ =
        Info16(hdbc_, SQL_CURSOR_ROLLBACK_BEHAVIOR, behavior) ? static_cast<int16_t>(behavior) : -1;
}

void CDatabase::ReadFetchExtensions() {
    SQLUINTEGER bookmarks = 0;
    Info32(hdbc_, SQL_BOOKMARK_PERSISTENCE, bookmarks);
    bookmarkAttributes_ = bookmarks;

    SQLUINTEGER getDataExtensions = 0;
    if (!Info32(hdbc_, SQL_GETDATA_EXTENSIONS, getDataExtensions)) getDataExtensions = 0;
    if (getDataExtensions & SQL_GD_BOUND) updateOptions_ |= kGetDataBound;
}

void CDatabase::ReadAccessMode() {
    if (!updatable_) {
        Odbc().SetConnectOption(hdbc_, SQL_ACCESS_MODE, SQL_MODE_READ_ONLY);
        return;
    }
    char readOnly[10] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN code =
        Odbc().GetInfo(hdbc_, SQL_DATA_SOURCE_READ_ONLY, readOnly, sizeof readOnly, &length);
    updatable_ = IsSuccess(code) && length == 1 && readOnly[0] != 'Y';
}

void CDatabase::ReadQuoteChar() {
    char quote[2] = {};
    SQLSMALLINT quoteLength = 0;
    const SQLRETURN code =
        Odbc().GetInfo(hdbc_, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &quoteLength);
    quoteChar_ = (IsSuccess(code) && quoteLength == 1) ? quote[0] : ' ';
}

void CDatabase::Close() {
    {
        std::lock_guard lock(OdbcLock());
        while (!recordsets_.empty()) {
            CRecordset* recordset = recordsets_.front();
            recordset->Close();  // unregisters itself through RemoveRecordset
            // A recordset that did not unregister would be closed forever: drop it here.
            recordsets_.remove(recordset);
            recordset->DetachDatabase();
        }
    }
    Disconnect();
}

void CDatabase::Disconnect() noexcept {
    if (hdbc_ == SQL_NULL_HDBC) return;
    {
        // The driver closes them: their numbers may be given to other files at once.
        std::lock_guard lock(socketsMutex_);
        sockets_.clear();
    }
    Odbc().Disconnect(hdbc_);
    Odbc().FreeConnect(hdbc_);
    hdbc_ = SQL_NULL_HDBC;
    sessionTimeout_ = false;
    std::lock_guard lock(OdbcLock());
    --connectionCount;
}

void CDatabase::Release() noexcept {
    try {
        Close();
    } catch (...) {
        // A recordset failed to close: forget the remaining ones and disconnect anyway, so
        // that the connection handle is not lost.
        std::lock_guard lock(OdbcLock());
        for (CRecordset* recordset : recordsets_) recordset->DetachDatabase();
        recordsets_.clear();
        Disconnect();
    }
    std::lock_guard lock(OdbcLock());
    if (environmentHandle != SQL_NULL_HENV && connectionCount == 0) {
        Odbc().FreeEnv(environmentHandle);
        environmentHandle = SQL_NULL_HENV;
    }
}

// psqlODBC carries out a statement's query time-out by setting the server's
// statement_timeout before the statement and setting it back to 0 after it: two more round
// trips to the server for every statement. Set once for the session, the server applies
// the same limit to every statement, so on PostgreSQL the connection sets it once and
// statements get no time-out of their own. Elsewhere, or when the server refuses, every
// statement gets it as before.
bool CDatabase::IsPostgres() const {
    return hdbc_ != SQL_NULL_HDBC && ::IsPostgres(hdbc_);
}

void CDatabase::ApplySessionTimeout() {
    sessionTimeout_ = false;
    if (queryTimeout_ <= 0) return;
    if (!IsPostgres()) return;
    StatementHandle statement;
    if (!IsSuccess(statement.Allocate(hdbc_))) return;
    std::string text = "SET statement_timeout = " + std::to_string(queryTimeout_ * 1000);
    const SQLRETURN code = UntilDone([&] {
        return Odbc().ExecDirect(statement.Get(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
    });
    sessionTimeout_ = IsSuccess(code);
}

void CDatabase::FindSockets(const std::vector<odbc::OpenSocket>& before) {
    if (!IsPostgres()) return;
    StatementHandle statement;
    if (!IsSuccess(statement.Allocate(hdbc_))) return;
    std::string text = "SELECT inet_client_port()";
    SQLINTEGER port = 0;
    SQLLEN indicator = 0;
    const bool answered =
        IsSuccess(UntilDone([&] {
            return Odbc().ExecDirect(statement.Get(), reinterpret_cast<SQLCHAR*>(text.data()),
                                     SQL_NTS);
        })) &&
        IsSuccess(Odbc().BindCol(statement.Get(), 1, SQL_C_SLONG, &port, 0, &indicator)) &&
        Odbc().Fetch(statement.Get()) == SQL_SUCCESS;
    if (!answered) return;
    std::optional<int> localPort;  // none over a Unix-domain socket
    if (indicator != SQL_NULL_DATA) localPort = port;
    std::lock_guard lock(socketsMutex_);
    sockets_ = odbc::ConnectionSockets(before, odbc::OpenSockets(), localPort);
}

void CDatabase::Cut() noexcept {
    std::lock_guard lock(socketsMutex_);
    odbc::ShutDownSockets(sockets_);
}

void CDatabase::ApplyStatementOptions(SQLHSTMT statement) {
    if (queryTimeout_ == -1 || sessionTimeout_) return;
    SQLRETURN code =
        Odbc().SetStmtOption(statement, SQL_QUERY_TIMEOUT, static_cast<SQLULEN>(queryTimeout_));
    // A driver that refuses the time-out once refuses it always: later statements skip it.
    if (!IsSuccess(code)) queryTimeout_ = -1;
}

void CDatabase::AddRecordset(CRecordset* recordset) {
    std::lock_guard lock(OdbcLock());
    recordsets_.push_back(recordset);
}

void CDatabase::RemoveRecordset(CRecordset* recordset) {
    std::lock_guard lock(OdbcLock());
    recordsets_.remove(recordset);
}
