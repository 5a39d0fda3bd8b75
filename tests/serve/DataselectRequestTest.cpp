// fdsnws-dataselect's parser, one table (dataselect.cases) over its parameters, GET and POST
// alike: what each request asks for, or the status and text it is refused with.

#include <gtest/gtest.h>

#include "tests/serve/RequestCase.h"
#include "trq/fdsn/DataselectRequest.h"

namespace {

using namespace requestcase;

std::string Describe(const trq::DataselectRequest& r) {
    return Selections(r.selections) + " | nodata=" + std::to_string(r.noDataStatus) +
           " format=" + r.format + " quality=" + Join(r.qualities) +
           " minimumlength=" + std::to_string(r.minimumLength) +
           " longestonly=" + (r.longestOnly ? "true" : "false");
}

// Steps "get QUERY" and "post BODY".
class DataselectParameters : public ::testing::TestWithParam<testsupport::ScriptCase> {};

TEST_P(DataselectParameters, EveryParameter) {
    ExpectCase(GetParam(), [](const std::string& step) {
        const auto [form, request] = FirstWord(step);
        return Describe(form == "post" ? trq::ParseDataselectPost(request)
                                       : trq::ParseDataselectGet(Query(request)));
    });
}

CASE_TABLE(dataselect, DataselectParameters,
           testsupport::ReadCaseScript("tests/serve/dataselect.cases"));

// The one matcher of codes, as the services and the command line use it.
TEST(DataselectRequest, CodePatterns) {
    const struct {
        const char* id;
        std::vector<std::string> patterns;
        const char* code;
        bool matches;
    } cases[] = {
        {"star", {"*"}, "BHZ", true},          {"star-blank", {"*"}, "", true},
        {"question", {"B?Z"}, "BHZ", true},    {"question-short", {"B?Z"}, "BZ", false},
        {"case", {"bhz"}, "BHZ", false},       {"inner-star", {"B*Z"}, "BHHZ", true},
        {"blank-only", {"--"}, "", true},      {"blank-not-code", {"--"}, "00", false},
        {"list", {"HH?", "BH?"}, "BHN", true}, {"literal-dash", {"B-Z"}, "B-Z", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchesAnyPattern(c.patterns, c.code), c.matches) << c.id;
    }
}

}  // namespace
