#include "catalog/CatalogComparison.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <system_error>

#include "archive/ArchiveText.h"
#include "archive/RegistrationJournal.h"
#include "archive/StationDirectory.h"
#include "recorder/UtcTime.h"

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string Decimal(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

std::vector<fs::path> SortedEntries(const fs::path& directory) {
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        entries.push_back(it->path());
    }
    if (error) {
        throw std::runtime_error("listing " + directory.string() + " failed: " + error.message());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool RowRateMatchesHeader(double rowRate, double headerRate) {
    // The header writes the rate with six decimals.
    return std::fabs(rowRate - headerRate) <= 5e-7 * std::max(1.0, std::fabs(headerRate));
}

void CompareRow(const std::string& path, const CatalogRow& row, const ArchiveFile& file,
                std::vector<Difference>& out) {
    const ArchiveHeader& h = file.header;
    auto isNull = [&row](const char* column) {
        return std::find(row.nullColumns.begin(), row.nullColumns.end(), column) !=
               row.nullColumns.end();
    };
    auto wrong = [&](const char* column, std::string text) {
        if (isNull(column)) text = std::string(column) + " is NULL";
        out.push_back({path, DifferenceKind::kWrongColumn, column, std::move(text)});
    };
    if (row.station != h.station) {
        wrong("STA",
              "STA is " + Quoted(row.station) + ", the header's station is " + Quoted(h.station));
    }
    if (row.channel != h.channel) {
        wrong("CH",
              "CH is " + Quoted(row.channel) + ", the header's channel is " + Quoted(h.channel));
    }
    if (!RowRateMatchesHeader(row.rate, h.samplesPerSecond)) {
        wrong("SPS",
              "SPS is " + Decimal(row.rate) + ", the header's rate is " + h.samplesPerSecondText);
    }
    const std::optional<int64_t> announced = RowSampleCount(row);
    if (announced != file.sampleCount) {
        wrong("TQTY", "TQTY is " + Decimal(row.duration) + " s, " +
                          (announced ? std::to_string(*announced) + " samples"
                                     : std::string("not a whole number of samples")) +
                          " at SPS " + Decimal(row.rate) + "; the file holds " +
                          std::to_string(file.sampleCount) + " samples (" +
                          Decimal(file.Duration()) + " s)");
    }
    if (!StartWithinHeaderSecond(row.start, file)) {
        wrong("TBEGIN", "TBEGIN is " + FormatUtc(row.start, 6) +
                            ", not within the header's start second " +
                            FormatUtc(file.StartTime(), 0));
    }
    if (row.gain != h.gain) {
        wrong("GAIN", "GAIN is " + std::to_string(row.gain) + ", the header's gain is " +
                          std::to_string(h.gain));
    }
    if (row.dataType != kArchiveDataTypeFloat) {
        wrong("DATATYPE", "DATATYPE is " + std::to_string(row.dataType) + ", not 3 (FLOAT)");
    }
    if (row.dataOffset != static_cast<int32_t>(kArchiveHeaderSize)) {
        wrong("FOFF", "FOFF is " + std::to_string(row.dataOffset) + ", not 512");
    }
}

void CompareName(const ArchiveEntry& entry, std::vector<Difference>& out) {
    const ArchiveHeader& h = entry.file->header;
    const std::string expected = h.CatalogPathItGives();
    if (expected != entry.catalogPath) {
        out.push_back({entry.catalogPath, DifferenceKind::kFileName, "",
                       "the header gives the path " + expected});
    }
}

}  // namespace

std::vector<ArchiveEntry> ScanDataDirectory(const std::string& dataDir) {
    std::vector<ArchiveEntry> entries;
    for (const fs::path& station : SortedEntries(dataDir)) {
        std::error_code error;
        if (!fs::is_directory(station, error)) continue;
        for (const fs::path& path : SortedEntries(station)) {
            if (!fs::is_regular_file(path, error)) continue;
            const std::string name = path.filename().string();
            if (name == kStationLockFileName) continue;
            ArchiveEntry entry;
            entry.catalogPath = CatalogPath(station.filename().string(), name);
            entry.diskPath = path.string();
            if (name == kJournalFileName) {
                entry.kind = EntryKind::kJournal;
                const JournalContents journal = ReadJournal(entry.diskPath);
                entry.journalEntries = journal.entries.size() + journal.unreadable.size();
                entries.push_back(std::move(entry));
                continue;
            }
            if (IsTemporaryFileName(name)) {
                entry.kind = EntryKind::kTemporaryFile;
                entries.push_back(std::move(entry));
                continue;
            }
            try {
                entry.file = OpenArchiveFile(entry.diskPath);
            } catch (const std::runtime_error& e) {
                entry.error = e.what();
            }
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

const char* DifferenceKindName(DifferenceKind kind) {
    switch (kind) {
        case DifferenceKind::kMissingRow:
            return "missing-row";
        case DifferenceKind::kExtraRow:
            return "extra-row";
        case DifferenceKind::kDuplicateRows:
            return "duplicate-rows";
        case DifferenceKind::kBadFile:
            return "bad-file";
        case DifferenceKind::kFileName:
            return "file-name";
        case DifferenceKind::kWrongColumn:
            return "wrong-column";
        case DifferenceKind::kJournal:
            return "journal";
        case DifferenceKind::kTemporaryFile:
            return "temporary-file";
    }
    return "unknown";
}

std::vector<Difference> CompareRowWithFile(const CatalogRow& row, const ArchiveFile& file) {
    std::vector<Difference> differences;
    CompareRow(row.path, row, file, differences);
    return differences;
}

bool StartWithinHeaderSecond(double start, const ArchiveFile& file) {
    const double second = file.StartTime();
    return start >= second && start < second + 1;
}

std::vector<Difference> CompareArchiveWithCatalog(const std::vector<ArchiveEntry>& entries,
                                                  const std::vector<CatalogRow>& rows) {
    std::map<std::string, std::vector<const CatalogRow*>> rowsByPath;
    for (const CatalogRow& row : rows) rowsByPath[row.path].push_back(&row);
    std::map<std::string, const ArchiveEntry*> entryByPath;
    for (const ArchiveEntry& entry : entries) entryByPath[entry.catalogPath] = &entry;

    std::vector<Difference> out;
    for (const ArchiveEntry& entry : entries) {
        if (entry.kind == EntryKind::kJournal) {
            out.push_back({entry.catalogPath, DifferenceKind::kJournal, "",
                           std::to_string(entry.journalEntries) +
                               " registrations a conversion could not make are waiting here"});
            continue;
        }
        if (entry.kind == EntryKind::kTemporaryFile) {
            out.push_back({entry.catalogPath, DifferenceKind::kTemporaryFile, "",
                           "a temporary file left by an interrupted conversion"});
            continue;
        }
        const auto found = rowsByPath.find(entry.catalogPath);
        const std::size_t rowCount = found == rowsByPath.end() ? 0 : found->second.size();
        if (rowCount == 0) {
            out.push_back({entry.catalogPath, DifferenceKind::kMissingRow, "",
                           "the file has no FILELIST row"});
        } else if (rowCount > 1) {
            out.push_back({entry.catalogPath, DifferenceKind::kDuplicateRows, "",
                           std::to_string(rowCount) + " FILELIST rows for one file"});
        }
        if (!entry.file) {
            out.push_back({entry.catalogPath, DifferenceKind::kBadFile, "",
                           "not a consistent archive file: " + entry.error});
            continue;
        }
        CompareName(entry, out);
        if (rowCount > 0) CompareRow(entry.catalogPath, *found->second.front(), *entry.file, out);
    }
    for (const auto& [path, pathRows] : rowsByPath) {
        if (entryByPath.count(path) == 0) {
            out.push_back({path, DifferenceKind::kExtraRow, "",
                           std::to_string(pathRows.size()) +
                               (pathRows.size() == 1 ? " FILELIST row" : " FILELIST rows") +
                               " without a file"});
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Difference& a, const Difference& b) { return a.path < b.path; });
    return out;
}

std::vector<std::string> RowFileProblems(const CatalogRow& row, const std::string& dataDir) {
    if (!CatalogPathStaysBelow(row.path)) {
        return {"the path leads out of the data directory: refused"};
    }
    const std::string diskPath = DiskPathOfCatalogPath(dataDir, row.path);
    std::error_code ignored;
    if (!std::filesystem::exists(diskPath, ignored)) {
        return {"the FILELIST row has no file (" + diskPath + ")"};
    }
    std::vector<std::string> problems;
    try {
        for (const Difference& difference : CompareRowWithFile(row, OpenArchiveFile(diskPath))) {
            problems.push_back(difference.text);
        }
    } catch (const std::runtime_error& e) {
        problems.push_back(std::string("not a consistent archive file: ") + e.what());
    }
    return problems;
}
