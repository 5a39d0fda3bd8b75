#include "batch/CampaignSummary.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "platform/ExitCodes.h"

namespace {

constexpr std::array kSeverity = {
    ExitCode::kUnexpected,      ExitCode::kDatabase,       ExitCode::kBadStation,
    ExitCode::kOpenFile,        ExitCode::kReadFile,       ExitCode::kNotPlq,
    ExitCode::kSameChannelName, ExitCode::kBadChannelName, ExitCode::kStationBusy,
    ExitCode::kArchiveWrite,    ExitCode::kCatalog,
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
        if (o.exitCode == 0 && o.recording.headerRead)
            byStation[o.recording.station].push_back(&o.recording);
    }
    std::vector<StationCoverage> coverage;
    for (auto& [station, recordings] : byStation) {
        std::sort(recordings.begin(), recordings.end(),
                  [](auto* a, auto* b) { return a->start < b->start; });
        StationCoverage c;
        c.station = station;
        for (std::size_t i = 0; i < recordings.size(); ++i) {
            c.seconds += recordings[i]->seconds;
            if (i == 0) continue;
            const PlannedRecording& before = *recordings[i - 1];
            const double step = recordings[i]->start - (before.start + before.seconds);
            const double tolerance = before.rate > 0 ? 1.0 / before.rate : 0;
            if (step > tolerance) {
                ++c.gaps;
                c.gapSeconds += step;
            } else if (step < -tolerance) {
                ++c.overlaps;
                c.overlapSeconds -= step;
            }
        }
        coverage.push_back(c);
    }
    return coverage;
}

std::vector<std::string> SummaryLines(const std::vector<RecordingOutcome>& outcomes) {
    std::size_t converted = 0;
    std::size_t created = 0, extended = 0, replaced = 0;
    std::map<int, std::size_t> failures;
    const bool dryRun = !outcomes.empty() && outcomes.front().dryRun;
    for (const RecordingOutcome& o : outcomes) {
        if (o.exitCode == 0)
            ++converted;
        else
            ++failures[o.exitCode];
        created += o.created.size();
        extended += o.extended.size();
        replaced += o.replaced.size();
    }
    std::vector<std::string> lines;
    lines.push_back(Format("%s: %zu of %zu recordings %s, %zu failed",
                           dryRun ? "Dry run" : "Summary", converted, outcomes.size(),
                           dryRun ? "would convert" : "converted", outcomes.size() - converted));
    for (const auto& [code, count] : failures) {
        lines.push_back(Format("  failed (%d, %s): %zu", code, FailureName(code), count));
    }
    lines.push_back(Format("  archive files %screated %zu, extended %zu, replaced %zu",
                           dryRun ? "to be " : "", created, extended, replaced));
    for (const StationCoverage& c : CoverageOf(outcomes)) {
        lines.push_back(
            Format("  station %s: %.2f h of data, %d gaps (%.1f s), %d overlaps (%.1f s)",
                   c.station.c_str(), c.seconds / 3600.0, c.gaps, c.gapSeconds, c.overlaps,
                   c.overlapSeconds));
    }
    for (const RecordingOutcome& o : outcomes) {
        if (o.exitCode == 0) continue;
        std::string reason = o.reasons.empty() ? std::string() : ": " + o.reasons.front();
        lines.push_back(Format("  FAILED %d %s (%s)", o.exitCode, o.recording.path.c_str(),
                               o.recording.station.c_str()) +
                        reason);
    }
    return lines;
}

std::string ReportJson(const std::vector<RecordingOutcome>& outcomes, int exitCode) {
    nlohmann::ordered_json recordings = nlohmann::ordered_json::array();
    for (const RecordingOutcome& o : outcomes) {
        nlohmann::ordered_json recording = {
            {"path", o.recording.path}, {"station", o.recording.station}, {"outcome", Outcome(o)},
            {"exitCode", o.exitCode},   {"reasons", o.reasons},           {"created", o.created},
            {"extended", o.extended},   {"replaced", o.replaced}};
        if (o.dryRun) {
            nlohmann::ordered_json changes = nlohmann::ordered_json::object();
            for (const std::string& path : o.replaced) {
                const auto compared = o.sameData.find(path);
                if (compared != o.sameData.end()) changes[path] = !compared->second;
            }
            recording["changesData"] = changes;
        }
        recordings.push_back(std::move(recording));
    }
    nlohmann::ordered_json stations = nlohmann::ordered_json::array();
    for (const StationCoverage& c : CoverageOf(outcomes)) {
        stations.push_back({{"station", c.station},
                            {"hours", c.seconds / 3600.0},
                            {"gaps", c.gaps},
                            {"gapSeconds", c.gapSeconds},
                            {"overlaps", c.overlaps},
                            {"overlapSeconds", c.overlapSeconds}});
    }
    nlohmann::ordered_json report = {
        {"exitCode", exitCode}, {"recordings", recordings}, {"stations", stations}};
    return report.dump(2) + "\n";
}
