#include "trq/fdsn/FdsnRequest.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <map>

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

// The parameter a name or alias stands for, or null.
const FdsnParameterInfo* FindParameter(std::span<const FdsnParameterInfo> parameters,
                                       const std::string& key) {
    for (const FdsnParameterInfo& info : parameters) {
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

void SetSelectionValue(CatalogSelection& selection, const std::string& name,
                       const std::string& value) {
    if (name == "starttime") selection.from = TimeValue(name, value);
    if (name == "endtime") selection.to = TimeValue(name, value);
    if (name == "network") selection.networks = CodeList(name, value);
    if (name == "station") selection.stations = CodeList(name, value);
    if (name == "location") selection.locations = CodeList(name, value);
    if (name == "channel") selection.channels = CodeList(name, value);
}

void CheckWindow(const CatalogSelection& selection) {
    if (selection.from && selection.to && *selection.to < *selection.from) {
        Refuse("Bad time window: endtime " + FormatIsoUtcMicroseconds(*selection.to) +
               " lies before starttime " + FormatIsoUtcMicroseconds(*selection.from));
    }
}

// Applies one key=value option of a POST body, or of a GET (then selection parameters too).
void ApplyParameter(std::span<const FdsnParameterInfo> parameters, const std::string& key,
                    const std::string& value, bool selectionAllowed,
                    std::map<std::string, std::string>& seen, const FdsnOptionSetter& setOption,
                    CatalogSelection& selection) {
    const FdsnParameterInfo* info = FindParameter(parameters, key);
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
        setOption(*info, value);
    }
}

CatalogSelection SelectionLine(std::string line) {
    std::replace(line.begin(), line.end(), '\t', ' ');
    std::vector<std::string> fields;
    for (std::string& field : SplitOn(line, ' ')) {
        if (!field.empty()) fields.push_back(std::move(field));
    }
    if (fields.size() != 6) {
        Refuse("Bad selection line \"" + line +
               "\": expected NET STA LOC CHA STARTTIME ENDTIME, separated by blanks");
    }
    CatalogSelection selection;
    selection.networks = CodeList("network", fields[0]);
    selection.stations = CodeList("station", fields[1]);
    selection.locations = CodeList("location", fields[2]);
    selection.channels = CodeList("channel", fields[3]);
    selection.from = TimeValue("starttime", fields[4]);
    selection.to = TimeValue("endtime", fields[5]);
    CheckWindow(selection);
    return selection;
}

}  // namespace

std::vector<FdsnParameterInfo> WithSelectionParameters(std::span<const FdsnParameterInfo> options) {
    std::vector<FdsnParameterInfo> all(std::begin(kSelectionParameters),
                                       std::end(kSelectionParameters));
    all.insert(all.end(), options.begin(), options.end());
    return all;
}

CatalogSelection ReadFdsnGet(std::span<const FdsnParameterInfo> parameters,
                             const QueryParameters& params, FdsnWindow window,
                             const FdsnOptionSetter& setOption) {
    CatalogSelection selection;
    std::map<std::string, std::string> seen;
    for (const auto& [key, value] : params) {
        ApplyParameter(parameters, key, value, true, seen, setOption, selection);
    }
    if (window == FdsnWindow::kBounded) {
        if (!selection.from) Refuse("Missing parameter: starttime");
        if (!selection.to) Refuse("Missing parameter: endtime");
    }
    CheckWindow(selection);
    return selection;
}

std::vector<CatalogSelection> ReadFdsnPost(std::span<const FdsnParameterInfo> parameters,
                                           std::string_view body,
                                           const FdsnOptionSetter& setOption) {
    std::vector<CatalogSelection> selections;
    std::map<std::string, std::string> seen;
    for (std::string line : SplitOn(body, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            if (!selections.empty()) {
                Refuse("Parameter line \"" + line + "\" after a selection line");
            }
            CatalogSelection ignored;
            ApplyParameter(parameters, line.substr(0, equals), line.substr(equals + 1), false, seen,
                           setOption, ignored);
            continue;
        }
        if (selections.size() == kMaxSelectionLines) {
            throw FdsnError(413, "The request holds more than " +
                                     std::to_string(kMaxSelectionLines) +
                                     " selection lines; send them in several requests");
        }
        selections.push_back(SelectionLine(line));
    }
    if (selections.empty()) Refuse("The POST body holds no selection line");
    return selections;
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

int64_t PositiveInteger(const std::string& name, const std::string& value) {
    int64_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size() || number <= 0) {
        Refuse("Bad value of " + name + ": \"" + value + "\" is not a positive whole number");
    }
    return number;
}

}  // namespace trq
