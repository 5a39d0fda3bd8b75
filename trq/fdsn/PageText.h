#pragma once
// What the server's HTML pages share: the frame of a page with its stylesheet, links from
// the route table relative to the page (so that they hold behind a proxy's path prefix),
// query strings, times and durations in words, and the latency classes with their colours.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "trq/fdsn/FdsnRoutes.h"
#include "trq/fdsn/ServeSettings.h"

namespace trq {

// A page: the head (title, the stylesheet of kStyle), then `body`.
std::string HtmlPage(const std::string& title, const std::string& body);

// The stylesheet, served at kStyle's path, and the icon (SVG: a trace), at kIcon's.
const char* PageStyleSheet();
const char* PageIcon();

// Percent-encoding of a query value (codes are plain in practice; names that are not, which
// the pages still list, must not break their links).
std::string QueryEscaped(const std::string& text);

using LinkQuery = std::vector<std::pair<std::string, std::string>>;

// "path?k=v&amp;k=v" relative to a page at the top ("/x" -> "x", "/" -> "./"), values
// escaped, ready for an href attribute; empty values are left out.
std::string PageLink(const std::string& path, const LinkQuery& query = {});

// <a href="...">text</a>, the text escaped.
std::string Anchor(const std::string& href, const std::string& text);

// "2013-10-22T00:00:00.250000Z" without the fraction beyond what `decimals` keeps, for
// query values and form fields: "2013-10-22T00:00:00".
std::string IsoTime(int64_t microseconds, int decimals = 6);

// <time datetime="2013-10-22T00:00:00.250000Z">2013-10-22 00:00:00</time>; "-" for none.
std::string TimeElement(std::optional<int64_t> microseconds);

// A length of time in words, to the minute above an hour: "42 s", "17 min", "3 h 05 min",
// "1 h", "12 d 04 h", "1 d".
std::string DurationWords(double seconds);

// "99.86 %".
std::string PercentText(double percent);

// A number with at most `digits` significant digits, no trailing zeros: "46.5", "1e+06".
std::string NumberText(double value, int digits);

// How late a stream's data is: now minus its last sample, against the settings' thresholds.
// A latency of exactly a threshold is in the class above it.
enum class LatencyClass { kCurrent, kLate, kSilent, kNoData };
LatencyClass ClassifyLatency(std::optional<double> latencySeconds, const ServeSettings& settings);
// "current", "late", "silent", "no-data": the CSS class and the word the page shows.
const char* LatencyClassName(LatencyClass latency);

// <td class="latency CLASS" data-seconds="...">words</td>.
std::string LatencyCell(std::optional<int64_t> last, int64_t now, const ServeSettings& settings);

}  // namespace trq
