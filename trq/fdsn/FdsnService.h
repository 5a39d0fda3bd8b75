#pragma once
// One FDSN web service as the server (FdsnServer.h) and its documents (FdsnDocuments.h) see
// it: its name and version, its methods with their parameters, and how it answers a
// request. The route table (FdsnRoutes.h) lists the services; adding one adds its files and
// a line there.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "trq/fdsn/FdsnRequest.h"

namespace trq {

class CatalogPool;
class ServerLog;
struct ServeSettings;

// One method of a service, below /fdsnws/<service>/1/.
struct FdsnMethod {
    const char* name;     // "query", "extent"
    const char* summary;  // what it answers, for the usage page
    // Selection parameters first, in the order the WADL lists them.
    std::vector<FdsnParameterInfo> parameters;
};

// A request as it reached a method: a GET's query parameters or a POST's body.
struct FdsnCall {
    const FdsnMethod& method;
    bool post = false;
    const QueryParameters& query;
    std::string_view body;
};

// What a service has to answer with.
struct FdsnServing {
    const ServeSettings& settings;
    CatalogPool& pool;
    ServerLog& log;
};

// An answer: no data (with the status the request asked for), a whole body, or records made
// piece by piece (`next` hands the next piece, an empty one at the end).
struct FdsnAnswer {
    int noDataStatus = 0;  // not 0: there is no data
    std::string contentType;
    std::string body;
    std::function<std::string()> next;
    std::vector<std::pair<std::string, std::string>> headers;  // sent with the data
};

// A document every service serves below its base path besides its methods (GET only).
struct FdsnDocument {
    const char* path;  // after the base path
    const char* mediaType;
};
inline constexpr FdsnDocument kUsagePage{"", "text/plain"};
inline constexpr FdsnDocument kVersionDocument{"version", "text/plain"};
inline constexpr FdsnDocument kWadlDocument{"application.wadl", "application/xml"};

class FdsnService {
  public:
    virtual ~FdsnService() = default;
    // "/fdsnws/<name>/1/": every route of the service lies below it.
    std::string BasePath() const { return "/fdsnws/" + std::string(Name()) + "/1/"; }
    virtual const char* Name() const = 0;     // "dataselect"
    virtual const char* Version() const = 0;  // the document's major and minor, then our own
    virtual const std::vector<FdsnMethod>& Methods() const = 0;
    // Media types of an answer with data, for application.wadl.
    virtual std::vector<const char*> MediaTypes() const = 0;
    // Parses and answers `call`. Throws FdsnError for a request it refuses, CatalogError when
    // the catalog fails.
    virtual FdsnAnswer Answer(const FdsnCall& call, const FdsnServing& serving) const = 0;
};

}  // namespace trq
