#pragma once
// The server's own pages besides the FDSN services (FdsnRoutes.h): the home page, the
// station pages, their pictures (kept in a PictureCache until the catalog changes), the
// stylesheet and /metrics. Each is asked with its route's kind and the request's decoded
// query parameters, and answers with the body; its media type is the route's.
//
// Parameters, as the services take them (FdsnRequest.h), an empty value standing for none:
//   /                           net, sta, loc, cha (the streams shown, default all);
//                               start, end (the availability picture's span, default the
//                               7 whole days before today's midnight)
//   /station                    sta (one station, required); start, end (the quick looks'
//                               window, default the last hour of the station's data); days
//                               (the gaps table's whole days, default 30)
//   /pictures/availability.png  net, sta, loc, cha; start, end (required); width
//   /pictures/quicklook.png     the same; at most --max-seconds of data in all
//   /trq.css, /metrics          none

#include <string>

#include "catalog/CatalogFigures.h"
#include "trq/fdsn/CatalogPool.h"
#include "trq/fdsn/FdsnRequest.h"
#include "trq/fdsn/FdsnRoutes.h"
#include "trq/fdsn/PictureCache.h"
#include "trq/fdsn/RequestMetrics.h"
#include "trq/fdsn/ServeSettings.h"
#include "trq/fdsn/ServerLog.h"

namespace trq {

class ArchivePages {
  public:
    ArchivePages(const ServeSettings& settings, CatalogPool& pool, ServerLog& log,
                 const RequestMetrics& requests);

    // The body of the page. Throws FdsnError (400 a bad parameter, 404 an unknown station,
    // 413 a quick look of too much data), CatalogError, std::runtime_error.
    std::string Answer(RouteKind kind, const QueryParameters& query);

  private:
    std::string Home(const QueryParameters& query);
    std::string Station(const QueryParameters& query);
    std::string Picture(RouteKind kind, const QueryParameters& query);
    std::string Metrics();
    uint64_t CatalogGeneration();

    const ServeSettings& settings_;
    CatalogPool& pool_;
    ServerLog& log_;
    const RequestMetrics& requests_;
    CatalogChanges changes_;
    PictureCache pictures_;
    // The files and samples of every stream, read again when the catalog has changed.
    std::mutex totalsMutex_;
    std::optional<std::pair<uint64_t, std::vector<StreamTotals>>> totals_;
};

}  // namespace trq
