#pragma once
// The availability picture: one bar per station and channel over a shared UTC time axis,
// data in green, gaps in red and overlaps in orange, each bar with its coverage. Gaps and
// overlaps too short for a pixel are still drawn two pixels wide, so that a wall chart of a
// year never hides a missing minute.

#include <string>
#include <vector>

#include "catalog/Availability.h"

namespace trq {

// Writes the picture of `channels` over `window`, `width` pixels wide, to `pngPath`.
// Throws std::runtime_error naming the path and cairo's status text when it cannot be
// written.
void RenderAvailabilityPng(const std::vector<ChannelAvailability>& channels,
                           const TimeWindow& window, int width, const std::string& title,
                           const std::string& pngPath);
// The same picture as the bytes of a PNG file. Throws std::runtime_error with cairo's
// status text.
std::string AvailabilityPng(const std::vector<ChannelAvailability>& channels,
                            const TimeWindow& window, int width, const std::string& title);

}  // namespace trq
