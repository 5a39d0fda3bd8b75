#pragma once
// Whether an open catalog connection can take the converter's registrations: table FILELIST
// is there and its columns can be read. A catalog without it (a data source that names an
// empty database, a schema never set up) is refused when the connection is opened, before a
// single archive file is written, instead of once per registration afterwards.

#include <string>

class CDatabase;

// Empty when FILELIST answers a query of its columns on `database`; "the catalog has no table
// FILELIST" when the query's error names the table and the catalog lists no such table; else
// "FILELIST cannot be read: " and the driver's messages (each ending in a newline).
std::string FileListProblem(CDatabase& database);
