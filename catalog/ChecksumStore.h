#pragma once
// Table FILECHECKSUM (catalog/filelist.sql): the checksum of each finished archive file
// (archive/FileChecksum.h), beside its FILELIST row. A catalog set up before the table
// existed has none; everything that reads or writes checksums asks first
// (ChecksumTableExists) and does without. Every call throws CDBException.

#include <optional>
#include <string>
#include <vector>

#include "archive/FileChecksum.h"

class CDatabase;

// One row of the table.
struct StoredChecksum {
    std::string path;  // CPATH
    // Absent when the row is not one this version understands (another algorithm, a block
    // size or hashes it cannot read): such a file cannot be verified.
    std::optional<FileChecksum> checksum;
    double recorded = 0;  // seconds since 1970-01-01 UTC
    double verified = 0;
};

// True when the catalog has the table, false when the database says it has none; any other
// failure is thrown.
bool ChecksumTableExists(CDatabase& database);

// Replaces the checksum of `path` with `checksum`, recorded and verified `now` / drops it.
void WriteChecksum(CDatabase& database, const std::string& path, const FileChecksum& checksum,
                   double now);
void DeleteChecksum(CDatabase& database, const std::string& path);
// Notes that the files of `paths` matched their checksums at `now` (one statement for all).
void MarkVerified(CDatabase& database, const std::vector<std::string>& paths, double now);

// The rows whose last verification lies before `before` (all, when nothing), the
// longest-unverified first (then by path), read until their lengths add up to `budget`
// bytes: the row that reaches it is the last.
std::vector<StoredChecksum> ReadDueChecksums(CDatabase& database, std::optional<double> before,
                                             std::optional<int64_t> budget);
// The rows of the given paths (those there are), in path order.
std::vector<StoredChecksum> ReadChecksums(CDatabase& database,
                                          const std::vector<std::string>& paths);
// The same, or nothing when the catalog has no checksum table (one query either way).
std::optional<std::vector<StoredChecksum>> ReadChecksumsIfKept(
    CDatabase& database, const std::vector<std::string>& paths);
// The paths that have a checksum.
std::vector<std::string> ChecksummedPaths(CDatabase& database);
// The FILELIST rows whose path has no checksum.
int64_t CountFilesWithoutChecksum(CDatabase& database);
