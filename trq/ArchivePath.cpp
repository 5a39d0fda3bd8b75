#include "trq/ArchivePath.h"

#include <cstdio>
#include <filesystem>

#include "trq/UtcTime.h"

namespace trq {

std::string ArchiveFileName(int64_t startSecond, const std::string& channel,
                            const std::string& station) {
    const CivilTime t = EpochSecondsToCivil(startSecond);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02d%02d%04d-%02d%02d%02d-", t.day, t.month, t.year, t.hour,
                  t.minute, t.second);
    auto padded = [](const std::string& name) {
        return name.size() >= 3 ? name : std::string(3 - name.size(), ' ') + name;
    };
    return stamp + padded(channel) + "." + padded(station);
}

std::string CatalogPath(const std::string& station, const std::string& fileName) {
    return station + "\\" + fileName;
}

std::string CatalogPathOfFile(const std::string& path) {
    const std::filesystem::path file(path);
    const std::filesystem::path absolute = std::filesystem::absolute(file).lexically_normal();
    return CatalogPath(absolute.parent_path().filename().string(), absolute.filename().string());
}

std::string DiskPathOfCatalogPath(const std::string& dataDir, const std::string& catalogPath) {
    std::string relative = catalogPath;
    for (char& c : relative) {
        if (c == '\\') c = '/';
    }
    return dataDir + "/" + relative;
}

}  // namespace trq
