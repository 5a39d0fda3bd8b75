#pragma once
// fdsnws-station 1 over the operator's inventory (StationInventory.h): its networks,
// stations and channel epochs as StationXML 1.1 or as text, each channel with the extent of
// the archive's data for it (DataAvailability). Streams of the archive that the inventory
// does not list have no coordinates, so this service does not show them; without an
// inventory every request has no data.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "catalog/CatalogSelection.h"
#include "trq/fdsn/FdsnService.h"
#include "trq/fdsn/StationRequest.h"
#include "trq/inventory/StationInventory.h"

namespace trq {

// The first and last moment of the archive's data of a channel epoch, if it has any.
using ChannelExtent = std::function<std::optional<TimeWindow>(
    const InventoryNetwork&, const InventoryStation&, const InventoryChannel&)>;

// The body of the answer to `request`, or nothing when nothing is selected. `created` is
// the document's time, microseconds since 1970.
std::optional<std::string> StationAnswer(const StationInventory& inventory,
                                         const StationRequest& request, const ChannelExtent& extent,
                                         int64_t created);

// The service as the route table lists it.
const FdsnService& StationService();

}  // namespace trq
