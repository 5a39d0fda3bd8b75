#pragma once
// The HTML index at "/": links to every service from the route table (FdsnRoutes.h), and
// every stream of the catalog with links to its availability.

#include <string>
#include <vector>

#include "trq/fdsn/ServedStreams.h"

namespace trq {

// The page; streams whose names miniSEED 2 cannot hold are marked as not served, with the
// reason.
std::string IndexPage(const std::vector<StreamName>& streams, const std::string& network);

}  // namespace trq
