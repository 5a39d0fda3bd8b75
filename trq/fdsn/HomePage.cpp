#include "trq/fdsn/HomePage.h"

#include <cstdio>

#include "trq/fdsn/ArchiveOverview.h"
#include "trq/fdsn/AvailabilityService.h"
#include "trq/fdsn/DataselectService.h"
#include "trq/fdsn/FdsnDocuments.h"
#include "trq/fdsn/PageText.h"
#include "trq/fdsn/StationService.h"

namespace trq {

namespace {

constexpr int kPictureWidth = 1200;

std::string Joined(const std::vector<std::string>& codes) {
    std::string text;
    for (const std::string& code : codes) text += (text.empty() ? "" : ",") + code;
    return text;
}

// "<a>dataselect</a>, <a>station</a>, ...": each service's usage page.
std::string ServiceLinks() {
    std::string links;
    for (const FdsnRoute& route : FdsnRouteTable()) {
        if (route.kind != RouteKind::kUsage) continue;
        links += std::string(links.empty() ? "" : ", ") +
                 Anchor(PageLink(route.path), route.service->Name());
    }
    return links;
}

// The inventory's site, coordinates and elevation, and the end of the station's epoch.
std::string SiteCell(const OverviewStream& stream) {
    const InventoryStation* station = stream.listed.station;
    if (!station) return "not in the inventory";
    std::string site = MarkupEscaped(station->siteName) + "<br>" +
                       NumberText(station->latitude, 6) + ", " + NumberText(station->longitude, 6) +
                       ", " + NumberText(station->elevation, 6) + " m";
    if (station->epoch.end) site += "<br>closed " + TimeElement(station->epoch.end);
    return site;
}

std::string CoverageCells(const OverviewStream& stream, const std::vector<TimeWindow>& windows) {
    std::string cells;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const double covered =
            i < stream.figures.covered.size() ? static_cast<double>(stream.figures.covered[i]) : 0;
        cells += "<td class=\"number coverage\">" +
                 PercentText(100.0 * covered / static_cast<double>(windows[i].Length())) + "</td>";
    }
    return cells;
}

std::string RecordingCell(const std::optional<WatchStatus>& watch, const std::string& station,
                          int rows) {
    if (!watch) return "";
    std::string cell = "<td rowspan=\"" + std::to_string(rows) + "\">";
    if (const auto found = watch->lastRecording.find(station);
        found != watch->lastRecording.end()) {
        cell += MarkupEscaped(found->second.recording) + "<br>" +
                MarkupEscaped(found->second.outcome) + "<br>" + TimeElement(found->second.time);
    } else {
        cell += "none";
    }
    return cell + "</td>";
}

std::string StationRows(const ArchiveOverview& overview, std::size_t first, std::size_t end,
                        const std::optional<WatchStatus>& watch, const ServeSettings& settings) {
    std::string html;
    const int rows = static_cast<int>(end - first);
    const std::string station = overview.streams[first].name.station;
    for (std::size_t i = first; i < end; ++i) {
        const OverviewStream& stream = overview.streams[i];
        const StreamName& name = stream.name;
        html += "<tr data-stream=\"" +
                MarkupEscaped(name.network + "." + name.station + "." + name.location + "." +
                              name.channel) +
                "\">";
        if (i == first) {
            html += "<td class=\"station\" rowspan=\"" + std::to_string(rows) + "\">" +
                    Anchor(PageLink(PageRoute(RouteKind::kStationPage).path, {{"sta", station}}),
                           station) +
                    "</td><td rowspan=\"" + std::to_string(rows) + "\">" + SiteCell(stream) +
                    "</td>";
        }
        html += "<td>" + MarkupEscaped(name.network) + "</td><td>" +
                MarkupEscaped(name.location.empty() ? "--" : name.location) + "</td><td>" +
                MarkupEscaped(name.channel) + "</td><td class=\"first\">" +
                TimeElement(stream.figures.first) + "</td><td class=\"last\">" +
                TimeElement(stream.figures.last) + "</td>" +
                LatencyCell(stream.figures.last, overview.now, settings) +
                CoverageCells(stream, overview.windows);
        if (i == first) html += RecordingCell(watch, station, rows);
        html += "<td class=\"links\">" + StreamLinks(stream) + "</td></tr>\n";
    }
    return html;
}

std::string StationTable(const HomeView& view, const ServeSettings& settings) {
    const ArchiveOverview& overview = view.overview;
    if (overview.streams.empty())
        return "<p>No station: the catalog and the inventory name none.</p>\n";
    std::string html =
        "<table class=\"stations\">\n<tr><th>Station</th><th>Site</th><th>Network</th>"
        "<th>Location</th><th>Channel</th><th>First sample</th><th>Last sample</th>"
        "<th>Latency</th><th>Last day</th><th>Last 7 days</th><th>Last 30 days</th>";
    if (view.watch) html += "<th>Last recording</th>";
    html += "<th>Data</th></tr>\n";
    for (std::size_t first = 0; first < overview.streams.size();) {
        std::size_t end = first + 1;
        while (end < overview.streams.size() &&
               overview.streams[end].name.station == overview.streams[first].name.station) {
            ++end;
        }
        html += StationRows(overview, first, end, view.watch, settings);
        first = end;
    }
    return html + "</table>\n";
}

std::string SpanLinks(const HomeView& view) {
    std::string links;
    const LinkQuery codes = SelectionQuery(view.selection);
    for (const int days : {1, 7, 30, 365}) {
        LinkQuery query = codes;
        query.push_back(
            {"start", IsoTime(view.span.to - days * kMicrosecondsPerDay, 0).substr(0, 10)});
        query.push_back({"end", IsoTime(view.span.to, 0).substr(0, 10)});
        links +=
            std::string(links.empty() ? "" : " &middot; ") +
            Anchor(PageLink("/", query), std::to_string(days) + (days == 1 ? " day" : " days"));
    }
    return links;
}

std::string SpanForm(const HomeView& view) {
    auto field = [](const char* label, const char* name, const char* type,
                    const std::string& value) {
        return std::string("<label>") + label + " <input type=\"" + type + "\" name=\"" + name +
               "\" value=\"" + MarkupEscaped(value) + "\"></label>";
    };
    return "<form method=\"get\" action=\"./\">" +
           field("Stations", "sta", "text", Joined(view.selection.stations)) +
           field("From", "start", "date", IsoTime(view.span.from, 0).substr(0, 10)) +
           field("To", "end", "date", IsoTime(view.span.to, 0).substr(0, 10)) +
           "<button type=\"submit\">Show</button></form>\n";
}

std::string AvailabilitySection(const HomeView& view) {
    std::string html = "<h2>Availability from " + TimeElement(view.span.from) + " to " +
                       TimeElement(view.span.to) + "</h2>\n<p>" + SpanLinks(view) + "</p>\n" +
                       SpanForm(view);
    bool any = false;
    for (const OverviewStream& stream : view.overview.streams) any = any || stream.Archived();
    if (!any) return html + "<p>No data.</p>\n";
    LinkQuery query = SelectionQuery(view.selection);
    query.push_back({"start", IsoTime(view.span.from)});
    query.push_back({"end", IsoTime(view.span.to)});
    query.push_back({"width", std::to_string(kPictureWidth)});
    return html + "<p><img src=\"" +
           PageLink(PageRoute(RouteKind::kAvailabilityPicture).path, query) +
           "\" alt=\"Availability of every station from " + IsoTime(view.span.from, 0) + " to " +
           IsoTime(view.span.to, 0) + " UTC: data green, gaps red, overlaps orange\"></p>\n";
}

std::string LatencyLegend(const ServeSettings& settings) {
    return "<p class=\"legend\">Latency, now minus the last sample: <span class=\"latency "
           "current\">current</span> below " +
           DurationWords(settings.lateSeconds) +
           ", <span class=\"latency late\">late</span> from " +
           DurationWords(settings.lateSeconds) +
           ", <span class=\"latency silent\">silent</span> from " +
           DurationWords(settings.silentSeconds) +
           ". Coverage: the share of whole UTC days up to today's midnight that files cover.</p>\n";
}

}  // namespace

LinkQuery SelectionQuery(const CatalogSelection& selection) {
    LinkQuery query;
    for (const auto& [key, codes] : {std::pair{"net", &selection.networks},
                                     {"sta", &selection.stations},
                                     {"loc", &selection.locations},
                                     {"cha", &selection.channels}}) {
        if (*codes != std::vector<std::string>{"*"}) query.push_back({key, Joined(*codes)});
    }
    return query;
}

std::string StreamLinks(const OverviewStream& stream) {
    const StreamName& name = stream.name;
    if (const std::string problem = StreamNameProblem(name); !problem.empty()) {
        return "not served: the " + MarkupEscaped(problem) + " (miniSEED 2)";
    }
    const LinkQuery codes{{"net", name.network},
                          {"sta", name.station},
                          {"loc", name.location.empty() ? "--" : name.location},
                          {"cha", name.channel}};
    std::string links;
    if (stream.Archived()) {
        LinkQuery window = codes;
        window.push_back({"start", IsoTime(*stream.figures.last - 600LL * 1000000)});
        window.push_back({"end", IsoTime(*stream.figures.last)});
        links += Anchor(PageLink(MethodPath(DataselectService(), "query"), window), "data") + " ";
    } else {
        links += "no data ";
    }
    links += Anchor(PageLink(MethodPath(AvailabilityService(), "query"), codes), "spans");
    if (stream.listed.channel) {
        LinkQuery channel = codes;
        channel.push_back({"level", "channel"});
        links += " " + Anchor(PageLink(MethodPath(StationService(), "query"), channel), "metadata");
    }
    return links;
}

std::string HomePage(const HomeView& view, const ServeSettings& settings) {
    std::string body =
        "<h1>TRQ archive</h1>\n<p class=\"made\">Made " + TimeElement(view.overview.now) +
        " (UTC).</p>\n" + "<p class=\"services\">FDSN web services: " + ServiceLinks() +
        ". For monitoring: " + Anchor(PageLink(PageRoute(RouteKind::kMetrics).path), "metrics") +
        ".</p>\n";
    body += "<h2>Stations</h2>\n" + LatencyLegend(settings) + StationTable(view, settings);
    body += AvailabilitySection(view);
    return HtmlPage("TRQ archive", body);
}

}  // namespace trq
