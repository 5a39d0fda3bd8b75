#include "trq/fdsn/PageText.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "recorder/UtcTime.h"
#include "trq/fdsn/FdsnDocuments.h"

namespace trq {

namespace {

// The colours of the latency classes are those of the availability picture: data green,
// late amber, silent red (the picture's gap red).
constexpr const char* kStyleSheet =
    R"(body { font-family: "DejaVu Sans", sans-serif; margin: 1.2em 2em; color: #222; }
h1 { font-size: 1.5em; margin-bottom: 0.2em; }
h2 { font-size: 1.15em; margin-top: 1.6em; }
p.made, p.services { color: #555; margin-top: 0.2em; }
table { border-collapse: collapse; margin: 0.5em 0; }
th, td { border: 1px solid #ccc; padding: 0.25em 0.55em; text-align: left; vertical-align: top; }
th { background: #eef1f4; }
td.number { text-align: right; }
.latency { font-weight: bold; }
.current { background: #d4edda; color: #155724; }
.late { background: #fff3cd; color: #856404; }
.silent { background: #f8d7da; color: #842029; }
.no-data { background: #eeeeee; color: #666; }
td.station { font-weight: bold; }
img { max-width: 100%; border: 1px solid #ddd; }
figure { margin: 0.5em 0 1em 0; }
form { margin: 0.5em 0; }
form label { margin-right: 0.8em; }
input[type=text] { width: 13em; }
input.code { width: 4em; }
.legend span { padding: 0.1em 0.5em; margin-right: 0.4em; }
)";

constexpr const char* kIcon =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 32 32\">"
    "<rect width=\"32\" height=\"32\" rx=\"5\" fill=\"#295e9e\"/>"
    "<path d=\"M2 17h6l3-9 4 17 4-13 3 7 2-2h6\" fill=\"none\" stroke=\"#fff\" "
    "stroke-width=\"2.4\" stroke-linejoin=\"round\"/></svg>\n";

}  // namespace

std::string HtmlPage(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>" +
           MarkupEscaped(title) + "</title>\n<link rel=\"stylesheet\" href=\"" +
           PageLink(PageRoute(RouteKind::kStyle).path) + "\">\n<link rel=\"icon\" href=\"" +
           PageLink(PageRoute(RouteKind::kIcon).path) +
           "\" type=\"image/svg+xml\">\n</head>\n<body>\n" + body + "</body></html>\n";
}

const char* PageStyleSheet() {
    return kStyleSheet;
}

const char* PageIcon() {
    return kIcon;
}

std::string QueryEscaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '_' || c == '.' || c == ':') {
            escaped += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", byte);
            escaped += hex;
        }
    }
    return escaped;
}

std::string PageLink(const std::string& path, const LinkQuery& query) {
    std::string link = path == "/" ? "./" : path.substr(1);
    char separator = '?';
    for (const auto& [key, value] : query) {
        if (value.empty()) continue;
        link += std::string(separator == '?' ? "?" : "&amp;") + key + "=" + QueryEscaped(value);
        separator = '&';
    }
    return link;
}

std::string Anchor(const std::string& href, const std::string& text) {
    return "<a href=\"" + href + "\">" + MarkupEscaped(text) + "</a>";
}

std::string IsoTime(int64_t microseconds, int decimals) {
    std::string text = FormatIsoUtcMicroseconds(microseconds);  // ...T00:00:00.250000Z
    text.pop_back();
    return decimals <= 0 ? text.substr(0, 19) : text.substr(0, 20 + std::min(decimals, 6));
}

std::string TimeElement(std::optional<int64_t> microseconds) {
    if (!microseconds) return "-";
    const std::string iso = FormatIsoUtcMicroseconds(*microseconds);
    return "<time datetime=\"" + iso + "\">" + iso.substr(0, 10) + " " + iso.substr(11, 8) +
           "</time>";
}

std::string DurationWords(double seconds) {
    const auto whole = static_cast<long long>(std::floor(std::max(0.0, seconds)));
    // The larger unit, and the smaller one after it unless it is nought.
    const struct {
        long long seconds;
        const char* name;
        const char* format;
    } units[] = {{86400, "d", "%lld d %02lld h"},
                 {3600, "h", "%lld h %02lld min"},
                 {60, "min", nullptr},
                 {1, "s", nullptr}};
    char text[64];
    for (std::size_t i = 0; i < std::size(units); ++i) {
        if (whole < units[i].seconds && units[i].seconds > 1) continue;
        const long long rest =
            units[i].format ? whole % units[i].seconds / units[i + 1].seconds : 0;
        if (rest == 0) {
            std::snprintf(text, sizeof text, "%lld %s", whole / units[i].seconds, units[i].name);
        } else {
            std::snprintf(text, sizeof text, units[i].format, whole / units[i].seconds, rest);
        }
        break;
    }
    return text;
}

std::string NumberText(double value, int digits) {
    char text[40];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    return text;
}

std::string PercentText(double percent) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f %%", percent);
    return text;
}

LatencyClass ClassifyLatency(std::optional<double> latencySeconds, const ServeSettings& settings) {
    if (!latencySeconds) return LatencyClass::kNoData;
    if (*latencySeconds >= settings.silentSeconds) return LatencyClass::kSilent;
    if (*latencySeconds >= settings.lateSeconds) return LatencyClass::kLate;
    return LatencyClass::kCurrent;
}

const char* LatencyClassName(LatencyClass latency) {
    switch (latency) {
        case LatencyClass::kCurrent:
            return "current";
        case LatencyClass::kLate:
            return "late";
        case LatencyClass::kSilent:
            return "silent";
        case LatencyClass::kNoData:
            break;
    }
    return "no-data";
}

std::string LatencyCell(std::optional<int64_t> last, int64_t now, const ServeSettings& settings) {
    std::optional<double> seconds;
    if (last) seconds = static_cast<double>(now - *last) / 1e6;
    const char* name = LatencyClassName(ClassifyLatency(seconds, settings));
    if (!seconds) return std::string("<td class=\"latency ") + name + "\">no data</td>";
    char figure[40];
    std::snprintf(figure, sizeof figure, "%.6f", *seconds);
    return std::string("<td class=\"latency ") + name + "\" data-seconds=\"" + figure +
           "\" title=\"" + name + "\">" + DurationWords(*seconds) + "</td>";
}

}  // namespace trq
