// fdsnws-availability's parser, one table (availability.cases) over the parameters of /query
// and /extent, GET and POST alike: what each request asks for, or the status and text it is
// refused with.

#include <gtest/gtest.h>

#include "tests/serve/RequestCase.h"
#include "trq/fdsn/AvailabilityRequest.h"

namespace {

using namespace requestcase;
using trq::AvailabilityMethod;

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

// Steps "query get QUERY", "extent post BODY", ...
class AvailabilityParameters : public ::testing::TestWithParam<testsupport::ScriptCase> {};

TEST_P(AvailabilityParameters, EveryParameter) {
    ExpectCase(GetParam(), [](const std::string& step) {
        const auto [service, rest] = FirstWord(step);
        const auto [form, request] = FirstWord(rest);
        const AvailabilityMethod method =
            service == "extent" ? AvailabilityMethod::kExtent : AvailabilityMethod::kQuery;
        return Describe(form == "post" ? trq::ParseAvailabilityPost(method, request)
                                       : trq::ParseAvailabilityGet(method, Query(request)));
    });
}

CASE_TABLE(availability, AvailabilityParameters,
           testsupport::ReadCaseScript("tests/serve/availability.cases"));

}  // namespace
