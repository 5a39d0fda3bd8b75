#pragma once
// The database file an SQLite data source names. The SQLite driver makes an empty database
// where the file is missing, so a mistyped or moved catalog would be "opened" and every
// registration refused later; a missing directory of the file gives the driver's bare
// "connect failed". Both are told before connecting, from the data source's settings as
// unixODBC's configuration (odbc.ini, odbcinst.ini) gives them.

#include <string>

// Empty when `dataSource` is no SQLite data source of unixODBC's configuration, or its
// database file exists; else what is missing: "the database file F of data source D does not
// exist", or "the directory R of the database file F of data source D does not exist".
std::string MissingDatabaseFile(const std::string& dataSource);
