#include "trq/fdsn/IndexPage.h"

#include <cctype>
#include <cstdio>

#include "trq/fdsn/AvailabilityService.h"
#include "trq/fdsn/FdsnDocuments.h"
#include "trq/fdsn/FdsnRoutes.h"

namespace trq {

namespace {

// Percent-encoding of a code for a query string (codes are plain in practice; names that
// are not, which the index still lists, must not break its links).
std::string QueryEscaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '_' || c == '.') {
            escaped += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", byte);
            escaped += hex;
        }
    }
    return escaped;
}

// The links relative to the page, so that they hold behind a proxy's path prefix too.
std::string Relative(const std::string& path) {
    return path.substr(1);
}

// "<a>dataselect</a>, <a>station</a>, ...": each service's usage page.
std::string ServiceLinks() {
    std::string links;
    for (const FdsnRoute& route : FdsnRouteTable()) {
        if (route.kind != RouteKind::kUsage) continue;
        links += std::string(links.empty() ? "" : ", ") + "<a href=\"" + Relative(route.path) +
                 "\">" + route.service->Name() + "</a>";
    }
    return links;
}

}  // namespace

std::string IndexPage(const std::vector<StreamName>& streams, const std::string& network) {
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<title>TRQ archive: FDSN web services</title></head>\n<body>\n"
        "<h1>TRQ archive</h1>\n<p>FDSN web services: " +
        ServiceLinks() + ". Network code " + MarkupEscaped(network) +
        ", blank location code.</p>\n";
    html += "<table>\n<tr><th>Station</th><th>Channel</th><th>Availability</th></tr>\n";
    const std::string availability = Relative(AvailabilityService().BasePath());
    for (const StreamName& stream : streams) {
        html += "<tr><td>" + MarkupEscaped(stream.station) + "</td><td>" +
                MarkupEscaped(stream.channel) + "</td><td>";
        if (const std::string problem = StreamNameProblem(stream); !problem.empty()) {
            html += "not served: the " + MarkupEscaped(problem) + " (miniSEED 2)";
        } else {
            const std::string query = "?net=" + QueryEscaped(network) +
                                      "&amp;sta=" + QueryEscaped(stream.station) +
                                      "&amp;loc=--&amp;cha=" + QueryEscaped(stream.channel);
            html += "<a href=\"" + availability + "extent" + query + "\">extent</a> <a href=\"" +
                    availability + "query" + query + "\">time spans</a>";
        }
        html += "</td></tr>\n";
    }
    return html + "</table>\n</body></html>\n";
}

}  // namespace trq
