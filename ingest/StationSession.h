#pragma once
// A conversion's hold on one station for the length of a run: the station's recovery
// (archive/StationRecovery.h: its lock, leftover temporary files, the journal an earlier
// run left), told to the operator, and the word about this run's own deferred
// registrations.

#include <string>

#include "archive/StationRecovery.h"

class CArchiveWriter;
class CatalogRegistrar;

class StationSession {
  public:
    // Takes the station's lock, waiting up to `lockWaitSeconds` for another converter of the
    // station (with a notice). Once held: removes leftover temporary files and makes the
    // registrations of the station's journal. A lock that cannot be taken for another reason
    // (a data directory that cannot be written, say) is noticed and the run goes on: its
    // writes will fail and be reported.
    StationSession(const std::string& dataDir, const std::string& station,
                   CatalogRegistrar& registrar, int lockWaitSeconds);

    // Another converter held the station for longer than the wait allowed.
    bool Busy() const { return recovery_.lock.GetState() == platform::FileLock::State::kBusy; }
    // Registrations of the journal that could not be made (the catalog stays behind).
    bool JournalLeft() const { return journalLeft_; }
    // After the final flush: says how many registrations the writer kept in journals.
    void ReportDeferred(const CArchiveWriter& writer) const;

  private:
    std::string dataDir_;
    StationRecovery recovery_;
    bool journalLeft_ = false;
};
