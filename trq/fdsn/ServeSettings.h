#pragma once
// How `trq serve` answers: the codes it gives the archive's streams, where the archive
// lies, how much one dataselect request may ask for, and what its pages call late.

#include <cstdint>
#include <memory>
#include <string>

#include "trq/fdsn/WatchStatus.h"
#include "trq/inventory/StationInventory.h"

namespace trq {

struct ServeSettings {
    std::string network = "XX";  // every stream's network code; the location code is blank
    std::string dataDir;         // archive files lie at their CPATH below it
    // The most one dataselect request may send, over all its channels: seconds of data
    // (one day of one channel by default), and samples (0: no limit by count). A request
    // above either is refused with 413 before a byte is sent. A quick look reads at most as
    // many seconds.
    double maxSeconds = 86400;
    int64_t maxSamples = 0;
    int recordLength = 4096;  // bytes of a miniSEED record
    // Of dataselect's records, one of kEncodingChoices (trq/mseed/EncodingChoice.h).
    std::string encoding = "auto";
    // The operator's station metadata: codes and coordinates of the streams it lists (the
    // others keep `network` and the blank location). Null: none.
    std::shared_ptr<const StationInventory> inventory;
    // The pages' latency classes (now minus a stream's last sample): current below
    // `lateSeconds`, late from it, silent from `silentSeconds` on.
    double lateSeconds = 3600;
    double silentSeconds = 86400;
    // What the converter's watch mode tells; never null.
    std::shared_ptr<const WatchStatusSource> watch = std::make_shared<NoWatchStatus>();
};

}  // namespace trq
