#include "catalog/CatalogRow.h"

#include <cmath>

std::optional<int64_t> RowSampleCount(const CatalogRow& row) {
    const double samples = row.duration * row.rate;
    if (!std::isfinite(samples) || std::fabs(samples) > 9e15) return std::nullopt;
    const double whole = std::round(samples);
    if (std::fabs(samples - whole) > 0.01) return std::nullopt;
    return static_cast<int64_t>(whole);
}
