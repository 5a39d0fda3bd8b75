#pragma once
// The route table: every FDSN web service the server offers, each below
// /fdsnws/<name>/1/ (FdsnService.h).

#include <span>
#include <string_view>

#include "trq/fdsn/FdsnService.h"

namespace trq {

std::span<const FdsnService* const> FdsnServices();

// The service whose routes `path` lies below, or null.
const FdsnService* ServiceOfPath(std::string_view path);

}  // namespace trq
