#pragma once
// What the archive files below a data directory and the catalog's FILELIST rows should
// agree on, and where they differ.
//
// A row agrees with its file (the file at the row's CPATH) when
//   - STA and CH are the header's station and channel,
//   - SPS is the header's sample rate (to the header's six decimals),
//   - TQTY x SPS is the number of samples the file holds (to a hundredth of a sample),
//   - TBEGIN lies within the header's start second: [second, second + 1),
//   - GAIN is the header's gain, DATATYPE 3 (float samples) and FOFF 512.
// Besides, every file needs exactly one row, every row a file, and every file a name that
// its header gives (ddmmyyyy-hhmmss-CHN.STA in the directory of its station). A station's
// journal (registrations a converter could not make) and temporary files that interrupted
// conversions left behind are differences too; the station lock file is not.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveFile.h"
#include "catalog/CatalogStore.h"

enum class EntryKind { kArchiveFile, kJournal, kTemporaryFile };

// One file in a station directory below the data directory.
struct ArchiveEntry {
    std::string catalogPath;  // "STA\name"
    std::string diskPath;     // data directory + "/STA/name"
    EntryKind kind = EntryKind::kArchiveFile;
    std::optional<ArchiveFile> file;  // absent when the file is not a consistent archive file
    std::string error;                // why it is not
    std::size_t journalEntries = 0;   // registrations waiting in a journal
};

// Every regular file one level below the station directories of `dataDir`, in path
// order. Files directly in `dataDir` and deeper down are not archive files. Throws
// std::runtime_error when `dataDir` cannot be listed.
std::vector<ArchiveEntry> ScanDataDirectory(const std::string& dataDir);

enum class DifferenceKind {
    kMissingRow,     // a file without a row
    kExtraRow,       // a row without a file
    kDuplicateRows,  // more than one row for one file
    kBadFile,        // a file that is not a consistent archive file
    kFileName,       // a file whose name or directory does not match its header
    kWrongColumn,    // a row column that does not agree with the file
    kJournal,        // a journal of registrations not made yet
    kTemporaryFile,  // a temporary file left by an interrupted conversion
};

struct Difference {
    std::string path;  // CPATH
    DifferenceKind kind = DifferenceKind::kWrongColumn;
    std::string column;  // for kWrongColumn: "STA", "CH", "SPS", "TQTY", "TBEGIN", ...
    std::string text;    // one line, without the path
};

// "missing-row", "extra-row", ... as the JSON summary names them.
const char* DifferenceKindName(DifferenceKind kind);

// Every difference, ordered by path; for one path in the order of the list above.
std::vector<Difference> CompareArchiveWithCatalog(const std::vector<ArchiveEntry>& entries,
                                                  const std::vector<CatalogRow>& rows);

// Where one row and the file at its CPATH disagree (the column differences above), as
// `trq check` reports them; empty when they agree.
std::vector<Difference> CompareRowWithFile(const CatalogRow& row, const ArchiveFile& file);

// True when TBEGIN lies within the whole second the header gives.
bool StartWithinHeaderSecond(double start, const ArchiveFile& file);

// Why the row's file cannot give its samples, in `trq check`'s words; empty when it can.
// A row whose path leads out of `dataDir` is refused without touching the file.
std::vector<std::string> RowFileProblems(const CatalogRow& row, const std::string& dataDir);
