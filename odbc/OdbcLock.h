#pragma once
// The process-wide ODBC lock. It guards the environment handle, the connection count and
// every connection's list of open recordsets. It is re-entrant: closing a connection holds
// it while each recordset closes and unregisters itself, which takes it again.

#include <mutex>

std::recursive_mutex& OdbcLock();
