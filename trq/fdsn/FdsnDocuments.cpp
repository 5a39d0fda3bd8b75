#include "trq/fdsn/FdsnDocuments.h"

#include <cstdio>

#include "recorder/UtcTime.h"

namespace trq {

namespace {

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

// The usage page's path below the base is "/" in the WADL, the others their own.
std::string WadlDocument(const FdsnDocument& document) {
    const std::string path = *document.path == '\0' ? "/" : document.path;
    return "    <resource path=\"" + path +
           "\"><method name=\"GET\"><response><representation mediaType=\"" + document.mediaType +
           "\"/></response></method></resource>\n";
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
    const std::string usage = base + (service ? service->BasePath() : "/");
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
    xml += WadlDocument(kUsagePage);
    for (const FdsnMethod& method : service.Methods()) xml += WadlMethod(service, method);
    xml += WadlDocument(kVersionDocument) + WadlDocument(kWadlDocument);
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
