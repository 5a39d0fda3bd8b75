#pragma once
// `trq check --verify`: reads archive files again and compares them with the checksums the
// catalog recorded when the converter finished them (catalog/ChecksumStore.h), the
// longest-unverified first, as far as a budget of bytes or an age allows; notes when each
// file last matched, so that the next run goes on where this one stopped. A file that does
// not match is confirmed under its station's lock (a conversion that is writing it is not
// taken for damage) and reported with its damaged byte ranges, their samples and times,
// and the recordings that wrote it. A checksum is never rewritten to fit a file.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "catalog/CatalogStore.h"
#include "catalog/RecordingLookup.h"
#include "site/CatalogLocation.h"

namespace trq {

struct VerifyOptions {
    std::optional<int64_t> budget;            // bytes
    std::optional<int64_t> olderThanSeconds;  // only files last verified longer ago
    bool json = false;
    // The record of the recordings converted; null: the catalog's own (OpenRecordingLookup).
    RecordingLookup* recordings = nullptr;
};

// "40G", "500M", "1.5T", "1000000": bytes (K, M, G, T are powers of 1024); nothing when the
// text is none of these.
std::optional<int64_t> ParseSize(const std::string& text);
// "30d", "12h", "90m", "2w", "45s": seconds; nothing when the text is none of these.
std::optional<int64_t> ParseAge(const std::string& text);

// Runs the verification on the catalog and data directory found. Returns the exit code:
// 0 when every file verified matched, kExitDamage when one did not, kExitCatalog when the
// catalog failed or keeps no checksums.
int RunVerify(const VerifyOptions& options, const FoundCatalog& found, std::ostream& out,
              std::ostream& err);

}  // namespace trq
