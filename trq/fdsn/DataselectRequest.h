#pragma once
// What an fdsnws-dataselect 1.1 request asks for: its parameters, and its parser for a GET
// and for a POST body.

#include <string>
#include <string_view>
#include <vector>

#include "catalog/CatalogSelection.h"
#include "trq/fdsn/FdsnService.h"

namespace trq {

struct DataselectRequest {
    std::vector<CatalogSelection> selections;  // each with a bounded window
    int noDataStatus = 204;
    std::string format = "miniseed";
    std::vector<std::string> qualities;  // D, R, Q, M or B; none given: all
    double minimumLength = 0;            // seconds: shorter continuous segments are left out
    bool longestOnly = false;
};

// /query, the one method, with its parameters.
const FdsnMethod& DataselectQuery();

// Throw FdsnError (400; 413 for a POST of too many selection lines).
DataselectRequest ParseDataselectGet(const QueryParameters& params);
DataselectRequest ParseDataselectPost(std::string_view body);

}  // namespace trq
