#include "trq/commands/SelectionQuery.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>

#include "archive/ArchiveFile.h"
#include "archive/ArchiveText.h"
#include "catalog/Availability.h"
#include "catalog/CatalogComparison.h"
#include "catalog/WindowSamples.h"
#include "recorder/UtcTime.h"
#include "trq/ExitCodes.h"

namespace trq {

namespace {

std::string JoinedPatterns(const std::vector<std::string>& patterns) {
    std::string text;
    for (const std::string& pattern : patterns) text += (text.empty() ? "" : ",") + pattern;
    return text;
}

std::string NotATime(const std::string& text) {
    return "\"" + text +
           "\" is not an ISO 8601 time in UTC (2013-10-22, 2013-10-22T13:47, "
           "2013-10-22T13:47:34.25Z)";
}

// The selection from the command line's texts, or the problem with them.
std::string ParseSelection(const SelectionArguments& arguments, CatalogSelection& selection) {
    // No --station: every station. An empty name stays: it fits no station.
    if (!arguments.stations.empty()) selection.stations = arguments.stations;
    // An empty --channel has always meant every channel.
    if (!arguments.channels.empty() && arguments.channels != std::vector<std::string>{""}) {
        selection.channels = arguments.channels;
    }
    if (!arguments.from.empty()) {
        selection.from = ParseIsoUtcMicroseconds(arguments.from);
        if (!selection.from) return "--from " + NotATime(arguments.from);
    }
    if (arguments.to.empty()) return "";
    const std::optional<int64_t> to = ParseIsoUtcMicroseconds(arguments.to);
    if (!to) return "--to " + NotATime(arguments.to);
    if (selection.from && *to < *selection.from) {
        return "--to " + arguments.to + " lies before --from " + arguments.from;
    }
    selection.to = *to;
    return "";
}

// "station ABC", "channels BHZ,BHN".
std::string DescribeCodes(const std::string& kind, const std::vector<std::string>& patterns) {
    return kind + (patterns.size() == 1 ? " " : "s ") + JoinedPatterns(patterns);
}

// Leaves out (and reports) the rows whose files cannot give their samples.
void KeepRowsWithGoodFiles(SelectionOutcome& outcome, const std::string& commandName,
                           std::ostream& err) {
    std::erase_if(outcome.rows, [&](const CatalogRow& row) {
        const std::vector<std::string> problems = RowFileProblems(row, outcome.dataDir);
        for (const std::string& problem : problems) {
            err << commandName << ": skipped " << row.path << ": " << problem << "\n";
        }
        if (problems.empty() && row.creator.ends_with(kHeaderOnlyCreatorSuffix)) {
            err << commandName << ": warning: " << row.path
                << ": its FILELIST row was rebuilt from the file's header by trq check "
                   "--repair: its start is the header's whole second\n";
        }
        outcome.skippedRows = outcome.skippedRows || !problems.empty();
        return !problems.empty();
    });
}

// The rows of the selection from the catalog; false with the exit code set when none.
bool ReadSelectedRows(const SelectionArguments& arguments, const std::string& commandName,
                      std::ostream& err, SelectionOutcome& outcome) {
    CatalogLogin login;
    const bool emptyWindow =
        outcome.selection.to && *outcome.selection.to == outcome.selection.From();
    try {
        const FoundCatalog found = FindCatalog(arguments.catalog);
        login = found.login;
        outcome.dataDir = found.dataDir;
        CatalogStore catalog(login, CatalogStore::Use::kReadOnly);
        if (!emptyWindow) outcome.rows = catalog.SelectRows(outcome.selection);
    } catch (const CatalogError& e) {
        err << commandName << ": catalog " << login.dsn << ": " << e.what() << "\n";
        outcome.exitCode = kExitCatalog;
        return false;
    } catch (const SettingsError& e) {
        err << commandName << ": " << e.what() << "\n";
        outcome.exitCode = kExitUsage;
        return false;
    }
    if (outcome.rows.empty()) {
        err << commandName << ": nothing found for " << DescribeSelection(outcome.selection)
            << "\n";
        outcome.exitCode = kExitNothingFound;
        return false;
    }
    return true;
}

bool AnySampleInWindow(const SelectionOutcome& outcome) {
    return std::any_of(outcome.segments.begin(), outcome.segments.end(),
                       [&](const ContinuousSegment& segment) {
                           return CountWindowSamples(segment, outcome.window) > 0;
                       });
}

}  // namespace

std::string DescribeStations(const CatalogSelection& selection) {
    if (selection.stations == std::vector<std::string>{"*"}) return "every station";
    return DescribeCodes("station", selection.stations);
}

std::string DescribeSelection(const CatalogSelection& selection) {
    return DescribeStations(selection) + ", " + DescribeCodes("channel", selection.channels) +
           ", " +
           (selection.from ? FormatIsoUtcMicroseconds(*selection.from) : "the first sample") +
           " to " + (selection.to ? FormatIsoUtcMicroseconds(*selection.to) : "the last sample");
}

nlohmann::json SelectionJson(const CatalogSelection& selection) {
    const auto time = [](const std::optional<int64_t>& at) {
        return at ? nlohmann::json(FormatIsoUtcMicroseconds(*at)) : nlohmann::json(nullptr);
    };
    return {{"station", JoinedPatterns(selection.stations)},
            {"channel", JoinedPatterns(selection.channels)},
            {"from", time(selection.from)},
            {"to", time(selection.to)}};
}

SelectionOutcome RunSelection(const SelectionArguments& arguments, SelectionDepth depth,
                              const std::string& commandName, std::ostream& err) {
    SelectionOutcome outcome;
    if (const std::string problem = ParseSelection(arguments, outcome.selection);
        !problem.empty()) {
        err << commandName << ": " << problem << "\n";
        outcome.exitCode = kExitUsage;
        return outcome;
    }
    if (!ReadSelectedRows(arguments, commandName, err, outcome)) return outcome;
    if (depth == SelectionDepth::kRows) return outcome;
    if (depth == SelectionDepth::kCheckedRuns) {
        KeepRowsWithGoodFiles(outcome, commandName, err);
        if (outcome.rows.empty()) {
            outcome.exitCode = kExitFault;
            return outcome;
        }
    }
    try {
        outcome.segments = JoinIntoSegments(outcome.rows);
    } catch (const RateChangeError& e) {
        err << commandName << ": " << e.what() << "\n";
        outcome.exitCode = kExitRateChange;
        return outcome;
    }
    outcome.window = SelectionWindow(outcome.selection, outcome.segments);
    if (depth == SelectionDepth::kCheckedRuns && !AnySampleInWindow(outcome)) {
        err << commandName << ": nothing found: no sample lies in the window of "
            << DescribeSelection(outcome.selection) << "\n";
        outcome.exitCode = kExitNothingFound;
    }
    return outcome;
}

void AddSelectionOptions(CLI::App& command, SelectionArguments& selection, SelectionUse use) {
    CLI::Option* station =
        command
            .add_option("--station", selection.stations,
                        use == SelectionUse::kOnly
                            ? "Stations (STA), a comma list with * and ? wildcards; default: "
                              "every station"
                            : "Stations (STA), a comma list with * and ? wildcards")
            ->delimiter(',')
            ->allow_extra_args(false);  // one value each time: never the FILE after it

    command
        .add_option("--channel", selection.channels,
                    "Channels (CH), a comma list with * and ? wildcards")
        ->delimiter(',')
        ->allow_extra_args(false)
        ->capture_default_str();
    CLI::Option* from = command.add_option(
        "--from", selection.from,
        "Window start, ISO 8601 UTC, e.g. 2013-10-22T13:00:00.25Z; default: the first sample");
    CLI::Option* to = command.add_option(
        "--to", selection.to, "Window end (not included), ISO 8601 UTC; default: the last sample");
    if (use == SelectionUse::kInsteadOfFiles) {
        from->needs(station);
        to->needs(station);
    }
}

void AddSelectionCatalogOptions(CLI::App& command, SelectionArguments& selection) {
    AddCatalogArguments(command, selection.catalog);
}

void AddDataDirOption(CLI::App& command, SelectionArguments& selection) {
    command.add_option("--data-dir", selection.catalog.dataDir,
                       "Archive data directory of a selection (default: [DATA] DIR of the ini "
                       "files)");
}

}  // namespace trq
