#include "trq/fdsn/StationPage.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "trq/fdsn/AvailabilityService.h"
#include "trq/fdsn/DataselectService.h"
#include "trq/fdsn/FdsnDocuments.h"
#include "trq/fdsn/HomePage.h"
#include "trq/fdsn/PageText.h"
#include "trq/fdsn/StationService.h"

namespace trq {

namespace {

constexpr int64_t kMinute = 60LL * 1000000;
constexpr int kQuickLookWidth = 1000;

std::string Optional(const std::optional<double>& value, const char* unit) {
    return value ? NumberText(*value, 10) + unit : "-";
}

std::string SiteText(const ArchiveOverview& overview) {
    std::set<std::string> networks;
    const InventoryStation* station = nullptr;
    for (const OverviewStream& stream : overview.streams) {
        networks.insert(stream.name.network);
        if (!station) station = stream.listed.station;
    }
    std::string text = "Network";
    text += networks.size() > 1 ? "s " : " ";
    for (const std::string& network : networks)
        text += (network == *networks.begin() ? "" : ", ") + MarkupEscaped(network);
    if (!station) return "<p>" + text + ". The inventory does not list this station.</p>\n";
    text += ". " + MarkupEscaped(station->siteName) + ": latitude " +
            NumberText(station->latitude, 10) + "&deg;, longitude " +
            NumberText(station->longitude, 10) + "&deg;, elevation " +
            NumberText(station->elevation, 10) + " m";
    if (station->epoch.start) text += "; open since " + TimeElement(station->epoch.start);
    if (station->epoch.end) text += ", closed " + TimeElement(station->epoch.end);
    return "<p>" + text + ".</p>\n";
}

std::string SensitivityText(const InventoryChannel& channel) {
    if (!channel.sensitivity) return "-";
    const InstrumentSensitivity& s = *channel.sensitivity;
    std::string text = NumberText(s.value, 10) + " " +
                       MarkupEscaped(s.outputUnits.empty() ? "counts" : s.outputUnits) + " per " +
                       MarkupEscaped(s.inputUnits.empty() ? "unit" : s.inputUnits);
    if (s.frequency) text += " at " + NumberText(*s.frequency, 10) + " Hz";
    return text;
}

std::string ChannelTable(const ArchiveOverview& overview, const ServeSettings& settings) {
    std::string html =
        "<table class=\"channels\">\n<tr><th>Network</th><th>Location</th><th>Channel</th>"
        "<th>Sample rate</th><th>Azimuth</th><th>Dip</th><th>Depth</th><th>Sensitivity</th>"
        "<th>First sample</th><th>Last sample</th><th>Latency</th><th>Data</th></tr>\n";
    for (const OverviewStream& stream : overview.streams) {
        const StreamName& name = stream.name;
        html += "<tr data-stream=\"" +
                MarkupEscaped(name.network + "." + name.station + "." + name.location + "." +
                              name.channel) +
                "\"><td>" + MarkupEscaped(name.network) + "</td><td>" +
                MarkupEscaped(name.location.empty() ? "--" : name.location) + "</td><td>" +
                MarkupEscaped(name.channel) + "</td>";
        if (const InventoryChannel* channel = stream.listed.channel) {
            html += "<td>" + Optional(channel->sampleRate, " samples/s") + "</td><td>" +
                    Optional(channel->azimuth, "&deg;") + "</td><td>" +
                    Optional(channel->dip, "&deg;") + "</td><td>" + NumberText(channel->depth, 10) +
                    " m</td><td>" + SensitivityText(*channel) + "</td>";
        } else {
            html += "<td colspan=\"5\">not in the inventory</td>";
        }
        html += "<td class=\"first\">" + TimeElement(stream.figures.first) +
                "</td><td class=\"last\">" + TimeElement(stream.figures.last) + "</td>" +
                LatencyCell(stream.figures.last, overview.now, settings) + "<td>" +
                StreamLinks(stream) + "</td></tr>\n";
    }
    return html + "</table>\n";
}

std::string StationLink(const StationView& view, const TimeWindow& window) {
    return PageLink(
        PageRoute(RouteKind::kStationPage).path,
        {{"sta", view.station}, {"start", IsoTime(window.from)}, {"end", IsoTime(window.to)}});
}

std::string WindowForm(const StationView& view) {
    return "<form method=\"get\" action=\"" + PageLink(PageRoute(RouteKind::kStationPage).path) +
           "\"><input type=\"hidden\" name=\"sta\" value=\"" + MarkupEscaped(view.station) +
           "\"><label>From <input type=\"text\" name=\"start\" value=\"" +
           IsoTime(view.window.from) +
           "\"></label><label>To <input type=\"text\" name=\"end\" "
           "value=\"" +
           IsoTime(view.window.to) + "\"></label><button type=\"submit\">Show</button></form>\n";
}

std::string QuickLooks(const StationView& view) {
    std::string html = "<h2>Quick look from " + TimeElement(view.window.from) + " to " +
                       TimeElement(view.window.to) + "</h2>\n" + WindowForm(view);
    for (const OverviewStream& stream : view.overview.streams) {
        const std::string label = stream.name.station + " " + stream.name.channel;
        const StreamFigures& figures = stream.figures;
        if (!stream.Archived() || *figures.first >= view.window.to ||
            *figures.last <= view.window.from) {
            html += "<p>" + MarkupEscaped(label) + ": no data in this window.</p>\n";
            continue;
        }
        const std::string src = PageLink(PageRoute(RouteKind::kQuickLook).path,
                                         {{"sta", stream.name.station},
                                          {"cha", stream.name.channel},
                                          {"start", IsoTime(view.window.from)},
                                          {"end", IsoTime(view.window.to)},
                                          {"width", std::to_string(kQuickLookWidth)}});
        html += "<figure><img src=\"" + src + "\" alt=\"Quick look of " + MarkupEscaped(label) +
                "\"></figure>\n";
    }
    return html;
}

std::string GapRows(const StationView& view, const ServeSettings& settings) {
    std::string rows;
    for (const ChannelAvailability& channel : view.availability) {
        for (const auto& [kind, stretches] :
             {std::pair{"gap", &channel.gaps}, {"overlap", &channel.overlaps}}) {
            for (const TimeWindow& stretch : *stretches) {
                rows +=
                    "<tr><td>" + MarkupEscaped(channel.channel) + "</td><td>" + kind + "</td><td>" +
                    TimeElement(stretch.from) + "</td><td>" + TimeElement(stretch.to) +
                    "</td><td>" + DurationWords(static_cast<double>(stretch.Length()) / 1e6) +
                    "</td><td>" +
                    Anchor(StationLink(view, LookAround(stretch, settings.maxSeconds)), "look") +
                    "</td></tr>\n";
            }
        }
    }
    return rows;
}

std::string GapTable(const StationView& view, const ServeSettings& settings) {
    std::string html = "<h2>Gaps and overlaps from " + TimeElement(view.span.from) + " to " +
                       TimeElement(view.span.to) + "</h2>\n";
    if (view.availability.empty()) return html + "<p>No data.</p>\n";
    const std::string rows = GapRows(view, settings);
    if (rows.empty()) return html + "<p>None: the files cover every channel's span.</p>\n";
    return html +
           "<table class=\"gaps\">\n<tr><th>Channel</th><th>Kind</th><th>From</th><th>To</th>"
           "<th>Length</th><th>Quick look</th></tr>\n" +
           rows + "</table>\n";
}

// Fields of a selection and a window, and one button per service: each asks its own query
// with the fields (formaction), no script needed.
std::string QueryForm(const StationView& view) {
    // Codes the inventory gives, where it lists a channel: the station service knows those.
    const OverviewStream& first = *std::find_if(
        view.overview.streams.begin(), view.overview.streams.end() - 1,
        [](const OverviewStream& stream) { return stream.listed.channel != nullptr; });
    auto field = [](const char* label, const char* name, const std::string& value,
                    const char* css) {
        return std::string("<label>") + label + " <input type=\"text\" class=\"" + css +
               "\" name=\"" + name + "\" value=\"" + MarkupEscaped(value) + "\"></label>";
    };
    auto button = [](const FdsnService& service, const char* extra, const char* text) {
        return "<button type=\"submit\" formaction=\"" + PageLink(MethodPath(service, "query")) +
               "\"" + extra + ">" + text + "</button> ";
    };
    return "<h2>Ask the services</h2>\n<form method=\"get\" action=\"" +
           PageLink(MethodPath(DataselectService(), "query")) + "\">" +
           field("Network", "net", first.name.network, "code") +
           field("Station", "sta", view.station, "code") +
           field("Location", "loc", first.name.location.empty() ? "--" : first.name.location,
                 "code") +
           field("Channel", "cha", "*", "code") +
           field("From", "start", IsoTime(view.window.from), "") +
           field("To", "end", IsoTime(view.window.to), "") + "<br>" +
           button(DataselectService(), "", "miniSEED (dataselect)") +
           button(AvailabilityService(), "", "time spans (availability)") +
           button(StationService(), " name=\"level\" value=\"channel\"", "StationXML (station)") +
           "</form>\n";
}

}  // namespace

TimeWindow LookAround(const TimeWindow& stretch, double longest) {
    const int64_t limit = static_cast<int64_t>(longest * 1e6);
    const int64_t from = stretch.from - 10 * kMinute;
    const int64_t to = std::min(stretch.to, stretch.from + 360 * kMinute) + 10 * kMinute;
    return {from, std::min(to, from + limit)};
}

std::string StationPage(const StationView& view, const ServeSettings& settings) {
    std::string body = "<p>" + Anchor(PageLink("/"), "All stations") + "</p>\n<h1>Station " +
                       MarkupEscaped(view.station) + "</h1>\n<p class=\"made\">Made " +
                       TimeElement(view.overview.now) + " (UTC).</p>\n" + SiteText(view.overview);
    body += "<h2>Channels</h2>\n" + ChannelTable(view.overview, settings);
    body += QuickLooks(view) + GapTable(view, settings) + QueryForm(view);
    return HtmlPage("TRQ archive: station " + view.station, body);
}

}  // namespace trq
