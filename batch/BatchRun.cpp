#include "batch/BatchRun.h"

#include <atomic>
#include <fstream>
#include <numeric>
#include <set>
#include <thread>

#include "batch/CampaignPlan.h"
#include "batch/CampaignSummary.h"
#include "batch/ConsoleLines.h"
#include "batch/DryRun.h"
#include "batch/Progress.h"
#include "ingest/Conversion.h"
#include "odbc/Database.h"
#include "platform/Console.h"
#include "platform/ExitCodes.h"
#include "recorder/ChannelMap.h"
#include "site/ConverterSetup.h"

namespace {

// What every worker shares, read-only once the workers run.
struct BatchContext {
    ConnectionSettings settings;
    const ChannelMap* channelMap = nullptr;
    Progress* progress = nullptr;
};

RecordingOutcome Failed(const PlannedRecording& recording, int code, std::vector<std::string> why) {
    RecordingOutcome outcome;
    outcome.recording = recording;
    outcome.exitCode = code;
    outcome.reasons = std::move(why);
    return outcome;
}

// Converts one station's recordings in order on one connection of its own.
void ConvertStation(const StationPlan& station, const BatchContext& context,
                    std::vector<RecordingOutcome>& outcomes) {
    ConsoleLines opening;
    CDatabase database;
    const bool open = OpenConverterCatalog(database, ConverterLogin(context.settings));
    for (const PlannedRecording& recording : station.recordings) {
        if (!open) {
            outcomes.push_back(Failed(recording, ExitCode::kDatabase, opening.Errors()));
        } else {
            ConsoleLines lines;
            const ConversionResult result =
                ConvertRecording(recording.path.c_str(), station.station, context.settings,
                                 database, *context.channelMap, ExtensionUpdates::kLastOfEachFile);
            RecordingOutcome outcome = Failed(recording, result.exitCode, lines.Errors());
            if (result.exitCode == 0) outcome.reasons.clear();
            outcome.created = result.created;
            outcome.extended = result.extended;
            outcome.replaced = result.replaced;
            outcomes.push_back(std::move(outcome));
        }
        context.progress->Done(recording.bytes);
    }
}

// Stations taken in turn by `jobs` workers; outcomes kept per station.
void ConvertStations(const std::vector<StationPlan>& plan, const BatchContext& context,
                     unsigned jobs, std::vector<std::vector<RecordingOutcome>>& outcomes) {
    std::atomic<std::size_t> next = 0;
    auto worker = [&] {
        for (std::size_t s = next++; s < plan.size(); s = next++) {
            ConvertStation(plan[s], context, outcomes[s]);
        }
    };
    std::vector<std::thread> workers;
    if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
    const unsigned count = std::min<std::size_t>(jobs, plan.size());
    for (unsigned j = 0; j < count; ++j) workers.emplace_back(worker);
    for (std::thread& t : workers) t.join();
}

// The station names as the classic form stores them; a station whose name is refused
// fails with all its recordings.
std::vector<RecordingOutcome> AcceptStations(std::vector<StationPlan>& plan) {
    std::vector<RecordingOutcome> refused;
    std::vector<StationPlan> accepted;
    for (StationPlan& station : plan) {
        std::string stored;
        ConsoleLines lines;
        if (const int code = AcceptStationName(station.station.c_str(), stored); code != 0) {
            for (const PlannedRecording& r : station.recordings)
                refused.push_back(Failed(r, code, lines.Errors()));
            continue;
        }
        station.station = stored;
        for (PlannedRecording& r : station.recordings) r.station = stored;
        accepted.push_back(std::move(station));
    }
    plan = std::move(accepted);
    return refused;
}

// What a dry run found a replaced file to hold, after its path; nothing for a file it did
// not compare.
const char* DataNote(const RecordingOutcome& outcome, const std::string& path) {
    const auto compared = outcome.sameData.find(path);
    if (compared == outcome.sameData.end()) return "";
    return compared->second ? " (same data)" : " (other data)";
}

// "PATH (STATION): create FILE ... replace FILE (same data) ...", or "...: refused (CODE):
// REASON".
std::string DryRunLine(const RecordingOutcome& o) {
    std::string line = o.recording.path + " (" + o.recording.station + "):";
    if (o.exitCode != 0) {
        line += " refused (" + std::to_string(o.exitCode) + ")";
        if (!o.reasons.empty()) line += ": " + o.reasons.front();
        return line;
    }
    for (const std::string& p : o.created) line += " create " + p;
    for (const std::string& p : o.replaced) line += " replace " + p + DataNote(o, p);
    return line;
}

std::vector<RecordingOutcome> DryRun(const std::vector<StationPlan>& plan,
                                     const BatchContext& context) {
    std::vector<RecordingOutcome> outcomes;
    std::set<std::string> planned;
    for (const StationPlan& station : plan) {
        for (const PlannedRecording& recording : station.recordings) {
            RecordingOutcome o =
                DryRunRecording(recording, context.settings.dataDir, *context.channelMap, planned);
            ConsoleMessageLine(DryRunLine(o));
            outcomes.push_back(std::move(o));
        }
    }
    return outcomes;
}

int RunPlanned(const BatchOptions& options, std::vector<StationPlan>& plan, BatchContext& context) {
    std::vector<RecordingOutcome> outcomes = AcceptStations(plan);
    std::size_t recordings = 0;
    uintmax_t bytes = 0;
    for (const StationPlan& s : plan) {
        recordings += s.recordings.size();
        for (const PlannedRecording& r : s.recordings) bytes += r.bytes;
    }
    if (options.dryRun) {
        std::vector<RecordingOutcome> told = DryRun(plan, context);
        outcomes.insert(outcomes.end(), told.begin(), told.end());
    } else {
        Progress progress(recordings, bytes, options.quiet);
        context.progress = &progress;
        std::vector<std::vector<RecordingOutcome>> perStation(plan.size());
        ConvertStations(plan, context, options.jobs, perStation);
        progress.Finish();
        for (auto& station : perStation)
            outcomes.insert(outcomes.end(), station.begin(), station.end());
    }
    const int code = CampaignExitCode(outcomes);
    for (const std::string& line : SummaryLines(outcomes)) ConsoleMessageLine(line);
    if (!options.report.empty()) {
        std::ofstream report(options.report, std::ios::binary | std::ios::trunc);
        report << ReportJson(outcomes, code);
        if (!report.flush()) {
            ConsoleNotice("cannot write the report %s", options.report.c_str());
            if (code == 0) return ExitCode::kUnexpected;
        }
    }
    return code;
}

}  // namespace

int RunBatch(const BatchOptions& options, const SettingsFiles& files) {
    ChannelMap channelMap;
    try {
        const ConverterSetup setup(files, channelMap, ConverterForm::kBatch);
        BatchContext context;
        context.settings = setup.Settings();
        context.channelMap = &setup.Channels();
        std::vector<StationPlan> plan = PlanCampaign(options);
        return RunPlanned(options, plan, context);
    } catch (const std::exception& error) {
        ConsoleNotice("batch: %s", error.what());
    }
    return ExitCode::kUnexpected;
}
