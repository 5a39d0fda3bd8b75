#include "catalog/CatalogStore.h"

#include <algorithm>
#include <cmath>

#include "catalog/CatalogSelection.h"
#include "catalog/FileList.h"
#include "odbc/ConnectString.h"
#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "odbc/FieldSlot.h"
#include "odbc/TextParameters.h"

std::string DriverErrorText(const CDBException& error) {
    std::string text = error.errorText;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    if (text.empty()) text = "database layer condition " + std::to_string(error.retCode);
    return text;
}

namespace {

// The one text column of the one row of a query such as a MIN: null for the MIN of no rows.
class CTextValue : public CRecordset {
  public:
    explicit CTextValue(CDatabase* database) : CRecordset(database) { fieldCount_ = 1; }
    void ExchangeFields(FieldExchange& exchange) override {
        exchange.SetFieldType(FieldExchange::kResultColumn);
        // Names are VARCHAR(255); room for every byte of a multi-byte encoding besides.
        exchange.ExchangeText("VALUE", value, 1023, SQL_VARCHAR, 0);
    }
    std::string value;
};

// The value `select` (a SELECT of one column) gives with `condition` and its parameters;
// nothing when it is NULL.
std::optional<std::string> QueryOneText(CDatabase& database, const std::string& select,
                                        const std::string& condition,
                                        std::vector<std::string> parameters) {
    CTextValue set(&database);
    set.SetFilter(condition);
    set.SetFilterParameters(std::move(parameters));
    set.Open(CRecordset::kForwardOnly, select.c_str(), CRecordset::kReadOnly);
    std::optional<std::string> value;
    if (!set.IsEOF() && !(set.FieldStatus(1) & kFieldNull)) value = set.value;
    set.Close();
    return value;
}

// Walks the distinct values of `column` upwards, each the MIN above the one before, under
// `condition` (with its parameters) on the other columns.
std::vector<std::string> DistinctValues(CDatabase& database, const std::string& column,
                                        const std::string& condition,
                                        const std::vector<std::string>& parameters) {
    const std::string select = "SELECT MIN(" + column + ") FROM FILELIST";
    std::vector<std::string> values;
    std::string after;  // below every name: the converter never writes an empty one
    for (;;) {
        std::vector<std::string> bound = parameters;
        bound.push_back(after);
        std::optional<std::string> next =
            QueryOneText(database, select, condition + column + ">?", std::move(bound));
        // The database orders by its own collation, which need not be the order of bytes;
        // a name met again would mean a collation that is no order at all.
        if (!next || std::find(values.begin(), values.end(), *next) != values.end()) break;
        after = *next;
        values.push_back(std::move(*next));
    }
    std::sort(values.begin(), values.end());
    return values;
}

// Station and channel: one row of ListStreams' statement.
class CStreamName : public CRecordset {
  public:
    explicit CStreamName(CDatabase* database) : CRecordset(database) { fieldCount_ = 2; }
    void ExchangeFields(FieldExchange& exchange) override {
        exchange.SetFieldType(FieldExchange::kResultColumn);
        exchange.ExchangeText("STA", station, 1023, SQL_VARCHAR, 0);
        exchange.ExchangeText("CH", channel, 1023, SQL_VARCHAR, 0);
    }
    std::string station;
    std::string channel;
};

// The next stream after (s.sta, s.ch): the next channel of the station, else the first
// channel of the next station; each a MIN along the index. UNION (not ALL) ends the walk
// should a collation ever lead back to a stream met before.
constexpr const char* kStreamWalk =
    "WITH RECURSIVE streams(sta,ch) AS (SELECT (SELECT MIN(STA) FROM FILELIST),"
    "(SELECT MIN(CH) FROM FILELIST WHERE STA=(SELECT MIN(STA) FROM FILELIST)) UNION "
    "SELECT CASE WHEN (SELECT MIN(CH) FROM FILELIST WHERE STA=s.sta AND CH>s.ch) IS NULL "
    "THEN (SELECT MIN(STA) FROM FILELIST WHERE STA>s.sta) ELSE s.sta END,"
    "COALESCE((SELECT MIN(CH) FROM FILELIST WHERE STA=s.sta AND CH>s.ch),"
    "(SELECT MIN(CH) FROM FILELIST WHERE STA=(SELECT MIN(STA) FROM FILELIST WHERE "
    "STA>s.sta))) FROM streams s WHERE s.sta IS NOT NULL) "
    "SELECT sta,ch FROM streams WHERE sta IS NOT NULL AND ch IS NOT NULL";

CatalogRow RowOf(const CFileList& set) {
    CatalogRow row;
    row.station = set.station;
    row.rate = set.samplesPerSecond;
    row.gain = set.gain;
    row.path = set.path;
    row.dataType = set.dataType;
    row.channel = set.channel;
    row.creator = set.creator;
    row.loadTime = static_cast<int64_t>(set.loadDate);
    row.start = set.begin;
    row.duration = set.duration;
    row.dataOffset = set.dataOffset;
    for (int field = 1; field <= CFileList::kColumnCount; ++field) {
        if (set.FieldStatus(field) & kFieldNull)
            row.nullColumns.push_back(CFileList::ColumnName(field));
    }
    return row;
}

// A row whose station, channel, path, rate or span the table leaves NULL cannot be
// placed in time; the other columns do not matter to a selection.
bool HasNullSpan(const CatalogRow& row) {
    static const std::string kSpanColumns[] = {"STA", "CH", "CPATH", "SPS", "TBEGIN", "TQTY"};
    return std::any_of(
        row.nullColumns.begin(), row.nullColumns.end(), [](const std::string& column) {
            return std::find(std::begin(kSpanColumns), std::end(kSpanColumns), column) !=
                   std::end(kSpanColumns);
        });
}

}  // namespace

CatalogStore::CatalogStore(const CatalogLogin& login, Use use) : database_(new CDatabase) {
    try {
        // As the converter connects, but never waiting for a dialog.
        const uint32_t access = use == Use::kReadAndMend ? CDatabase::kSearchedPositionedWrites
                                                         : CDatabase::kOpenReadOnly;
        if (!login.Open(*database_, access | CDatabase::kNoOdbcDialog)) {
            throw CatalogError("the driver did not complete the connection");
        }
        // A read of many streams at once (CatalogFigures.h) passes PostgreSQL's estimate for
        // compiling a plan to machine code, which then takes longer than the query: the
        // toolkit's reads are short, and never ask for it (a server before version 11,
        // which has no such compiler, refuses the setting: nothing to turn off).
        if (use == Use::kReadOnly && database_->IsPostgres()) {
            try {
                ExecuteWithTextParameters(*database_, "SET jit = off", {});
            } catch (const CDBException&) {
            }
        }
    } catch (const CDBException& error) {
        throw CatalogError(DriverErrorText(error));
    }
}

CatalogStore::~CatalogStore() = default;

std::vector<CatalogRow> CatalogStore::ReadRows(const std::string& path) {
    std::vector<CatalogRow> rows;
    try {
        CFileList set(database_.get());
        if (!path.empty()) set.SetFilter(CFileList::PathFilter(path));
        set.Open();
        for (; !set.IsEOF(); set.MoveNext()) rows.push_back(RowOf(set));
        set.Close();
    } catch (const CDBException& error) {
        throw CatalogError("reading FILELIST: " + DriverErrorText(error));
    }
    return rows;
}

std::vector<CatalogRow> CatalogStore::SelectRows(const CatalogSelection& selection) {
    // One indexed query per stream the patterns name, streams in order of station and
    // channel; the names behind a wildcard are walked along the same index (ListStations).
    std::vector<CatalogRow> rows;
    for (const std::string& station :
         NamesMatching(selection.stations, [this] { return ListStations(); })) {
        for (const std::string& channel :
             NamesMatching(selection.channels, [&] { return ListChannels(station); })) {
            AppendStreamRows(station, channel, selection, rows);
        }
    }
    // Each stream's rows come by TBEGIN and CPATH; a stable sort by TBEGIN keeps that, and
    // the streams' order among rows that begin together.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const CatalogRow& a, const CatalogRow& b) { return a.start < b.start; });
    return rows;
}

void CatalogStore::AppendStreamRows(const std::string& station, const std::string& channel,
                                    const CatalogSelection& selection,
                                    std::vector<CatalogRow>& rows) {
    try {
        CFileList set(database_.get());
        SqlCondition condition = StreamCondition(station, channel, selection);
        set.SetFilter(std::move(condition.text));
        set.SetFilterParameters(std::move(condition.parameters));
        set.SetSort("TBEGIN,CPATH");
        // Read once, front to back: no scrolling cursor to keep.
        set.Open(CRecordset::kForwardOnly, nullptr, CRecordset::kReadOnly);
        for (; !set.IsEOF(); set.MoveNext()) {
            CatalogRow row = RowOf(set);
            if (!HasNullSpan(row) && RowMeetsSelection(row, selection)) {
                rows.push_back(std::move(row));
            }
        }
        set.Close();
    } catch (const CDBException& error) {
        throw CatalogError("reading FILELIST: " + DriverErrorText(error));
    }
}

void CatalogStore::DeleteRows(const std::string& path) {
    try {
        // A plain searched DELETE: rows that are alike in every column (duplicates) cannot
        // be told apart by a positioned one.
        ExecuteWithTextParameters(*database_, "DELETE FROM FILELIST WHERE CPATH=?", {path});
    } catch (const CDBException& error) {
        throw CatalogError("deleting the FILELIST rows of " + path + ": " + DriverErrorText(error));
    }
}

std::vector<std::string> CatalogStore::ListStations() {
    try {
        return DistinctValues(*database_, "STA", "", {});
    } catch (const CDBException& error) {
        throw CatalogError("listing the stations of FILELIST: " + DriverErrorText(error));
    }
}

std::vector<std::pair<std::string, std::string>> CatalogStore::ListStreams() {
    try {
        CStreamName set(database_.get());
        set.Open(CRecordset::kForwardOnly, kStreamWalk, CRecordset::kReadOnly);
        std::vector<std::pair<std::string, std::string>> streams;
        for (; !set.IsEOF(); set.MoveNext()) streams.emplace_back(set.station, set.channel);
        set.Close();
        // In the order of bytes, as ListStations and ListChannels give them.
        std::sort(streams.begin(), streams.end());
        return streams;
    } catch (const CDBException& error) {
        throw CatalogError("listing the streams of FILELIST: " + DriverErrorText(error));
    }
}

std::vector<std::string> CatalogStore::ListChannels(const std::string& station) {
    try {
        return DistinctValues(*database_, "CH", "STA=? AND ", {station});
    } catch (const CDBException& error) {
        throw CatalogError("listing the channels of " + station + ": " + DriverErrorText(error));
    }
}
