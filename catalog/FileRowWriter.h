#pragma once
// Keeps table FILELIST in step with the archive: one row per archive file.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/CatalogRegistrar.h"

class CDatabase;
class CFileList;

// Writes the rows of archive files on one connection. After a new file the row already
// present for the path is deleted and a new one inserted, in one transaction; after an
// append the row is updated, or inserted when there is none. Where the catalog keeps
// checksums (catalog/ChecksumStore.h), a new file's transaction drops its path's checksum,
// and the registration that brings a finished file's checksum writes it in the transaction
// of the row's update.
//
// A file is registered after every block flushed to it, so the same path comes again and
// again: the SELECT of the path stays prepared, its columns bound, from one registration
// of the path to the next (the driver executes it again without preparing, describing and
// binding it anew), and so does the last INSERT, UPDATE or DELETE. Between registrations
// no result set stays open. Another path, Forget, a failed registration and the
// destructor free them.
class FileRowWriter {
  public:
    explicit FileRowWriter(CDatabase& database);
    ~FileRowWriter();
    FileRowWriter(const FileRowWriter&) = delete;
    FileRowWriter& operator=(const FileRowWriter&) = delete;

    // Writes the row of `file`. Throws CDBException.
    void Write(const std::string& creatorName, RegistrationKind kind, const FileRegistration& file);
    // Writes the rows of extended files, in order, in one transaction: all of them or, when
    // it throws (CDBException), none.
    void WriteExtensions(const std::string& creatorName,
                         const std::vector<FileRegistration>& files);
    // Frees the statements kept; call it before the connection is closed.
    void Forget() noexcept;
    // Whether the catalog has the checksum table: asked once (ChecksumTableExists).
    // Throws CDBException when the question fails.
    bool KeepsChecksums();

  private:
    // The path's SELECT executed: prepared anew for another path, again for the same.
    CFileList& SelectRow(const std::string& path);
    // Writes the row read, and the path's checksum where kept; in a transaction of its own
    // when `ownTransaction` (else inside the caller's).
    void WriteSelected(CFileList& row, const std::string& creatorName, RegistrationKind kind,
                       const FileRegistration& file, bool ownTransaction);
    void SetColumns(CFileList& row, const std::string& creatorName, const FileRegistration& file);

    CDatabase& database_;
    std::unique_ptr<CFileList> row_;  // prepared for the path of the last registration
    std::string path_;
    std::optional<bool> checksumTable_;
};

// Writes the row of one archive file on a writer of its own (nothing stays prepared).
// Throws CDBException.
void WriteFileRow(CDatabase& database, const std::string& creatorName, RegistrationKind kind,
                  const FileRegistration& file);

// WriteFileRow for a new file / an extended file, with database errors caught and their
// messages printed; returns false when one occurred.
bool RegisterNewFileRow(CDatabase& database, const std::string& creatorName,
                        const FileRegistration& file);
bool UpdateExtendedFileRow(CDatabase& database, const std::string& creatorName,
                           const FileRegistration& file);
