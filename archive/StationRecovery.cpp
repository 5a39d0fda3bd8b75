#include "archive/StationRecovery.h"

#include "archive/StationDirectory.h"

StationRecovery RecoverStation(const std::string& dataDir, const std::string& station,
                               std::chrono::milliseconds wait, const RecoveryHooks& hooks) {
    StationRecovery recovery;
    recovery.directory = StationDirectoryPath(dataDir, station);
    recovery.journalPath = recovery.directory + "/" + kJournalFileName;
    recovery.lock = LockStation(dataDir, station, wait, hooks.waiting);
    if (!recovery.lock.Held()) return recovery;
    recovery.removed = RemoveLeftoverTemporaryFiles(recovery.directory, &recovery.notRemoved);
    if (hooks.cleaned) hooks.cleaned(recovery);
    recovery.replay = ReplayJournal(recovery.journalPath, hooks.registerEntry);
    return recovery;
}
