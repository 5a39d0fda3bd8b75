#include "catalog/FileRegistration.h"

#include <ctime>

#include "app/ConsoleMessage.h"
#include "catalog/FileList.h"
#include "odbc/DBException.h"

namespace {

// Byte offset of the first sample: the archive file's text header is 512 bytes.
constexpr int32_t kSampleOffset = 512;

enum class ExistingRow { kReplace, kUpdate };

// Writes the row of one archive file: after a new file the row already present for the
// path is deleted and a fresh one inserted; after an append the row is updated (only the
// columns that changed), or inserted when there is none. Only the first row the SELECT
// finds for the path is touched.
bool WriteFileRow(CDatabase& database, const std::string& creatorName, const FileRegistration& file,
                  ExistingRow existing) {
    CFileList row(&database);
    row.SetFilter(CFileList::PathFilter(file.path));
    try {
        row.Open();
        if (existing == ExistingRow::kReplace) {
            if (!row.IsEOF()) row.Delete();
            row.AddNew();
        } else if (row.IsEOF()) {
            row.AddNew();
        } else {
            row.Edit();
        }
        row.station = file.station;
        row.dataOffset = kSampleOffset;
        row.begin = file.start;
        row.duration = file.duration;
        row.gain = file.gain;
        row.samplesPerSecond = file.rate;
        row.path = file.path;
        row.channel = file.channel;
        row.dataType = file.dataType;
        row.creator = creatorName;
        row.loadDate = std::time(nullptr);
        row.Update();
        row.Close();
        return true;
    } catch (const CDBException& error) {
        // The driver's messages, printed as they stand (a '%' in them stays a '%'). The
        // run goes on; the caller remembers the failure for the exit code.
        ConsoleMessage("%s", (error.errorText + "\n").c_str());
        return false;
    }
}

}  // namespace

bool RegisterNewFileRow(CDatabase& database, const std::string& creatorName,
                        const FileRegistration& file) {
    return WriteFileRow(database, creatorName, file, ExistingRow::kReplace);
}

bool UpdateExtendedFileRow(CDatabase& database, const std::string& creatorName,
                           const FileRegistration& file) {
    return WriteFileRow(database, creatorName, file, ExistingRow::kUpdate);
}
