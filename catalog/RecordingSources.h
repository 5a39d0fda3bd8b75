#pragma once
// Which recordings wrote an archive file: what `trq check --verify` names for a damaged file,
// so that the operator knows what to convert again to restore it. The answer comes from the
// catalog's record of the recordings converted, which this catalog does not keep yet:
// OpenRecordingSources then gives a lookup that knows none.

#include <memory>
#include <string>
#include <vector>

class CDatabase;

// One recording that made, replaced or extended an archive file.
struct RecordingSource {
    std::string recording;  // the recorder file as it was converted
    std::string station;    // the station it was converted as
    std::string converted;  // when, as the record gives it
};

class RecordingSources {
  public:
    virtual ~RecordingSources() = default;
    // The recordings that wrote the archive file of `catalogPath` ("STA\name"), the one
    // that made it first, then those that extended it; empty when none is known. Throws
    // CDBException when the catalog fails.
    virtual std::vector<RecordingSource> RecordingsThatWrote(const std::string& catalogPath) = 0;
};

// The lookup on the catalog of `database` (which must outlive it).
std::unique_ptr<RecordingSources> OpenRecordingSources(CDatabase& database);
