#include "trq/ListCommand.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "recorder/UtcTime.h"
#include "trq/ExitCodes.h"
#include "trq/JsonOutput.h"

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

nlohmann::json RowJson(const CatalogRow& row) {
    return {{"path", row.path},
            {"station", row.station},
            {"channel", row.channel},
            {"begin", FormatIsoUtcMicroseconds(RowStart(row))},
            {"end", FormatIsoUtcMicroseconds(RowEnd(row))},
            {"samples", Samples(row)},
            {"rate", row.rate}};
}

void PrintRow(const CatalogRow& row, std::ostream& out) {
    out << row.path << "  " << row.station << "  " << row.channel << "  "
        << FormatIsoUtcMicroseconds(RowStart(row)) << "  " << FormatIsoUtcMicroseconds(RowEnd(row))
        << "  " << Samples(row) << "  " << RateText(row.rate) << "\n";
}

}  // namespace

int RunList(const ListOptions& options, std::ostream& out, std::ostream& err) {
    const SelectionOutcome outcome =
        RunSelection(options.selection, SelectionDepth::kRows, "trq list", err);
    const bool answered = outcome.exitCode == kExitOk || outcome.exitCode == kExitNothingFound;
    if (options.json && answered) {
        nlohmann::json rows = nlohmann::json::array();
        for (const CatalogRow& row : outcome.rows) rows.push_back(RowJson(row));
        WriteJson(
            out,
            {{"command", "list"}, {"selection", SelectionJson(outcome.selection)}, {"rows", rows}});
    } else {
        for (const CatalogRow& row : outcome.rows) PrintRow(row, out);
    }
    return outcome.exitCode;
}

}  // namespace trq
