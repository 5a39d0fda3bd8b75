#include "catalog/RecordingRows.h"

#include <cstdio>
#include <cstdlib>

#include "odbc/DBException.h"
#include "odbc/FieldSlot.h"
#include "odbc/Recordset.h"
#include "odbc/TextParameters.h"
#include "odbc/Transaction.h"
#include "platform/Utf8.h"

namespace {

constexpr std::size_t kMaxReasonBytes = 1000;
constexpr const char* kRecordColumns =
    "R.RPATH,R.STA,R.RSIZE,R.MTIME,R.RHASH,R.CONVERTED,R.OUTCOME,R.EXITCODE,R.REASON";

// The columns of RECORDINGS as fields; RSIZE as text, which either database turns into its
// BIGINT exactly.
struct RecordFields {
    std::string path, station, size, hash, outcome, reason;
    double modified = 0, converted = 0;
    int32_t exitCode = 0;

    void Exchange(FieldExchange& exchange) {
        exchange.SetFieldType(FieldExchange::kResultColumn);
        exchange.ExchangeText("RPATH", path, 1024);
        exchange.ExchangeText("STA", station, 255);
        exchange.ExchangeText("RSIZE", size, 32);
        exchange.ExchangeDouble("MTIME", modified);
        exchange.ExchangeText("RHASH", hash, 64);
        exchange.ExchangeDouble("CONVERTED", converted);
        exchange.ExchangeText("OUTCOME", outcome, 16);
        exchange.ExchangeLong("EXITCODE", exitCode);
        exchange.ExchangeText("REASON", reason, 1024);
    }
    RecordingRecord Record() const {
        RecordingRecord r;
        r.path = path, r.station = station, r.hash = hash, r.reason = reason;
        r.size = std::strtoll(size.c_str(), nullptr, 10);
        r.modified = modified, r.converted = converted, r.exitCode = exitCode;
        if (!ParseRecordOutcome(outcome, r.outcome)) r.outcome = RecordOutcome::kFailed;
        return r;
    }
};

class CRecordingRow : public CRecordset {
  public:
    explicit CRecordingRow(CDatabase* database) : CRecordset(database) { fieldCount_ = 9; }
    std::string DefaultSQL() const override { return "RECORDINGS"; }
    void ExchangeFields(FieldExchange& exchange) override { fields.Exchange(exchange); }
    RecordFields fields;
};

class CRecordingFileRow : public CRecordset {
  public:
    explicit CRecordingFileRow(CDatabase* database) : CRecordset(database) { fieldCount_ = 4; }
    std::string DefaultSQL() const override { return "RECORDINGFILES"; }
    void ExchangeFields(FieldExchange& exchange) override {
        exchange.SetFieldType(FieldExchange::kResultColumn);
        exchange.ExchangeText("RPATH", path, 1024);
        exchange.ExchangeText("RHASH", hash, 64);
        exchange.ExchangeText("CPATH", file, 255);
        exchange.ExchangeText("ACTION", action, 16);
    }
    std::string path, hash, file, action;
};

// A recording's record and what it did to one archive file, from a join of both tables.
class CSourceRow : public CRecordset {
  public:
    explicit CSourceRow(CDatabase* database) : CRecordset(database) { fieldCount_ = 10; }
    void ExchangeFields(FieldExchange& exchange) override {
        fields.Exchange(exchange);
        exchange.ExchangeText("ACTION", action, 16);
    }
    RecordFields fields;
    std::string action;
};

}  // namespace

void WriteRecordingRows(CDatabase& database, const RecordingRecord& record) {
    Transaction transaction(database);
    ExecuteWithTextParameters(database, "DELETE FROM RECORDINGFILES WHERE RPATH=? AND RHASH=?",
                              {record.path, record.hash});
    ExecuteWithTextParameters(database,
                              "DELETE FROM RECORDINGS WHERE RPATH=? AND (RHASH=? OR NOT EXISTS "
                              "(SELECT 1 FROM RECORDINGFILES F WHERE F.RPATH=RECORDINGS.RPATH "
                              "AND F.RHASH=RECORDINGS.RHASH))",
                              {record.path, record.hash});
    {
        CRecordingRow row(&database);
        row.SetFilter("1=0");
        row.Open();
        row.AddNew();
        RecordFields& f = row.fields;
        f.path = record.path, f.station = record.station, f.hash = record.hash;
        f.size = std::to_string(record.size);
        f.modified = record.modified, f.converted = record.converted;
        f.outcome = RecordOutcomeName(record.outcome);
        f.exitCode = record.exitCode;
        f.reason = platform::CutUtf8(record.reason, kMaxReasonBytes);
        row.Update();
        row.Close();
    }
    const std::pair<FileAction, const std::vector<std::string>*> files[] = {
        {FileAction::kCreated, &record.created},
        {FileAction::kReplaced, &record.replaced},
        {FileAction::kExtended, &record.extended}};
    CRecordingFileRow row(&database);
    row.SetFilter("1=0");
    row.Open();
    for (const auto& [action, paths] : files) {
        for (const std::string& path : *paths) {
            row.AddNew();
            row.path = record.path, row.hash = record.hash, row.file = path;
            row.action = FileActionName(action);
            row.Update();
        }
    }
    row.Close();
    transaction.Commit();
}

void UpdateRecordedFileTime(CDatabase& database, const std::string& path, const std::string& hash,
                            int64_t size, double modified) {
    char time[40];
    std::snprintf(time, sizeof time, "%.17g", modified);
    // Cast: PostgreSQL takes a text parameter for a number only when told.
    ExecuteWithTextParameters(database,
                              "UPDATE RECORDINGS SET RSIZE=CAST(? AS BIGINT), MTIME=CAST(? AS "
                              "DOUBLE PRECISION) WHERE RPATH=? AND RHASH=?",
                              {std::to_string(size), time, path, hash});
}

std::vector<RecordingRecord> ReadRecordings(CDatabase& database, const std::string& prefix) {
    // LIKE narrows the rows down (SQLite's ignores ASCII case); the prefix decides.
    std::string pattern;
    for (const char c : prefix) {
        if (c == '!' || c == '%' || c == '_') pattern += '!';
        pattern += c;
    }
    CRecordingRow row(&database);
    row.SetFilter("RPATH LIKE ? ESCAPE '!'");
    row.SetFilterParameters({pattern + "%"});
    row.Open(CRecordset::kForwardOnly, nullptr, CRecordset::kReadOnly);
    std::vector<RecordingRecord> records;
    for (; !row.IsEOF(); row.MoveNext()) {
        if (row.fields.path.starts_with(prefix)) records.push_back(row.fields.Record());
    }
    row.Close();
    return records;
}

std::vector<RecordingRecord> LatestRecordingPerStation(CDatabase& database) {
    // A walk from station to station along the index on (STA, CONVERTED), each a MIN, then
    // each station's latest row by the same index: a few probes per station, however many
    // recordings years of ingest have recorded. UNION (not ALL) ends the walk should a
    // collation ever lead back to a station met before.
    const std::string select =
        std::string(
            "WITH RECURSIVE stations(sta) AS (SELECT MIN(STA) FROM RECORDINGS UNION "
            "SELECT (SELECT MIN(STA) FROM RECORDINGS WHERE STA>s.sta) FROM stations s "
            "WHERE s.sta IS NOT NULL) SELECT ") +
        kRecordColumns +
        " FROM stations s, RECORDINGS R WHERE s.sta IS NOT NULL AND R.STA=s.sta AND "
        "R.CONVERTED=(SELECT MAX(CONVERTED) FROM RECORDINGS WHERE STA=s.sta) "
        "ORDER BY R.STA, R.RPATH";
    CRecordingRow row(&database);
    row.Open(CRecordset::kForwardOnly, select.c_str(), CRecordset::kReadOnly);
    std::vector<RecordingRecord> records;
    for (; !row.IsEOF(); row.MoveNext()) {
        // Two records of one station at the same time: the first by path.
        if (records.empty() || records.back().station != row.fields.station)
            records.push_back(row.fields.Record());
    }
    row.Close();
    return records;
}

std::vector<RecordingSource> ArchiveFileHistory(CDatabase& database,
                                                const std::string& catalogPath) {
    CSourceRow row(&database);
    row.SetFilter("F.CPATH=? AND R.RPATH=F.RPATH AND R.RHASH=F.RHASH");
    row.SetFilterParameters({catalogPath});
    row.SetSort("R.CONVERTED,R.RPATH");
    const std::string select =
        std::string("SELECT ") + kRecordColumns + ",F.ACTION FROM RECORDINGFILES F, RECORDINGS R";
    row.Open(CRecordset::kForwardOnly, select.c_str(), CRecordset::kReadOnly);
    std::vector<RecordingSource> history;
    for (; !row.IsEOF(); row.MoveNext()) {
        RecordingSource source{row.fields.Record(), FileAction::kExtended};
        ParseFileAction(row.action, source.action);
        history.push_back(std::move(source));
    }
    row.Close();
    return history;
}

std::vector<RecordingSource> RecordingsHolding(const std::vector<RecordingSource>& history) {
    std::size_t first = 0;
    for (std::size_t i = 0; i < history.size(); ++i) {
        if (history[i].action != FileAction::kExtended) first = i;
    }
    return {history.begin() + static_cast<std::ptrdiff_t>(first), history.end()};
}

std::vector<RecordingSource> RecordingsOfArchiveFile(CDatabase& database,
                                                     const std::string& catalogPath) {
    return RecordingsHolding(ArchiveFileHistory(database, catalogPath));
}

bool IsRecordTableMissing(const CDBException& error) {
    return error.errorText.find("no such table") != std::string::npos ||
           error.stateText.find("State:42P01") != std::string::npos;
}

bool HasRecordTables(CDatabase& database) {
    try {
        for (const char* table : {"RECORDINGS", "RECORDINGFILES"}) {
            ExecuteWithTextParameters(database,
                                      std::string("SELECT 1 FROM ") + table + " WHERE 1=0", {});
        }
        return true;
    } catch (const CDBException& error) {
        if (IsRecordTableMissing(error)) return false;
        throw;
    }
}
