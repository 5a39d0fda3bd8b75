#include "trq/fdsn/FdsnRoutes.h"

#include <string>

#include "trq/fdsn/AvailabilityService.h"
#include "trq/fdsn/DataselectService.h"
#include "trq/fdsn/StationService.h"

namespace trq {

std::span<const FdsnService* const> FdsnServices() {
    static const FdsnService* const services[] = {&DataselectService(), &StationService(),
                                                  &AvailabilityService()};
    return services;
}

const FdsnService* ServiceOfPath(std::string_view path) {
    for (const FdsnService* service : FdsnServices()) {
        if (path.starts_with("/fdsnws/" + std::string(service->Name()) + "/")) return service;
    }
    return nullptr;
}

}  // namespace trq
