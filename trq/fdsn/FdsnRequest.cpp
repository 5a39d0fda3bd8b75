#include "trq/fdsn/FdsnRequest.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <map>

#include "catalog/CatalogSelection.h"
#include "recorder/UtcTime.h"

namespace trq {

namespace {

constexpr FdsnParameterInfo kSelectionParameters[] = {
    {"starttime", "start", "xs:dateTime", "", "", "Start of the window, UTC"},
    {"endtime", "end", "xs:dateTime", "", "", "End of the window (not included), UTC"},
    {"network", "net", "xs:string", "*", "", "Network codes: comma list, * and ? wildcards"},
    {"station", "sta", "xs:string", "*", "", "Station codes: comma list, * and ? wildcards"},
    {"location", "loc", "xs:string", "*", "",
     "Location codes: comma list, * and ? wildcards, -- for the blank code"},
    {"channel", "cha", "xs:string", "*", "", "Channel codes: comma list, * and ? wildcards"},
};

constexpr FdsnParameterInfo kDataselectOptions[] = {
    {"quality", "", "xs:string", "B", "D,R,Q,M,B", "Quality; every record of this archive is D"},
    {"minimumlength", "", "xs:double", "0.0", "",
     "Leave out continuous segments shorter than this many seconds"},
    {"longestonly", "", "xs:boolean", "false", "true,false",
     "Only the longest continuous segment of each channel"},
    {"format", "", "xs:string", "miniseed", "miniseed", "miniSEED 2, float32 samples"},
    {"nodata", "", "xs:int", "204", "204,404", "Status of an answer without data"},
};

constexpr FdsnParameterInfo kAvailabilityQueryOptions[] = {
    {"quality", "", "xs:string", "*", "D,R,Q,M,*", "Quality; every record of this archive is D"},
    {"merge", "", "xs:string", "", "samplerate,quality,overlap", "Comma list of what to merge"},
    {"mergegaps", "", "xs:double", "", "", "Merge spans separated by at most this many seconds"},
    {"orderby", "", "xs:string", "nslc_time_quality_samplerate",
     "nslc_time_quality_samplerate,latestupdate,latestupdate_desc", "Order of the rows"},
    {"limit", "", "xs:int", "", "", "At most this many rows"},
    {"includerestricted", "", "xs:boolean", "false", "true,false",
     "Every stream of this archive is open"},
    {"format", "", "xs:string", "text", "text,json,request", "Output format"},
    {"nodata", "", "xs:int", "204", "204,404", "Status of an answer without data"},
    {"show", "", "xs:string", "", "latestupdate", "latestupdate adds the time of the last load"},
};

constexpr FdsnParameterInfo kAvailabilityExtentOptions[] = {
    {"quality", "", "xs:string", "*", "D,R,Q,M,*", "Quality; every record of this archive is D"},
    {"merge", "", "xs:string", "", "samplerate,quality,overlap", "Comma list of what to merge"},
    {"orderby", "", "xs:string", "nslc_time_quality_samplerate",
     "nslc_time_quality_samplerate,latestupdate,latestupdate_desc,timespancount,"
     "timespancount_desc",
     "Order of the rows"},
    {"limit", "", "xs:int", "", "", "At most this many rows"},
    {"includerestricted", "", "xs:boolean", "false", "true,false",
     "Every stream of this archive is open"},
    {"format", "", "xs:string", "text", "text,json,request", "Output format"},
    {"nodata", "", "xs:int", "204", "204,404", "Status of an answer without data"},
};

template <std::size_t N, std::size_t M>
std::vector<FdsnParameterInfo> Join(const FdsnParameterInfo (&a)[N],
                                    const FdsnParameterInfo (&b)[M]) {
    std::vector<FdsnParameterInfo> all(std::begin(a), std::end(a));
    all.insert(all.end(), std::begin(b), std::end(b));
    return all;
}

const std::vector<FdsnParameterInfo>& InfosOf(FdsnService service, FdsnMethod method) {
    static const std::vector<FdsnParameterInfo> dataselect =
        Join(kSelectionParameters, kDataselectOptions);
    static const std::vector<FdsnParameterInfo> query =
        Join(kSelectionParameters, kAvailabilityQueryOptions);
    static const std::vector<FdsnParameterInfo> extent =
        Join(kSelectionParameters, kAvailabilityExtentOptions);
    if (service == FdsnService::kDataselect) return dataselect;
    return method == FdsnMethod::kQuery ? query : extent;
}

[[noreturn]] void Refuse(const std::string& message) {
    throw FdsnError(400, message);
}

std::vector<std::string> SplitOn(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t end = text.find(separator, begin);
        parts.emplace_back(text.substr(begin, end - begin));
        if (end == std::string_view::npos) return parts;
        begin = end + 1;
    }
}

// A comma list of codes: letters, digits, '*', '?' and '-' (for "--").
std::vector<std::string> CodeList(const std::string& name, const std::string& value) {
    std::vector<std::string> codes = SplitOn(value, ',');
    for (std::string& code : codes) {
        const bool blankLocation = name == "location" && (code.empty() || code == "--");
        if (blankLocation) {
            code = "--";
            continue;
        }
        const bool usable =
            !code.empty() && code.size() <= 64 && std::all_of(code.begin(), code.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) || c == '*' || c == '?';
            });
        if (!usable) {
            Refuse("Bad value of " + name + ": \"" + value +
                   "\" (a comma list of codes of letters and digits, with * and ? wildcards" +
                   (name == "location" ? ", -- for the blank code)" : ")"));
        }
    }
    return codes;
}

int64_t TimeValue(const std::string& name, const std::string& value) {
    const std::optional<int64_t> time = ParseIsoUtcMicroseconds(value);
    if (!time) {
        Refuse("Bad value of " + name + ": \"" + value +
               "\" is not a time in UTC (YYYY-MM-DDThh:mm:ss.ssssss, or a date YYYY-MM-DD)");
    }
    return *time;
}

double NonNegativeNumber(const std::string& name, const std::string& value) {
    double number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(number) ||
        number < 0) {
        Refuse("Bad value of " + name + ": \"" + value + "\" is not a number of seconds >= 0");
    }
    return number;
}

bool BooleanValue(const std::string& name, const std::string& value) {
    std::string lower = value;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "true") return true;
    if (lower == "false") return false;
    Refuse("Bad value of " + name + ": \"" + value + "\" (true or false)");
}

// The value checked against the parameter's options (one of them, or with `list` a comma list
// of them).
std::vector<std::string> OptionValues(const FdsnParameterInfo& info, const std::string& value,
                                      bool list) {
    const std::vector<std::string> allowed = SplitOn(info.options, ',');
    std::vector<std::string> values = list ? SplitOn(value, ',') : std::vector{value};
    for (const std::string& item : values) {
        if (std::find(allowed.begin(), allowed.end(), item) == allowed.end()) {
            Refuse("Bad value of " + std::string(info.name) + ": \"" + value + "\" (" +
                   (list ? "a comma list of " : "one of ") + info.options + ")");
        }
    }
    return values;
}

int64_t PositiveInteger(const std::string& name, const std::string& value) {
    int64_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size() || number <= 0) {
        Refuse("Bad value of " + name + ": \"" + value + "\" is not a positive whole number");
    }
    return number;
}

// The parameter a name or alias stands for, or null.
const FdsnParameterInfo* FindParameter(FdsnService service, FdsnMethod method,
                                       const std::string& key) {
    for (const FdsnParameterInfo& info : InfosOf(service, method)) {
        if (key == info.name || (*info.alias != '\0' && key == info.alias)) return &info;
    }
    return nullptr;
}

bool IsSelectionParameter(const FdsnParameterInfo& info) {
    return std::any_of(std::begin(kSelectionParameters), std::end(kSelectionParameters),
                       [&](const FdsnParameterInfo& selection) {
                           return std::string_view(selection.name) == info.name;
                       });
}

void SetSelectionValue(FdsnSelection& selection, const std::string& name,
                       const std::string& value) {
    if (name == "starttime") selection.start = TimeValue(name, value);
    if (name == "endtime") selection.end = TimeValue(name, value);
    if (name == "network") selection.networks = CodeList(name, value);
    if (name == "station") selection.stations = CodeList(name, value);
    if (name == "location") selection.locations = CodeList(name, value);
    if (name == "channel") selection.channels = CodeList(name, value);
}

void SetOption(FdsnRequest& request, const FdsnParameterInfo& info, const std::string& value) {
    const std::string name = info.name;
    if (name == "nodata") request.noDataStatus = std::stoi(OptionValues(info, value, false)[0]);
    if (name == "format") request.format = OptionValues(info, value, false)[0];
    if (name == "quality") request.qualities = OptionValues(info, value, true);
    if (name == "minimumlength") request.minimumLength = NonNegativeNumber(name, value);
    if (name == "longestonly") request.longestOnly = BooleanValue(name, value);
    if (name == "includerestricted") BooleanValue(name, value);
    if (name == "mergegaps") request.mergeGaps = NonNegativeNumber(name, value);
    if (name == "orderby") request.orderBy = OptionValues(info, value, false)[0];
    if (name == "limit") request.limit = PositiveInteger(name, value);
    if (name == "show") request.showLatestUpdate = !OptionValues(info, value, false).empty();
    if (name == "merge") {
        for (const std::string& item : OptionValues(info, value, true)) {
            request.mergeSampleRate = request.mergeSampleRate || item == "samplerate";
            request.mergeQuality = request.mergeQuality || item == "quality";
            request.mergeOverlap = request.mergeOverlap || item == "overlap";
        }
    }
}

void CheckWindow(const FdsnSelection& selection) {
    if (selection.start && selection.end && *selection.end < *selection.start) {
        Refuse("Bad time window: endtime " + FormatIsoUtcMicroseconds(*selection.end) +
               " lies before starttime " + FormatIsoUtcMicroseconds(*selection.start));
    }
}

FdsnRequest DefaultRequest(FdsnService service) {
    FdsnRequest request;
    request.format = service == FdsnService::kDataselect ? "miniseed" : "text";
    return request;
}

// Applies one key=value option of a POST body, or of a GET (then selection parameters too).
void ApplyParameter(FdsnService service, FdsnMethod method, const std::string& key,
                    const std::string& value, bool selectionAllowed,
                    std::map<std::string, std::string>& seen, FdsnRequest& request,
                    FdsnSelection& selection) {
    const FdsnParameterInfo* info = FindParameter(service, method, key);
    if (info == nullptr) Refuse("Unknown parameter: " + key);
    if (!seen.emplace(info->name, key).second) {
        Refuse("Parameter given twice: " + seen[info->name] + " and " + key);
    }
    if (IsSelectionParameter(*info)) {
        if (!selectionAllowed) {
            Refuse("Parameter " + key + " belongs on a selection line in a POST body");
        }
        SetSelectionValue(selection, info->name, value);
    } else {
        SetOption(request, *info, value);
    }
}

FdsnSelection SelectionLine(std::string line) {
    std::replace(line.begin(), line.end(), '\t', ' ');
    std::vector<std::string> fields;
    for (std::string& field : SplitOn(line, ' ')) {
        if (!field.empty()) fields.push_back(std::move(field));
    }
    if (fields.size() != 6) {
        Refuse("Bad selection line \"" + line +
               "\": expected NET STA LOC CHA STARTTIME ENDTIME, separated by blanks");
    }
    FdsnSelection selection;
    selection.networks = CodeList("network", fields[0]);
    selection.stations = CodeList("station", fields[1]);
    selection.locations = CodeList("location", fields[2]);
    selection.channels = CodeList("channel", fields[3]);
    selection.start = TimeValue("starttime", fields[4]);
    selection.end = TimeValue("endtime", fields[5]);
    CheckWindow(selection);
    return selection;
}

}  // namespace

const char* ServiceName(FdsnService service) {
    return service == FdsnService::kDataselect ? "dataselect" : "availability";
}

const char* ServiceVersion(FdsnService service) {
    return service == FdsnService::kDataselect ? "1.1.0" : "1.0.0";
}

std::span<const FdsnParameterInfo> FdsnParameters(FdsnService service, FdsnMethod method) {
    return InfosOf(service, method);
}

FdsnRequest ParseFdsnGet(FdsnService service, FdsnMethod method, const QueryParameters& params) {
    FdsnRequest request = DefaultRequest(service);
    FdsnSelection selection;
    std::map<std::string, std::string> seen;
    for (const auto& [key, value] : params) {
        ApplyParameter(service, method, key, value, true, seen, request, selection);
    }
    if (service == FdsnService::kDataselect) {
        // A window without an end could ask for the whole archive at once.
        if (!selection.start) Refuse("Missing parameter: starttime");
        if (!selection.end) Refuse("Missing parameter: endtime");
    }
    CheckWindow(selection);
    request.selections.push_back(std::move(selection));
    return request;
}

FdsnRequest ParseFdsnPost(FdsnService service, FdsnMethod method, std::string_view body) {
    FdsnRequest request = DefaultRequest(service);
    std::map<std::string, std::string> seen;
    for (std::string line : SplitOn(body, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            if (!request.selections.empty()) {
                Refuse("Parameter line \"" + line + "\" after a selection line");
            }
            FdsnSelection ignored;
            ApplyParameter(service, method, line.substr(0, equals), line.substr(equals + 1), false,
                           seen, request, ignored);
            continue;
        }
        if (request.selections.size() == kMaxSelectionLines) {
            throw FdsnError(413, "The request holds more than " +
                                     std::to_string(kMaxSelectionLines) +
                                     " selection lines; send them in several requests");
        }
        request.selections.push_back(SelectionLine(line));
    }
    if (request.selections.empty()) Refuse("The POST body holds no selection line");
    return request;
}

bool MatchesAnyPattern(const std::vector<std::string>& patterns, std::string_view code) {
    return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& pattern) {
        if (pattern == "--") return code.empty();
        return ChannelMatches(pattern, code);
    });
}

}  // namespace trq
