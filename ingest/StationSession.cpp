#include "ingest/StationSession.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "archive/ArchiveWriter.h"
#include "archive/StationDirectory.h"
#include "platform/Console.h"
#include "platform/FileServices.h"

namespace {

// "open data directory D: <the system's text>" when `path` is missing, cannot be looked at
// or is no directory; else empty.
std::string DirectoryProblem(const std::string& path, const char* what) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error)
        return std::string("open ") + what + " " + path + ": " + std::strerror(error.value());
    if (!std::filesystem::is_directory(status)) {
        return std::string("open ") + what + " " + path + ": " + std::strerror(ENOTDIR);
    }
    return "";
}

}  // namespace

void NoticeStationWait(const std::string& station, const std::string& lockPath, int seconds) {
    std::string holder = platform::FileLock::DescribeHolder(lockPath);
    if (!holder.empty()) holder = ", " + holder;
    ConsoleNotice("station %s is being converted by another converter%s: waiting up to %d s for %s",
                  station.c_str(), holder.c_str(), seconds, lockPath.c_str());
}

StationSession::StationSession(const std::string& dataDir, const std::string& station,
                               CatalogRegistrar& registrar, int lockWaitSeconds)
    : dataDir_(dataDir) {
    const std::string lockPath =
        StationDirectoryPath(dataDir, station) + "/" + kStationLockFileName;
    RecoveryHooks hooks;
    hooks.waiting = [&] { NoticeStationWait(station, lockPath, lockWaitSeconds); };
    hooks.cleaned = [](const StationRecovery& recovery) {
        for (const std::string& name : recovery.removed) {
            ConsoleNotice("removed %s/%s, left by an interrupted conversion",
                          recovery.directory.c_str(), name.c_str());
        }
    };
    hooks.registerEntry = [&registrar](const JournalEntry& entry) {
        return entry.recording ? registrar.RegisterRecording(*entry.recording)
                               : registrar.Register(entry.kind, entry.file);
    };
    recovery_ = RecoverStation(dataDir, station, std::chrono::seconds(lockWaitSeconds), hooks);
    const platform::FileLock& lock = recovery_.lock;
    if (lock.GetState() == platform::FileLock::State::kFailed) {
        DiagnoseFailure(station, lockPath);
        return;
    }
    if (!lock.Held()) return;
    const JournalReplay& replay = recovery_.replay;
    const std::string& journal = recovery_.journalPath;
    if (replay.applied > 0) {
        ConsoleNotice("made %zu registrations kept in %s by an earlier run", replay.applied,
                      journal.c_str());
    }
    if (!replay.error.empty())
        ConsoleNotice("journal %s: %s", journal.c_str(), replay.error.c_str());
    // They keep the run at -9: say why.
    if (replay.unreadable > 0) {
        ConsoleNotice("journal %s keeps %zu lines that are not registrations, for a person to read",
                      journal.c_str(), replay.unreadable);
    }
    journalLeft_ = replay.remaining > 0 || !replay.error.empty();
}

void StationSession::ReportDeferred(const CArchiveWriter& writer) const {
    if (writer.DeferredCount() == 0) return;
    std::string journals;
    for (const std::string& path : writer.JournalPaths()) {
        journals += (journals.empty() ? "" : ", ") + path;
    }
    const std::string dataDir = dataDir_.empty() ? "." : dataDir_;
    ConsoleNotice(
        "%zu registrations were not made; they are kept in %s, and `trq check %s "
        "--repair` makes them",
        writer.DeferredCount(), journals.c_str(), dataDir.c_str());
}

bool StationSession::KeepInJournal(const RecordingRecord& record) const {
    JournalEntry entry;
    entry.recording = record;
    const std::string failure = AppendToJournal(recovery_.journalPath, entry);
    if (failure.empty()) {
        ConsoleNotice("the record of %s waits in %s", record.path.c_str(),
                      recovery_.journalPath.c_str());
        return true;
    }
    ConsoleNotice("the record of %s is not kept: %s", record.path.c_str(), failure.c_str());
    return false;
}

void StationSession::DiagnoseFailure(const std::string& station, const std::string& lockPath) {
    const std::string stationDir = StationDirectoryPath(dataDir_, station);
    failedPath_ = dataDir_;
    if (!dataDir_.empty()) failure_ = DirectoryProblem(dataDir_, "data directory");
    if (failure_.empty()) {
        failedPath_ = stationDir;
        // The lock's own attempt to make the directory failed quietly: once more for the reason.
        if (!platform::MakeDirectoryLevel(stationDir.c_str()) && errno != EEXIST) {
            failure_ = "make station directory " + stationDir + ": " + std::strerror(errno);
        } else {
            failure_ = DirectoryProblem(stationDir, "station directory");
        }
    }
    if (failure_.empty()) {
        failedPath_ = lockPath;
        failure_ = recovery_.lock.Error().Describe(lockPath);
    }
}
