#pragma once
// Names and paths of archive files. The catalog (column CPATH) carries each file's path
// relative to the data directory as the station name, a backslash and the file name; on
// disk the backslash is the directory separator '/'.

#include <cstdint>
#include <string>

namespace trq {

// "ddmmyyyy-hhmmss-CHN.STA" for a file whose first sample lies in `startSecond`; channel and
// station are right-aligned in at least three characters ("  Z" for channel Z).
std::string ArchiveFileName(int64_t startSecond, const std::string& channel,
                            const std::string& station);

// "STA\ddmmyyyy-hhmmss-CHN.STA": the station name, a backslash and the file name.
std::string CatalogPath(const std::string& station, const std::string& fileName);

// The catalog path of a file on disk: the name of its directory, a backslash, its name.
std::string CatalogPathOfFile(const std::string& path);

// Where a catalog path lies below `dataDir` on disk.
std::string DiskPathOfCatalogPath(const std::string& dataDir, const std::string& catalogPath);

}  // namespace trq
