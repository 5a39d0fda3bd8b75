#pragma once
// fdsnws-availability 1.0 from the catalog alone: the continuous spans of each stream
// (/query) or their extents (/extent), as text, JSON or dataselect request lines.
//
// A span is a continuous run of the catalog's rows (files join when the next starts within
// half a sample period of where the last ends); it begins at its first sample and ends one
// sample period after its last, and is cut to the request's window. Spans of different
// sample rates are kept apart unless merge=samplerate joins those that touch; overlapping
// spans stay apart unless merge=overlap; mergegaps=S joins spans separated by at most S
// seconds. Every record of the archive has quality D and is open (not restricted).

#include <cstdint>
#include <string>

#include "trq/fdsn/AvailabilityRequest.h"
#include "trq/fdsn/FdsnService.h"
#include "trq/fdsn/ServedStreams.h"

namespace trq {

struct AvailabilityAnswer {
    bool noData = true;
    std::string contentType;
    std::string body;
};

// Answers `request` for `method` (/query or /extent); `created` is the time of the
// answer, microseconds since 1970 UTC. Throws CatalogError.
AvailabilityAnswer AnswerAvailability(ServedStreams& streams, const AvailabilityRequest& request,
                                      AvailabilityMethod method, const std::string& network,
                                      int64_t created);

// The service as the route table lists it.
const FdsnService& AvailabilityService();

}  // namespace trq
