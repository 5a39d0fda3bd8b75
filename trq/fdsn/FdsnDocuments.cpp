#include "trq/fdsn/FdsnDocuments.h"

#include <cctype>
#include <cstdio>
#include <string_view>

#include "recorder/UtcTime.h"

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

std::string WadlParameter(const FdsnParameterInfo& info, const char* name) {
    std::string xml = "        <param name=\"" + std::string(name) + "\" style=\"query\" type=\"" +
                      info.type + "\"";
    if (*info.defaultValue != '\0') xml += " default=\"" + MarkupEscaped(info.defaultValue) + "\"";
    xml += ">\n          <doc xml:lang=\"en\">" + MarkupEscaped(info.help) + "</doc>\n";
    std::string options = info.options;
    for (std::size_t begin = 0; !options.empty() && begin <= options.size();) {
        const std::size_t end = std::min(options.find(',', begin), options.size());
        xml += "          <option value=\"" + MarkupEscaped(options.substr(begin, end - begin)) +
               "\"/>\n";
        begin = end + 1;
    }
    return xml + "        </param>\n";
}

std::string WadlMethod(const FdsnService& service, const FdsnMethod& method) {
    std::string xml = "    <resource path=\"" + std::string(method.name) + "\">\n";
    xml += "      <method name=\"GET\">\n        <request>\n";
    for (const FdsnParameterInfo& info : method.parameters) {
        xml += WadlParameter(info, info.name);
        if (*info.alias != '\0') xml += WadlParameter(info, info.alias);
    }
    xml += "        </request>\n        <response status=\"200\">\n";
    for (const char* type : service.MediaTypes()) {
        xml += "          <representation mediaType=\"" + std::string(type) + "\"/>\n";
    }
    xml += "        </response>\n";
    xml += "        <response status=\"204 400 404 413 414 500\"/>\n      </method>\n";
    xml += "      <method name=\"POST\">\n        <request>\n";
    xml += "          <representation mediaType=\"text/plain\"/>\n        </request>\n";
    xml += "        <response status=\"200\"/>\n      </method>\n    </resource>\n";
    return xml;
}

std::string UsageParameters(const FdsnMethod& method) {
    std::string text;
    for (const FdsnParameterInfo& info : method.parameters) {
        std::string name = info.name;
        if (*info.alias != '\0') name += " (" + std::string(info.alias) + ")";
        char line[160];
        std::snprintf(line, sizeof line, "  %-22s %s", name.c_str(), info.help);
        text += line;
        if (*info.options != '\0') text += "; one of " + std::string(info.options);
        if (*info.defaultValue != '\0') text += "; default " + std::string(info.defaultValue);
        text += "\n";
    }
    return text;
}

}  // namespace

const char* StatusText(int status) {
    switch (status) {
        case 204:
            return "No Content";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 413:
            return "Payload Too Large";
        case 414:
            return "URI Too Long";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Error";
    }
}

std::string FdsnErrorBody(int status, const std::string& detail, const FdsnService* service,
                          const std::string& host, const std::string& target, int64_t submitted) {
    const std::string base = host.empty() ? std::string() : "http://" + host;
    const std::string usage = service ? base + "/fdsnws/" + service->Name() + "/1/" : base + "/";
    return "Error " + std::to_string(status) + ": " + StatusText(status) + "\n\n" + detail +
           "\n\nUsage details are available from " + usage + "\n\nRequest:\n" + base + target +
           "\n\nRequest Submitted:\n" + FormatIsoUtcMicroseconds(submitted) +
           "\n\nService version:\n" + (service ? service->Version() : "1.0.0") + "\n";
}

std::string ServiceWadl(const FdsnService& service, const std::string& baseUrl) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<application xmlns=\"http://wadl.dev.java.net/2009/02\" "
        "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n"
        "  <resources base=\"" +
        MarkupEscaped(baseUrl) + "\">\n";
    xml +=
        "    <resource path=\"/\"><method name=\"GET\"><response><representation "
        "mediaType=\"text/plain\"/></response></method></resource>\n";
    for (const FdsnMethod& method : service.Methods()) xml += WadlMethod(service, method);
    for (const char* path : {"version", "application.wadl"}) {
        const char* type = std::string_view(path) == "version" ? "text/plain" : "application/xml";
        xml += "    <resource path=\"" + std::string(path) +
               "\"><method name=\"GET\"><response><representation mediaType=\"" + type +
               "\"/></response></method></resource>\n";
    }
    return xml + "  </resources>\n</application>\n";
}

std::string ServiceUsage(const FdsnService& service, const std::string& baseUrl) {
    std::string text =
        "fdsnws-" + std::string(service.Name()) + " " + service.Version() + " on a TRQ archive\n\n";
    const char* between = "";
    for (const FdsnMethod& method : service.Methods()) {
        text += between + baseUrl + method.name + ": " + method.summary + "\n" +
                UsageParameters(method);
        between = "\n";
    }
    text +=
        "\nPOST: the options as key=value lines, then one selection per line:\n"
        "  NET STA LOC CHA STARTTIME ENDTIME   (-- for the blank location code)\n";
    text += "\n" + baseUrl + "version, " + baseUrl + "application.wadl\n";
    return text;
}

std::string IndexPage(const std::vector<StreamName>& streams, const std::string& network) {
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<title>TRQ archive: FDSN web services</title></head>\n<body>\n"
        "<h1>TRQ archive</h1>\n<p>FDSN web services: "
        "<a href=\"fdsnws/dataselect/1/\">dataselect</a> (miniSEED), "
        "<a href=\"fdsnws/availability/1/\">availability</a>. Network code " +
        MarkupEscaped(network) + ", blank location code.</p>\n";
    html += "<table>\n<tr><th>Station</th><th>Channel</th><th>Availability</th></tr>\n";
    for (const StreamName& stream : streams) {
        html += "<tr><td>" + MarkupEscaped(stream.station) + "</td><td>" +
                MarkupEscaped(stream.channel) + "</td><td>";
        if (const std::string problem = StreamNameProblem(stream); !problem.empty()) {
            html += "not served: the " + MarkupEscaped(problem) + " (miniSEED 2)";
        } else {
            const std::string query = "?net=" + QueryEscaped(network) +
                                      "&amp;sta=" + QueryEscaped(stream.station) +
                                      "&amp;loc=--&amp;cha=" + QueryEscaped(stream.channel);
            html += "<a href=\"fdsnws/availability/1/extent" + query + "\">extent</a> <a href=\"" +
                    "fdsnws/availability/1/query" + query + "\">time spans</a>";
        }
        html += "</td></tr>\n";
    }
    return html + "</table>\n</body></html>\n";
}

std::string MarkupEscaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

}  // namespace trq
