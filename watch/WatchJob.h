#pragma once
// The work the watch mode hands its workers, one station's jobs in the order they came,
// and what comes back of each.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/RecordingRecord.h"
#include "ingest/Conversion.h"

struct WatchJob {
    enum class Kind {
        kConvert,     // convert the recording (unless its content is the one on record)
        kIncomplete,  // record the recording as incomplete: it stopped short of its length
        kJournal,     // apply the station's journal (the catalog is back)
    };
    Kind kind = Kind::kConvert;
    std::string path;  // as shown: below the watched directory as it was given
    std::string station;
    uint64_t sequence = 0;  // arrival order
    // The record of the path's last conversion, when there is one (kConvert).
    std::optional<RecordingRecord> known;
    int64_t size = 0;       // the size it was judged at
    int64_t announced = 0;  // kIncomplete: the length its header announces (0: no header)
    // kJournal: records of the station's recordings that the catalog could not take when
    // they were made, to write once the journal is applied.
    std::vector<RecordingRecord> records;
};

struct WatchResult {
    WatchJob job;
    // kConvert: the content is the one on record, so nothing was converted.
    bool unchanged = false;
    // kIncomplete: the file grew between the judgement and the record: nothing recorded.
    bool grew = false;
    ConversionResult conversion;  // kConvert, kIncomplete (record, recordKept)
    // The conversion's "ERROR: ..." lines and notices, in the order they came.
    std::vector<std::string> lines;
    double seconds = 0;                      // the conversion's wall time
    JournalApplication journal;              // kJournal
    std::vector<RecordingRecord> unwritten;  // kJournal: records still not written
    // The worker put the job back to try it again later (the archive could not take it, or
    // another converter holds the station).
    bool retried = false;
};
