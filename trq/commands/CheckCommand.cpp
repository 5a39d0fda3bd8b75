#include "trq/commands/CheckCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "archive/ArchiveText.h"
#include "archive/StationRecovery.h"
#include "catalog/CatalogComparison.h"
#include "catalog/ChecksumStore.h"
#include "catalog/DatabaseRegistrar.h"
#include "catalog/FileRowWriter.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "platform/Clock.h"
#include "trq/ExitCodes.h"
#include "trq/commands/ConsoleCollector.h"
#include "trq/commands/JsonOutput.h"

namespace trq {

namespace {

// What --repair did to one path.
enum class RepairAction {
    kInserted,        // a row made from the file
    kUpdated,         // the row rewritten from the file
    kDeleted,         // rows without a file, or duplicates
    kNotRegistered,   // a file whose name is not the one its header gives
    kJournalApplied,  // the station's journal made every registration it held
    kJournalLeft,     // ... some of them, the rest left in it
    kRemoved,         // a temporary file of an interrupted conversion
    kLeft,            // a station a converter holds: left to it
};

// The action's name in --json.
const char* ActionName(RepairAction action) {
    switch (action) {
        case RepairAction::kInserted:
            return "inserted";
        case RepairAction::kUpdated:
            return "updated";
        case RepairAction::kDeleted:
            return "deleted";
        case RepairAction::kNotRegistered:
            return "not-registered";
        case RepairAction::kJournalApplied:
            return "journal-applied";
        case RepairAction::kJournalLeft:
            return "journal-left";
        case RepairAction::kRemoved:
            return "removed";
        case RepairAction::kLeft:
            return "left";
    }
    return "";
}

struct Repair {
    std::string path;
    RepairAction action;
    std::size_t rows = 1;
    bool ok = true;
    // An inserted or updated row whose TBEGIN had to come from the header: whole seconds.
    bool fromHeader = false;
};

// How long --repair waits for a converter that holds a station before it leaves that
// station's journal and temporary files to the converter.
constexpr std::chrono::seconds kStationLockWait{10};

struct CheckResult {
    std::size_t files = 0;
    std::size_t rows = 0;
    std::vector<Difference> differences;
    std::vector<Repair> repairs;
    std::vector<Difference> remaining;  // after the repair
    std::size_t rowsAfter = 0;
    // Archive files without a checksum (none when the catalog keeps no checksums), and the
    // checksums the repair recorded.
    std::optional<std::size_t> withoutChecksum;
    std::size_t checksumsRecorded = 0;
};

// The row the converter would have written for the file. A row that is kept keeps its
// TBEGIN when it lies within the header's start second, and its CREATER. Without one, the
// header gives the start only to the whole second.
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
    row.dataType = kArchiveDataTypeFloat;
    return row;
}

bool NameMatchesHeader(const ArchiveEntry& entry) {
    const ArchiveHeader& h = entry.file->header;
    return h.CatalogPathItGives() == entry.catalogPath;
}

std::vector<Repair> RepairCatalog(CatalogStore& catalog, const std::vector<ArchiveEntry>& entries,
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
            repairs.push_back({path, RepairAction::kDeleted, rows.size()});
            continue;
        }
        const ArchiveEntry& entry = *found->second;
        if (!entry.file) continue;  // a broken file gives no row to write
        if (!NameMatchesHeader(entry)) {
            // A copy or a renamed file: the converter would never have made this file, and a
            // row for it would describe its samples twice.
            repairs.push_back({path, RepairAction::kNotRegistered, 0});
            continue;
        }
        const CatalogRow* kept = rows.empty() ? nullptr : &rows.front();
        const FileRegistration row = RowFromFile(entry, kept);
        std::string rowCreator = kept == nullptr || kept->creator.empty() ? creator : kept->creator;
        const bool fromHeader =
            kept == nullptr || !StartWithinHeaderSecond(kept->start, *entry.file);
        // Marked, so that exports can warn that the start is known to the second only.
        if (fromHeader && !rowCreator.ends_with(kHeaderOnlyCreatorSuffix)) {
            rowCreator += kHeaderOnlyCreatorSuffix;
        }
        if (rows.size() > 1) {
            // Duplicates: all go, and one row made from the first takes their place.
            catalog.DeleteRows(path);
            repairs.push_back({path, RepairAction::kDeleted, rows.size()});
            kept = nullptr;
        }
        if (kept == nullptr) {
            // Added as an extension's row is: a new file's registration would drop the
            // path's checksum, which the file has to be verified against.
            const bool ok = UpdateExtendedFileRow(catalog.Database(), rowCreator, row);
            repairs.push_back({path, RepairAction::kInserted, 1, ok, fromHeader});
        } else {
            const bool ok = UpdateExtendedFileRow(catalog.Database(), rowCreator, row);
            repairs.push_back({path, RepairAction::kUpdated, 1, ok, fromHeader});
        }
    }
    return repairs;
}

// The station's own files first: temporary files of interrupted conversions go, and the
// journal's registrations are made with their exact values. Both under the station's lock,
// so that a converter of the station is not disturbed; a station it keeps busy is left to it.
void RepairStationFiles(const std::string& dataDir, const std::vector<ArchiveEntry>& entries,
                        DatabaseRegistrar& registrar, std::vector<Repair>& repairs) {
    std::map<std::string, std::vector<const ArchiveEntry*>> byStation;
    for (const ArchiveEntry& entry : entries) {
        if (entry.kind == EntryKind::kArchiveFile) continue;
        byStation[entry.catalogPath.substr(0, entry.catalogPath.find('\\'))].push_back(&entry);
    }
    RecoveryHooks hooks;
    hooks.registerEntry = [&registrar](const JournalEntry& e) {
        return e.recording ? registrar.RegisterRecording(*e.recording)
                           : registrar.Register(e.kind, e.file, e.creator);
    };
    for (const auto& [station, own] : byStation) {
        const StationRecovery recovery = RecoverStation(dataDir, station, kStationLockWait, hooks);
        const JournalReplay& replay = recovery.replay;
        for (const ArchiveEntry* entry : own) {
            const std::string name = entry->catalogPath.substr(station.size() + 1);
            if (!recovery.lock.Held()) {
                repairs.push_back({entry->catalogPath, RepairAction::kLeft, 0});
            } else if (entry->kind == EntryKind::kTemporaryFile) {
                const bool removed = std::find(recovery.removed.begin(), recovery.removed.end(),
                                               name) != recovery.removed.end();
                repairs.push_back({entry->catalogPath, RepairAction::kRemoved, 0, removed});
            } else {
                repairs.push_back({entry->catalogPath,
                                   replay.remaining == 0 ? RepairAction::kJournalApplied
                                                         : RepairAction::kJournalLeft,
                                   replay.applied, replay.remaining == 0 && replay.error.empty()});
            }
        }
    }
}

std::size_t ArchiveFileCount(const std::vector<ArchiveEntry>& entries) {
    std::size_t count = 0;
    for (const ArchiveEntry& entry : entries) count += entry.kind == EntryKind::kArchiveFile;
    return count;
}

// The archive files that could have a checksum and have none: consistent files under the
// names their headers give (a copy or a renamed file never gets a row either).
std::vector<const ArchiveEntry*> WithoutChecksum(const std::vector<ArchiveEntry>& entries,
                                                 const std::vector<std::string>& checksummed) {
    const std::set<std::string> known(checksummed.begin(), checksummed.end());
    std::vector<const ArchiveEntry*> without;
    for (const ArchiveEntry& entry : entries) {
        if (entry.kind == EntryKind::kArchiveFile && entry.file && NameMatchesHeader(entry) &&
            !known.count(entry.catalogPath)) {
            without.push_back(&entry);
        }
    }
    return without;
}

// Records the checksums of the files without one that agree with their rows: the file has
// its one row, and its name, header and sample count are the row's, as the catalog had it
// before this repair (`before`) and after it. A row the repair had to mend from the file
// itself proves nothing of the file: its checksum waits for the next repair, after this
// one's report. A file that changed since it was compared is left for the next run too.
std::size_t RecordMissingChecksums(CatalogStore& catalog,
                                   const std::vector<const ArchiveEntry*>& without,
                                   const std::vector<Difference>& before,
                                   const std::vector<Difference>& after) {
    std::set<std::string> differing;
    for (const Difference& d : before) differing.insert(d.path);
    for (const Difference& d : after) differing.insert(d.path);
    std::size_t recorded = 0;
    for (const ArchiveEntry* entry : without) {
        if (differing.count(entry->catalogPath)) continue;
        FileChecksum checksum;
        try {
            checksum = ChecksumOfFile(entry->diskPath);
        } catch (const std::runtime_error&) {
            continue;  // gone or unreadable since the scan: the comparison will tell
        }
        if (checksum.length != static_cast<int64_t>(kArchiveHeaderSize) +
                                   4 * static_cast<int64_t>(entry->file->sampleCount)) {
            continue;
        }
        WriteChecksum(catalog.Database(), entry->catalogPath, checksum,
                      static_cast<double>(platform::Now()));
        ++recorded;
    }
    return recorded;
}

CheckResult Check(const CheckOptions& options, const FoundCatalog& found) {
    CheckResult result;
    std::vector<ArchiveEntry> entries = ScanDataDirectory(found.dataDir);
    CatalogStore catalog(found.login);
    std::vector<CatalogRow> rows = catalog.ReadRows();
    result.files = ArchiveFileCount(entries);
    result.rows = rows.size();
    result.differences = CompareArchiveWithCatalog(entries, rows);
    result.remaining = result.differences;
    result.rowsAfter = rows.size();
    const bool checksums = ChecksumTableExists(catalog.Database());
    if (checksums) {
        result.withoutChecksum =
            WithoutChecksum(entries, ChecksummedPaths(catalog.Database())).size();
    }
    if (options.repair && (!result.differences.empty() || result.withoutChecksum.value_or(0))) {
        DatabaseRegistrar registrar(
            catalog.Database(), options.creator, found.login,
            CDatabase::kSearchedPositionedWrites | CDatabase::kNoOdbcDialog);
        RepairStationFiles(found.dataDir, entries, registrar, result.repairs);
        entries = ScanDataDirectory(found.dataDir);
        rows = catalog.ReadRows();
        const std::vector<Difference> left = CompareArchiveWithCatalog(entries, rows);
        for (Repair& r : RepairCatalog(catalog, entries, left, options.creator)) {
            result.repairs.push_back(std::move(r));
        }
        rows = catalog.ReadRows();
        result.rowsAfter = rows.size();
        result.remaining = CompareArchiveWithCatalog(entries, rows);
        if (checksums) {
            // The journals may have brought checksums: those are the converter's own.
            result.checksumsRecorded = RecordMissingChecksums(
                catalog, WithoutChecksum(entries, ChecksummedPaths(catalog.Database())),
                result.differences, result.remaining);
            result.withoutChecksum =
                WithoutChecksum(entries, ChecksummedPaths(catalog.Database())).size();
        }
    }
    return result;
}

std::string RepairText(const Repair& r) {
    const std::string rows = std::to_string(r.rows);
    const std::string fromHeader =
        r.fromHeader ? " from the header alone: TBEGIN only to the whole second" : "";
    switch (r.action) {
        case RepairAction::kLeft:
            return "left alone: a conversion of the station is running";
        case RepairAction::kJournalApplied:
            return rows + " registrations made from the journal";
        case RepairAction::kJournalLeft:
            return rows + " registrations made from the journal; the rest could not be made";
        case RepairAction::kRemoved:
            return r.ok ? "removed" : "could not be removed";
        case RepairAction::kNotRegistered:
            return "not registered: the file's name is not the one its header gives";
        case RepairAction::kDeleted:
            if (!r.ok) return "writing the row failed";
            return rows + (r.rows == 1 ? " row deleted" : " rows deleted");
        case RepairAction::kInserted:
        case RepairAction::kUpdated:
            if (!r.ok) return "writing the row failed";
            return std::string("row ") + ActionName(r.action) + fromHeader;
    }
    return "";
}

std::string Line(const Difference& d) {
    return d.path + ": " + d.text;
}

void PrintText(const CheckOptions& options, const CheckResult& result, std::ostream& out) {
    for (const Difference& d : result.differences) out << Line(d) << "\n";
    for (const Repair& r : result.repairs) {
        out << "repair " << r.path << ": " << RepairText(r) << "\n";
    }
    if (result.checksumsRecorded > 0) {
        out << "repair: checksums recorded for " << result.checksumsRecorded
            << (result.checksumsRecorded == 1 ? " file" : " files") << " that had none\n";
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
    if (const std::size_t without = result.withoutChecksum.value_or(0); without > 0) {
        out << "trq check: " << without << (without == 1 ? " file has" : " files have")
            << (options.repair ? " no checksum yet: a file whose row this repair mended gets "
                                 "its checksum from the next --repair\n"
                               : " no checksum: trq check --repair records them\n");
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

nlohmann::json ToJson(const FoundCatalog& found, const CheckResult& result,
                      const std::vector<std::string>& console) {
    nlohmann::json repairs = nlohmann::json::array();
    for (const Repair& r : result.repairs) {
        nlohmann::json item = {
            {"path", r.path}, {"action", ActionName(r.action)}, {"rows", r.rows}, {"ok", r.ok}};
        if (r.fromHeader) item["fromHeader"] = true;
        repairs.push_back(item);
    }
    return {{"command", "check"},
            {"dataDir", found.dataDir},
            {"dsn", found.login.dsn},
            {"ok", result.remaining.empty()},
            {"files", result.files},
            {"rows", result.rows},
            {"differences", DifferencesJson(result.differences)},
            {"repairs", repairs},
            {"remaining", DifferencesJson(result.remaining)},
            {"rowsAfter", result.rowsAfter},
            {"withoutChecksum", result.withoutChecksum ? nlohmann::json(*result.withoutChecksum)
                                                       : nlohmann::json(nullptr)},
            {"checksumsRecorded", result.checksumsRecorded},
            {"console", console}};
}

int RunVerifyCommand(const CheckOptions& options, const FoundCatalog& found, std::ostream& out,
                     std::ostream& err) {
    VerifyOptions verify;
    verify.json = options.json;
    verify.recordings = options.recordings;
    if (options.repair) {
        err << "trq check: --verify and --repair are separate runs: --repair mends the rows, "
               "--verify reads the files against their checksums\n";
        return kExitUsage;
    }
    if (!options.budget.empty() && !(verify.budget = ParseSize(options.budget))) {
        err << "trq check: --budget \"" << options.budget
            << "\" is not a size in bytes (1000000, 500M, 40G, 2T)\n";
        return kExitUsage;
    }
    if (!options.olderThan.empty() && !(verify.olderThanSeconds = ParseAge(options.olderThan))) {
        err << "trq check: --older-than \"" << options.olderThan
            << "\" is not an age (45s, 90m, 12h, 30d, 2w)\n";
        return kExitUsage;
    }
    return RunVerify(verify, found, out, err);
}

}  // namespace

int RunCheck(const CheckOptions& options, std::ostream& out, std::ostream& err) {
    FoundCatalog found;
    try {
        found = FindCatalog(options.catalog);
    } catch (const SettingsError& e) {
        err << "trq check: " << e.what() << "\n";
        return kExitUsage;
    }
    if (found.dataDir.empty()) {
        err << "trq check: no data directory: give DATADIR, or [DATA] DIR in ./plq2trq.ini or "
               "trq.ini\n";
        return kExitUsage;
    }
    if (options.verify || !options.budget.empty() || !options.olderThan.empty()) {
        return RunVerifyCommand(options, found, out, err);
    }
    CheckResult result;
    std::vector<std::string> console;
    try {
        // The converter's registration prints its database errors on the console.
        std::optional<ConsoleCollector> collector;
        if (options.json) collector.emplace();
        result = Check(options, found);
        if (collector) console = collector->lines;
    } catch (const CatalogError& e) {
        err << "trq check: catalog " << found.login.dsn << ": " << e.what() << "\n";
        return kExitCatalog;
    } catch (const CDBException& e) {
        err << "trq check: catalog " << found.login.dsn << ": " << e.errorText;
        return kExitCatalog;
    } catch (const std::runtime_error& e) {
        err << "trq check: " << e.what() << "\n";
        return kExitFault;
    }
    if (!result.withoutChecksum) {
        err << "trq check: the catalog " << found.login.dsn
            << " has no table FILECHECKSUM (it was set up before checksums were kept): the files' "
               "checksums are not checked; running scripts/catalog-setup.sh again adds it\n";
    }
    if (options.json) {
        WriteJson(out, ToJson(found, result, console));
    } else {
        PrintText(options, result, out);
    }
    for (const Repair& r : result.repairs) {
        if (!r.ok) return kExitCatalog;
    }
    return result.remaining.empty() ? kExitOk : kExitFault;
}

AddedCommand AddCheckCommand(CLI::App& app) {
    auto check = std::make_shared<CheckOptions>();
    CLI::App* command = app.add_subcommand(
        "check",
        "Compares the archive below DATADIR with the catalog's FILELIST rows; exits with 1 "
        "when they differ. The catalog and DATADIR are found as the converter finds them "
        "unless given.");
    command->add_option("DATADIR", check->catalog.dataDir,
                        "The archive's data directory (default: [DATA] DIR)");
    AddCatalogArguments(*command, check->catalog);
    command->add_flag("--repair", check->repair,
                      "Rewrite the rows from the files through the converter's "
                      "registration");
    command->add_option("--creator", check->creator,
                        "CREATER of rows that --repair adds (default PLQ2TRQ)");
    command->add_flag("--json", check->json, "One JSON document on standard output");
    command->add_flag("--verify", check->verify,
                      "Read the files again and compare them with the checksums recorded when "
                      "they were written; exits with 9 when one does not match");
    command->add_option("--budget", check->budget,
                        "With --verify: read about SIZE bytes (40G, 500M), the files verified "
                        "longest ago first");
    command->add_option("--older-than", check->olderThan,
                        "With --verify: only files last verified longer than AGE ago (30d, 12h)");
    return {command,
            [check](std::ostream& out, std::ostream& err) { return RunCheck(*check, out, err); }};
}

}  // namespace trq
