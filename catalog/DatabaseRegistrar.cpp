#include "catalog/DatabaseRegistrar.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

#include "catalog/FileRowWriter.h"
#include "catalog/RecordingRows.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "platform/Console.h"

namespace {

// A registration refused as locked within this time was refused at once (a collision with
// another writer), not after waiting for the lock; it is tried again, this many times.
constexpr std::chrono::milliseconds kCollisionTime{500};
constexpr int kCollisionAttempts = 50;
// Pauses between attempts to connect again: the first, and the longest they grow to.
constexpr std::chrono::milliseconds kFirstPause{100};
constexpr std::chrono::milliseconds kLongestPause{2000};

void PrintDriverMessages(const CDBException& error) {
    // As they stand: a '%' in them stays a '%'.
    ConsoleMessage("%s", (error.errorText + "\n").c_str());
}

// The driver's messages on one line.
std::string OneLine(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    return text;
}

}  // namespace

bool IsCatalogHeldUp(const CDBException& error) {
    return error.errorText.find("database is locked") != std::string::npos ||
           error.stateText.find("State:HYT00") != std::string::npos ||
           error.stateText.find("State:57014") != std::string::npos;
}

DatabaseRegistrar::DatabaseRegistrar(CDatabase& database, std::string creatorName,
                                     CatalogLogin login, uint32_t openOptions)
    : database_(database),
      writer_(database),
      creatorName_(std::move(creatorName)),
      login_(std::move(login)),
      openOptions_(openOptions) {}

RegistrationOutcome DatabaseRegistrar::Register(RegistrationKind kind,
                                                const FileRegistration& file) {
    return Register(kind, file, creatorName_);
}

RegistrationOutcome DatabaseRegistrar::Register(RegistrationKind kind, const FileRegistration& file,
                                                const std::string& creator) {
    return Run([&] { writer_.Write(creator, kind, file); });
}

GroupOutcome DatabaseRegistrar::RegisterExtensions(const std::vector<FileRegistration>& files) {
    const RegistrationOutcome outcome = Run([&] { writer_.WriteExtensions(creatorName_, files); });
    return {outcome, outcome == RegistrationOutcome::kRegistered ? files.size() : 0};
}

RegistrationOutcome DatabaseRegistrar::RegisterRecording(const RecordingRecord& record) {
    bool missing = false;
    const RegistrationOutcome outcome = Run([&] {
        try {
            WriteRecordingRows(database_, record);
        } catch (const CDBException& error) {
            if (!IsRecordTableMissing(error)) throw;
            missing = true;
        }
    });
    // Once per process: a batch or a service would say it for every recording.
    static std::atomic<bool> told{false};
    if (missing && !told.exchange(true)) {
        ConsoleNotice(
            "the catalog has no table RECORDINGS (it was set up by an older catalog-setup.sh): "
            "no record of the recordings converted is kept; run catalog-setup.sh again to add "
            "it");
    }
    if (outcome != RegistrationOutcome::kFailed) return outcome;
    ConsoleNotice("the catalog refused the record of %s; it is not kept", record.path.c_str());
    return RegistrationOutcome::kRegistered;
}

bool DatabaseRegistrar::KeepsChecksums() {
    if (unavailable_) return true;
    const CallWatchdog::Watch watch(
        watchdog_, database_,
        CallWatchdog::Clock::now() + std::chrono::seconds(login_.timeoutSeconds));
    try {
        return writer_.KeepsChecksums();
    } catch (const CDBException&) {
        return true;
    }
}

RegistrationOutcome DatabaseRegistrar::Run(const RowWork& work) {
    if (unavailable_) return RegistrationOutcome::kCatalogUnavailable;
    const CallWatchdog::Watch watch(
        watchdog_, database_,
        CallWatchdog::Clock::now() + std::chrono::seconds(login_.timeoutSeconds));
    for (int attempt = 1;; ++attempt) {
        const auto started = std::chrono::steady_clock::now();
        try {
            work();
            return RegistrationOutcome::kRegistered;
        } catch (const CDBException& error) {
            if (watch.Expired()) return GaveUpWaiting();
            if (IsCatalogHeldUp(error) && attempt < kCollisionAttempts &&
                std::chrono::steady_clock::now() - started < kCollisionTime) {
                // Refused at once, not after the data source's wait: a transaction that
                // read the table collided with another writer's commit (SQLite cannot
                // upgrade such a read to a write). Another try a little later succeeds.
                std::this_thread::sleep_for(std::chrono::milliseconds(5 * attempt));
                continue;
            }
            PrintDriverMessages(error);
            if (IsCatalogHeldUp(error)) return Unavailable();
            // A connection closed on the way (see Transaction), or one the driver found gone
            // whatever the failure said, counts as lost.
            if (!SaysSessionEnded(error) && !database_.IsDead())
                return RegistrationOutcome::kFailed;
            break;
        }
    }
    return WriteOnNewConnection(watch, work);
}

RegistrationOutcome DatabaseRegistrar::WriteOnNewConnection(const CallWatchdog::Watch& watch,
                                                            const RowWork& work) {
    ConsoleNotice("the connection to the catalog was lost; connecting again");
    std::string failure;
    // A server restarting refuses connections for a few seconds: the pauses grow so that
    // a restart costs little and a server that stays away is not pressed.
    for (auto pause = kFirstPause;; pause = std::min(2 * pause, kLongestPause)) {
        if (Reconnect(failure)) {
            try {
                work();
                return RegistrationOutcome::kRegistered;
            } catch (const CDBException& error) {
                if (watch.Expired()) return GaveUpWaiting();
                if (!SaysSessionEnded(error) && !database_.IsDead()) {
                    PrintDriverMessages(error);
                    return IsCatalogHeldUp(error) ? Unavailable() : RegistrationOutcome::kFailed;
                }
                failure = OneLine(error.errorText);
            }
        }
        const auto left = watch.Deadline() - CallWatchdog::Clock::now();
        if (left <= std::chrono::milliseconds(0)) break;
        std::this_thread::sleep_for(std::min<CallWatchdog::Clock::duration>(pause, left));
    }
    ConsoleNotice("connecting again to the catalog failed: %s", failure.c_str());
    return Unavailable();
}

bool DatabaseRegistrar::Reconnect(std::string& failure) {
    try {
        writer_.Forget();
        database_.Close();
        if (login_.Open(database_, openOptions_)) return true;
        failure = "the driver did not complete the connection";
    } catch (const CDBException& error) {
        failure = OneLine(error.errorText);
    }
    return false;
}

RegistrationOutcome DatabaseRegistrar::Unavailable() {
    unavailable_ = true;
    return RegistrationOutcome::kCatalogUnavailable;
}

RegistrationOutcome DatabaseRegistrar::GaveUpWaiting() {
    ConsoleNotice(
        "the catalog did not answer within %d s ([DATABASE] TIMEOUT); it is given up for the "
        "rest of the run",
        login_.timeoutSeconds);
    return Unavailable();
}
