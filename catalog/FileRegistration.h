#pragma once
// Keeps table FILELIST in step with the archive: one row per archive file.

#include <string>

#include "archive/CatalogRegistrar.h"

class CDatabase;

// Writes the row of one archive file. After a new file the row already present for the
// path is deleted and a new one inserted, in one transaction; after an append the row is
// updated, or inserted when there is none. Throws CDBException.
void WriteFileRow(CDatabase& database, const std::string& creatorName, RegistrationKind kind,
                  const FileRegistration& file);

// WriteFileRow for a new file / an extended file, with database errors caught and their
// messages printed; returns false when one occurred.
bool RegisterNewFileRow(CDatabase& database, const std::string& creatorName,
                        const FileRegistration& file);
bool UpdateExtendedFileRow(CDatabase& database, const std::string& creatorName,
                           const FileRegistration& file);
