#include "trq/fdsn/ArchiveChecksums.h"

#include <algorithm>
#include <map>

#include "catalog/CatalogStore.h"
#include "catalog/ChecksumStore.h"
#include "odbc/DBException.h"

namespace trq {

std::vector<std::pair<std::string, std::string>> ArchiveChecksumHeaders(
    CatalogStore& catalog, const std::vector<std::string>& paths) {
    const std::vector<std::string> listed(paths.begin(),
                                          paths.begin() + std::min(paths.size(), kListedFiles));
    std::optional<std::vector<StoredChecksum>> rows;
    try {
        rows = ReadChecksumsIfKept(catalog.Database(), listed);
    } catch (const CDBException& error) {
        std::string text = error.errorText;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        throw CatalogError("reading FILECHECKSUM: " + text);
    }
    if (!rows) return {};
    std::map<std::string, std::string> hashOf;
    for (const StoredChecksum& row : *rows) {
        if (row.checksum) hashOf[row.path] = kChecksumAlgorithm + (":" + row.checksum->fileHash);
    }
    std::string value;
    for (const std::string& path : listed) {
        const auto found = hashOf.find(path);
        value += (value.empty() ? "" : ",") + path + "=" +
                 (found == hashOf.end() ? std::string("none") : found->second);
    }
    std::vector<std::pair<std::string, std::string>> headers{{"X-Archive-Checksums", value}};
    if (paths.size() > listed.size()) {
        headers.emplace_back("X-Archive-Checksums-Omitted",
                             std::to_string(paths.size() - listed.size()));
    }
    return headers;
}

}  // namespace trq
