#include "trq/commands/ListCommand.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <utility>

#include "archive/ArchiveText.h"
#include "recorder/UtcTime.h"
#include "trq/ExitCodes.h"
#include "trq/commands/JsonOutput.h"
#include "trq/commands/RecordingSources.h"

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
    RecordingSources sources(options.selection.catalog);
    bool told = false;
    // Each row's recordings; nothing (said once) when the catalog cannot tell.
    const auto sourcesOf = [&](const CatalogRow& row) {
        std::optional<std::vector<RecordingSource>> found = sources.Of(row.path);
        if (!found && !std::exchange(told, true)) {
            err << "trq list: the recordings are unknown: " << sources.Problem() << "\n";
        }
        return found;
    };
    if (options.json && answered) {
        nlohmann::json rows = nlohmann::json::array();
        for (const CatalogRow& row : outcome.rows) {
            nlohmann::json json = RowJson(row, outcome.dataDir);
            if (options.sources) {
                json["sources"] = nullptr;
                if (const auto found = sourcesOf(row)) {
                    json["sources"] = nlohmann::json::array();
                    for (const RecordingSource& s : *found)
                        json["sources"].push_back(SourceJson(s));
                }
            }
            rows.push_back(std::move(json));
        }
        WriteJson(
            out,
            {{"command", "list"}, {"selection", SelectionJson(outcome.selection)}, {"rows", rows}});
    } else {
        for (const CatalogRow& row : outcome.rows) {
            PrintRow(row, outcome.dataDir, out);
            if (!options.sources) continue;
            if (const auto found = sourcesOf(row)) {
                for (const RecordingSource& s : *found) out << "    from " << SourceText(s) << "\n";
            }
        }
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
    command->add_flag("--sources", list->sources,
                      "Under each row the recordings its file holds (from the catalog's record): "
                      "\"from PATH (created)\"");
    return {command,
            [list](std::ostream& out, std::ostream& err) { return RunList(*list, out, err); }};
}

}  // namespace trq
