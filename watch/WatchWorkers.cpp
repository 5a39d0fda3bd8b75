#include "watch/WatchWorkers.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>

#include "batch/ConsoleLines.h"
#include "catalog/RecordingRows.h"
#include "ingest/Conversion.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "platform/Clock.h"
#include "platform/ExitCodes.h"
#include "site/ConverterSetup.h"
#include "watch/ArrivalTracker.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kBusyRetry = std::chrono::seconds(1);

RecordingRecord IncompleteRecord(const WatchJob& job, int quietSeconds) {
    const RecordingIdentity id = IdentifyRecording(job.path);
    RecordingRecord r;
    r.path = id.path, r.station = job.station, r.size = id.size, r.modified = id.modified;
    r.hash = id.hash, r.converted = platform::NowWithFraction(),
    r.outcome = RecordOutcome::kIncomplete;
    r.exitCode = ExitCode::kReadFile;
    r.reason = (job.announced > 0 ? "shorter than its header announces (" +
                                        std::to_string(job.announced) + " bytes)"
                                  : std::string("too short for a header")) +
               " and unchanged for " + std::to_string(quietSeconds) + " s";
    return r;
}

// Does one job on the worker's connection (opened here when it is not).
WatchResult RunJob(const WatchJob& job, const WatchSetup& setup, CDatabase& database,
                   bool catalogAway) {
    WatchResult result;
    result.job = job;
    const ConsoleLines lines;
    const auto started = Clock::now();
    const bool tryCatalog = !catalogAway || job.kind == WatchJob::Kind::kJournal;
    // A failed open is left to the registration, which connects again for as long as the
    // time-out allows (a server that restarts refuses connections for a moment).
    if (tryCatalog && !database.IsOpen())
        OpenConverterCatalog(database, ConverterLogin(setup.settings));
    ConversionResult& conversion = result.conversion;
    if (job.kind == WatchJob::Kind::kJournal) {
        result.journal = ApplyStationJournal(job.station, setup.settings, database);
        for (const RecordingRecord& record : job.records) {
            if (result.journal.catalogAway ||
                !WriteRecordingRecord(record, setup.settings, database)) {
                result.journal.catalogAway = true;
                result.unwritten.push_back(record);
            }
        }
    } else if (job.kind == WatchJob::Kind::kIncomplete) {
        conversion.exitCode = ExitCode::kReadFile;
        conversion.record = IncompleteRecord(job, setup.watch.quietSeconds);
        result.grew = conversion.record.size != job.size;
        conversion.recordKept =
            result.grew ||
            (!catalogAway && WriteRecordingRecord(conversion.record, setup.settings, database));
    } else {
        const RecordingIdentity id = IdentifyRecording(job.path);
        if (job.known && !id.hash.empty() && id.hash == job.known->hash && IsFinal(*job.known)) {
            result.unchanged = true;
            conversion.record = *job.known;
            conversion.record.size = id.size, conversion.record.modified = id.modified;
            conversion.recordKept = true;
            // So that the next start need not read it again; a failure only costs that.
            try {
                if (!catalogAway && database.IsOpen())
                    UpdateRecordedFileTime(database, id.path, id.hash, id.size, id.modified);
            } catch (const CDBException&) {
            }
        } else {
            ConversionOptions options;
            options.updates = ExtensionUpdates::kLastOfEachFile;
            options.catalogAway = catalogAway;
            options.identity = &id;
            conversion = ConvertRecording(job.path.c_str(), job.station, setup.settings, database,
                                          setup.channels, options);
        }
    }
    result.lines = lines.Errors();
    result.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    return result;
}

}  // namespace

std::shared_ptr<const WatchSetup> ReadWatchSetup(const SettingsFiles& files, int generation) {
    auto setup = std::make_shared<WatchSetup>();
    ChannelMap map;
    {
        const ConverterSetup converter(files, map, ConverterForm::kBatch);
        setup->settings = converter.Settings();
        setup->channels = map;  // the setup empties `map` when it goes
    }
    setup->settings.stationLockWait = std::min(setup->settings.stationLockWait, 1);
    setup->watch = ReadWatchSettings(files);
    setup->generation = generation;
    return setup;
}

void RunWatchWorker(WatchShared& shared) {
    CDatabase database;
    int generation = -1;
    while (std::optional<WatchJob> job = shared.queues.Take()) {
        const std::shared_ptr<const WatchSetup> setup = shared.Setup();
        if (setup->generation != generation) {
            database.Close();  // the settings may name another catalog
            generation = setup->generation;
        }
        WatchResult result = RunJob(*job, *setup, database, shared.catalogAway);
        const int code = result.conversion.exitCode;
        if (job->kind == WatchJob::Kind::kConvert && !result.unchanged &&
            (code == ExitCode::kArchiveWrite || code == ExitCode::kStationBusy)) {
            const auto wait = code == ExitCode::kStationBusy
                                  ? kBusyRetry
                                  : std::chrono::seconds(setup->watch.retrySeconds);
            shared.queues.PushFront(*job, Clock::now() + wait);
            result.retried = true;
        }
        shared.queues.Release(job->station);
        shared.Post(std::move(result));
    }
}