#include "batch/CampaignSummary.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "archive/StreamCodes.h"
#include "platform/ExitCodes.h"

namespace {

constexpr std::array kSeverity = {
    ExitCode::kUnexpected,      ExitCode::kDatabase,       ExitCode::kArchiveWrite,
    ExitCode::kCatalog,         ExitCode::kStationBusy,    ExitCode::kBadStation,
    ExitCode::kSameChannelName, ExitCode::kBadChannelName, ExitCode::kOpenFile,
    ExitCode::kReadFile,        ExitCode::kNotPlq,
};

std::size_t SeverityRank(int code) {
    const auto found = std::find(kSeverity.begin(), kSeverity.end(), code);
    return static_cast<std::size_t>(found - kSeverity.begin());  // unknown codes last
}

std::string Format(const char* format, auto... args) {
    char line[512];
    std::snprintf(line, sizeof line, format, args...);
    return line;
}

const char* Outcome(const RecordingOutcome& o) {
    if (o.exitCode != 0) return "failed";
    return o.dryRun ? "would convert" : "converted";
}

// Why a recording failed, in the system's words: the notices among its reasons, else its
// error lines.
std::string FailureText(const RecordingOutcome& o) {
    std::string text;
    for (const std::string& line : o.reasons) {
        if (!line.starts_with("ERROR")) text += (text.empty() ? "" : "; ") + line;
    }
    if (!text.empty() || o.reasons.empty()) return text;
    return o.reasons.front();
}

void AddFailures(const std::vector<RecordingOutcome>& outcomes, std::vector<std::string>& lines) {
    std::map<int, std::vector<const RecordingOutcome*>> failures;
    for (const RecordingOutcome& o : outcomes) {
        if (o.exitCode != 0) failures[o.exitCode].push_back(&o);
    }
    for (const auto& [code, failed] : failures) {
        lines.push_back(Format("  failed (%d, %s): %zu", code, FailureName(code), failed.size()));
        for (const RecordingOutcome* o : failed) {
            lines.push_back("    " + o->recording.path + " (" + o->recording.station +
                            "): " + FailureText(*o));
        }
    }
}

void AddReplacedOtherData(const std::vector<RecordingOutcome>& outcomes, bool dryRun,
                          std::vector<std::string>& lines) {
    std::vector<std::string> replaced;
    for (const RecordingOutcome& o : outcomes) {
        for (const auto& [path, same] : o.sameData) {
            if (!same) replaced.push_back("    " + path + " by " + o.recording.path);
        }
    }
    if (replaced.empty()) return;
    lines.push_back(Format("  %s other data: %zu files", dryRun ? "would replace" : "replaced",
                           replaced.size()));
    lines.insert(lines.end(), replaced.begin(), replaced.end());
}

void AddDuplicates(const std::vector<RecordingOutcome>& outcomes, std::vector<std::string>& lines) {
    std::vector<std::string> duplicates;
    for (const RecordingOutcome& o : outcomes) {
        if (!o.recording.duplicateOf.empty() && o.exitCode == 0) {
            duplicates.push_back("    " + o.recording.path + " is " + o.recording.duplicateOf +
                                 " again");
        }
    }
    if (duplicates.empty()) return;
    lines.push_back(
        Format("  second deliveries of a recording (counted once): %zu", duplicates.size()));
    lines.insert(lines.end(), duplicates.begin(), duplicates.end());
}

void AddUnservable(const std::vector<RecordingOutcome>& outcomes, std::vector<std::string>& lines) {
    std::set<std::string> stations;
    for (const RecordingOutcome& o : outcomes) {
        if (o.exitCode == 0 && !IsMiniSeedStationCode(o.recording.station))
            stations.insert(o.recording.station);
    }
    for (const std::string& station : stations) {
        lines.push_back("  station " + station +
                        " cannot be served: its name is no miniSEED station code (1 to 5 letters "
                        "and digits)");
    }
}

}  // namespace

int CampaignExitCode(const std::vector<RecordingOutcome>& outcomes) {
    int code = 0;
    for (const RecordingOutcome& o : outcomes) {
        if (o.exitCode == 0) continue;
        if (code == 0 || SeverityRank(o.exitCode) < SeverityRank(code)) code = o.exitCode;
    }
    return code;
}

const char* FailureName(int exitCode) {
    switch (exitCode) {
        case ExitCode::kDatabase:
            return "catalog connection";
        case ExitCode::kOpenFile:
            return "cannot open";
        case ExitCode::kReadFile:
            return "cannot read or wrong size";
        case ExitCode::kNotPlq:
            return "not PLQ";
        case ExitCode::kBadStation:
            return "bad station name";
        case ExitCode::kArchiveWrite:
            return "archive write";
        case ExitCode::kCatalog:
            return "catalog registration";
        case ExitCode::kUnexpected:
            return "unexpected";
        case ExitCode::kSameChannelName:
            return "same channel name";
        case ExitCode::kBadChannelName:
            return "bad channel name";
        case ExitCode::kStationBusy:
            return "station busy";
        default:
            return "other";
    }
}

std::vector<StationCoverage> CoverageOf(const std::vector<RecordingOutcome>& outcomes) {
    std::map<std::string, std::vector<const PlannedRecording*>> byStation;
    for (const RecordingOutcome& o : outcomes) {
        if (o.exitCode == 0 && o.recording.headerRead && o.recording.duplicateOf.empty())
            byStation[o.recording.station].push_back(&o.recording);
    }
    std::vector<StationCoverage> coverage;
    for (auto& [station, recordings] : byStation) {
        std::stable_sort(recordings.begin(), recordings.end(),
                         [](auto* a, auto* b) { return a->start < b->start; });
        StationCoverage c;
        c.station = station;
        // The end of the data so far, and the sample period there.
        double end = -std::numeric_limits<double>::infinity();
        double tolerance = 0;
        for (const PlannedRecording* r : recordings) {
            const double step = r->start - end;
            if (std::isfinite(step) && step > tolerance) {
                ++c.gaps;
                c.gapSeconds += step;
            } else if (std::isfinite(step) && step < -tolerance) {
                ++c.overlaps;
                c.overlapSeconds += std::min(end, r->start + r->seconds) - r->start;
            }
            c.seconds += r->start >= end ? r->seconds : std::max(0.0, r->start + r->seconds - end);
            if (r->start + r->seconds >= end) {
                end = r->start + r->seconds;
                tolerance = r->rate > 0 ? 1.0 / r->rate : 0;
            }
        }
        coverage.push_back(c);
    }
    return coverage;
}

std::vector<std::string> SummaryLines(const std::vector<RecordingOutcome>& outcomes, bool dryRun) {
    std::size_t converted = 0;
    std::size_t created = 0, extended = 0, replaced = 0;
    for (const RecordingOutcome& o : outcomes) {
        if (o.exitCode == 0) ++converted;
        created += o.created.size();
        extended += o.extended.size();
        replaced += o.replaced.size();
    }
    std::vector<std::string> lines;
    lines.push_back(Format("%s: %zu of %zu recordings %s, %zu failed",
                           dryRun ? "Dry run" : "Summary", converted, outcomes.size(),
                           dryRun ? "would convert" : "converted", outcomes.size() - converted));
    AddFailures(outcomes, lines);
    AddReplacedOtherData(outcomes, dryRun, lines);
    AddDuplicates(outcomes, lines);
    AddUnservable(outcomes, lines);
    lines.push_back(Format("  archive files %screated %zu, extended %zu, replaced %zu",
                           dryRun ? "to be " : "", created, extended, replaced));
    for (const StationCoverage& c : CoverageOf(outcomes)) {
        lines.push_back(
            Format("  station %s: %.2f h of data, %d gaps (%.1f s), %d overlaps (%.1f s)",
                   c.station.c_str(), c.seconds / 3600.0, c.gaps, c.gapSeconds, c.overlaps,
                   c.overlapSeconds));
    }
    return lines;
}

std::string ReportJson(const std::vector<RecordingOutcome>& outcomes, int exitCode) {
    nlohmann::ordered_json recordings = nlohmann::ordered_json::array();
    for (const RecordingOutcome& o : outcomes) {
        nlohmann::ordered_json replaced = nlohmann::ordered_json::array();
        for (const std::string& path : o.replaced) {
            const auto compared = o.sameData.find(path);
            replaced.push_back({{"path", path},
                                {"sameData", compared == o.sameData.end()
                                                 ? nlohmann::ordered_json(nullptr)
                                                 : nlohmann::ordered_json(compared->second)}});
        }
        recordings.push_back(
            {{"path", o.recording.path},
             {"station", o.recording.station},
             {"outcome", Outcome(o)},
             {"exitCode", o.exitCode},
             {"reasons", o.reasons},
             {"notices", o.notices},
             {"duplicateOf", o.recording.duplicateOf.empty()
                                 ? nlohmann::ordered_json(nullptr)
                                 : nlohmann::ordered_json(o.recording.duplicateOf)},
             {"created", o.created},
             {"extended", o.extended},
             {"replaced", replaced}});
    }
    nlohmann::ordered_json stations = nlohmann::ordered_json::array();
    for (const StationCoverage& c : CoverageOf(outcomes)) {
        stations.push_back({{"station", c.station},
                            {"hours", c.seconds / 3600.0},
                            {"gaps", c.gaps},
                            {"gapSeconds", c.gapSeconds},
                            {"overlaps", c.overlaps},
                            {"overlapSeconds", c.overlapSeconds},
                            {"miniSeedCode", IsMiniSeedStationCode(c.station)}});
    }
    nlohmann::ordered_json report = {
        {"exitCode", exitCode}, {"recordings", recordings}, {"stations", stations}};
    return report.dump(2) + "\n";
}
