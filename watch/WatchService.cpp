#include "watch/WatchService.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "archive/StationDirectory.h"
#include "batch/ConsoleLines.h"
#include "catalog/RecordingRows.h"
#include "ingest/Conversion.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/DirectoryWatch.h"
#include "platform/ExitCodes.h"
#include "platform/ServiceSignals.h"
#include "watch/ArrivalTracker.h"
#include "watch/WatchLog.h"
#include "watch/WatchState.h"
#include "watch/WatchWorkers.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

constexpr auto kStateInterval = seconds(1);
constexpr auto kLongestSleep = seconds(60);

class WatchService {
  public:
    WatchService(const WatchOptions& options, const SettingsFiles& files,
                 platform::ServiceSignals& signals)
        : options_(options), files_(files), signals_(signals), tracker_(options.tree) {}

    int Run();

  private:
    void Say(const std::string& line);
    bool OpenCatalogAtStart(CDatabase& catalog);
    void Start(Clock::time_point now);
    void Loop();
    void Stop();
    void Reload();
    void FullScan(Clock::time_point now);
    void TakeEvents(platform::DirectoryWatch& watch, Clock::time_point now);
    void HandOn(Clock::time_point now);
    void Handle(WatchResult& result, Clock::time_point now);
    void HandleJournal(const WatchResult& result);
    void SetCatalogAway(bool away, Clock::time_point now);
    void Probe(Clock::time_point now);
    void PushJournalJobs(bool all);
    std::optional<std::string> StoredStation(const std::string& directory);
    std::string JournalPath(const std::string& station) const;
    void WriteState(Clock::time_point now, bool force);
    void TellProgress();

    const WatchOptions& options_;
    const SettingsFiles& files_;
    platform::ServiceSignals& signals_;
    WatchShared shared_;
    std::shared_ptr<const WatchSetup> setup_;
    int generation_ = 1;
    ArrivalTracker tracker_;
    std::vector<std::thread> workers_;
    WatchState state_;
    Clock::time_point nextScan_{};
    Clock::time_point nextProbe_ = Clock::time_point::max();
    Clock::time_point stateWritten_{};
    bool stateDirty_ = true;
    bool diskFullSaid_ = false;
    std::set<std::string> busySaid_;
    std::size_t journalJobs_ = 0;  // journal jobs handed on, not yet back
    std::map<std::string, std::vector<RecordingRecord>> unwritten_;  // by station
    std::map<std::string, std::optional<std::string>> stations_;     // directory -> stored
    bool stopping_ = false;
    bool progressShown_ = false;
    bool stateWriteSaid_ = false;
};

void WatchService::Say(const std::string& line) {
    if (progressShown_) InstalledConsoleSink().Progress("");
    progressShown_ = false;
    ConsoleMessageLine(line);
}

bool WatchService::OpenCatalogAtStart(CDatabase& catalog) {
    bool said = false;
    for (;;) {
        std::vector<std::string> why;
        {
            const ConsoleLines lines;
            if (OpenConverterCatalog(catalog, ConverterLogin(setup_->settings))) return true;
            why = lines.Errors();
        }
        if (!said) {
            Say("the catalog cannot be opened (" + (why.empty() ? "" : why.front()) +
                "): waiting for it, trying again every " +
                std::to_string(setup_->watch.retrySeconds) + " s");
            said = true;
        }
        pollfd wait{signals_.Descriptor(), POLLIN, 0};
        ::poll(&wait, 1, std::max(1, setup_->watch.retrySeconds) * 1000);
        for (const int signal : signals_.Take()) {
            if (signal != SIGHUP) return false;
        }
    }
}

int WatchService::Run() {
    setup_ = ReadWatchSetup(files_, generation_);
    shared_.SetSetup(setup_);
    tracker_.SetQuietTime(seconds(setup_->watch.quietSeconds));
    {
        CDatabase catalog;
        if (!OpenCatalogAtStart(catalog)) return ExitCode::kConverted;
        try {
            if (!HasRecordTables(catalog)) {
                ConsoleNotice(
                    "the catalog has no table RECORDINGS, which tells the watch mode what it "
                    "converted before: run catalog-setup.sh again to add it");
                return ExitCode::kDatabase;
            }
            for (const RecordingRecord& record :
                 ReadRecordings(catalog, RecordPath(options_.tree) + "/")) {
                tracker_.Remember(record);
            }
        } catch (const CDBException& error) {
            ConsoleNotice("cannot read the record of recordings: %s", error.errorText.c_str());
            return ExitCode::kDatabase;
        }
    }
    platform::DirectoryWatch watch(options_.tree);  // before the scan: nothing slips between
    const Clock::time_point now = Clock::now();
    Start(now);
    for (;;) {
        const Clock::time_point due =
            std::min({tracker_.NextDue(), nextScan_, nextProbe_,
                      stateDirty_ ? stateWritten_ + kStateInterval : Clock::time_point::max()});
        const auto sleep =
            std::clamp(due - Clock::now(), Clock::duration::zero(), Clock::duration(kLongestSleep));
        pollfd ready[] = {{watch.Descriptor(), POLLIN, 0},
                          {signals_.Descriptor(), POLLIN, 0},
                          {shared_.wakeup.Descriptor(), POLLIN, 0}};
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(sleep).count();
        if (::poll(ready, 3, static_cast<int>(ms)) < 0 && errno != EINTR) break;
        const Clock::time_point at = Clock::now();
        for (const int signal : signals_.Take()) {
            if (signal == SIGHUP) {
                Reload();
            } else {
                stopping_ = true;
            }
        }
        if (stopping_) break;
        TakeEvents(watch, at);
        shared_.wakeup.Clear();
        for (WatchResult& result : shared_.TakeResults()) Handle(result, at);
        if (at >= nextScan_) FullScan(at);
        if (at >= nextProbe_) Probe(at);
        HandOn(at);
        TellProgress();
        WriteState(at, false);
    }
    Stop();
    return ExitCode::kConverted;
}

void WatchService::Start(Clock::time_point now) {
    state_.pid = static_cast<long>(::getpid());
    state_.watching = RecordPath(options_.tree);
    state_.started = platform::NowWithFraction();
    FullScan(now);
    const std::size_t known = tracker_.Remembered();
    HandOn(now);
    PushJournalJobs(true);
    unsigned jobs = options_.jobs;
    if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
    char line[256];
    std::snprintf(line, sizeof line,
                  ": %zu recordings on record, %zu new or changed; %u workers, quiet %d s, scan "
                  "every %d s, retry every %d s",
                  known, tracker_.Waiting(), jobs, setup_->watch.quietSeconds,
                  setup_->watch.scanSeconds, setup_->watch.retrySeconds);
    Say("watching " + options_.tree + line);
    for (unsigned j = 0; j < jobs; ++j) workers_.emplace_back(RunWatchWorker, std::ref(shared_));
}

void WatchService::Stop() {
    Say("stopping: the recordings being converted are finished first");
    shared_.queues.Stop();
    for (std::thread& worker : workers_) worker.join();
    const Clock::time_point now = Clock::now();
    for (WatchResult& result : shared_.TakeResults()) Handle(result, now);
    state_.stopped = true;
    WriteState(now, true);
    Say("stopped; " + std::to_string(shared_.queues.Waiting()) +
        " recordings wait for the next start");
}

void WatchService::Reload() {
    setup_ = ReadWatchSetup(files_, ++generation_);
    shared_.SetSetup(setup_);
    tracker_.SetQuietTime(seconds(setup_->watch.quietSeconds));
    nextScan_ = Clock::now() + seconds(setup_->watch.scanSeconds);
    stations_.clear();
    Say("settings read again: data source " + setup_->settings.dataSource + ", data directory " +
        setup_->settings.dataDir + ", quiet " + std::to_string(setup_->watch.quietSeconds) +
        " s, scan every " + std::to_string(setup_->watch.scanSeconds) + " s, retry every " +
        std::to_string(setup_->watch.retrySeconds) + " s");
}

void WatchService::FullScan(Clock::time_point now) {
    state_.lastScanFiles = tracker_.Scan(options_.tree, now);
    state_.lastScan = platform::NowWithFraction();
    nextScan_ = now + seconds(setup_->watch.scanSeconds);
    stateDirty_ = true;
}

void WatchService::TakeEvents(platform::DirectoryWatch& watch, Clock::time_point now) {
    using Kind = platform::WatchEvent::Kind;
    for (const platform::WatchEvent& event : watch.Take()) {
        switch (event.kind) {
            case Kind::kOverflow:
                Say("events were lost (the kernel's queue overflowed): looking at the whole tree");
                FullScan(now);
                break;
            case Kind::kDirectoryAdded:
                tracker_.Scan(event.path, now);
                break;
            case Kind::kClosedAfterWriting:
            case Kind::kMovedIn:
                tracker_.Touch(event.path, true, now);
                break;
            case Kind::kCreated:
                tracker_.Touch(event.path, false, now);
                break;
        }
    }
    for (const std::string& problem : watch.TakeProblems()) {
        Say("cannot watch " + problem + ": only the scans every " +
            std::to_string(setup_->watch.scanSeconds) + " s find what arrives there");
    }
}

// The stored name of a station directory (cut and checked as the classic form does), once
// per directory; nothing for a name no station can have.
std::optional<std::string> WatchService::StoredStation(const std::string& directory) {
    const auto found = stations_.find(directory);
    if (found != stations_.end()) return found->second;
    std::optional<std::string> stored;
    std::vector<std::string> said;
    {
        const ConsoleLines lines;
        std::string name;
        if (AcceptStationName(directory.c_str(), name) == 0) stored = name;
        said = lines.Errors();
    }
    for (const std::string& line : said) Say("station " + directory + ": " + line);
    return stations_[directory] = stored;
}

void WatchService::HandOn(Clock::time_point now) {
    std::vector<std::string> told;
    for (WatchJob& job : tracker_.Evaluate(now, told)) {
        const std::optional<std::string> station = StoredStation(job.station);
        if (!station) {
            // Known from now on as it is, so that it is said once.
            const RecordingIdentity id = IdentifyRecording(job.path);
            RecordingRecord refused;
            refused.path = id.path, refused.size = id.size, refused.modified = id.modified;
            refused.exitCode = ExitCode::kBadStation, refused.outcome = RecordOutcome::kFailed;
            Say("FAILED -7 " + Named(job) + ": no station can have this name");
            tracker_.Finished(job, &refused, now);
            continue;
        }
        job.station = *station;
        shared_.queues.Push(std::move(job));
        stateDirty_ = true;
    }
    for (const std::string& line : told) Say(line);
}

void WatchService::Handle(WatchResult& result, Clock::time_point now) {
    stateDirty_ = true;
    const WatchJob& job = result.job;
    if (job.kind == WatchJob::Kind::kJournal) {
        HandleJournal(result);
        return;
    }
    const int code = result.conversion.exitCode;
    const RecordingRecord& record = result.conversion.record;
    if (result.grew) {  // judged again as it is now
        tracker_.Finished(job, nullptr, now);
        return;
    }
    if (result.retried) {
        if (code == ExitCode::kArchiveWrite && !diskFullSaid_) {
            Say(RecordingLine(result, setup_->watch.quietSeconds) +
                "; left unconverted, tried again every " +
                std::to_string(setup_->watch.retrySeconds) +
                " s (said once until a recording converts again)");
            diskFullSaid_ = true;
        }
        if (code == ExitCode::kStationBusy && busySaid_.insert(job.station).second) {
            Say("waiting for station " + job.station + ": another converter holds it; " +
                Named(job) + " and the station's later recordings wait");
        }
    } else {
        Say(RecordingLine(result, setup_->watch.quietSeconds));
        const bool through = code == ExitCode::kConverted || code == ExitCode::kCatalog;
        if (through && !result.unchanged) {
            for (const std::string& line : WarningLines(result)) Say(line);
            diskFullSaid_ = false;
            busySaid_.erase(job.station);
        }
        ++state_.outcomes[result.unchanged ? "unchanged" : RecordOutcomeName(record.outcome)];
        state_.lastConversion = platform::NowWithFraction();
        tracker_.Finished(job, &record, now);
        if (!result.conversion.recordKept && !record.path.empty()) {
            unwritten_[job.station].push_back(record);
        }
    }
    if (result.conversion.catalogAway) SetCatalogAway(true, now);
}

void WatchService::HandleJournal(const WatchResult& result) {
    --journalJobs_;
    const JournalApplication& journal = result.journal;
    const std::string& station = result.job.station;
    for (const RecordingRecord& record : result.unwritten) unwritten_[station].push_back(record);
    if (journal.applied > 0) {
        Say("journal of station " + station + ": " + std::to_string(journal.applied) +
            " registrations and records made");
    }
    if (journal.catalogAway) {
        SetCatalogAway(true, Clock::now());
        return;
    }
    if (journal.remaining > 0 && !journal.busy) {
        Say("journal of station " + station + ": " + std::to_string(journal.remaining) +
            " entries the catalog refused stay in it (trq check --repair tells more)");
    }
    if (shared_.catalogAway) SetCatalogAway(false, Clock::now());
}

void WatchService::SetCatalogAway(bool away, Clock::time_point now) {
    if (away == shared_.catalogAway) {
        if (away && journalJobs_ == 0) nextProbe_ = now + seconds(setup_->watch.retrySeconds);
        return;
    }
    shared_.catalogAway = away;
    state_.catalogAway = away;
    stateDirty_ = true;
    if (away) {
        nextProbe_ = now + seconds(setup_->watch.retrySeconds);
        Say("the catalog is away: recordings are still converted, their rows and records wait "
            "in the stations' journals; the catalog is tried again every " +
            std::to_string(setup_->watch.retrySeconds) + " s");
    } else {
        nextProbe_ = Clock::time_point::max();
        Say("the catalog answers again: the stations' journals are applied");
        PushJournalJobs(true);
    }
}

// While the catalog is away: the stations' journals are the probe.
void WatchService::Probe(Clock::time_point now) {
    nextProbe_ = now + seconds(setup_->watch.retrySeconds);
    if (journalJobs_ > 0) return;
    PushJournalJobs(false);
    if (journalJobs_ == 0) SetCatalogAway(false, now);  // nothing to try it with
}

// A journal job for every station with a journal or records to write; `all`: also when
// jobs of the kind are still out.
void WatchService::PushJournalJobs(bool all) {
    if (!all && journalJobs_ > 0) return;
    std::set<std::string> stations;
    for (const std::string& directory : tracker_.Stations()) {
        const std::optional<std::string> station = StoredStation(directory);
        if (station && std::filesystem::exists(JournalPath(*station))) stations.insert(*station);
    }
    for (const auto& [station, records] : unwritten_) {
        if (!records.empty()) stations.insert(station);
    }
    for (const std::string& station : stations) {
        WatchJob job;
        job.kind = WatchJob::Kind::kJournal;
        job.station = station;
        job.records = std::exchange(unwritten_[station], {});
        shared_.queues.Push(std::move(job));
        ++journalJobs_;
    }
}

std::string WatchService::JournalPath(const std::string& station) const {
    return StationDirectoryPath(setup_->settings.dataDir, station) + "/" + kJournalFileName;
}

void WatchService::WriteState(Clock::time_point now, bool force) {
    if (!force && (!stateDirty_ || now < stateWritten_ + kStateInterval)) return;
    state_.backlog = shared_.queues.Waiting();
    state_.converting = shared_.queues.Working();
    state_.waiting =
        tracker_.Waiting() - std::min(tracker_.Waiting(), state_.backlog + state_.converting);
    state_.journalStations = 0;
    state_.journalEntries = 0;
    for (const std::string& directory : tracker_.Stations()) {
        const std::optional<std::string> station = StoredStation(directory);
        std::ifstream journal(station ? JournalPath(*station) : std::string());
        if (!journal) continue;
        ++state_.journalStations;
        for (std::string line; std::getline(journal, line);) ++state_.journalEntries;
    }
    if (!WriteStateFile(setup_->watch.statePath, state_, platform::NowWithFraction()) &&
        !stateWriteSaid_) {
        Say("cannot write the state file " + setup_->watch.statePath);
        stateWriteSaid_ = true;
    }
    stateWritten_ = now;
    stateDirty_ = false;
}

// On a terminal only: a log collector wants lines, not a line rewritten in place.
void WatchService::TellProgress() {
    ConsoleSink& sink = InstalledConsoleSink();
    if (!sink.ProgressInPlace()) return;
    char state[160];
    std::snprintf(state, sizeof state, "backlog %zu, converting %zu; converted %zu, failed %zu",
                  shared_.queues.Waiting(), shared_.queues.Working(),
                  state_.outcomes["converted"] + state_.outcomes["journaled"],
                  state_.outcomes["failed"]);
    sink.Progress(state);
    progressShown_ = true;
}

}  // namespace

int RunWatch(const WatchOptions& options, const SettingsFiles& files) {
    try {
        platform::ServiceSignals signals;  // before any thread starts
        // A log collector reads the lines as they come, not when a buffer fills.
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
        WatchService service(options, files, signals);
        return service.Run();
    } catch (const std::exception& error) {
        ConsoleNotice("watch: %s", error.what());
    }
    return ExitCode::kUnexpected;
}
