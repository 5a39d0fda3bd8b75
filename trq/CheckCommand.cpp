#include "trq/CheckCommand.h"

#include <map>
#include <optional>
#include <set>

#include "archive/ArchiveWriter.h"
#include "catalog/FileRegistration.h"
#include "trq/CatalogComparison.h"
#include "trq/ConsoleCapture.h"
#include "trq/ExitCodes.h"
#include "trq/JsonOutput.h"

namespace trq {

namespace {

struct Repair {
    std::string path;
    std::string action;  // "inserted", "updated", "deleted"
    std::size_t rows = 1;
    bool ok = true;
};

struct CheckResult {
    std::size_t files = 0;
    std::size_t rows = 0;
    std::vector<Difference> differences;
    std::vector<Repair> repairs;
    std::vector<Difference> remaining;  // after the repair
    std::size_t rowsAfter = 0;
};

// The row the converter would have written for the file. A row that is kept keeps its
// TBEGIN when it lies within the header's start second, and its CREATER.
FileRegistration RowFromFile(const ArchiveEntry& entry, const CatalogRow* kept) {
    const ArchiveFile& file = *entry.file;
    FileRegistration row;
    row.path = entry.catalogPath;
    row.station = file.header.station;
    row.channel = file.header.channel;
    row.start = kept != nullptr && StartWithinHeaderSecond(kept->start, file) ? kept->start
                                                                              : file.StartTime();
    row.duration = file.Duration();
    row.rate = file.header.samplesPerSecond;
    row.gain = file.header.gain;
    row.dataType = kFloatDataType;
    return row;
}

std::vector<Repair> RepairCatalog(CatalogSession& catalog, const std::vector<ArchiveEntry>& entries,
                                  const std::vector<Difference>& differences,
                                  const std::string& creator) {
    std::set<std::string> paths;
    for (const Difference& d : differences) paths.insert(d.path);
    std::map<std::string, const ArchiveEntry*> entryByPath;
    for (const ArchiveEntry& entry : entries) entryByPath[entry.catalogPath] = &entry;

    std::vector<Repair> repairs;
    for (const std::string& path : paths) {
        const auto found = entryByPath.find(path);
        const std::vector<CatalogRow> rows = catalog.ReadRows(path);
        if (found == entryByPath.end()) {  // rows without a file
            if (rows.empty()) continue;
            catalog.DeleteRows(path);
            repairs.push_back({path, "deleted", rows.size()});
            continue;
        }
        const ArchiveEntry& entry = *found->second;
        if (!entry.file) continue;  // a broken file gives no row to write
        const CatalogRow* kept = rows.empty() ? nullptr : &rows.front();
        const FileRegistration row = RowFromFile(entry, kept);
        const std::string& rowCreator =
            kept == nullptr || kept->creator.empty() ? creator : kept->creator;
        if (rows.size() > 1) {
            // Duplicates: all go, and one row made from the first takes their place.
            catalog.DeleteRows(path);
            repairs.push_back({path, "deleted", rows.size()});
            kept = nullptr;
        }
        if (kept == nullptr) {
            const bool ok = RegisterNewFileRow(catalog.Database(), rowCreator, row);
            repairs.push_back({path, "inserted", 1, ok});
        } else {
            const bool ok = UpdateExtendedFileRow(catalog.Database(), rowCreator, row);
            repairs.push_back({path, "updated", 1, ok});
        }
    }
    return repairs;
}

CheckResult Check(const CheckOptions& options) {
    CheckResult result;
    std::vector<ArchiveEntry> entries = ScanDataDirectory(options.dataDir);
    CatalogSession catalog(options.login);
    std::vector<CatalogRow> rows = catalog.ReadRows();
    result.files = entries.size();
    result.rows = rows.size();
    result.differences = CompareArchiveWithCatalog(entries, rows);
    result.remaining = result.differences;
    result.rowsAfter = rows.size();
    if (options.repair && !result.differences.empty()) {
        result.repairs = RepairCatalog(catalog, entries, result.differences, options.creator);
        rows = catalog.ReadRows();
        result.rowsAfter = rows.size();
        result.remaining = CompareArchiveWithCatalog(entries, rows);
    }
    return result;
}

std::string Line(const Difference& d) {
    return d.path + ": " + d.text;
}

void PrintText(const CheckOptions& options, const CheckResult& result, std::ostream& out) {
    for (const Difference& d : result.differences) out << Line(d) << "\n";
    for (const Repair& r : result.repairs) {
        out << "repair " << r.path << ": ";
        if (!r.ok) {
            out << "writing the row failed\n";
        } else if (r.action == "deleted") {
            out << r.rows << (r.rows == 1 ? " row deleted\n" : " rows deleted\n");
        } else {
            out << "row " << r.action << "\n";
        }
    }
    if (options.repair && !result.differences.empty()) {
        for (const Difference& d : result.remaining) out << "still differs: " << Line(d) << "\n";
    }
    out << "trq check: " << result.files << (result.files == 1 ? " file, " : " files, ")
        << result.rowsAfter << (result.rowsAfter == 1 ? " row: " : " rows: ");
    if (result.remaining.empty() && result.differences.empty()) {
        out << "the archive and the catalog agree\n";
    } else if (result.remaining.empty()) {
        out << result.differences.size() << " differences repaired, the archive and the "
            << "catalog agree\n";
    } else {
        out << result.remaining.size()
            << (result.remaining.size() == 1 ? " difference" : " differences") << "\n";
    }
}

nlohmann::json DifferencesJson(const std::vector<Difference>& differences) {
    nlohmann::json list = nlohmann::json::array();
    for (const Difference& d : differences) {
        nlohmann::json item = {
            {"path", d.path}, {"kind", DifferenceKindName(d.kind)}, {"text", d.text}};
        if (!d.column.empty()) item["column"] = d.column;
        list.push_back(item);
    }
    return list;
}

nlohmann::json ToJson(const CheckOptions& options, const CheckResult& result,
                      const std::vector<std::string>& console) {
    nlohmann::json repairs = nlohmann::json::array();
    for (const Repair& r : result.repairs) {
        repairs.push_back({{"path", r.path}, {"action", r.action}, {"rows", r.rows}, {"ok", r.ok}});
    }
    return {{"command", "check"},
            {"dataDir", options.dataDir},
            {"dsn", options.login.dsn},
            {"ok", result.remaining.empty()},
            {"files", result.files},
            {"rows", result.rows},
            {"differences", DifferencesJson(result.differences)},
            {"repairs", repairs},
            {"remaining", DifferencesJson(result.remaining)},
            {"rowsAfter", result.rowsAfter},
            {"console", console}};
}

}  // namespace

int RunCheck(const CheckOptions& options, std::ostream& out, std::ostream& err) {
    CheckResult result;
    std::vector<std::string> console;
    try {
        // The converter's registration prints its database errors on standard output.
        std::optional<ConsoleCapture> capture;
        if (options.json) capture.emplace();
        result = Check(options);
        if (capture) console = capture->Finish();
    } catch (const CatalogError& e) {
        err << "trq check: catalog " << options.login.dsn << ": " << e.what() << "\n";
        return kExitCatalog;
    } catch (const std::runtime_error& e) {
        err << "trq check: " << e.what() << "\n";
        return kExitFault;
    }
    if (options.json) {
        WriteJson(out, ToJson(options, result, console));
    } else {
        PrintText(options, result, out);
    }
    for (const Repair& r : result.repairs) {
        if (!r.ok) return kExitCatalog;
    }
    return result.remaining.empty() ? kExitOk : kExitFault;
}

}  // namespace trq
