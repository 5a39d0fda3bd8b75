#pragma once
// What an fdsnws-availability 1.0 request asks for: the parameters of its two methods,
// /query and /extent, and their parser for a GET and for a POST body.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/CatalogSelection.h"
#include "trq/fdsn/FdsnService.h"

namespace trq {

enum class AvailabilityMethod { kQuery, kExtent };

struct AvailabilityRequest {
    std::vector<CatalogSelection> selections;
    int noDataStatus = 204;
    std::string format = "text";         // text, json or request
    std::vector<std::string> qualities;  // D, R, Q, M or *; none given: all
    bool mergeQuality = false;
    bool mergeSampleRate = false;
    bool mergeOverlap = false;
    std::optional<double> mergeGaps;  // seconds (query only)
    std::string orderBy = "nslc_time_quality_samplerate";
    std::optional<int64_t> limit;
    bool showLatestUpdate = false;  // query only
};

// The methods, in the order of AvailabilityMethod, with their parameters.
const std::vector<FdsnMethod>& AvailabilityMethods();

// Throw FdsnError (400; 413 for a POST of too many selection lines).
AvailabilityRequest ParseAvailabilityGet(AvailabilityMethod method, const QueryParameters& params);
AvailabilityRequest ParseAvailabilityPost(AvailabilityMethod method, std::string_view body);

}  // namespace trq
