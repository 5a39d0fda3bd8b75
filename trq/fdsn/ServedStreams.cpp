#include "trq/fdsn/ServedStreams.h"

#include <algorithm>

#include "archive/StreamCodes.h"
#include "catalog/CatalogSelection.h"

namespace trq {

std::string StreamNameProblem(const StreamName& stream) {
    return StreamCodeProblem(stream.station, stream.channel);
}

ServedStreams::ServedStreams(CatalogStore& catalog, std::string network,
                             const StationInventory* inventory)
    : catalog_(catalog), network_(std::move(network)), inventory_(inventory) {}

StreamName ServedStreams::Named(const std::string& station, const std::string& channel) const {
    if (!inventory_) return {station, channel, network_, ""};
    SeedCodes codes = inventory_->CodesOf(station, channel, network_);
    return {station, channel, std::move(codes.network), std::move(codes.location)};
}

std::vector<StreamName> ServedStreams::Select(const CatalogSelection& selection) {
    std::vector<StreamName> streams = Matching(selection);
    std::erase_if(streams,
                  [](const StreamName& stream) { return !StreamNameProblem(stream).empty(); });
    return streams;
}

std::vector<StreamName> ServedStreams::Matching(const CatalogSelection& selection) {
    std::vector<StreamName> streams;
    if (!inventory_ && (!MatchesAnyPattern(selection.networks, network_) ||
                        !MatchesAnyPattern(selection.locations, ""))) {
        return streams;
    }
    auto add = [&](const std::string& station, const std::string& channel) {
        StreamName stream = Named(station, channel);
        if (MatchesAnyPattern(selection.networks, stream.network) &&
            MatchesAnyPattern(selection.locations, stream.location)) {
            streams.push_back(std::move(stream));
        }
    };
    if (std::any_of(selection.stations.begin(), selection.stations.end(), HasWildcard)) {
        // Stations behind a wildcard: every stream of the catalog in one statement.
        for (const auto& [station, channel] : catalog_.ListStreams()) {
            if (MatchesAnyPattern(selection.stations, station) &&
                MatchesAnyPattern(selection.channels, channel)) {
                add(station, channel);
            }
        }
    } else {
        // As the catalog selects rows: the channels behind wildcards from its lists, other
        // names as they are (a missing one simply has no rows).
        for (const std::string& station :
             NamesMatching(selection.stations, [] { return std::vector<std::string>{}; })) {
            for (const std::string& channel : NamesMatching(
                     selection.channels, [&] { return catalog_.ListChannels(station); })) {
                add(station, channel);
            }
        }
    }
    std::sort(streams.begin(), streams.end());
    streams.erase(std::unique(streams.begin(), streams.end()), streams.end());
    return streams;
}

std::vector<CatalogRow> ServedStreams::Rows(const StreamName& stream, std::optional<int64_t> from,
                                            std::optional<int64_t> to) {
    CatalogSelection selection;
    selection.stations = {stream.station};
    selection.channels = {stream.channel};
    selection.from = from;
    selection.to = to;
    if (selection.to && *selection.to <= selection.From()) return {};
    return catalog_.SelectRows(selection);
}

}  // namespace trq
