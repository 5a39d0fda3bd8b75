#include "batch/SetupCheck.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "archive/StationDirectory.h"
#include "ingest/Conversion.h"
#include "ingest/StationSession.h"
#include "odbc/Database.h"
#include "platform/Console.h"
#include "platform/ExitCodes.h"
#include "platform/FileLock.h"

namespace {

// Why the file cannot be read, or empty when it can (or is not there: a missing ini is one of
// the ways the settings are given).
std::string UnreadableFile(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) return "";
    if (error) return std::strerror(error.value());
    if (std::filesystem::is_directory(status)) return std::strerror(EISDIR);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::strerror(errno);
    std::fclose(file);
    return "";
}

// Why nothing can be written below `dataDir`, or empty.
std::string UnusableDirectory(const std::string& dataDir) {
    std::error_code error;
    const auto status = std::filesystem::status(dataDir, error);
    if (error) return std::strerror(error.value());
    if (!std::filesystem::is_directory(status)) return std::strerror(ENOTDIR);
    if (::access(dataDir.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
    return "";
}

// Waits for a station that another process holds, as its conversion would; false when it
// stayed busy. A station without a lock file (a new one) is free; a lock file that cannot be
// used is left to the conversions of its recordings to report.
bool StationFree(const std::string& dataDir, const std::string& station, int waitSeconds) {
    const std::string lockPath =
        StationDirectoryPath(dataDir, station) + "/" + kStationLockFileName;
    std::error_code error;
    if (!std::filesystem::is_regular_file(lockPath, error)) return true;
    const platform::FileLock lock =
        platform::FileLock::Acquire(lockPath, std::chrono::seconds(waitSeconds),
                                    [&] { NoticeStationWait(station, lockPath, waitSeconds); });
    return lock.GetState() != platform::FileLock::State::kBusy;
}

}  // namespace

int CheckSettingsFiles(const SettingsFiles& files) {
    for (const std::string& path : {files.ownIni, files.trqIni}) {
        if (const std::string why = UnreadableFile(path); !why.empty()) {
            ConsoleNotice("cannot read the settings %s: %s", path.c_str(), why.c_str());
            return ExitCode::kDatabase;
        }
    }
    return 0;
}

int CheckSetup(const ConnectionSettings& settings, const std::vector<StationPlan>& plan) {
    {
        CDatabase catalog;
        if (!OpenConverterCatalog(catalog, ConverterLogin(settings))) return ExitCode::kDatabase;
    }
    const std::string dataDir = settings.dataDir.empty() ? "." : settings.dataDir;
    if (const std::string why = UnusableDirectory(dataDir); !why.empty()) {
        ConsoleNotice("cannot use the data directory %s: %s", dataDir.c_str(), why.c_str());
        return ExitCode::kArchiveWrite;
    }
    for (const StationPlan& station : plan) {
        if (!StationFree(settings.dataDir, station.station, settings.stationLockWait)) {
            ConsoleNotice("gave up waiting for station %s after %d s: nothing was converted",
                          station.station.c_str(), settings.stationLockWait);
            return ExitCode::kStationBusy;
        }
    }
    return 0;
}
