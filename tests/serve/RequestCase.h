#pragma once
// What the parser tables of the web services share: a query string taken apart the way the
// HTTP library hands it over, and a parsed request (or its refusal) written as one line, so
// that each case of a case file states what it expects as literal text.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/support/CaseScript.h"
#include "trq/fdsn/FdsnRequest.h"

namespace requestcase {

// "a=1&b=2" as decoded pairs (the cases need no percent-decoding).
inline trq::QueryParameters Query(const std::string& text) {
    trq::QueryParameters params;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('&', begin);
        if (end == std::string::npos) end = text.size();
        const std::string pair = text.substr(begin, end - begin);
        const std::size_t equals = pair.find('=');
        params.emplace_back(pair.substr(0, equals),
                            equals == std::string::npos ? "" : pair.substr(equals + 1));
        begin = end + 1;
    }
    return params;
}

inline std::string Join(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ",") + item;
    return text;
}

inline std::string Time(const std::optional<int64_t>& microseconds) {
    return microseconds ? std::to_string(*microseconds) : "open";
}

// "NET STA LOC CHA FROM..TO" per selection, times in microseconds since 1970, "; " between.
inline std::string Selections(const std::vector<CatalogSelection>& selections) {
    std::string text;
    for (const CatalogSelection& s : selections) {
        text += (text.empty() ? "" : "; ") + Join(s.networks) + " " + Join(s.stations) + " " +
                Join(s.locations) + " " + Join(s.channels) + " " + Time(s.from) + ".." + Time(s.to);
    }
    return text;
}

// The description `parse` gives, or "<status> <text>" when it refuses the request.
inline std::string Outcome(const std::function<std::string()>& parse) {
    try {
        return parse();
    } catch (const trq::FdsnError& e) {
        return std::to_string(e.Status()) + " " + e.what();
    }
}

// `line` cut after its first word: {"get", "start=..."}.
inline std::pair<std::string, std::string> FirstWord(const std::string& line) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) return {line, ""};
    return {line.substr(0, blank), line.substr(blank + 1)};
}

// A case of a request table has one step line, which `describe` parses, and one "> " line,
// the description or refusal it must give.
inline void ExpectCase(const testsupport::ScriptCase& c,
                       const std::function<std::string(const std::string&)>& describe) {
    ASSERT_EQ(c.steps.size(), 1u);
    ASSERT_EQ(c.expected.size(), 1u);
    EXPECT_EQ(Outcome([&] { return describe(c.steps[0]); }), c.expected[0]);
}

}  // namespace requestcase
