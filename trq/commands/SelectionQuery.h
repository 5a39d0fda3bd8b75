#pragma once
// The selection that `list`, `avail`, `export` and `plot` share: stations, channels and a
// window from the command line, the catalog found as the converter finds it, the rows the
// catalog holds for them, and, where samples are wanted, those rows checked against their
// archive files and joined into continuous runs.

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "catalog/CatalogSelection.h"
#include "catalog/CatalogStore.h"
#include "catalog/ContinuousSegments.h"
#include "trq/commands/CatalogOptions.h"

namespace trq {

struct SelectionArguments {
    // Patterns with * and ?, from comma lists; no station: every station (list, avail).
    std::vector<std::string> stations;
    std::vector<std::string> channels{"*"};
    std::string from;          // ISO 8601, UTC; empty: from the first sample
    std::string to;            // ISO 8601, UTC; empty: up to the last sample
    CatalogArguments catalog;  // found as the converter finds it, unless given
};

// How far a command needs the selection worked out.
enum class SelectionDepth {
    kRows,  // the catalog's rows (list)
    kRuns,  // the rows joined into runs (avail: the catalog alone)
    // Only rows whose files agree with them, joined into runs, and some sample of them in
    // the window (export, plot).
    kCheckedRuns,
};

struct SelectionOutcome {
    // kExitOk, or why the command has nothing to show (the reason is already reported).
    int exitCode = 0;
    CatalogSelection selection;
    std::vector<CatalogRow> rows;             // in time order
    std::vector<ContinuousSegment> segments;  // kRuns and kCheckedRuns
    TimeWindow window;                        // the window, its open ends resolved
    std::string dataDir;
    // Rows were left out because their files are missing or disagree with them.
    bool skippedRows = false;
};

// Works the selection out as far as `depth` says. Problems go to `err` as lines that begin
// with `commandName` ("trq export"): a malformed time or a window that ends before it
// begins (kExitUsage), an unreachable catalog (kExitCatalog), nothing found
// (kExitNothingFound, also when no sample falls into the window), a rate change within a run
// (kExitRateChange), every row skipped (kExitFault). Each skipped row is reported the way `trq
// check` describes it.
SelectionOutcome RunSelection(const SelectionArguments& arguments, SelectionDepth depth,
                              const std::string& commandName, std::ostream& err);

// "station ABC", "stations AB*,XYZ": the patterns as given; "every station" for "*".
std::string DescribeStations(const CatalogSelection& selection);

// "station ABC, channel BH?, 2013-10-22T00:00:00.000000Z to the last sample",
// "stations AB*,XYZ, channels BHZ,BHN, the first sample to 2013-10-23T00:00:00.000000Z"
std::string DescribeSelection(const CatalogSelection& selection);

// The selection as the --json documents show it: station and channel (the patterns as
// given, comma-separated), from and to (null when open).
nlohmann::json SelectionJson(const CatalogSelection& selection);

// How a command uses --station, --channel, --from and --to: as its only way to name its data
// (every option may be left out: every station, the whole extent), or instead of files it
// names (--from and --to need --station).
enum class SelectionUse { kOnly, kInsteadOfFiles };
void AddSelectionOptions(CLI::App& command, SelectionArguments& selection, SelectionUse use);
// The catalog of a selection, found like the converter finds it unless given.
void AddSelectionCatalogOptions(CLI::App& command, SelectionArguments& selection);
// --data-dir, the archive's data directory of a selection.
void AddDataDirOption(CLI::App& command, SelectionArguments& selection);

}  // namespace trq
