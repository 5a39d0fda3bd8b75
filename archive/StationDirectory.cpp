#include "archive/StationDirectory.h"

#include <filesystem>
#include <system_error>

#include "platform/FileServices.h"

namespace {

constexpr std::string_view kTemporarySuffix = ".tmp";

}  // namespace

std::string StationDirectoryPath(const std::string& dataDir, const std::string& station) {
    return dataDir.empty() ? station : dataDir + "/" + station;
}

std::string TemporaryFileName(std::string_view archiveFileName) {
    // Appended in place: "." + name, which inserts at the front, trips a false -Wrestrict
    // of g++ 12 at -O3.
    std::string name(".");
    name.append(archiveFileName).append(kTemporarySuffix);
    return name;
}

bool IsTemporaryFileName(std::string_view name) {
    return name.size() > 1 + kTemporarySuffix.size() && name.front() == '.' &&
           name.ends_with(kTemporarySuffix);
}

platform::FileLock LockStation(const std::string& dataDir, const std::string& station,
                               std::chrono::milliseconds wait,
                               const std::function<void()>& onWaiting) {
    const std::string directory = StationDirectoryPath(dataDir, station);
    platform::MakeDirectoryLevel(directory.c_str());  // usually there already
    return platform::FileLock::Acquire(directory + "/" + kStationLockFileName, wait, onWaiting);
}

std::vector<std::string> RemoveLeftoverTemporaryFiles(const std::string& stationDirectory,
                                                      std::vector<std::string>* notRemoved) {
    std::vector<std::string> removed;
    std::error_code error;
    for (std::filesystem::directory_iterator it(stationDirectory, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!IsTemporaryFileName(name)) continue;
        if (platform::RemoveFile(it->path().c_str())) {
            removed.push_back(name);
        } else if (notRemoved != nullptr) {
            notRemoved->push_back(name);
        }
    }
    return removed;
}
