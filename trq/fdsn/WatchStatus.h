#pragma once
// What the converter's watch mode (`plq2trq --watch`) tells about its work, for the home page
// and /metrics: the last recording converted per station and its outcome, the recordings
// converted and failed (by reason), the backlog waiting, and the size of the catalog's
// journal. The pages ask a WatchStatusSource; where nothing is found they leave these parts
// out.
//
// `trq serve` reads what the watch mode leaves (RecordedWatchStatus.h); NoWatchStatus, which
// finds nothing, is for servers and tests that show no watch mode.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "catalog/CatalogStore.h"

namespace trq {

// One recording the watch mode handled.
struct WatchedRecording {
    std::string recording;  // its file name
    std::string outcome;    // "converted", or the reason it failed
    int64_t time = 0;       // when it was handled, microseconds since 1970 UTC
};

struct WatchStatus {
    // Per station (as the catalog names it): the last recording handled.
    std::map<std::string, WatchedRecording> lastRecording;
    // Recordings handled so far, by outcome ("converted", or a reason of failure).
    std::map<std::string, int64_t> recordings;
    std::optional<int64_t> backlog;       // recordings waiting to be converted
    std::optional<int64_t> journalBytes;  // the catalog's journal
};

class WatchStatusSource {
  public:
    virtual ~WatchStatusSource() = default;
    // The status now, read on `catalog` where the watch mode records it there; none when
    // the watch mode has left nothing to read. Throws CatalogError.
    virtual std::optional<WatchStatus> Read(CatalogStore& catalog) const = 0;
};

// Finds nothing: no part of a page or of the metrics depends on the watch mode.
class NoWatchStatus : public WatchStatusSource {
  public:
    std::optional<WatchStatus> Read(CatalogStore&) const override { return std::nullopt; }
};

}  // namespace trq
