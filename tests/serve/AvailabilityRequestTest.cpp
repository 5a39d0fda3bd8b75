// fdsnws-availability's parser, one table over the parameters of /query and /extent, GET
// and POST alike: what each request asks for, or the status and text it is refused with.

#include <gtest/gtest.h>

#include "tests/serve/RequestCase.h"
#include "trq/fdsn/AvailabilityRequest.h"

namespace {

using namespace requestcase;
using trq::AvailabilityMethod;

struct Case {
    const char* id;
    AvailabilityMethod method;
    bool post;
    std::string request;  // query string, or POST body
    std::string expected;
};

std::string Describe(const trq::AvailabilityRequest& r) {
    std::vector<std::string> merge;
    if (r.mergeQuality) merge.push_back("quality");
    if (r.mergeSampleRate) merge.push_back("samplerate");
    if (r.mergeOverlap) merge.push_back("overlap");
    return Selections(r.selections) + " | nodata=" + std::to_string(r.noDataStatus) +
           " format=" + r.format + " quality=" + Join(r.qualities) + " merge=" + Join(merge) +
           " mergegaps=" + (r.mergeGaps ? std::to_string(*r.mergeGaps) : "none") +
           " orderby=" + r.orderBy + " limit=" + (r.limit ? std::to_string(*r.limit) : "none") +
           " show=" + (r.showLatestUpdate ? "latestupdate" : "none");
}

// The description with the defaults but for `changed` ("limit=5" in place of "limit=none").
std::string Options(const std::string& changed = "") {
    std::string text =
        " | nodata=204 format=text quality= merge= mergegaps=none "
        "orderby=nslc_time_quality_samplerate limit=none show=none";
    if (changed.empty()) return text;
    const std::string key = changed.substr(0, changed.find('=') + 1);
    const std::size_t at = text.find(" " + key) + 1;
    return text.replace(at, text.find(' ', at) - at, changed);
}

constexpr AvailabilityMethod kQuery = AvailabilityMethod::kQuery;
constexpr AvailabilityMethod kExtent = AvailabilityMethod::kExtent;

TEST(AvailabilityRequest, EveryParameter) {
    const std::string all = "* * * * open..open";
    const std::string day = std::string("* * * * ") + kDay;
    const Case cases[] = {
        {"query.defaults", kQuery, false, "", all + Options()},
        {"query.window", kQuery, false, "start=2013-10-22&end=2013-10-23", day + Options()},
        {"query.open-end", kQuery, false, "sta=ABC&start=2013-10-22",
         "* ABC * * 1382400000000000..open" + Options()},
        {"query.merge", kQuery, false, "merge=overlap,samplerate",
         all + Options("merge=samplerate,overlap")},
        {"query.merge-quality", kQuery, false, "merge=quality", all + Options("merge=quality")},
        {"query.mergegaps", kQuery, false, "mergegaps=2.5", all + Options("mergegaps=2.500000")},
        {"query.orderby", kQuery, false, "orderby=latestupdate_desc",
         all + Options("orderby=latestupdate_desc")},
        {"query.limit", kQuery, false, "limit=10", all + Options("limit=10")},
        {"query.show", kQuery, false, "show=latestupdate", all + Options("show=latestupdate")},
        {"query.format-nodata", kQuery, false, "format=json&nodata=404",
         all + " | nodata=404 format=json quality= merge= mergegaps=none "
               "orderby=nslc_time_quality_samplerate limit=none show=none"},
        {"query.quality", kQuery, false, "quality=*", all + Options("quality=*")},
        {"query.includerestricted", kQuery, false, "includerestricted=true", all + Options()},
        {"query.orderby-of-extent", kQuery, false, "orderby=timespancount",
         "400 Bad value of orderby: \"timespancount\" (one of "
         "nslc_time_quality_samplerate,latestupdate,latestupdate_desc)"},
        {"query.merge-other", kQuery, false, "merge=samplerate,bogus",
         "400 Bad value of merge: \"samplerate,bogus\" (a comma list of "
         "samplerate,quality,overlap)"},
        {"query.mergegaps-word", kQuery, false, "mergegaps=x",
         "400 Bad value of mergegaps: \"x\" is not a number of seconds >= 0"},
        {"query.limit-zero", kQuery, false, "limit=0",
         "400 Bad value of limit: \"0\" is not a positive whole number"},
        {"query.limit-word", kQuery, false, "limit=ten",
         "400 Bad value of limit: \"ten\" is not a positive whole number"},
        {"query.show-other", kQuery, false, "show=everything",
         "400 Bad value of show: \"everything\" (one of latestupdate)"},
        {"query.includerestricted-word", kQuery, false, "includerestricted=maybe",
         "400 Bad value of includerestricted: \"maybe\" (true or false)"},
        {"query.dataselect-option", kQuery, false, "longestonly=true",
         "400 Unknown parameter: longestonly"},
        {"query.format-other", kQuery, false, "format=miniseed",
         "400 Bad value of format: \"miniseed\" (one of text,json,request)"},
        {"extent.orderby", kExtent, false, "orderby=timespancount_desc",
         all + Options("orderby=timespancount_desc")},
        {"extent.merge-limit", kExtent, false, "merge=quality&limit=3",
         all + " | nodata=204 format=text quality= merge=quality mergegaps=none "
               "orderby=nslc_time_quality_samplerate limit=3 show=none"},
        {"extent.mergegaps", kExtent, false, "mergegaps=1", "400 Unknown parameter: mergegaps"},
        {"extent.show", kExtent, false, "show=latestupdate", "400 Unknown parameter: show"},
        {"post.query", kQuery, true,
         "merge=overlap\nmergegaps=60\nlimit=5\nXX ABC -- BH? 2013-10-22 2013-10-23\n",
         std::string("XX ABC -- BH? ") + kDay +
             " | nodata=204 format=text quality= merge=overlap mergegaps=60.000000 "
             "orderby=nslc_time_quality_samplerate limit=5 show=none"},
        {"post.extent", kExtent, true,
         "format=request\nnodata=404\nXX ABC -- * 2013-10-22 2013-10-23\n"
         "XX DEF -- * 2013-10-22 2013-10-23",
         std::string("XX ABC -- * ") + kDay + "; XX DEF -- * " + kDay +
             " | nodata=404 format=request quality= merge= mergegaps=none "
             "orderby=nslc_time_quality_samplerate limit=none show=none"},
        {"post.extent-mergegaps", kExtent, true, "mergegaps=1\nXX ABC -- * 2013-10-22 2013-10-23\n",
         "400 Unknown parameter: mergegaps"},
        {"post.open-line", kQuery, true, "XX ABC -- * 2013-10-22\n",
         "400 Bad selection line \"XX ABC -- * 2013-10-22\": expected NET STA LOC CHA "
         "STARTTIME ENDTIME, separated by blanks"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(Outcome([&] {
                      return Describe(c.post
                                          ? trq::ParseAvailabilityPost(c.method, c.request)
                                          : trq::ParseAvailabilityGet(c.method, Query(c.request)));
                  }),
                  c.expected);
    }
}

}  // namespace
