#pragma once
// The watch mode's status as it leaves it: the state file the service rewrites while it
// runs (DATA/.plq2trq-watch.state unless told otherwise: backlog and outcomes since it
// started), the catalog's record of recordings (the last recording of each station) and
// the stations' journals in the data directory (their bytes). Found nothing of the first
// two: no status, and the pages and /metrics leave the watch mode's parts out.

#include <string>

#include "trq/fdsn/WatchStatus.h"

namespace trq {

class RecordedWatchStatus : public WatchStatusSource {
  public:
    // `stateFile` empty: DATA/.plq2trq-watch.state.
    RecordedWatchStatus(std::string dataDir, std::string stateFile);
    std::optional<WatchStatus> Read(CatalogStore& catalog) const override;

  private:
    std::string dataDir_;
    std::string stateFile_;
};

}  // namespace trq
