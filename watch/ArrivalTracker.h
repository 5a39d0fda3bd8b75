#pragma once
// Which files below the watched directory are recordings ready to convert, and when: the
// watch mode's judgement of what the kernel's events and its own scans show. A file is
// handed on as a job once it is complete and no longer written:
//   - a recording whose size is the size its header announces, once it was closed after
//     writing or moved in, or was last modified a second ago or more (a scan's find);
//   - anything else that will never convert (not a recording, longer than announced, not
//     readable), once closed or unchanged for the quiet time: its conversion fails and
//     says why, once;
//   - a recording shorter than announced (or too short for a header) that has not changed
//     for the quiet time: recorded as incomplete, once; taken again when it changes.
// A file whose size and modification time are those of its record is done with, unless the
// record says it is to be tried again. Names that begin with a dot (a copy in progress,
// the converter's own files) are never looked at. Used from one thread.

#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/RecordingRecord.h"
#include "watch/WatchJob.h"

class ArrivalTracker {
  public:
    using Clock = std::chrono::steady_clock;

    // `root` as the operator gave it (paths are shown below it).
    explicit ArrivalTracker(std::string root);
    void SetQuietTime(std::chrono::seconds quiet) { quiet_ = quiet; }

    // What the catalog says of a path's last conversion; the latest one of a path counts.
    void Remember(const RecordingRecord& record);
    std::size_t Remembered() const { return known_.size(); }

    // A file to look at: `closed` when it was closed after writing or moved in.
    void Touch(const std::string& path, bool closed, Clock::time_point now);
    // Every file below `directory` (the root for a full scan); returns how many it found.
    std::size_t Scan(const std::string& directory, Clock::time_point now);
    // Looks at every file whose time has come: the jobs to hand on, in the order of their
    // files' modification times; what to say of files that name no station goes to `told`.
    std::vector<WatchJob> Evaluate(Clock::time_point now, std::vector<std::string>& told);
    // When a file must be looked at again (a quiet time that ends); max() when none.
    Clock::time_point NextDue() const;
    // The job of a file came to an end with `record` (nothing for a journal's job).
    void Finished(const WatchJob& job, const RecordingRecord* record, Clock::time_point now);

    // Files seen that are not (yet) complete, and files handed on whose job has not ended.
    std::size_t Waiting() const;
    // The station directories below the root.
    std::vector<std::string> Stations() const;

  private:
    struct Candidate {
        int64_t size = -1;
        double modified = 0;
        Clock::time_point changed{};  // when size or modification time last moved
        bool closed = false;          // closed after writing or moved in since then
        bool closedSeen = false;      // an event said so since the last look
        bool queued = false;          // handed on; its job has not ended
        Clock::time_point due{};      // when to look again
    };

    // Looks at one file; a job when it is ready.
    bool Judge(const std::string& path, Candidate& c, Clock::time_point now, WatchJob& job,
               std::vector<std::string>& told);
    std::string StationOf(const std::string& path) const;

    std::string root_;
    std::chrono::seconds quiet_{60};
    std::map<std::string, Candidate> candidates_;   // by shown path
    std::map<std::string, RecordingRecord> known_;  // by absolute path
    std::set<std::string> toldNoStation_;
    uint64_t sequence_ = 0;
};

// Whether a conversion that ended with `record` is done with: not one to try again later
// (the archive could not take it, another converter held the station, the catalog could not
// be opened, an unexpected failure).
bool IsFinal(const RecordingRecord& record);
// A path as the record names it: absolute, without "." or ".." steps.
std::string RecordPath(const std::string& path);
