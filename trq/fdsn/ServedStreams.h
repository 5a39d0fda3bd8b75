#pragma once
// What the web services show of the catalog: streams (station and channel) under the
// network and location codes the inventory gives them (else the configured network code and
// the blank location code), found for a request's selections with bound parameters only,
// and the rows of a stream within a window.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalog/CatalogSelection.h"
#include "catalog/CatalogStore.h"
#include "trq/inventory/StationInventory.h"

namespace trq {

struct StreamName {
    std::string station;
    std::string channel;
    std::string network;   // as served: the inventory's, else the configured one
    std::string location;  // as served: the inventory's, else blank
    bool operator==(const StreamName&) const = default;
    auto operator<=>(const StreamName&) const = default;
};

// Why a stream cannot be served as miniSEED 2 (a station longer than 5 characters, a channel
// longer than 3, a character other than letters and digits), or "" when it can. Such a
// stream is never cut to fit: that could give it another station's name.
std::string StreamNameProblem(const StreamName& stream);

// One request's view of the catalog.
class ServedStreams {
  public:
    ServedStreams(CatalogStore& catalog, std::string network,
                  const StationInventory* inventory = nullptr);

    // The servable streams that `selection` names, ordered by station and channel: none
    // when its network or location codes do not fit this archive's. Throws CatalogError.
    std::vector<StreamName> Select(const CatalogSelection& selection);
    // The same, servable or not (for the pages, which mark the others).
    std::vector<StreamName> Matching(const CatalogSelection& selection);
    // The rows of `stream` whose spans meet [from, to), in time order. Throws CatalogError.
    std::vector<CatalogRow> Rows(const StreamName& stream, std::optional<int64_t> from,
                                 std::optional<int64_t> to);

  private:
    StreamName Named(const std::string& station, const std::string& channel) const;

    CatalogStore& catalog_;
    std::string network_;
    const StationInventory* inventory_;
};

}  // namespace trq
