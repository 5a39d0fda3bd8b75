#include "trq/fdsn/RecordedWatchStatus.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>

#include "archive/StationDirectory.h"
#include "catalog/RecordingRows.h"
#include "odbc/DBException.h"

namespace trq {

namespace {

// Backlog and outcomes from the state file; false when there is none or it cannot be read
// (the service rewrites it by renaming, so a reader never sees half of it).
bool ReadStateFile(const std::string& path, WatchStatus& status) {
    std::ifstream in(path);
    if (!in) return false;
    const nlohmann::json state = nlohmann::json::parse(in, nullptr, false);
    if (!state.is_object()) return false;
    if (const auto backlog = state.find("backlog");
        backlog != state.end() && backlog->is_number_unsigned()) {
        status.backlog = backlog->get<int64_t>();
    }
    if (const auto outcomes = state.find("outcomes");
        outcomes != state.end() && outcomes->is_object()) {
        for (const auto& [outcome, count] : outcomes->items()) {
            if (count.is_number_unsigned()) status.recordings[outcome] = count.get<int64_t>();
        }
    }
    return true;
}

// The last recording of each station in the record of recordings; false when the catalog
// keeps no such record.
bool ReadLastRecordings(CDatabase& database, WatchStatus& status) {
    std::vector<RecordingRecord> latest;
    try {
        latest = LatestRecordingPerStation(database);
    } catch (const CDBException& error) {
        if (IsRecordTableMissing(error)) return false;
        throw;
    }
    for (const RecordingRecord& r : latest) {
        status.lastRecording[r.station] = {
            std::filesystem::path(r.path).filename().string(),
            r.outcome == RecordOutcome::kConverted ? RecordOutcomeName(r.outcome) : r.reason,
            std::llround(r.converted * 1e6)};
    }
    return !latest.empty();
}

// The bytes of every station's journal: registrations waiting for the catalog.
int64_t JournalBytes(const std::string& dataDir) {
    std::error_code error;
    int64_t bytes = 0;
    for (std::filesystem::directory_iterator it(dataDir.empty() ? "." : dataDir, error), end;
         !error && it != end; it.increment(error)) {
        std::error_code sizeError;
        const auto size = std::filesystem::file_size(it->path() / kJournalFileName, sizeError);
        if (!sizeError) bytes += static_cast<int64_t>(size);
    }
    return bytes;
}

}  // namespace

RecordedWatchStatus::RecordedWatchStatus(std::string dataDir, std::string stateFile)
    : dataDir_(std::move(dataDir)), stateFile_(std::move(stateFile)) {
    if (stateFile_.empty()) {
        stateFile_ =
            (std::filesystem::path(dataDir_.empty() ? "." : dataDir_) / ".plq2trq-watch.state")
                .string();
    }
}

std::optional<WatchStatus> RecordedWatchStatus::Read(CatalogStore& catalog) const {
    WatchStatus status;
    const bool state = ReadStateFile(stateFile_, status);
    const bool recorded = ReadLastRecordings(catalog.Database(), status);
    if (!state && !recorded) return std::nullopt;
    status.journalBytes = JournalBytes(dataDir_);
    return status;
}

}  // namespace trq
