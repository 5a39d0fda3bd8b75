#include "catalog/CatalogSelection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kMicrosecondsPerSecond = 1e6;
// How much wider the database's condition is than the exact one: far above the rounding
// of a double near 2e9 seconds, far below anything a window means.
constexpr double kConditionMarginSeconds = 0.001;

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

}  // namespace

bool HasWildcard(std::string_view pattern) {
    return pattern.find_first_of("*?") != std::string_view::npos;
}

bool MatchesAnyPattern(const std::vector<std::string>& patterns, std::string_view code) {
    return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& pattern) {
        if (pattern == "--") return code.empty();
        return MatchesPattern(pattern, code);
    });
}

bool MatchesPattern(std::string_view pattern, std::string_view channel) {
    // Backtracking to the last '*' is enough for patterns with only '*' and '?'.
    std::size_t p = 0, c = 0;
    std::size_t starAt = std::string_view::npos, resumeAt = 0;
    while (c < channel.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == channel[c])) {
            ++p;
            ++c;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = c;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            c = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

int64_t RowStart(const CatalogRow& row) {
    return std::llround(row.start * kMicrosecondsPerSecond);
}

int64_t RowEnd(const CatalogRow& row) {
    return RowStart(row) + std::llround(row.duration * kMicrosecondsPerSecond);
}

std::vector<std::string> NamesMatching(const std::vector<std::string>& patterns,
                                       const std::function<std::vector<std::string>()>& listNames) {
    std::vector<std::string> names;
    if (std::none_of(patterns.begin(), patterns.end(), HasWildcard)) {
        names = patterns;
    } else {
        for (std::string& name : listNames()) {
            if (MatchesAnyPattern(patterns, name)) names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

SqlCondition StreamCondition(const std::string& station, const std::string& channel,
                             const CatalogSelection& selection) {
    // STA and CH as equalities, so that the index narrows the search to one channel's rows
    // in time order.
    SqlCondition condition{"STA=? AND CH=?", {station, channel}};
    if (selection.to) {
        const double to = static_cast<double>(*selection.to) / kMicrosecondsPerSecond;
        condition.text += " AND TBEGIN<" + Number(to + kConditionMarginSeconds);
    }
    const double from = static_cast<double>(selection.From()) / kMicrosecondsPerSecond;
    condition.text += " AND TBEGIN+TQTY>" + Number(from - kConditionMarginSeconds);
    return condition;
}

bool RowMeetsSelection(const CatalogRow& row, const CatalogSelection& selection) {
    if (!MatchesAnyPattern(selection.stations, row.station) ||
        !MatchesAnyPattern(selection.channels, row.channel)) {
        return false;
    }
    // Spans the microsecond arithmetic cannot hold, and rows without a rate (damaged rows),
    // meet no window: they cannot be placed in time.
    constexpr double kLongestSeconds = 1e11;
    if (!(std::fabs(row.start) < kLongestSeconds) ||
        !(row.duration >= 0 && row.duration < kLongestSeconds) || !(row.rate > 0)) {
        return false;
    }
    return (!selection.to || RowStart(row) < *selection.to) && RowEnd(row) > selection.From();
}
