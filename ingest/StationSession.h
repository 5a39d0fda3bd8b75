#pragma once
// A conversion's hold on one station for the length of a run: the station's recovery
// (archive/StationRecovery.h: its lock, leftover temporary files, the journal an earlier
// run left: registrations and records of recordings), told to the operator, and the word
// about this run's own deferred registrations.

#include <string>

#include "archive/StationRecovery.h"

class CArchiveWriter;
class CatalogRegistrar;

// The notice that a converter waits for the station lock at `lockPath`, which another
// process holds, naming that process where this machine knows it: "station ABC is being
// converted by another converter, process 1234 (plq2trq): waiting up to 300 s for PATH".
void NoticeStationWait(const std::string& station, const std::string& lockPath, int seconds);

class StationSession {
  public:
    // Takes the station's lock, waiting up to `lockWaitSeconds` for another converter of the
    // station (with a notice). Once held: removes leftover temporary files and makes the
    // registrations of the station's journal. A lock that cannot be taken for another reason
    // (a data directory that is missing or cannot be written, a lock file that cannot be
    // opened) makes the session Failed: nothing may be written without the lock.
    StationSession(const std::string& dataDir, const std::string& station,
                   CatalogRegistrar& registrar, int lockWaitSeconds);

    // Another converter held the station for longer than the wait allowed.
    bool Busy() const { return recovery_.lock.GetState() == platform::FileLock::State::kBusy; }
    // The lock could not be taken for another reason than another converter: what could not
    // be opened or made (the data directory, the station directory or the lock file), and
    // why (the operation, the path and the system's text).
    bool Failed() const { return !failure_.empty(); }
    const std::string& FailedPath() const { return failedPath_; }
    const std::string& Failure() const { return failure_; }
    // Registrations of the journal that could not be made (the catalog stays behind).
    bool JournalLeft() const { return journalLeft_; }
    // After the final flush: says how many registrations the writer kept in journals.
    void ReportDeferred(const CArchiveWriter& writer) const;
    // Keeps the record of the recording in the station's journal (the catalog cannot take
    // it now), while the lock is held; says so. False, after a notice, when it cannot.
    bool KeepInJournal(const RecordingRecord& record) const;
    // Whether the station's lock is held (the station may be written).
    bool Held() const { return recovery_.lock.Held(); }
    // The registrations made from the station's journal, and those left in it.
    std::size_t JournalApplied() const { return recovery_.replay.applied; }
    std::size_t JournalRemaining() const { return recovery_.replay.remaining; }

  private:
    // Finds out why the lock could not be taken: the directories first, else the lock file.
    void DiagnoseFailure(const std::string& station, const std::string& lockPath);

    std::string dataDir_;
    std::string failedPath_;
    std::string failure_;
    StationRecovery recovery_;
    bool journalLeft_ = false;
};
