#pragma once
// The route table: every FDSN web service the server offers, each below
// /fdsnws/<name>/1/ (FdsnService.h), and every route of the server, from which it adds its
// handlers and the index page its links.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "trq/fdsn/FdsnService.h"

namespace trq {

// What a route answers with.
enum class RouteKind { kIndex, kUsage, kVersion, kWadl, kMethod };

struct FdsnRoute {
    RouteKind kind;
    std::string path;                      // "/", "/fdsnws/station/1/query"
    const FdsnService* service = nullptr;  // null for the index
    const FdsnMethod* method = nullptr;    // kMethod's
    // The media type of a fixed document; null for a method, whose answer names its own.
    const char* mediaType = nullptr;
};

std::span<const FdsnService* const> FdsnServices();

// Every route: the index page, then for each service its usage page, version, WADL (GET)
// and methods (GET and POST).
const std::vector<FdsnRoute>& FdsnRouteTable();

// The service whose routes `path` lies below, or null.
const FdsnService* ServiceOfPath(std::string_view path);

}  // namespace trq
