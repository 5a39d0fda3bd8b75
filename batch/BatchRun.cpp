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
#include "batch/SetupCheck.h"
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
    bool quiet = false;
};

// With --quiet only what tells of data lost or replaced by other data stays on standard
// error: the notices of the archive writer that say so.
bool TellsOfLostOrReplacedData(const std::string& notice) {
    return notice.starts_with("replaced ") || notice.find(" were not written") != std::string::npos;
}

// The recording's notices as the batch shows them: each after the recording's path.
std::vector<std::string> Shown(const RecordingOutcome& outcome, bool quiet) {
    std::vector<std::string> shown;
    for (const std::string& notice : outcome.notices) {
        if (!quiet || TellsOfLostOrReplacedData(notice))
            shown.push_back(outcome.recording.path + ": " + notice);
    }
    return shown;
}

void Show(const RecordingOutcome& outcome, bool quiet) {
    for (const std::string& line : Shown(outcome, quiet)) ConsoleNotice("%s", line.c_str());
}

RecordingOutcome Failed(const PlannedRecording& recording, int code,
                        const std::vector<std::string>& notices, std::vector<std::string> why) {
    RecordingOutcome outcome;
    outcome.recording = recording;
    outcome.exitCode = code;
    outcome.notices = notices;
    outcome.reasons = std::move(why);
    return outcome;
}

RecordingOutcome Convert(const StationPlan& station, const PlannedRecording& recording,
                         const BatchContext& context, CDatabase& database) {
    ConsoleLines lines;
    const ConversionResult result =
        ConvertRecording(recording.path.c_str(), station.station, context.settings, database,
                         *context.channelMap, ExtensionUpdates::kLastOfEachFile);
    std::vector<std::string> notices = station.notices;
    notices.insert(notices.end(), lines.Notices().begin(), lines.Notices().end());
    RecordingOutcome outcome = Failed(recording, result.exitCode, notices, lines.Errors());
    if (result.exitCode == 0) outcome.reasons.clear();
    outcome.created = result.created;
    outcome.extended = result.extended;
    outcome.replaced = result.replaced;
    for (const std::string& path : result.replaced) outcome.sameData[path] = true;
    for (const std::string& path : result.replacedOtherData) outcome.sameData[path] = false;
    return outcome;
}

// Converts one station's recordings in order on one connection of its own.
void ConvertStation(const StationPlan& station, const BatchContext& context,
                    std::vector<RecordingOutcome>& outcomes) {
    ConsoleLines opening;
    CDatabase database;
    const bool open = OpenConverterCatalog(database, ConverterLogin(context.settings));
    for (const PlannedRecording& recording : station.recordings) {
        outcomes.push_back(
            open ? Convert(station, recording, context, database)
                 : Failed(recording, ExitCode::kDatabase, opening.Notices(), opening.Errors()));
        context.progress->Done(recording.bytes, Shown(outcomes.back(), context.quiet));
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

// The station names as the classic form stores them, with the notices it gives them; a
// station whose name is refused fails with all its recordings.
std::vector<RecordingOutcome> AcceptStations(std::vector<StationPlan>& plan) {
    std::vector<RecordingOutcome> refused;
    std::vector<StationPlan> accepted;
    for (StationPlan& station : plan) {
        std::string stored;
        ConsoleLines lines;
        if (const int code = AcceptStationName(station.station.c_str(), stored); code != 0) {
            for (const PlannedRecording& r : station.recordings)
                refused.push_back(Failed(r, code, lines.Notices(), lines.Errors()));
            continue;
        }
        station.station = stored;
        station.notices = lines.Notices();
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
        const std::vector<std::string>& why = o.notices.empty() ? o.reasons : o.notices;
        if (!why.empty()) line += ": " + why.back();
        return line;
    }
    if (!o.recording.duplicateOf.empty()) line += " the same as " + o.recording.duplicateOf + ":";
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
            o.notices.insert(o.notices.begin(), station.notices.begin(), station.notices.end());
            Show(o, context.quiet);
            ConsoleMessageLine(DryRunLine(o));
            outcomes.push_back(std::move(o));
        }
    }
    return outcomes;
}

std::vector<RecordingOutcome> Run(const BatchOptions& options, const std::vector<StationPlan>& plan,
                                  BatchContext& context) {
    std::size_t recordings = 0;
    uintmax_t bytes = 0;
    for (const StationPlan& s : plan) {
        recordings += s.recordings.size();
        for (const PlannedRecording& r : s.recordings) bytes += r.bytes;
    }
    Progress progress(recordings, bytes, options.quiet);
    context.progress = &progress;
    std::vector<std::vector<RecordingOutcome>> perStation(plan.size());
    ConvertStations(plan, context, options.jobs, perStation);
    progress.Finish();
    std::vector<RecordingOutcome> outcomes;
    for (auto& station : perStation)
        outcomes.insert(outcomes.end(), station.begin(), station.end());
    return outcomes;
}

int RunPlanned(const BatchOptions& options, std::vector<StationPlan>& plan, BatchContext& context) {
    std::vector<RecordingOutcome> outcomes = AcceptStations(plan);
    if (const int broken = CheckSetup(context.settings, plan); broken != 0) return broken;
    for (const RecordingOutcome& refused : outcomes) Show(refused, options.quiet);
    std::vector<RecordingOutcome> done =
        options.dryRun ? DryRun(plan, context) : Run(options, plan, context);
    outcomes.insert(outcomes.end(), done.begin(), done.end());
    const int code = CampaignExitCode(outcomes);
    for (const std::string& line : SummaryLines(outcomes, options.dryRun)) ConsoleMessageLine(line);
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
        if (const int unreadable = CheckSettingsFiles(files); unreadable != 0) return unreadable;
        const ConverterSetup setup(files, channelMap, ConverterForm::kBatch);
        BatchContext context;
        context.settings = setup.Settings();
        context.channelMap = &setup.Channels();
        context.quiet = options.quiet;
        std::vector<StationPlan> plan;
        if (const int refused = PlanCampaign(options, plan); refused != 0) return refused;
        return RunPlanned(options, plan, context);
    } catch (const std::exception& error) {
        ConsoleNotice("batch: %s", error.what());
    }
    return ExitCode::kUnexpected;
}
