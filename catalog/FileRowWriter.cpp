#include "catalog/FileRowWriter.h"

#include <atomic>
#include <optional>

#include "catalog/ChecksumStore.h"
#include "catalog/FileList.h"
#include "odbc/DBException.h"
#include "odbc/Transaction.h"
#include "platform/Clock.h"
#include "platform/Console.h"

namespace {

bool PrintedWrite(CDatabase& database, const std::string& creatorName, RegistrationKind kind,
                  const FileRegistration& file) {
    try {
        WriteFileRow(database, creatorName, kind, file);
        return true;
    } catch (const CDBException& error) {
        // The driver's messages, printed as they stand (a '%' in them stays a '%').
        ConsoleMessage("%s", (error.errorText + "\n").c_str());
        return false;
    }
}

}  // namespace

FileRowWriter::FileRowWriter(CDatabase& database) : database_(database) {}

FileRowWriter::~FileRowWriter() {
    Forget();
}

void FileRowWriter::Forget() noexcept {
    row_.reset();  // closes the recordset, which frees its statements
    path_.clear();
}

bool FileRowWriter::KeepsChecksums() {
    if (!checksumTable_) {
        checksumTable_ = ChecksumTableExists(database_);
        static std::atomic<bool> told{false};
        if (!*checksumTable_ && !told.exchange(true)) {
            ConsoleNotice(
                "the catalog has no table FILECHECKSUM (it was set up before checksums were "
                "kept): archive files are registered without checksums; running "
                "scripts/catalog-setup.sh again adds it");
        }
    }
    return *checksumTable_;
}

void FileRowWriter::Write(const std::string& creatorName, RegistrationKind kind,
                          const FileRegistration& file) {
    try {
        // Asked before the transaction: a failed question would end it.
        if (kind == RegistrationKind::kNewFile || file.checksum) KeepsChecksums();
        WriteSelected(SelectRow(file.path), creatorName, kind, file,
                      kind == RegistrationKind::kNewFile || file.checksum);
    } catch (...) {
        // Whatever the failure left on the statements (a result set, a half-done write) is
        // not carried into the next registration.
        Forget();
        throw;
    }
}

CFileList& FileRowWriter::SelectRow(const std::string& path) {
    if (row_ && row_->IsOpen() && path == path_) {
        row_->Requery();
        return *row_;
    }
    Forget();
    auto row = std::make_unique<CFileList>(&database_);
    row->SetFilter(CFileList::PathFilter(path));
    row->Open();
    row_ = std::move(row);
    path_ = path;
    return *row_;
}

// Only the first row the SELECT finds for the path is touched. A new file's row replaces the
// old one in one transaction: a failure between the delete and the insert (a lost
// connection, a kill) leaves the old row rather than none. The transaction begins after the
// SELECT: SQLite cannot turn a transaction that has read into one that writes once another
// writer has committed meanwhile, and would wait for that in vain. The result set is closed
// before the commit, as the statements were freed before it when nothing was kept.
void FileRowWriter::WriteSelected(CFileList& row, const std::string& creatorName,
                                  RegistrationKind kind, const FileRegistration& file,
                                  bool ownTransaction) {
    std::optional<Transaction> transaction;
    if (ownTransaction) transaction.emplace(database_);
    if (kind == RegistrationKind::kNewFile) {
        if (!row.IsEOF()) row.Delete();
        row.AddNew();
    } else if (row.IsEOF()) {
        row.AddNew();
    } else {
        row.Edit();
    }
    SetColumns(row, creatorName, file);
    row.Update();
    row.CloseCursor();
    if (checksumTable_.value_or(false)) {
        // A file made anew has no checksum until it is finished.
        if (file.checksum) {
            WriteChecksum(database_, file.path, *file.checksum,
                          static_cast<double>(platform::Now()));
        } else if (kind == RegistrationKind::kNewFile) {
            DeleteChecksum(database_, file.path);
        }
    }
    if (transaction) transaction->Commit();
}

void FileRowWriter::SetColumns(CFileList& row, const std::string& creatorName,
                               const FileRegistration& file) {
    row.station = file.station;
    row.dataOffset = static_cast<int32_t>(kArchiveHeaderSize);
    row.begin = file.start;
    row.duration = file.duration;
    row.gain = file.gain;
    row.samplesPerSecond = file.rate;
    row.path = file.path;
    row.channel = file.channel;
    row.dataType = file.dataType;
    row.creator = creatorName;
    row.loadDate = platform::Now();
}

// As for a new file, the transaction begins after the first SELECT; from then on it holds
// the write lock, and the later SELECTs read inside it.
void FileRowWriter::WriteExtensions(const std::string& creatorName,
                                    const std::vector<FileRegistration>& files) {
    try {
        for (const FileRegistration& file : files) {
            if (file.checksum) KeepsChecksums();
        }
        std::optional<Transaction> transaction;
        for (const FileRegistration& file : files) {
            CFileList& row = SelectRow(file.path);
            if (!transaction) transaction.emplace(database_);
            WriteSelected(row, creatorName, RegistrationKind::kExtendedFile, file, false);
        }
        if (transaction) transaction->Commit();
    } catch (...) {
        Forget();
        throw;
    }
}

void WriteFileRow(CDatabase& database, const std::string& creatorName, RegistrationKind kind,
                  const FileRegistration& file) {
    FileRowWriter(database).Write(creatorName, kind, file);
}

bool RegisterNewFileRow(CDatabase& database, const std::string& creatorName,
                        const FileRegistration& file) {
    return PrintedWrite(database, creatorName, RegistrationKind::kNewFile, file);
}

bool UpdateExtendedFileRow(CDatabase& database, const std::string& creatorName,
                           const FileRegistration& file) {
    return PrintedWrite(database, creatorName, RegistrationKind::kExtendedFile, file);
}
