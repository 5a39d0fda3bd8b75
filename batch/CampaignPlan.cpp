#include "batch/CampaignPlan.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <system_error>
#include <tuple>

#include "platform/Console.h"
#include "platform/ExitCodes.h"
#include "recorder/RecordingOpener.h"

namespace fs = std::filesystem;

namespace {

// Swallows the lines of a header read: the plan is made before anything is converted.
class SilentSink : public ConsoleSink {
  public:
    void Message(std::string_view) override {}
    void Notice(std::string_view) override {}
};

PlannedRecording Plan(const std::string& path, const std::string& station) {
    PlannedRecording planned;
    planned.path = path;
    planned.station = station;
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    if (!error) planned.bytes = size;
    SilentSink silent;
    ScopedConsoleSink installed(silent);
    const OpenedRecording opened = OpenRecording(path.c_str(), HeaderReadLine::kLeftOut);
    if (opened.exitCode != 0) return planned;
    const Recording& recording = *opened.recording;
    planned.headerRead = true;
    planned.start = recording.StartTime();
    planned.rate = recording.SampleRate();
    if (planned.rate > 0)
        planned.seconds = static_cast<double>(recording.SamplesPerChannel()) / planned.rate;
    return planned;
}

void SortByTime(std::vector<PlannedRecording>& recordings) {
    const auto key = [](const PlannedRecording& r) {
        return std::make_tuple(!r.headerRead,
                               r.headerRead ? r.start : std::numeric_limits<double>::max(), r.path);
    };
    std::sort(
        recordings.begin(), recordings.end(),
        [&](const PlannedRecording& a, const PlannedRecording& b) { return key(a) < key(b); });
}

bool SameBytes(const std::string& a, const std::string& b) {
    std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
    std::vector<char> one(1 << 16), other(1 << 16);
    while (first && second) {
        first.read(one.data(), static_cast<std::streamsize>(one.size()));
        second.read(other.data(), static_cast<std::streamsize>(other.size()));
        if (first.gcount() != second.gcount() ||
            !std::equal(one.begin(), one.begin() + first.gcount(), other.begin()))
            return false;
    }
    return first.eof() && second.eof();
}

// Marks each recording that repeats an earlier one byte for byte. Only recordings of the
// same start, length and size are read, so a campaign without repeats reads nothing more.
void FindDuplicates(std::vector<PlannedRecording>& recordings) {
    for (std::size_t i = 0; i < recordings.size(); ++i) {
        PlannedRecording& later = recordings[i];
        for (std::size_t j = 0; j < i && later.headerRead; ++j) {
            const PlannedRecording& earlier = recordings[j];
            if (earlier.duplicateOf.empty() && earlier.start == later.start &&
                earlier.seconds == later.seconds && earlier.rate == later.rate &&
                earlier.bytes == later.bytes && SameBytes(earlier.path, later.path)) {
                later.duplicateOf = earlier.path;
                break;
            }
        }
    }
}

// The recordings below the tree's station folders by station; 0, or kUsage after a notice.
int PlanTree(const std::string& tree,
             std::map<std::string, std::vector<PlannedRecording>>& byStation) {
    const fs::path root(tree);
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> inRoot, recordingsInRoot;
    for (const fs::path& path : found) {
        const fs::path relative = path.lexically_relative(root);
        if (std::distance(relative.begin(), relative.end()) >= 2) continue;
        (Plan(path, "").headerRead ? recordingsInRoot : inRoot).push_back(path.string());
    }
    if (!recordingsInRoot.empty()) {
        ConsoleNotice(
            "%s holds recordings itself (%s%s): it is the folder of one station, not a tree of "
            "station folders; point --tree at the folder above it, or use plq2trq --station "
            "STATION FILE...",
            tree.c_str(), recordingsInRoot.front().c_str(),
            recordingsInRoot.size() > 1
                ? (" and " + std::to_string(recordingsInRoot.size() - 1) + " more").c_str()
                : "");
        return ExitCode::kUsage;
    }
    for (const std::string& path : inRoot) {
        ConsoleNotice("%s is directly in %s and names no station: left out", path.c_str(),
                      tree.c_str());
    }
    for (const fs::path& path : found) {
        const fs::path relative = path.lexically_relative(root);
        if (std::distance(relative.begin(), relative.end()) < 2) continue;
        const std::string station = relative.begin()->string();
        byStation[station].push_back(Plan(path.string(), station));
    }
    if (byStation.empty()) {
        ConsoleNotice(
            "no recordings below %s: --tree takes a folder holding one folder of recordings per "
            "station",
            tree.c_str());
        return ExitCode::kUsage;
    }
    return 0;
}

}  // namespace

int PlanCampaign(const BatchOptions& options, std::vector<StationPlan>& plan) {
    std::map<std::string, std::vector<PlannedRecording>> byStation;
    if (!options.tree.empty()) {
        if (const int refused = PlanTree(options.tree, byStation); refused != 0) return refused;
    } else {
        for (const std::string& file : options.files) {
            byStation[options.station].push_back(Plan(file, options.station));
        }
    }
    for (auto& [station, recordings] : byStation) {
        SortByTime(recordings);
        FindDuplicates(recordings);
        plan.push_back({station, std::move(recordings), {}});
    }
    return 0;
}
