#include "catalog/FileRegistration.h"

#include <optional>

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

// Only the first row the SELECT finds for the path is touched. A new file's row replaces the
// old one in one transaction: a failure between the delete and the insert (a lost
// connection, a kill) leaves the old row rather than none. The transaction begins after the
// SELECT: SQLite cannot turn a transaction that has read into one that writes once another
// writer has committed meanwhile, and would wait for that in vain.
void WriteFileRow(CDatabase& database, const std::string& creatorName, RegistrationKind kind,
                  const FileRegistration& file) {
    CFileList row(&database);
    row.SetFilter(CFileList::PathFilter(file.path));
    row.Open();
    std::optional<Transaction> transaction;
    if (kind == RegistrationKind::kNewFile) {
        transaction.emplace(database);
        if (!row.IsEOF()) row.Delete();
        row.AddNew();
    } else if (row.IsEOF()) {
        row.AddNew();
    } else {
        row.Edit();
    }
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
    row.Update();
    row.Close();
    if (transaction) transaction->Commit();
}

bool RegisterNewFileRow(CDatabase& database, const std::string& creatorName,
                        const FileRegistration& file) {
    return PrintedWrite(database, creatorName, RegistrationKind::kNewFile, file);
}

bool UpdateExtendedFileRow(CDatabase& database, const std::string& creatorName,
                           const FileRegistration& file) {
    return PrintedWrite(database, creatorName, RegistrationKind::kExtendedFile, file);
}
