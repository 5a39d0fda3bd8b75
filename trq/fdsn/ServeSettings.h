#pragma once
// How `trq serve` answers: the codes it gives the archive's streams, where the archive
// lies, and how much one dataselect request may ask for.

#include <cstdint>
#include <memory>
#include <string>

#include "trq/inventory/StationInventory.h"

namespace trq {

struct ServeSettings {
    std::string network = "XX";  // every stream's network code; the location code is blank
    std::string dataDir;         // archive files lie at their CPATH below it
    // The most one dataselect request may send, over all its channels: seconds of data
    // (one day of one channel by default), and samples (0: no limit by count). A request
    // above either is refused with 413 before a byte is sent.
    double maxSeconds = 86400;
    int64_t maxSamples = 0;
    int recordLength = 4096;  // bytes of a miniSEED record
    // Of dataselect's records, one of kEncodingChoices (trq/mseed/EncodingChoice.h).
    std::string encoding = "auto";
    // The operator's station metadata: codes and coordinates of the streams it lists (the
    // others keep `network` and the blank location). Null: none.
    std::shared_ptr<const StationInventory> inventory;
};

}  // namespace trq
