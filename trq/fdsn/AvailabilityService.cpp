#include "trq/fdsn/AvailabilityService.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <tuple>

#include "catalog/ContinuousSegments.h"
#include "recorder/UtcTime.h"
#include "trq/fdsn/CatalogPool.h"
#include "trq/fdsn/ServeSettings.h"
#include "trq/fdsn/ServerLog.h"

namespace trq {

namespace {

// One row of an answer: a span for /query, an extent (its spans counted) for /extent.
struct Span {
    StreamName stream;
    double rate = 0;
    int64_t start = 0;
    int64_t end = 0;
    int64_t updated = 0;  // seconds since 1970 UTC: the latest LDDATE of its files
    std::size_t spans = 1;
};

bool AsksForQualityD(const AvailabilityRequest& request) {
    if (request.qualities.empty()) return true;
    return std::any_of(request.qualities.begin(), request.qualities.end(),
                       [](const std::string& quality) { return quality == "D" || quality == "*"; });
}

// The spans of one stream within the selection's window.
void AddStreamSpans(ServedStreams& streams, const StreamName& stream,
                    const CatalogSelection& selection, std::vector<Span>& spans) {
    const int64_t from = selection.from.value_or(INT64_MIN);
    const int64_t to = selection.to.value_or(INT64_MAX);
    for (const ContinuousSegment& segment :
         JoinIntoSegmentsPerRate(streams.Rows(stream, selection.from, selection.to))) {
        Span span{stream, segment.rate, std::max(segment.start, from), std::min(segment.end, to)};
        if (span.start >= span.end) continue;
        for (const CatalogRow& row : segment.files)
            span.updated = std::max(span.updated, row.loadTime);
        spans.push_back(span);
    }
}

std::vector<Span> CollectSpans(ServedStreams& streams, const AvailabilityRequest& request) {
    std::vector<Span> spans;
    if (!AsksForQualityD(request)) return spans;
    for (const CatalogSelection& selection : request.selections) {
        for (const StreamName& stream : streams.Select(selection)) {
            AddStreamSpans(streams, stream, selection, spans);
        }
    }
    return spans;
}

// Rows that the answer keeps apart: one stream, and one rate unless merge=samplerate.
auto GroupKey(const Span& span, const AvailabilityRequest& request) {
    return std::make_tuple(span.stream, request.mergeSampleRate ? 0.0 : span.rate);
}

// Whether `next` (starting no earlier than `current`) joins it.
bool Joins(const Span& current, const Span& next, const AvailabilityRequest& request) {
    const double delta = static_cast<double>(next.start - current.end);
    if (std::fabs(delta) <= 0.5e6 / current.rate) return true;  // they touch: one series
    if (delta < 0) return request.mergeOverlap;
    return request.mergeGaps && delta <= *request.mergeGaps * 1e6;
}

std::vector<Span> MergeSpans(std::vector<Span> spans, const AvailabilityRequest& request) {
    std::sort(spans.begin(), spans.end(), [&](const Span& a, const Span& b) {
        return std::tuple_cat(GroupKey(a, request), std::tie(a.start, a.end)) <
               std::tuple_cat(GroupKey(b, request), std::tie(b.start, b.end));
    });
    std::vector<Span> merged;
    for (const Span& span : spans) {
        Span* last = merged.empty() ? nullptr : &merged.back();
        if (last && GroupKey(*last, request) == GroupKey(span, request) &&
            last->start == span.start && last->end == span.end) {
            continue;  // the same span named by two selections
        }
        if (last && GroupKey(*last, request) == GroupKey(span, request) &&
            Joins(*last, span, request)) {
            last->end = std::max(last->end, span.end);
            last->updated = std::max(last->updated, span.updated);
        } else {
            merged.push_back(span);
        }
    }
    return merged;
}

// One row per group: from the earliest start to the latest end, its spans counted.
std::vector<Span> Extents(const std::vector<Span>& spans, const AvailabilityRequest& request) {
    std::vector<Span> extents;
    for (const Span& span : spans) {
        if (!extents.empty() && GroupKey(extents.back(), request) == GroupKey(span, request)) {
            Span& extent = extents.back();
            extent.start = std::min(extent.start, span.start);
            extent.end = std::max(extent.end, span.end);
            extent.updated = std::max(extent.updated, span.updated);
            ++extent.spans;
        } else {
            extents.push_back(span);
        }
    }
    return extents;
}

void OrderAndLimit(std::vector<Span>& rows, const AvailabilityRequest& request) {
    const std::string& order = request.orderBy;
    auto key = [&](const Span& span) -> int64_t {
        if (order.starts_with("latestupdate")) return span.updated;
        if (order.starts_with("timespancount")) return static_cast<int64_t>(span.spans);
        return 0;
    };
    const bool descending = order.ends_with("_desc");
    std::stable_sort(rows.begin(), rows.end(), [&](const Span& a, const Span& b) {
        return descending ? key(a) > key(b) : key(a) < key(b);
    });
    if (request.limit && rows.size() > static_cast<std::size_t>(*request.limit)) {
        rows.resize(static_cast<std::size_t>(*request.limit));
    }
}

std::string RateText(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", rate);
    std::string result = text;
    if (result.find_first_of(".e") == std::string::npos) result += ".0";
    return result;
}

std::string TimeText(int64_t microseconds) {
    return FormatIsoUtcMicroseconds(microseconds);
}

// "2013-10-22T13:47:34Z": the load times are whole seconds.
std::string UpdatedText(int64_t seconds) {
    return FormatIsoUtcMicroseconds(seconds * 1000000).substr(0, 19) + "Z";
}

// Left-aligned columns, a header line starting with '#'.
std::string Columns(std::vector<std::vector<std::string>> lines) {
    std::vector<std::size_t> widths;
    for (const auto& line : lines) {
        widths.resize(std::max(widths.size(), line.size()), 0);
        for (std::size_t i = 0; i < line.size(); ++i)
            widths[i] = std::max(widths[i], line[i].size());
    }
    std::string text;
    for (const auto& line : lines) {
        std::string row;
        for (std::size_t i = 0; i < line.size(); ++i) {
            row += line[i];
            if (i + 1 < line.size()) row += std::string(widths[i] - line[i].size() + 1, ' ');
        }
        text += row + "\n";
    }
    return text;
}

// The stream's codes as served: a stream that names none has the configured network.
std::string NetworkOf(const Span& span, const std::string& network) {
    return span.stream.network.empty() ? network : span.stream.network;
}
std::string LocationText(const Span& span) {
    return span.stream.location.empty() ? "--" : span.stream.location;
}

std::vector<std::string> RowFields(const Span& span, const AvailabilityRequest& request,
                                   AvailabilityMethod method, const std::string& network) {
    std::vector<std::string> fields{NetworkOf(span, network), span.stream.station,
                                    LocationText(span), span.stream.channel};
    if (!request.mergeQuality) fields.push_back("D");
    if (!request.mergeSampleRate) fields.push_back(RateText(span.rate));
    fields.push_back(TimeText(span.start));
    fields.push_back(TimeText(span.end));
    if (method == AvailabilityMethod::kExtent) {
        fields.insert(fields.end(),
                      {UpdatedText(span.updated), std::to_string(span.spans), "OPEN"});
    } else if (request.showLatestUpdate) {
        fields.push_back(UpdatedText(span.updated));
    }
    return fields;
}

std::string TextAnswer(const std::vector<Span>& rows, const AvailabilityRequest& request,
                       AvailabilityMethod method, const std::string& network) {
    std::vector<std::string> header{"#Network", "Station", "Location", "Channel"};
    if (!request.mergeQuality) header.push_back("Quality");
    if (!request.mergeSampleRate) header.push_back("SampleRate");
    header.insert(header.end(), {"Earliest", "Latest"});
    if (method == AvailabilityMethod::kExtent) {
        header.insert(header.end(), {"Updated", "TimeSpans", "Restriction"});
    } else if (request.showLatestUpdate) {
        header.push_back("Updated");
    }
    std::vector<std::vector<std::string>> lines{header};
    for (const Span& span : rows) lines.push_back(RowFields(span, request, method, network));
    return Columns(std::move(lines));
}

// "NET STA LOC CHA START END" lines, ready to be sent to dataselect as a POST body.
std::string RequestAnswer(const std::vector<Span>& rows, const std::string& network) {
    std::string text;
    for (const Span& span : rows) {
        std::string start = TimeText(span.start), end = TimeText(span.end);
        start.pop_back();  // request times carry no Z
        end.pop_back();
        text += NetworkOf(span, network) + " " + span.stream.station + " " + LocationText(span) +
                " " + span.stream.channel + " " + start + " " + end + "\n";
    }
    return text;
}

nlohmann::ordered_json Datasource(const Span& span, const AvailabilityRequest& request,
                                  const std::string& network) {
    nlohmann::ordered_json source = {{"network", NetworkOf(span, network)},
                                     {"station", span.stream.station},
                                     {"location", span.stream.location},
                                     {"channel", span.stream.channel}};
    if (!request.mergeQuality) source["quality"] = "D";
    if (!request.mergeSampleRate) source["samplerate"] = span.rate;
    return source;
}

std::string JsonAnswer(const std::vector<Span>& rows, const AvailabilityRequest& request,
                       AvailabilityMethod method, const std::string& network, int64_t created) {
    nlohmann::ordered_json sources = nlohmann::ordered_json::array();
    const Span* previous = nullptr;
    int64_t updated = 0;  // of the datasource being filled
    for (const Span& span : rows) {
        if (method == AvailabilityMethod::kExtent) {
            nlohmann::ordered_json source = Datasource(span, request, network);
            source["earliest"] = TimeText(span.start);
            source["latest"] = TimeText(span.end);
            source["timespanCount"] = span.spans;
            source["updated"] = UpdatedText(span.updated);
            source["restriction"] = "OPEN";
            sources.push_back(std::move(source));
            continue;
        }
        // Consecutive spans of one group share a datasource.
        if (!previous || GroupKey(*previous, request) != GroupKey(span, request)) {
            sources.push_back(Datasource(span, request, network));
            sources.back()["timespans"] = nlohmann::ordered_json::array();
            updated = 0;
        }
        sources.back()["timespans"].push_back({TimeText(span.start), TimeText(span.end)});
        updated = std::max(updated, span.updated);
        if (request.showLatestUpdate) sources.back()["updated"] = UpdatedText(updated);
        previous = &span;
    }
    nlohmann::ordered_json document = {
        {"created", TimeText(created)}, {"version", 1.0}, {"datasources", std::move(sources)}};
    return document.dump(1) + "\n";
}

}  // namespace

AvailabilityAnswer AnswerAvailability(ServedStreams& streams, const AvailabilityRequest& request,
                                      AvailabilityMethod method, const std::string& network,
                                      int64_t created) {
    std::vector<Span> rows = MergeSpans(CollectSpans(streams, request), request);
    if (method == AvailabilityMethod::kExtent) rows = Extents(rows, request);
    OrderAndLimit(rows, request);
    AvailabilityAnswer answer;
    answer.noData = rows.empty();
    if (request.format == "json") {
        answer.contentType = "application/json";
        answer.body = JsonAnswer(rows, request, method, network, created);
    } else {
        answer.contentType = "text/plain";
        answer.body = request.format == "request" ? RequestAnswer(rows, network)
                                                  : TextAnswer(rows, request, method, network);
    }
    return answer;
}

namespace {

class Availability : public FdsnService {
  public:
    const char* Name() const override { return "availability"; }
    const char* Version() const override { return "1.0.0"; }
    const std::vector<FdsnMethod>& Methods() const override { return AvailabilityMethods(); }
    std::vector<const char*> MediaTypes() const override {
        return {"text/plain", "application/json"};
    }

    FdsnAnswer Answer(const FdsnCall& call, const FdsnServing& serving) const override {
        const auto method =
            static_cast<AvailabilityMethod>(&call.method - AvailabilityMethods().data());
        // A POST carries everything in its body, whatever its content type made of it.
        const AvailabilityRequest request = call.post ? ParseAvailabilityPost(method, call.body)
                                                      : ParseAvailabilityGet(method, call.query);
        AvailabilityAnswer found;
        serving.pool.Use([&](CatalogStore& catalog) {
            ServedStreams streams(catalog, serving.settings.network,
                                  serving.settings.inventory.get());
            found = AnswerAvailability(streams, request, method, serving.settings.network,
                                       NowMicroseconds());
        });
        FdsnAnswer answer;
        if (found.noData) {
            answer.noDataStatus = request.noDataStatus;
            return answer;
        }
        answer.contentType = found.contentType;
        answer.body = std::move(found.body);
        return answer;
    }
};

}  // namespace

const FdsnService& AvailabilityService() {
    static const Availability service;
    return service;
}

}  // namespace trq
