#include "trq/commands/ExportCommand.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>

#include "archive/ArchiveFile.h"
#include "archive/ArchiveText.h"
#include "archive/StreamCodes.h"
#include "catalog/WindowSamples.h"
#include "recorder/UtcTime.h"
#include "trq/ExitCodes.h"
#include "trq/commands/CatalogOptions.h"
#include "trq/commands/InventoryOption.h"
#include "trq/mseed/EncodingChoice.h"
#include "trq/mseed/MiniSeedWriter.h"

namespace trq {

namespace {

struct ExportItem {
    ArchiveFile file;
    double start = 0;            // EpochSeconds of the first sample
    bool headerOnlyRow = false;  // the row was rebuilt from the header: start to the second
};

// Where the closing summary goes: standard error when the records go to standard output.
std::ostream& Summary(const ExportOptions& options, std::ostream& out, std::ostream& err) {
    return options.output == kStandardOutputName ? err : out;
}

bool IsValidRecordLength(int length) {
    return length >= 256 && length <= 65536 && (length & (length - 1)) == 0;
}

std::string OptionProblem(const ExportOptions& options) {
    if (!IsValidRecordLength(options.recordLength)) {
        return "--record-length " + std::to_string(options.recordLength) +
               " is not a power of two from 256 to 65536";
    }
    if (auto problem = SeedCodeProblem(options.network, 1, 2); !problem.empty()) {
        return "--network " + problem;
    }
    if (auto problem = SeedCodeProblem(options.location, 0, 2); !problem.empty()) {
        return "--location " + problem;
    }
    return "";
}

// Opens the files and checks that their names fit a SEED record; "" or the problem.
std::string OpenItem(const std::string& path, ExportItem& item) {
    try {
        item.file = OpenArchiveFile(path);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    item.start = item.file.StartTime();
    return StreamCodeProblem(item.file.header.station, item.file.header.channel);
}

// The TBEGIN of the file's one row, which must lie within the header's start second.
std::string StartFromCatalog(CatalogStore& catalog, ExportItem& item) {
    const std::string path = CatalogPathOfFile(item.file.path);
    const std::vector<CatalogRow> rows = catalog.ReadRows(path);
    if (rows.empty()) return "no FILELIST row with CPATH " + path;
    if (rows.size() > 1) return std::to_string(rows.size()) + " FILELIST rows with CPATH " + path;
    const double second = item.file.StartTime();
    if (!(rows[0].start >= second && rows[0].start < second + 1)) {
        return "TBEGIN " + FormatUtc(rows[0].start, 6) + " of CPATH " + path +
               " is not within the header's start second " + FormatUtc(second, 0) +
               " (trq check shows the catalog's differences)";
    }
    item.start = rows[0].start;
    item.headerOnlyRow = rows[0].creator.ends_with(kHeaderOnlyCreatorSuffix);
    return "";
}

// One export's traces, each read when its turn comes.
struct ExportSource {
    std::size_t count = 0;
    // Trace i, or none when it has no sample to write. Throws std::runtime_error with the
    // text to report when it cannot be read.
    std::function<std::optional<WindowTrace>(std::size_t)> read;
    const char* preposition;  // of the summary: "in" 2 traces, "from" 3 files
    const char* noun;
};

// Writes every trace of `source` with the export's one writer, finishes it and prints the
// summary. A trace that cannot be read ends the export with kExitFault, one that
// --encoding steim2 refuses with kExitSteim2Refused, an output that cannot be written with
// kExitOutput; an unfinished file is removed as its writer goes.
int WriteTraces(const ExportOptions& options, const ExportSource& source, std::ostream& out,
                std::ostream& err) {
    try {
        const std::unique_ptr<TraceWriter> writer =
            OpenExportWriter(options.format, options.output, options.recordLength);
        std::size_t written = 0;
        for (std::size_t i = 0; i < source.count; ++i) {
            std::optional<WindowTrace> trace;
            try {
                trace = source.read(i);
            } catch (const std::runtime_error& e) {
                err << "trq export: " << e.what() << "\n";
                return kExitFault;
            }
            if (!trace) continue;
            writer->Write(ExportTrace(options.format, options.network, options.location,
                                      trace->station, trace->channel, trace->rate, trace->start,
                                      trace->samples));
            ++written;
        }
        writer->Finish();
        Summary(options, out, err)
            << "trq export: "
            << writer->Summary(std::string(source.preposition) + " " + std::to_string(written) +
                               " " + source.noun + (written == 1 ? "" : "s"))
            << "\n";
    } catch (const Steim2Refusal& e) {
        err << "trq export: " << e.what() << "\n";
        return kExitSteim2Refused;
    } catch (const std::runtime_error& e) {
        err << "trq export: " << e.what() << "\n";
        return kExitOutput;
    }
    return kExitOk;
}

// Why the runs' names cannot go into SEED records, or "".
std::string SelectionNameProblem(const std::vector<ContinuousSegment>& segments) {
    for (const ContinuousSegment& segment : segments) {
        if (auto problem = StreamCodeProblem(segment.station, segment.channel); !problem.empty()) {
            return problem;
        }
    }
    return "";
}

int ExportSelection(const ExportOptions& options, std::ostream& out, std::ostream& err) {
    const SelectionOutcome selection =
        RunSelection(options.selection, SelectionDepth::kCheckedRuns, "trq export", err);
    if (selection.exitCode != kExitOk) return selection.exitCode;
    if (auto problem = SelectionNameProblem(selection.segments); !problem.empty()) {
        err << "trq export: " << problem << "\n";
        return kExitFault;
    }
    // A run without a sample in the window gives no trace.
    const ExportSource runs{selection.segments.size(),
                            [&](std::size_t i) -> std::optional<WindowTrace> {
                                const ContinuousSegment& run = selection.segments[i];
                                if (CountWindowSamples(run, selection.window) == 0) return {};
                                return ReadWindowSamples(selection.dataDir, run, selection.window);
                            },
                            "in", "trace"};
    const int exitCode = WriteTraces(options, runs, out, err);
    return exitCode == kExitOk && selection.skippedRows ? kExitFault : exitCode;
}

// Opens the catalog for the start times of files: a data source given on the command line
// must open; one found in the ini files may be missing (a machine without a catalog), and
// the files are then exported with the header's whole seconds. Empty, or why there is none.
std::string OpenCatalogForFiles(const CatalogArguments& arguments,
                                std::optional<CatalogStore>& catalog) {
    const FoundCatalog found = FindCatalog(arguments);
    try {
        catalog.emplace(found.login);
        return "";
    } catch (const CatalogError& e) {
        if (!found.fromSettings) throw CatalogError(found.login.dsn + ": " + e.what());
        return "no catalog (" + found.login.dsn + ": " + e.what() + ")";
    }
}

int ExportFiles(const ExportOptions& options, std::ostream& out, std::ostream& err) {
    std::vector<ExportItem> items(options.files.size());
    int exitCode = kExitOk;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (auto problem = OpenItem(options.files[i], items[i]); !problem.empty()) {
            err << "trq export: " << options.files[i] << ": " << problem << "\n";
            exitCode = kExitFault;
        }
    }
    if (exitCode != kExitOk) return exitCode;

    std::optional<CatalogStore> catalog;
    std::string noCatalog;
    try {
        noCatalog = OpenCatalogForFiles(options.selection.catalog, catalog);
        for (ExportItem& item : items) {
            if (!catalog) break;
            if (auto problem = StartFromCatalog(*catalog, item); !problem.empty()) {
                err << "trq export: " << item.file.path << ": " << problem << "\n";
                exitCode = kExitFault;
            } else if (item.headerOnlyRow) {
                err << "trq export: warning: " << item.file.path
                    << ": its FILELIST row was rebuilt from the file's header by trq check "
                       "--repair: the start time is the header's whole second, without "
                       "the fraction of a second\n";
            }
        }
    } catch (const CatalogError& e) {
        err << "trq export: catalog " << e.what() << "\n";
        return kExitCatalog;
    } catch (const SettingsError& e) {
        err << "trq export: " << e.what() << "\n";
        return kExitUsage;
    }
    if (!noCatalog.empty()) {
        err << "trq export: warning: " << noCatalog
            << ": each start time is the archive "
               "header's whole second, without the fraction of a second\n";
    }
    if (exitCode != kExitOk) return exitCode;

    const ExportSource files{
        items.size(),
        [&](std::size_t i) -> std::optional<WindowTrace> {
            const ExportItem& item = items[i];
            const ArchiveHeader& header = item.file.header;
            try {
                return WindowTrace{header.station, header.channel, header.samplesPerSecond,
                                   std::llround(item.start * 1e6), ReadArchiveSamples(item.file)};
            } catch (const std::runtime_error& e) {
                throw std::runtime_error(item.file.path + ": " + e.what());
            }
        },
        "from", "file"};
    return WriteTraces(options, files, out, err);
}

}  // namespace

int RunExport(const ExportOptions& given, std::ostream& out, std::ostream& err) {
    ExportOptions options = given;
    if (auto problem = ExportFormatProblem(options.format, options.output,
                                           !options.selection.stations.empty());
        !problem.empty()) {
        err << "trq export: " << problem << "\n";
        return kExitUsage;
    }
    try {
        options.format.loadedInventory = LoadInventory(options.format.inventory);
    } catch (const InventoryError& e) {
        err << "trq export: " << e.what() << "\n";
        return kExitUsage;
    }
    if (options.files.empty() == options.selection.stations.empty()) {
        err << "trq export: give archive files, or --station"
            << (options.files.empty() ? "" : ", not both") << "\n";
        return kExitUsage;
    }
    if (auto problem = OptionProblem(options); !problem.empty()) {
        err << "trq export: " << problem << "\n";
        return kExitUsage;
    }
    if (options.output == kStandardOutputName && ::isatty(STDOUT_FILENO)) {
        err << "trq export: -o - writes miniSEED records to standard output, which is a "
               "terminal: redirect it to a file or a pipe\n";
        return kExitUsage;
    }
    return options.files.empty() ? ExportSelection(options, out, err)
                                 : ExportFiles(options, out, err);
}

AddedCommand AddExportCommand(CLI::App& app) {
    auto options = std::make_shared<ExportOptions>();
    CLI::App* command = app.add_subcommand(
        "export",
        "Writes archive files as miniSEED records: Steim-2 where lossless, else float32.");
    CLI::Option* files = command->add_option("FILE", options->files, "Archive files");
    AddSelectionOptions(*command, options->selection, SelectionUse::kInsteadOfFiles);
    AddSelectionCatalogOptions(*command, options->selection);
    AddDataDirOption(*command, options->selection);
    files->excludes("--station");
    command->add_option("-o,--output", options->output,
                        "miniSEED file to write (- for standard output)");
    AddExportFormatOptions(*command, options->format);
    command->add_option("--network", options->network, "Network code (1-2 characters)")
        ->capture_default_str();
    command->add_option("--location", options->location, "Location code (0-2 characters)");
    command
        ->add_option("--record-length", options->recordLength,
                     "Record length in bytes, a power of two from 256 to 65536")
        ->capture_default_str();
    return {command, [options](std::ostream& out, std::ostream& err) {
                return RunExport(*options, out, err);
            }};
}

}  // namespace trq
