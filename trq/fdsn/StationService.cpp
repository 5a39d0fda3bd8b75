#include "trq/fdsn/StationService.h"

#include <algorithm>
#include <charconv>

#include "recorder/UtcTime.h"
#include "trq/fdsn/CatalogPool.h"
#include "trq/fdsn/FdsnDocuments.h"
#include "trq/fdsn/ServeSettings.h"
#include "trq/fdsn/ServedStreams.h"
#include "trq/fdsn/ServerLog.h"

namespace trq {

namespace {

// What one request selects of the inventory, in the inventory's order.
struct SelectedChannel {
    const InventoryChannel* channel;
    std::optional<TimeWindow> extent;
};
struct SelectedStation {
    const InventoryStation* station;
    std::vector<SelectedChannel> channels;
};
struct SelectedNetwork {
    const InventoryNetwork* network;
    std::vector<SelectedStation> stations;
};

bool AllCodes(const std::vector<std::string>& patterns) {
    return std::find(patterns.begin(), patterns.end(), "*") != patterns.end();
}

bool ChannelSelected(const CatalogSelection& s, const InventoryChannel& channel) {
    return MatchesAnyPattern(s.locations, channel.location) &&
           MatchesAnyPattern(s.channels, channel.code) && channel.epoch.Meets(s.from, s.to);
}

bool StationSelected(const CatalogSelection& s, const InventoryStation& station) {
    if (!MatchesAnyPattern(s.stations, station.code) || !station.epoch.Meets(s.from, s.to)) {
        return false;
    }
    // A station selected by its channels' codes needs one of them.
    if (AllCodes(s.locations) && AllCodes(s.channels)) return true;
    return std::any_of(
        station.channels.begin(), station.channels.end(),
        [&](const InventoryChannel& channel) { return ChannelSelected(s, channel); });
}

bool AnySelection(const std::vector<CatalogSelection>& selections,
                  const std::function<bool(const CatalogSelection&)>& test) {
    return std::any_of(selections.begin(), selections.end(), test);
}

std::vector<SelectedNetwork> Select(const StationInventory& inventory,
                                    const StationRequest& request, const ChannelExtent& extent) {
    const auto& selections = request.selections;
    std::vector<SelectedNetwork> selected;
    for (const InventoryNetwork& network : inventory.Networks()) {
        SelectedNetwork kept{&network, {}};
        for (const InventoryStation& station : network.stations) {
            if (!AnySelection(selections, [&](const CatalogSelection& s) {
                    return MatchesAnyPattern(s.networks, network.code) &&
                           network.epoch.Meets(s.from, s.to) && StationSelected(s, station);
                })) {
                continue;
            }
            SelectedStation keptStation{&station, {}};
            for (const InventoryChannel& channel : station.channels) {
                if (request.level < StationLevel::kChannel) break;
                if (AnySelection(selections, [&](const CatalogSelection& s) {
                        return MatchesAnyPattern(s.networks, network.code) &&
                               MatchesAnyPattern(s.stations, station.code) &&
                               ChannelSelected(s, channel);
                    })) {
                    keptStation.channels.push_back({&channel, extent(network, station, channel)});
                }
            }
            // At level=channel a station is shown with channels: one whose channel epochs
            // all miss the window is left out, not written as an empty Station element.
            if (request.level >= StationLevel::kChannel && keptStation.channels.empty()) continue;
            kept.stations.push_back(std::move(keptStation));
        }
        if (!kept.stations.empty()) selected.push_back(std::move(kept));
    }
    return selected;
}

std::string Number(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string Time(std::optional<int64_t> time) {
    return time ? FormatIsoUtcMicroseconds(*time) : "";
}

std::string EpochAttributes(const InventoryEpoch& epoch) {
    std::string text;
    if (epoch.start) text += " startDate=\"" + Time(epoch.start) + "\"";
    if (epoch.end) text += " endDate=\"" + Time(epoch.end) + "\"";
    return text + " restrictedStatus=\"open\"";
}

std::string Element(const char* name, const std::string& value, const std::string& indent) {
    return indent + "<" + name + ">" + value + "</" + name + ">\n";
}

void WriteChannel(std::string& xml, const SelectedChannel& selected, StationLevel level) {
    const InventoryChannel& channel = *selected.channel;
    xml += "   <Channel code=\"" + MarkupEscaped(channel.code) + "\" locationCode=\"" +
           MarkupEscaped(channel.location) + "\"" + EpochAttributes(channel.epoch) + ">\n";
    const std::string in = "    ";
    if (selected.extent) {
        xml += in + "<DataAvailability>\n" + in + " <Extent start=\"" +
               Time(selected.extent->from) + "\" end=\"" + Time(selected.extent->to) + "\"/>\n" +
               in + "</DataAvailability>\n";
    }
    xml += Element("Latitude", Number(channel.latitude), in);
    xml += Element("Longitude", Number(channel.longitude), in);
    xml += Element("Elevation", Number(channel.elevation), in);
    xml += Element("Depth", Number(channel.depth), in);
    if (channel.azimuth) xml += Element("Azimuth", Number(*channel.azimuth), in);
    if (channel.dip) xml += Element("Dip", Number(*channel.dip), in);
    if (channel.sampleRate) xml += Element("SampleRate", Number(*channel.sampleRate), in);
    if (level == StationLevel::kResponse && !channel.responseXml.empty()) {
        xml += in + channel.responseXml + "\n";
    }
    xml += "   </Channel>\n";
}

void WriteStation(std::string& xml, const SelectedStation& selected, StationLevel level) {
    const InventoryStation& station = *selected.station;
    xml += "  <Station code=\"" + MarkupEscaped(station.code) + "\"" +
           EpochAttributes(station.epoch) + ">\n";
    const std::string in = "   ";
    xml += Element("Latitude", Number(station.latitude), in);
    xml += Element("Longitude", Number(station.longitude), in);
    xml += Element("Elevation", Number(station.elevation), in);
    xml += in + "<Site>\n" + Element("Name", MarkupEscaped(station.siteName), in + " ") + in +
           "</Site>\n";
    if (level >= StationLevel::kChannel) {
        xml += Element("TotalNumberChannels", std::to_string(station.channels.size()), in);
        xml += Element("SelectedNumberChannels", std::to_string(selected.channels.size()), in);
    }
    for (const SelectedChannel& channel : selected.channels) WriteChannel(xml, channel, level);
    xml += "  </Station>\n";
}

std::string StationXml(const std::vector<SelectedNetwork>& networks, StationLevel level,
                       int64_t created) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<FDSNStationXML xmlns=\"http://www.fdsn.org/xml/station/1\" schemaVersion=\"1.1\">\n"
        " <Source>trq</Source>\n"
        " <Module>trq serve</Module>\n"
        " <Created>" +
        Time(created) + "</Created>\n";
    for (const SelectedNetwork& selected : networks) {
        const InventoryNetwork& network = *selected.network;
        xml += " <Network code=\"" + MarkupEscaped(network.code) + "\"" +
               EpochAttributes(network.epoch) + ">\n";
        if (!network.description.empty())
            xml += Element("Description", MarkupEscaped(network.description), "  ");
        xml += Element("TotalNumberStations", std::to_string(network.stations.size()), "  ");
        xml += Element("SelectedNumberStations", std::to_string(selected.stations.size()), "  ");
        if (level >= StationLevel::kStation) {
            for (const SelectedStation& station : selected.stations)
                WriteStation(xml, station, level);
        }
        xml += " </Network>\n";
    }
    return xml + "</FDSNStationXML>\n";
}

std::string Optional(const std::optional<double>& value) {
    return value ? Number(*value) : "";
}

std::string StationText(const std::vector<SelectedNetwork>& networks, StationLevel level) {
    std::string text;
    if (level == StationLevel::kNetwork) {
        text = "#Network|Description|StartTime|EndTime|TotalStations\n";
        for (const SelectedNetwork& selected : networks) {
            const InventoryNetwork& n = *selected.network;
            text += n.code + "|" + n.description + "|" + Time(n.epoch.start) + "|" +
                    Time(n.epoch.end) + "|" + std::to_string(n.stations.size()) + "\n";
        }
        return text;
    }
    if (level == StationLevel::kStation) {
        text = "#Network|Station|Latitude|Longitude|Elevation|SiteName|StartTime|EndTime\n";
        for (const SelectedNetwork& selected : networks) {
            for (const SelectedStation& station : selected.stations) {
                const InventoryStation& s = *station.station;
                text += selected.network->code + "|" + s.code + "|" + Number(s.latitude) + "|" +
                        Number(s.longitude) + "|" + Number(s.elevation) + "|" + s.siteName + "|" +
                        Time(s.epoch.start) + "|" + Time(s.epoch.end) + "\n";
            }
        }
        return text;
    }
    text =
        "#Network|Station|Location|Channel|Latitude|Longitude|Elevation|Depth|Azimuth|Dip|"
        "SensorDescription|Scale|ScaleFreq|ScaleUnits|SampleRate|StartTime|EndTime\n";
    for (const SelectedNetwork& selected : networks) {
        for (const SelectedStation& station : selected.stations) {
            for (const SelectedChannel& channel : station.channels) {
                const InventoryChannel& c = *channel.channel;
                text += selected.network->code + "|" + station.station->code + "|" + c.location +
                        "|" + c.code + "|" + Number(c.latitude) + "|" + Number(c.longitude) + "|" +
                        Number(c.elevation) + "|" + Number(c.depth) + "|" + Optional(c.azimuth) +
                        "|" + Optional(c.dip) + "|" + c.sensorDescription + "|" +
                        Optional(c.scale) + "|" + Optional(c.scaleFrequency) + "|" + c.scaleUnits +
                        "|" + Optional(c.sampleRate) + "|" + Time(c.epoch.start) + "|" +
                        Time(c.epoch.end) + "\n";
            }
        }
    }
    return text;
}

// The archive's data of an inventory channel: the catalog rows of the archive stream that
// the inventory gives these codes, within the channel's epoch.
std::optional<TimeWindow> ArchiveExtent(ServedStreams& streams, const StationInventory& inventory,
                                        const std::string& network, const InventoryNetwork& net,
                                        const InventoryStation& station,
                                        const InventoryChannel& channel) {
    const SeedCodes codes = inventory.CodesOf(station.code, channel.code, network);
    if (codes.network != net.code || codes.location != channel.location) return std::nullopt;
    const std::vector<CatalogRow> rows =
        streams.Rows({station.code, channel.code, codes.network, codes.location},
                     channel.epoch.start, channel.epoch.end);
    if (rows.empty()) return std::nullopt;
    TimeWindow extent{RowStart(rows.front()), RowEnd(rows.front())};
    for (const CatalogRow& row : rows) {
        extent.from = std::min(extent.from, RowStart(row));
        extent.to = std::max(extent.to, RowEnd(row));
    }
    if (channel.epoch.start) extent.from = std::max(extent.from, *channel.epoch.start);
    if (channel.epoch.end) extent.to = std::min(extent.to, *channel.epoch.end);
    return extent;
}

class Station : public FdsnService {
  public:
    const char* Name() const override { return "station"; }
    const char* Version() const override { return "1.1.0"; }
    const std::vector<FdsnMethod>& Methods() const override {
        static const std::vector<FdsnMethod> methods{StationQuery()};
        return methods;
    }
    std::vector<const char*> MediaTypes() const override {
        return {"application/xml", "text/plain"};
    }

    FdsnAnswer Answer(const FdsnCall& call, const FdsnServing& serving) const override {
        const StationRequest request =
            call.post ? ParseStationPost(call.body) : ParseStationGet(call.query);
        FdsnAnswer answer;
        const StationInventory* inventory = serving.settings.inventory.get();
        std::optional<std::string> body;
        if (inventory) {
            if (request.level < StationLevel::kChannel) {
                body = StationAnswer(*inventory, request, NoExtent, NowMicroseconds());
            } else {
                serving.pool.Use([&](CatalogStore& catalog) {
                    ServedStreams streams(catalog, serving.settings.network, inventory);
                    body = StationAnswer(
                        *inventory, request,
                        [&](const InventoryNetwork& n, const InventoryStation& s,
                            const InventoryChannel& c) {
                            return ArchiveExtent(streams, *inventory, serving.settings.network, n,
                                                 s, c);
                        },
                        NowMicroseconds());
                });
            }
        }
        if (!body) {
            answer.noDataStatus = request.noDataStatus;
            return answer;
        }
        answer.contentType = request.format == "text" ? "text/plain" : "application/xml";
        answer.body = std::move(*body);
        return answer;
    }

  private:
    static std::optional<TimeWindow> NoExtent(const InventoryNetwork&, const InventoryStation&,
                                              const InventoryChannel&) {
        return std::nullopt;
    }
};

}  // namespace

std::optional<std::string> StationAnswer(const StationInventory& inventory,
                                         const StationRequest& request, const ChannelExtent& extent,
                                         int64_t created) {
    const std::vector<SelectedNetwork> networks = Select(inventory, request, extent);
    if (networks.empty()) return std::nullopt;
    return request.format == "text" ? StationText(networks, request.level)
                                    : StationXml(networks, request.level, created);
}

const FdsnService& StationService() {
    static const Station service;
    return service;
}

}  // namespace trq
