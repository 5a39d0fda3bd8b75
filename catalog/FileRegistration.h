#pragma once
// Keeps table FILELIST in step with the archive: one row per archive file.

#include <string>

#include "archive/ArchiveWriter.h"

class CDatabase;

// After a new archive file: deletes a row already present for the path, inserts a new one.
// Database errors are caught and printed; returns false when one occurred.
bool RegisterNewFileRow(CDatabase& database, const std::string& creatorName,
                        const FileRegistration& file);

// After an append: updates the row of the path, or inserts one when there is none.
// Database errors are caught and printed; returns false when one occurred.
bool UpdateExtendedFileRow(CDatabase& database, const std::string& creatorName,
                           const FileRegistration& file);
