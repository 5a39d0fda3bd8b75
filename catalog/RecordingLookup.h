#pragma once
// Which recordings wrote an archive file: what `trq check --verify` names for a damaged file,
// so that the operator knows what to convert again to restore it. The answer comes from the
// catalog's record of the recordings converted (RecordingRows.h); a catalog set up before
// that record existed knows none.

#include <memory>
#include <string>
#include <vector>

#include "catalog/RecordingRows.h"

class CDatabase;

class RecordingLookup {
  public:
    virtual ~RecordingLookup() = default;
    // The recordings whose samples the archive file of `catalogPath` ("STA\name") holds, the
    // one that made it first, then those that extended it; empty when none is known. Throws
    // CDBException when the catalog fails.
    virtual std::vector<RecordingSource> RecordingsThatWrote(const std::string& catalogPath) = 0;
};

// The lookup on the catalog of `database` (which must outlive it).
std::unique_ptr<RecordingLookup> OpenRecordingLookup(CDatabase& database);
