#include "catalog/DatabaseRegistrar.h"

#include <chrono>
#include <thread>
#include <utility>

#include "catalog/FileRegistration.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "platform/Console.h"

namespace {

// A registration refused as locked within this time was refused at once (a collision with
// another writer), not after waiting for the lock; it is tried again, this many times.
constexpr std::chrono::milliseconds kCollisionTime{500};
constexpr int kCollisionAttempts = 50;

void PrintDriverMessages(const CDBException& error) {
    // As they stand: a '%' in them stays a '%'.
    ConsoleMessage("%s", (error.errorText + "\n").c_str());
}

}  // namespace

bool IsConnectionLost(const CDBException& error) {
    return error.stateText.find("State:08") != std::string::npos;
}

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
    if (unavailable_) return RegistrationOutcome::kCatalogUnavailable;
    for (int attempt = 1;; ++attempt) {
        const auto started = std::chrono::steady_clock::now();
        try {
            writer_.Write(creator, kind, file);
            return RegistrationOutcome::kRegistered;
        } catch (const CDBException& error) {
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
            if (!IsConnectionLost(error)) return RegistrationOutcome::kFailed;
            break;
        }
    }
    if (!Reconnect()) return Unavailable();
    try {
        writer_.Write(creator, kind, file);
        return RegistrationOutcome::kRegistered;
    } catch (const CDBException& error) {
        PrintDriverMessages(error);
        // A connection lost again at once will not be kept by reconnecting once more.
        return IsConnectionLost(error) ? Unavailable() : RegistrationOutcome::kFailed;
    }
}

bool DatabaseRegistrar::Reconnect() {
    ConsoleNotice("the connection to the catalog was lost; connecting again");
    try {
        writer_.Forget();
        database_.Close();
        if (login_.Open(database_, openOptions_)) return true;
        ConsoleNotice("connecting again to the catalog failed: the driver did not complete it");
    } catch (const CDBException& error) {
        std::string text = error.errorText;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        ConsoleNotice("connecting again to the catalog failed: %s", text.c_str());
    }
    return false;
}

RegistrationOutcome DatabaseRegistrar::Unavailable() {
    unavailable_ = true;
    return RegistrationOutcome::kCatalogUnavailable;
}
