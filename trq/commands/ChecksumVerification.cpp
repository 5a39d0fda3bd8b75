#include "trq/commands/ChecksumVerification.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <utility>

#include "archive/ArchiveFile.h"
#include "archive/ArchiveText.h"
#include "archive/RegistrationJournal.h"
#include "archive/StationDirectory.h"
#include "catalog/ChecksumStore.h"
#include "odbc/DBException.h"
#include "platform/Clock.h"
#include "recorder/UtcTime.h"
#include "trq/ExitCodes.h"
#include "trq/commands/JsonOutput.h"

namespace trq {

namespace {

// How long a file that does not match waits for a conversion of its station to end.
constexpr std::chrono::seconds kConfirmLockWait{10};
// Files that matched, noted as verified by one statement.
constexpr std::size_t kNotedTogether = 64;

enum class Problem { kContentChanged, kLengthChanged, kMissing, kUnreadable };

// Bytes of a file and what they held.
struct Range {
    int64_t first = 0, last = 0;
    bool added = false;  // behind the recorded length
    bool header = false;
    std::optional<int64_t> firstSample = std::nullopt, lastSample = std::nullopt;
    std::optional<double> from = std::nullopt, to = std::nullopt;  // times of those samples
};

struct Damage {
    std::string path;
    Problem problem = Problem::kContentChanged;
    int64_t recordedLength = 0, lengthNow = 0;
    std::string reason;  // of an unreadable file
    std::vector<Range> ranges;
    std::vector<RecordingSource> recordings;
};

struct NotVerified {
    std::string path;
    std::string reason;
};

struct Outcome {
    std::vector<std::string> verified;  // in the order read
    int64_t bytes = 0;
    std::vector<Damage> damaged;
    std::vector<NotVerified> notVerified;
    int64_t withoutChecksum = 0;
};

// What one file's reading found: nothing (it matched), damage, or a reason it was not
// verified after all.
struct Finding {
    std::optional<Damage> damage;
    std::optional<std::string> notVerified;
};

const char* ProblemName(Problem problem) {
    switch (problem) {
        case Problem::kContentChanged:
            return "content-changed";
        case Problem::kLengthChanged:
            return "length-changed";
        case Problem::kMissing:
            return "missing";
        case Problem::kUnreadable:
            return "unreadable";
    }
    return "";
}

Finding Compare(const std::string& path, const std::string& diskPath,
                const FileChecksum& recorded) {
    Damage damage{path, Problem::kContentChanged, recorded.length, 0, "", {}, {}};
    std::error_code ignored;
    if (!std::filesystem::exists(diskPath, ignored)) {
        damage.problem = Problem::kMissing;
        damage.ranges.push_back({0, recorded.length - 1});
        return {damage, std::nullopt};
    }
    FixityComparison comparison;
    try {
        comparison = CompareWithChecksum(diskPath, recorded);
    } catch (const std::runtime_error& e) {
        damage.problem = Problem::kUnreadable;
        damage.reason = e.what();
        return {damage, std::nullopt};
    }
    if (comparison.Intact(recorded)) return {};
    damage.lengthNow = comparison.lengthNow;
    if (comparison.lengthNow != recorded.length) damage.problem = Problem::kLengthChanged;
    for (const auto& [first, last] : comparison.changedRanges)
        damage.ranges.push_back({first, last});
    if (comparison.lengthNow > recorded.length) {
        damage.ranges.push_back({recorded.length, comparison.lengthNow - 1, true});
    }
    return {damage, std::nullopt};
}

// The station's journal holds a registration of `path`: a conversion's, not made yet.
bool WaitsInJournal(const std::string& dataDir, const std::string& station,
                    const std::string& path) {
    const JournalContents journal =
        ReadJournal(StationDirectoryPath(dataDir, station) + "/" + kJournalFileName);
    for (const JournalEntry& entry : journal.entries) {
        if (entry.file.path == path) return true;
    }
    return false;
}

// A file that did not match, read again under its station's lock, against the checksum the
// catalog holds then: a conversion may have been writing it, or have left its
// registration in the journal.
Finding Confirm(CatalogStore& catalog, const std::string& dataDir, const std::string& path,
                const std::string& diskPath) {
    const std::string station = path.substr(0, path.find('\\'));
    platform::FileLock lock;
    std::error_code ignored;
    if (std::filesystem::is_directory(StationDirectoryPath(dataDir, station), ignored)) {
        lock = LockStation(dataDir, station, kConfirmLockWait);
        if (lock.GetState() == platform::FileLock::State::kBusy) {
            return {std::nullopt, "a conversion of the station is running"};
        }
    }
    if (WaitsInJournal(dataDir, station, path)) {
        return {std::nullopt,
                "a registration of the file waits in the station's journal (trq check --repair "
                "makes it)"};
    }
    const std::vector<StoredChecksum> now = ReadChecksums(catalog.Database(), {path});
    if (now.empty() || !now.front().checksum) {
        return {std::nullopt, "a conversion has made the file anew since"};
    }
    return Compare(path, diskPath, *now.front().checksum);
}

// Samples and times of each range, from the file's row (TBEGIN, SPS), else its header.
void PlaceRanges(CatalogStore& catalog, const std::string& diskPath, Damage& damage) {
    std::optional<double> start, rate;
    const std::vector<CatalogRow> rows = catalog.ReadRows(damage.path);
    if (!rows.empty() && rows.front().rate > 0) {
        start = rows.front().start;
        rate = rows.front().rate;
    } else {
        try {
            const ArchiveFile file = OpenArchiveFile(diskPath);
            start = file.StartTime();
            rate = file.header.samplesPerSecond;
        } catch (const std::runtime_error&) {
        }
    }
    const auto header = static_cast<int64_t>(kArchiveHeaderSize);
    for (Range& range : damage.ranges) {
        range.header = range.first < header;
        if (range.last < header) continue;
        range.firstSample = std::max<int64_t>(0, range.first - header) / 4;
        range.lastSample = (range.last - header) / 4;
        if (!start) continue;
        range.from = *start + static_cast<double>(*range.firstSample) / *rate;
        range.to = *start + static_cast<double>(*range.lastSample) / *rate;
    }
}

Outcome Verify(const VerifyOptions& options, const FoundCatalog& found, CatalogStore& catalog) {
    Outcome outcome;
    CDatabase& database = catalog.Database();
    std::unique_ptr<RecordingLookup> own;
    RecordingLookup* recordings = options.recordings;
    if (recordings == nullptr) {
        own = OpenRecordingLookup(database);
        recordings = own.get();
    }
    const auto now = static_cast<double>(platform::Now());
    std::optional<double> before;
    if (options.olderThanSeconds) before = now - static_cast<double>(*options.olderThanSeconds);
    std::vector<std::string> matched;  // not noted as verified yet
    for (const StoredChecksum& row : ReadDueChecksums(database, before, options.budget)) {
        if (!row.checksum) {
            outcome.notVerified.push_back(
                {row.path, "its checksum is not one this version of trq reads"});
            continue;
        }
        if (!CatalogPathStaysBelow(row.path)) {
            outcome.notVerified.push_back({row.path, "the path leads out of the data directory"});
            continue;
        }
        const std::string diskPath = DiskPathOfCatalogPath(found.dataDir, row.path);
        Finding finding = Compare(row.path, diskPath, *row.checksum);
        if (finding.damage) finding = Confirm(catalog, found.dataDir, row.path, diskPath);
        if (finding.notVerified) {
            outcome.notVerified.push_back({row.path, *finding.notVerified});
            continue;
        }
        outcome.verified.push_back(row.path);
        outcome.bytes += row.checksum->length;
        if (!finding.damage) {
            // Damage is never noted as verified: it stays first in line, and is reported
            // again by every run until the file is converted again. The others are noted
            // a group at a time: one commit for many files.
            matched.push_back(row.path);
            if (matched.size() == kNotedTogether)
                MarkVerified(database, std::exchange(matched, {}), now);
            continue;
        }
        PlaceRanges(catalog, diskPath, *finding.damage);
        finding.damage->recordings = recordings->RecordingsThatWrote(row.path);
        outcome.damaged.push_back(std::move(*finding.damage));
    }
    MarkVerified(database, matched, now);
    outcome.withoutChecksum = CountFilesWithoutChecksum(database);
    // Reported by path; `verified` keeps the order they were read in.
    std::sort(outcome.damaged.begin(), outcome.damaged.end(),
              [](const Damage& a, const Damage& b) { return a.path < b.path; });
    return outcome;
}

std::string ProblemText(const Damage& d) {
    switch (d.problem) {
        case Problem::kContentChanged:
            return "the content changed without a conversion";
        case Problem::kLengthChanged:
            return "the length changed without a conversion: " + std::to_string(d.recordedLength) +
                   " bytes recorded, " + std::to_string(d.lengthNow) + " now";
        case Problem::kMissing:
            return "the file is missing";
        case Problem::kUnreadable:
            return "the file cannot be read: " + d.reason;
    }
    return "";
}

std::string RangeText(const Range& r) {
    std::string text = "bytes " + std::to_string(r.first) + "-" + std::to_string(r.last) +
                       (r.added ? " added" : "");
    text += ": ";
    if (r.header) text += r.firstSample ? "the header and " : "the header";
    if (r.firstSample) {
        text +=
            "samples " + std::to_string(*r.firstSample) + " to " + std::to_string(*r.lastSample);
    }
    if (r.from) text += ", " + FormatIsoUtc(*r.from, 6) + " to " + FormatIsoUtc(*r.to, 6);
    return text;
}

void PrintText(const Outcome& outcome, std::ostream& out) {
    for (const Damage& d : outcome.damaged) {
        out << d.path << ": damaged: " << ProblemText(d) << "\n";
        for (const Range& r : d.ranges) out << "  " << RangeText(r) << "\n";
        if (d.recordings.empty()) {
            out << "  convert again: the recording is unknown (the catalog holds no record of "
                   "it)\n";
        }
        for (const RecordingSource& source : d.recordings) {
            out << "  convert again: plq2trq " << source.recording.path << " "
                << source.recording.station << " (converted "
                << FormatIsoUtc(source.recording.converted, 0) << ")\n";
        }
    }
    for (const NotVerified& n : outcome.notVerified) {
        out << n.path << ": not verified: " << n.reason << "\n";
    }
    const std::size_t files = outcome.verified.size();
    out << "trq check --verify: " << files << (files == 1 ? " file" : " files") << " ("
        << outcome.bytes << " bytes) verified: ";
    if (outcome.damaged.empty()) {
        out << "no damage";
    } else {
        out << outcome.damaged.size() << " damaged";
    }
    if (!outcome.notVerified.empty()) out << ", " << outcome.notVerified.size() << " not verified";
    out << "\n";
    if (outcome.withoutChecksum > 0) {
        out << "trq check --verify: " << outcome.withoutChecksum
            << (outcome.withoutChecksum == 1 ? " file has" : " files have")
            << " no checksum: trq check --repair records them\n";
    }
}

nlohmann::json ToJson(const FoundCatalog& found, const Outcome& outcome) {
    nlohmann::json damaged = nlohmann::json::array();
    for (const Damage& d : outcome.damaged) {
        nlohmann::json ranges = nlohmann::json::array();
        for (const Range& r : d.ranges) {
            nlohmann::json range = {{"firstByte", r.first},
                                    {"lastByte", r.last},
                                    {"added", r.added},
                                    {"header", r.header}};
            if (r.firstSample) {
                range["firstSample"] = *r.firstSample;
                range["lastSample"] = *r.lastSample;
            }
            if (r.from) {
                range["from"] = FormatIsoUtc(*r.from, 6);
                range["to"] = FormatIsoUtc(*r.to, 6);
            }
            ranges.push_back(range);
        }
        nlohmann::json sources = nlohmann::json::array();
        for (const RecordingSource& s : d.recordings) {
            sources.push_back({{"recording", s.recording.path},
                               {"station", s.recording.station},
                               {"converted", FormatIsoUtc(s.recording.converted, 0)}});
        }
        damaged.push_back({{"path", d.path},
                           {"problem", ProblemName(d.problem)},
                           {"text", ProblemText(d)},
                           {"recordedLength", d.recordedLength},
                           {"lengthNow", d.lengthNow},
                           {"ranges", ranges},
                           {"recordings", sources}});
    }
    nlohmann::json notVerified = nlohmann::json::array();
    for (const NotVerified& n : outcome.notVerified) {
        notVerified.push_back({{"path", n.path}, {"reason", n.reason}});
    }
    return {{"command", "check"},
            {"verify", true},
            {"dataDir", found.dataDir},
            {"dsn", found.login.dsn},
            {"ok", outcome.damaged.empty()},
            {"verified", outcome.verified},
            {"bytes", outcome.bytes},
            {"damaged", damaged},
            {"notVerified", notVerified},
            {"withoutChecksum", outcome.withoutChecksum}};
}

// A number with an optional fraction, then one of `units` (with its factor), else nothing.
std::optional<int64_t> Scaled(const std::string& text, const std::string& pattern,
                              const std::map<char, double>& units) {
    std::smatch match;
    if (!std::regex_match(text, match, std::regex(pattern, std::regex::icase))) return std::nullopt;
    double factor = 1;
    if (match[2].length() > 0) {
        factor = units.at(static_cast<char>(std::toupper(match[2].str()[0])));
    }
    const double value = std::stod(match[1].str()) * factor;
    if (!(value > 0) || value > 9e18) return std::nullopt;
    return static_cast<int64_t>(std::llround(value));
}

}  // namespace

std::optional<int64_t> ParseSize(const std::string& text) {
    return Scaled(text, R"(([0-9]+(?:\.[0-9]+)?)([KMGT]?))",
                  {{'K', 1024.0}, {'M', 1048576.0}, {'G', 1073741824.0}, {'T', 1099511627776.0}});
}

std::optional<int64_t> ParseAge(const std::string& text) {
    return Scaled(text, R"(([0-9]+(?:\.[0-9]+)?)([SMHDW]))",
                  {{'S', 1.0}, {'M', 60.0}, {'H', 3600.0}, {'D', 86400.0}, {'W', 604800.0}});
}

int RunVerify(const VerifyOptions& options, const FoundCatalog& found, std::ostream& out,
              std::ostream& err) {
    Outcome outcome;
    try {
        CatalogStore catalog(found.login);
        if (!ChecksumTableExists(catalog.Database())) {
            err << "trq check: the catalog " << found.login.dsn
                << " has no table FILECHECKSUM (it was set up before checksums were kept): "
                   "nothing to verify; running scripts/catalog-setup.sh again adds it\n";
            return kExitCatalog;
        }
        outcome = Verify(options, found, catalog);
    } catch (const CatalogError& e) {
        err << "trq check: catalog " << found.login.dsn << ": " << e.what() << "\n";
        return kExitCatalog;
    } catch (const CDBException& e) {
        err << "trq check: catalog " << found.login.dsn << ": " << e.errorText;
        return kExitCatalog;
    }
    if (options.json) {
        WriteJson(out, ToJson(found, outcome));
    } else {
        PrintText(outcome, out);
    }
    return outcome.damaged.empty() ? kExitOk : kExitDamage;
}

}  // namespace trq
