#include "odbc/DBException.h"

// Stand-in until the diagnostics land.
void CDBException::BuildErrorTexts(CDatabase*, SQLHSTMT) {}

void ThrowDatabaseError(SQLRETURN code, CDatabase*, SQLHSTMT) { throw CDBException(code); }
