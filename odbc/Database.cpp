#include "odbc/Database.h"

#include "odbc/DBException.h"

// Stand-in until the connection lands: every open fails as a cancelled completion.
CDatabase::~CDatabase() = default;
bool CDatabase::Open(const std::string& connect, uint32_t options) {
    connect_ = connect;
    openOptions_ = options;
    return false;
}
void CDatabase::Close() {}
void CDatabase::ApplyStatementOptions(SQLHSTMT) {}
bool CDatabase::IsSuccess(SQLRETURN code) {
    return code == SQL_SUCCESS || code == SQL_SUCCESS_WITH_INFO || code == SQL_NO_DATA_FOUND;
}
SQLHENV CDatabase::EnvironmentHandle() { return SQL_NULL_HENV; }
int CDatabase::ConnectionCount() { return 0; }
void CDatabase::AddRecordset(CRecordset*) {}
void CDatabase::RemoveRecordset(CRecordset*) {}
