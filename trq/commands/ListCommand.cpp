#include "trq/commands/ListCommand.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "archive/ArchiveText.h"
#include "recorder/UtcTime.h"
#include "trq/ExitCodes.h"
#include "trq/commands/JsonOutput.h"

namespace trq {

namespace {

// TQTY x SPS; a row whose product is not whole shows it rounded (`trq check` says more).
int64_t Samples(const CatalogRow& row) {
    const std::optional<int64_t> count = RowSampleCount(row);
    return count ? *count : std::llround(row.duration * row.rate);
}

std::string RateText(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", rate);
    return text;
}

nlohmann::json RowJson(const CatalogRow& row, const std::string& dataDir) {
    return {{"path", row.path},
            {"file", DiskPathOfCatalogPath(dataDir, row.path)},
            {"station", row.station},
            {"channel", row.channel},
            {"begin", FormatIsoUtcMicroseconds(RowStart(row))},
            {"end", FormatIsoUtcMicroseconds(RowEnd(row))},
            {"samples", Samples(row)},
            {"rate", row.rate}};
}

// The file's path below the data directory, which opens from here (trq info takes it).
void PrintRow(const CatalogRow& row, const std::string& dataDir, std::ostream& out) {
    out << DiskPathOfCatalogPath(dataDir, row.path) << "  " << row.station << "  " << row.channel
        << "  " << FormatIsoUtcMicroseconds(RowStart(row)) << "  "
        << FormatIsoUtcMicroseconds(RowEnd(row)) << "  " << Samples(row) << "  "
        << RateText(row.rate) << "\n";
}

}  // namespace

int RunList(const ListOptions& options, std::ostream& out, std::ostream& err) {
    const SelectionOutcome outcome =
        RunSelection(options.selection, SelectionDepth::kRows, "trq list", err);
    const bool answered = outcome.exitCode == kExitOk || outcome.exitCode == kExitNothingFound;
    if (options.json && answered) {
        nlohmann::json rows = nlohmann::json::array();
        for (const CatalogRow& row : outcome.rows) rows.push_back(RowJson(row, outcome.dataDir));
        WriteJson(
            out,
            {{"command", "list"}, {"selection", SelectionJson(outcome.selection)}, {"rows", rows}});
    } else {
        for (const CatalogRow& row : outcome.rows) PrintRow(row, outcome.dataDir, out);
    }
    return outcome.exitCode;
}

AddedCommand AddListCommand(CLI::App& app) {
    auto list = std::make_shared<ListOptions>();
    CLI::App* command = app.add_subcommand(
        "list",
        "The catalog's rows of stations' channels that meet a time window (default: every "
        "station, all of its time), in time order: file (below the data directory), station, "
        "channel, begin, end, samples, rate. Exits with 5 when there are none.");
    AddSelectionOptions(*command, list->selection, SelectionUse::kOnly);
    AddSelectionCatalogOptions(*command, list->selection);
    AddDataDirOption(*command, list->selection);
    command->add_flag("--json", list->json, "One JSON document on standard output");
    return {command,
            [list](std::ostream& out, std::ostream& err) { return RunList(*list, out, err); }};
}

}  // namespace trq
