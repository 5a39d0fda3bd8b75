#include "batch/CampaignPlan.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <map>
#include <system_error>
#include <tuple>

#include "platform/Console.h"
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
    if (!opened.recording) return planned;
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

}  // namespace

std::vector<StationPlan> PlanCampaign(const BatchOptions& options) {
    std::map<std::string, std::vector<PlannedRecording>> byStation;
    if (!options.tree.empty()) {
        const fs::path root(options.tree);
        std::vector<fs::path> found;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) found.push_back(entry.path());
        }
        std::sort(found.begin(), found.end());
        for (const fs::path& path : found) {
            const fs::path relative = path.lexically_relative(root);
            if (std::distance(relative.begin(), relative.end()) < 2) {
                ConsoleNotice("%s is directly in %s and names no station: left out", path.c_str(),
                              options.tree.c_str());
                continue;
            }
            const std::string station = relative.begin()->string();
            byStation[station].push_back(Plan(path.string(), station));
        }
    } else {
        for (const std::string& file : options.files) {
            byStation[options.station].push_back(Plan(file, options.station));
        }
    }
    std::vector<StationPlan> plan;
    for (auto& [station, recordings] : byStation) {
        SortByTime(recordings);
        plan.push_back({station, std::move(recordings)});
    }
    return plan;
}
