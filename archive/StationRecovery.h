#pragma once
// Putting a station right before its archive files are written or its rows are mended:
// the station's lock, then the removal of temporary files that killed conversions left
// behind, then the registrations of its journal (RegistrationJournal.h) that an earlier
// run could not make. The converter does this before it writes a station, and `trq check
// --repair` before it mends the station's rows; the registrations go through the caller's
// registrar.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "archive/RegistrationJournal.h"
#include "platform/FileLock.h"

struct StationRecovery {
    // Held, busy (another process held it for longer than the wait) or failed. Nothing of
    // the station is touched unless it is held; it stays held while this object lives.
    platform::FileLock lock;
    std::string directory;                // the station directory
    std::string journalPath;              // its journal
    std::vector<std::string> removed;     // names of the temporary files removed
    std::vector<std::string> notRemoved;  // those that could not be removed
    JournalReplay replay;                 // of the journal; nothing applied without one
};

// What the caller does along the way.
struct RecoveryHooks {
    std::function<void()> waiting;  // once, when the wait for another holder of the lock begins
    // Once the temporary files are removed, before the journal is replayed (optional).
    std::function<void(const StationRecovery&)> cleaned;
    JournalRegistration registerEntry;  // makes one registration of the journal
};

// Takes the station's lock, waiting up to `wait` while another process holds it; once held,
// removes the leftover temporary files and makes the journal's registrations.
StationRecovery RecoverStation(const std::string& dataDir, const std::string& station,
                               std::chrono::milliseconds wait, const RecoveryHooks& hooks);
