// fdsnws-dataselect's parser, one table over its parameters, GET and POST alike: what each
// request asks for, or the status and text it is refused with.

#include <gtest/gtest.h>

#include "tests/serve/RequestCase.h"
#include "trq/fdsn/DataselectRequest.h"

namespace {

using namespace requestcase;

struct Case {
    const char* id;
    bool post;
    std::string request;  // query string, or POST body
    std::string expected;
};

std::string Describe(const trq::DataselectRequest& r) {
    return Selections(r.selections) + " | nodata=" + std::to_string(r.noDataStatus) +
           " format=" + r.format + " quality=" + Join(r.qualities) +
           " minimumlength=" + std::to_string(r.minimumLength) +
           " longestonly=" + (r.longestOnly ? "true" : "false");
}

const std::string kWindow = "start=2013-10-22&end=2013-10-23";
const std::string kDefaults =
    " | nodata=204 format=miniseed quality= minimumlength=0.000000 longestonly=false";

TEST(DataselectRequest, EveryParameter) {
    const std::string day = kDay;
    const std::string line = "XX ABC -- BHZ 2013-10-22T00:00:00 2013-10-22T01:00:00\n";
    std::string tooMany;
    for (int i = 0; i < 1001; ++i) tooMany += line;
    const Case cases[] = {
        {"get.window", false, kWindow, "* * * * " + day + kDefaults},
        {"get.codes", false,
         "net=XX&sta=ABC,AB?&loc=--&cha=BH*&starttime=2013-10-22T13:47:34.25&endtime=2013-10-22T14:"
         "00",
         "XX ABC,AB? -- BH* 1382449654250000..1382450400000000" + kDefaults},
        {"get.blank-location", false, kWindow + "&location=", "* * -- * " + day + kDefaults},
        {"get.minimumlength", false, kWindow + "&minimumlength=30.5",
         "* * * * " + day +
             " | nodata=204 format=miniseed quality= minimumlength=30.500000 longestonly=false"},
        {"get.longestonly", false, kWindow + "&longestonly=TRUE",
         "* * * * " + day +
             " | nodata=204 format=miniseed quality= minimumlength=0.000000 longestonly=true"},
        {"get.nodata-quality-format", false, kWindow + "&nodata=404&quality=D,M&format=miniseed",
         "* * * * " + day +
             " | nodata=404 format=miniseed quality=D,M minimumlength=0.000000 longestonly=false"},
        {"get.no-end", false, "start=2013-10-22", "400 Missing parameter: endtime"},
        {"get.no-start", false, "end=2013-10-22", "400 Missing parameter: starttime"},
        {"get.reversed", false, "start=2013-10-23&end=2013-10-22",
         "400 Bad time window: endtime 2013-10-22T00:00:00.000000Z lies before starttime "
         "2013-10-23T00:00:00.000000Z"},
        {"get.availability-option", false, kWindow + "&mergegaps=1",
         "400 Unknown parameter: mergegaps"},
        {"get.twice", false, kWindow + "&starttime=2013-10-22",
         "400 Parameter given twice: start and starttime"},
        {"get.minimumlength-negative", false, kWindow + "&minimumlength=-1",
         "400 Bad value of minimumlength: \"-1\" is not a number of seconds >= 0"},
        {"get.longestonly-word", false, kWindow + "&longestonly=yes",
         "400 Bad value of longestonly: \"yes\" (true or false)"},
        {"get.nodata-other", false, kWindow + "&nodata=500",
         "400 Bad value of nodata: \"500\" (one of 204,404)"},
        {"get.quality-other", false, kWindow + "&quality=D,X",
         "400 Bad value of quality: \"D,X\" (a comma list of D,R,Q,M,B)"},
        {"get.bad-channel", false, kWindow + "&cha=B!Z",
         "400 Bad value of channel: \"B!Z\" (a comma list of codes of letters and digits, with "
         "* and ? wildcards)"},
        {"get.bad-time", false, "start=yesterday&end=2013-10-23",
         "400 Bad value of starttime: \"yesterday\" is not a time in UTC "
         "(YYYY-MM-DDThh:mm:ss.ssssss, or a date YYYY-MM-DD)"},
        {"post.two-lines", true,
         "nodata=404\r\nminimumlength=10\n\n" + line + "* A?C * BH? 2013-10-22 2013-10-23\n",
         "XX ABC -- BHZ 1382400000000000..1382403600000000; * A?C * BH? " + day +
             " | nodata=404 format=miniseed quality= minimumlength=10.000000 longestonly=false"},
        {"post.tabs", true, "XX\tABC\t--\tBHZ\t2013-10-22\t2013-10-23",
         "XX ABC -- BHZ " + day + kDefaults},
        {"post.option-after-line", true, line + "nodata=404\n",
         "400 Parameter line \"nodata=404\" after a selection line"},
        {"post.selection-option", true, "sta=ABC\n" + line,
         "400 Parameter sta belongs on a selection line in a POST body"},
        {"post.empty", true, "nodata=404\n", "400 The POST body holds no selection line"},
        {"post.short-line", true, "XX ABC -- BHZ 2013-10-22\n",
         "400 Bad selection line \"XX ABC -- BHZ 2013-10-22\": expected NET STA LOC CHA "
         "STARTTIME ENDTIME, separated by blanks"},
        {"post.reversed-line", true, "XX ABC -- BHZ 2013-10-23 2013-10-22\n",
         "400 Bad time window: endtime 2013-10-22T00:00:00.000000Z lies before starttime "
         "2013-10-23T00:00:00.000000Z"},
        {"post.too-many", true, tooMany,
         "413 The request holds more than 1000 selection lines; send them in several requests"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(Outcome([&] {
                      return Describe(c.post ? trq::ParseDataselectPost(c.request)
                                             : trq::ParseDataselectGet(Query(c.request)));
                  }),
                  c.expected);
    }
}

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
