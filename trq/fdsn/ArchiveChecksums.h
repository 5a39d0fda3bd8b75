#pragma once
// What dataselect tells of the archive files an answer is read from: the checksums the
// catalog recorded when the converter finished each file (catalog/ChecksumStore.h), in the
// answer's header
//
//   X-Archive-Checksums: ABC\22102013-134734-BHZ.ABC=xxh3-128:70375db2a42fd3d8fffe6c8810b17f71,...
//
// one PATH=ALGORITHM:HASH per file in the order read ("PATH=none" for a file without one),
// at most kListedFiles of them (X-Archive-Checksums-Omitted: N counts the rest), so that the
// header stays within what proxies take. A client compares them with a later answer's, an
// operator with `trq check --verify`; the service itself does not read the files again.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

class CatalogStore;

namespace trq {

inline constexpr std::size_t kListedFiles = 64;

// The headers for `paths`; none when the catalog keeps no checksums. Throws CatalogError.
std::vector<std::pair<std::string, std::string>> ArchiveChecksumHeaders(
    CatalogStore& catalog, const std::vector<std::string>& paths);

}  // namespace trq
