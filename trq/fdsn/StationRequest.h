#pragma once
// What an fdsnws-station 1 request asks for: its parameters, and its parser for a GET and
// for a POST body.

#include <string>
#include <string_view>
#include <vector>

#include "catalog/CatalogSelection.h"
#include "trq/fdsn/FdsnService.h"

namespace trq {

enum class StationLevel { kNetwork, kStation, kChannel, kResponse };

struct StationRequest {
    std::vector<CatalogSelection> selections;  // windows may be open
    StationLevel level = StationLevel::kStation;
    std::string format = "xml";  // or "text"
    int noDataStatus = 204;
};

// /query, the one method, with its parameters.
const FdsnMethod& StationQuery();

// Throw FdsnError (400; 413 for a POST of too many selection lines).
StationRequest ParseStationGet(const QueryParameters& params);
StationRequest ParseStationPost(std::string_view body);

}  // namespace trq
