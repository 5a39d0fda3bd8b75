#pragma once
// Table-driven cases kept in text files, one case a block:
//
//   == 1.2 what the case shows           the case's id and title
//   feed ABC SHZ 100 1382449654 100      lines the test interprets to set the case up
//   > N ABC\22102013-134734-SHZ.ABC ...  lines the case must produce, in order
//
// '#' starts a comment line. Within a line {CR}, {LF}, {TAB} and {NUL} stand for those
// bytes, {xHH} for the byte of hex value HH, and {X*N} for N copies of the text X.
// A line may start with "[sqlite] " or "[postgres] ": it belongs to that catalog only.
//
// Each case runs as a test of its own (CASE_TABLE below), named by its id with every
// character but letters and digits made '_': case 1.2 of conversions.cases is CTest's
// "conversions/ConversionTable.Case/1_2", so that it fails under its own name and reruns
// alone (ctest -R 'conversions/.*/1_2$').

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ostream>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TempDir.h"

namespace testsupport {

struct ScriptCase {
    std::string title;                  // "1.2 what the case shows"
    std::vector<std::string> steps;     // the set-up lines
    std::vector<std::string> expected;  // the "> " lines without their marker
    std::string catalog;                // "sqlite", "postgres", or empty: any catalog
};

// What GoogleTest prints of a case (its title), instead of its bytes.
inline void PrintTo(const ScriptCase& c, std::ostream* out) {
    *out << c.title;
}

// The case's id (the title's first word) as a test name.
inline std::string CaseTestName(const ScriptCase& c) {
    std::string name = c.title.substr(0, c.title.find(' '));
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    }
    return c.catalog.empty() ? name : (c.catalog == "sqlite" ? "SQLite_" : "PostgreSQL_") + name;
}

inline std::string Unescaped(std::string line) {
    // Every test process reads its tables when it starts: a line without a brace costs
    // nothing, and the patterns are compiled once.
    if (line.find('{') == std::string::npos) return line;
    const std::pair<std::string, std::string> named[] = {
        {"{CR}", "\r"}, {"{LF}", "\n"}, {"{TAB}", "\t"}, {"{NUL}", std::string(1, '\0')}};
    for (const auto& [name, bytes] : named) {
        for (std::size_t at; (at = line.find(name)) != std::string::npos;) {
            line.replace(at, name.size(), bytes);
        }
    }
    static const std::regex hex(R"(\{x([0-9A-Fa-f]{2})\})");
    for (std::smatch m; std::regex_search(line, m, hex);) {
        line.replace(m.position(), m.length(), 1, static_cast<char>(std::stoi(m[1], nullptr, 16)));
    }
    static const std::regex repeat(R"(\{([^*{}]+)\*(\d+)\})");
    for (std::smatch m; std::regex_search(line, m, repeat);) {
        std::string copies;
        for (int i = std::stoi(m[2]); i > 0; --i) copies += m[1];
        line.replace(m.position(), m.length(), copies);
    }
    return line;
}

// The cases of `file` (relative to the source tree); lines marked for another catalog
// than `catalog` ("sqlite" or "postgres") are left out.
inline std::vector<ScriptCase> ReadCaseScript(const std::string& file,
                                              const std::string& catalog = "") {
    std::vector<ScriptCase> cases;
    std::string all = ReadFile(PLQ_SOURCE_DIR "/" + file);
    for (std::size_t start = 0, end; start < all.size(); start = end + 1) {
        end = std::min(all.find('\n', start), all.size());
        std::string line = all.substr(start, end - start);
        if (line.starts_with("[")) {
            const std::size_t close = line.find("] ");
            if (line.substr(1, close - 1) != catalog) continue;
            line.erase(0, close + 2);
        }
        if (line.starts_with("== ")) cases.push_back({line.substr(3), {}, {}, catalog});
        if (line.empty() || line[0] == '#' || line.starts_with("== ") || cases.empty()) continue;
        auto& lines = line.starts_with("> ") ? cases.back().expected : cases.back().steps;
        lines.push_back(Unescaped(line.starts_with("> ") ? line.substr(2) : line));
    }
    if (cases.empty()) ADD_FAILURE() << file << " holds no cases";
    return cases;
}

// The cases of `file` once for each catalog, each with the lines of that catalog.
inline std::vector<ScriptCase> ReadCaseScriptForEachCatalog(const std::string& file) {
    std::vector<ScriptCase> cases = ReadCaseScript(file, "sqlite");
    for (ScriptCase& c : ReadCaseScript(file, "postgres")) cases.push_back(std::move(c));
    return cases;
}

// `line` cut at `separator`.
inline std::vector<std::string> Fields(const std::string& line, char separator = ' ') {
    std::vector<std::string> fields;
    for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
        end = line.find(separator, start);
        fields.push_back(line.substr(start, end - start));
    }
    return fields;
}

}  // namespace testsupport

// The cases of table FILE as the parameters of the value-parameterized suite FIXTURE
// (::testing::TestWithParam<testsupport::ScriptCase>), under the prefix TABLE.
#define CASE_TABLE(TABLE, FIXTURE, CASES)                                                          \
    INSTANTIATE_TEST_SUITE_P(TABLE, FIXTURE, ::testing::ValuesIn(CASES),                           \
                             [](const ::testing::TestParamInfo<::testsupport::ScriptCase>& info) { \
                                 return ::testsupport::CaseTestName(info.param);                   \
                             })
