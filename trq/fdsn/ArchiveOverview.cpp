#include "trq/fdsn/ArchiveOverview.h"

#include <algorithm>

namespace trq {

namespace {

// The inventory's channels that `selection` names and the catalog lacks, under the codes
// they are served with (each station and channel code once, as the codes come from its
// first epoch).
void AddListedChannels(const ServeSettings& settings, const CatalogSelection& selection,
                       std::vector<StreamName>& streams) {
    if (!settings.inventory) return;
    for (const InventoryNetwork& network : settings.inventory->Networks()) {
        for (const InventoryStation& station : network.stations) {
            for (const InventoryChannel& channel : station.channels) {
                const SeedCodes codes =
                    settings.inventory->CodesOf(station.code, channel.code, settings.network);
                StreamName name{station.code, channel.code, codes.network, codes.location};
                const bool known =
                    std::any_of(streams.begin(), streams.end(), [&](const StreamName& stream) {
                        return stream.station == name.station && stream.channel == name.channel;
                    });
                if (!known && MatchesAnyPattern(selection.stations, name.station) &&
                    MatchesAnyPattern(selection.channels, name.channel) &&
                    MatchesAnyPattern(selection.networks, name.network) &&
                    MatchesAnyPattern(selection.locations, name.location)) {
                    streams.push_back(std::move(name));
                }
            }
        }
    }
}

}  // namespace

int64_t DayStart(int64_t time) {
    return (time >= 0 ? time / kMicrosecondsPerDay
                      : (time - kMicrosecondsPerDay + 1) / kMicrosecondsPerDay) *
           kMicrosecondsPerDay;
}

std::vector<TimeWindow> CoverageWindows(int64_t now) {
    const int64_t midnight = DayStart(now);
    std::vector<TimeWindow> windows;
    for (const int64_t days : {1, 7, 30})
        windows.push_back({midnight - days * kMicrosecondsPerDay, midnight});
    return windows;
}

ArchiveOverview ReadOverview(CatalogStore& catalog, const ServeSettings& settings,
                             const CatalogSelection& selection, int64_t now,
                             std::vector<TimeWindow> windows, std::optional<int64_t> gapsSince) {
    ServedStreams served(catalog, settings.network, settings.inventory.get());
    std::vector<StreamName> names = served.Matching(selection);
    AddListedChannels(settings, selection, names);
    std::sort(names.begin(), names.end());
    ArchiveOverview overview{now, std::move(windows), {}};
    std::vector<CatalogStream> catalogNames;
    for (const StreamName& name : names) catalogNames.push_back({name.station, name.channel});
    std::vector<StreamFigures> figures =
        ReadStreamFigures(catalog, catalogNames, overview.windows, gapsSince);
    for (std::size_t i = 0; i < names.size(); ++i) {
        OverviewStream stream{std::move(names[i]), {}, std::move(figures[i])};
        if (settings.inventory) {
            stream.listed = settings.inventory->Find(stream.name.station, stream.name.channel);
        }
        // A name the selection gave without wildcards that neither lists: nothing to show.
        if (stream.Archived() || stream.listed.channel)
            overview.streams.push_back(std::move(stream));
    }
    return overview;
}

}  // namespace trq
