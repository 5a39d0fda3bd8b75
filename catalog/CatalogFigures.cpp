#include "catalog/CatalogFigures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "odbc/FieldSlot.h"
#include "odbc/Recordset.h"

namespace {

// One row of a query that answers with texts, then numbers (null where the database has
// no value, such as the MIN of no rows).
class CFigureRow : public CRecordset {
  public:
    CFigureRow(CDatabase* database, int texts, int numbers)
        : CRecordset(database),
          texts_(static_cast<std::size_t>(texts)),
          numbers_(static_cast<std::size_t>(numbers)) {
        fieldCount_ = texts + numbers;
    }
    void ExchangeFields(FieldExchange& exchange) override {
        // The layer keeps column names by pointer: one literal per place.
        static const char* const kNames[] = {"F1", "F2",  "F3",  "F4",  "F5",  "F6",  "F7",  "F8",
                                             "F9", "F10", "F11", "F12", "F13", "F14", "F15", "F16"};
        exchange.SetFieldType(FieldExchange::kResultColumn);
        std::size_t field = 0;
        for (std::string& text : texts_) exchange.ExchangeText(kNames[field++], text, 1023);
        for (double& number : numbers_) exchange.ExchangeDouble(kNames[field++], number);
    }
    const std::string& Text(std::size_t i) const { return texts_[i]; }
    std::optional<double> Number(std::size_t i) {
        if (FieldStatus(static_cast<int>(texts_.size() + i + 1)) & kFieldNull) return std::nullopt;
        return numbers_[i];
    }

  private:
    std::vector<std::string> texts_;
    std::vector<double> numbers_;
};

std::string SqlNumber(int64_t microseconds) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", static_cast<double>(microseconds) / 1e6);
    return text;
}

std::optional<int64_t> Microseconds(std::optional<double> seconds) {
    if (!seconds || !std::isfinite(*seconds)) return std::nullopt;
    return std::llround(*seconds * 1e6);
}

// Streams per statement: the figures of a hundred streams in one round trip, planned once.
constexpr std::size_t kStreamsPerStatement = 100;

// A correlated scalar subquery over the rows of the stream of the VALUES row `v`.
std::string OfStream(const std::string& what, const std::string& condition) {
    return ",(SELECT " + what + " FROM FILELIST WHERE STA=v.column1 AND CH=v.column2" +
           (condition.empty() ? "" : " AND " + condition) + ")";
}

// The rows that start in [from, to): "TBEGIN>=from AND TBEGIN<to".
std::string StartingWithin(int64_t from, int64_t to) {
    return "TBEGIN>=" + SqlNumber(from) + " AND TBEGIN<" + SqlNumber(to);
}

// The columns of the windows, all ending at `end`, their starts from the latest down: per
// start the TQTY of the files that start between it and the start before (or the end),
// then per start the parts from it up to `end` of the files that start before it and reach
// beyond it, then what the files that start before `end` reach beyond it.
std::string WindowColumns(const std::vector<int64_t>& starts, int64_t end) {
    std::string columns;
    int64_t upTo = end;
    for (const int64_t start : starts) {
        columns += OfStream("SUM(TQTY)", StartingWithin(start, upTo));
        upTo = start;
    }
    const std::string endText = SqlNumber(end);
    for (const int64_t start : starts) {
        columns += OfStream("SUM((CASE WHEN TBEGIN+TQTY<" + endText + " THEN TBEGIN+TQTY ELSE " +
                                endText + " END)-" + SqlNumber(start) + ")",
                            StartingWithin(start - kFigureFileReach, start) + " AND TBEGIN+TQTY>" +
                                SqlNumber(start));
    }
    // Of the files within the shortest window only: a file that starts before it and
    // reaches beyond `end` is counted by the parts of the windows' starts.
    return columns +
           OfStream("SUM(TBEGIN+TQTY-" + endText + ")",
                    StartingWithin(std::max(end - kFigureFileReach, starts.front()), end) +
                        " AND TBEGIN+TQTY>" + endText);
}

// The gaps that ended after `since`: the distinct starts after it of files that start more
// than half a sample period after the end of the files before them (those that start last
// before them; a stream's first file follows no gap). Two index probes per file: the file
// before is the latest by TBEGIN, not whichever reaches furthest.
std::string GapsColumn(int64_t since) {
    return ",(SELECT COUNT(DISTINCT f.TBEGIN) FROM FILELIST f WHERE f.STA=v.column1 AND "
           "f.CH=v.column2 AND f.TBEGIN>" +
           SqlNumber(since) +
           " AND f.TBEGIN-(CASE WHEN f.SPS>0 THEN 0.5/f.SPS ELSE 0 END)>(SELECT "
           "MAX(g.TBEGIN+g.TQTY) FROM FILELIST g WHERE g.STA=f.STA AND g.CH=f.CH AND "
           "g.TBEGIN=(SELECT MAX(p.TBEGIN) FROM FILELIST p WHERE p.STA=f.STA AND p.CH=f.CH AND "
           "p.TBEGIN<f.TBEGIN)))";
}

// One stream's figures from its row: first, last, then (WindowColumns) the files starting
// between the starts, the parts from each start, and the part beyond the end; the gaps last.
StreamFigures Figures(CFigureRow& row, const std::vector<TimeWindow>& windows,
                      const std::vector<int64_t>& starts, bool gaps) {
    StreamFigures figures{Microseconds(row.Number(0)), Microseconds(row.Number(1)), {}, 0};
    const std::size_t count = starts.size();
    auto seconds = [&](std::size_t i) { return Microseconds(row.Number(2 + i)).value_or(0); };
    for (std::size_t w = 0; w < count; ++w) {
        const std::size_t at = static_cast<std::size_t>(
            std::find(starts.begin(), starts.end(), windows[w].from) - starts.begin());
        int64_t covered = seconds(count + at) - seconds(2 * count);
        for (std::size_t k = 0; k <= at; ++k) covered += seconds(k);
        figures.covered.push_back(std::clamp<int64_t>(covered, 0, windows[w].Length()));
    }
    const std::size_t gapsAt = 2 + (count ? 2 * count + 1 : 0);
    if (gaps) figures.gapsSince = static_cast<int>(row.Number(gapsAt).value_or(0));
    return figures;
}

template <typename Work>
auto Reading(const std::string& what, Work&& work) {
    try {
        return work();
    } catch (const CDBException& error) {
        throw CatalogError(what + ": " + DriverErrorText(error));
    }
}

}  // namespace

std::vector<StreamFigures> ReadStreamFigures(CatalogStore& catalog,
                                             const std::vector<CatalogStream>& streams,
                                             const std::vector<TimeWindow>& windows,
                                             std::optional<int64_t> gapsSince) {
    const std::size_t count = std::min(windows.size(), kMaxFigureWindows);
    std::vector<int64_t> starts;
    for (std::size_t i = 0; i < count; ++i) starts.push_back(windows[i].from);
    std::sort(starts.rbegin(), starts.rend());
    const int64_t end = count ? windows.front().to : 0;
    // The first sample from the index alone; the last from the files that start last.
    const std::string columns =
        OfStream("MIN(TBEGIN)", "") +
        OfStream("MAX(TBEGIN+TQTY)",
                 "TBEGIN>=(SELECT MAX(TBEGIN) FROM FILELIST WHERE STA=v.column1 AND "
                 "CH=v.column2)") +
        (count ? WindowColumns(starts, end) : "") + (gapsSince ? GapsColumn(*gapsSince) : "");
    std::map<std::pair<std::string, std::string>, StreamFigures> found;
    for (std::size_t first = 0; first < streams.size(); first += kStreamsPerStatement) {
        const std::size_t last = std::min(streams.size(), first + kStreamsPerStatement);
        std::string values;
        std::vector<std::string> parameters;
        for (std::size_t i = first; i < last; ++i) {
            values += (i == first ? "(?,?)" : ",(?,?)");
            parameters.insert(parameters.end(), {streams[i].station, streams[i].channel});
        }
        const std::string select =
            "SELECT v.column1,v.column2" + columns + " FROM (VALUES " + values + ") AS v";
        Reading("reading the figures of " + std::to_string(last - first) + " streams", [&] {
            CFigureRow row(&catalog.Database(), 2,
                           static_cast<int>(2 + (count ? 2 * count + 1 : 0) + (gapsSince ? 1 : 0)));
            row.SetFilterParameters(parameters);
            row.Open(CRecordset::kForwardOnly, select.c_str(), CRecordset::kReadOnly);
            for (; !row.IsEOF(); row.MoveNext()) {
                found[{row.Text(0), row.Text(1)}] =
                    Figures(row, windows, starts, gapsSince.has_value());
            }
            row.Close();
            return 0;
        });
    }
    // The database may hand the VALUES rows back in any order.
    std::vector<StreamFigures> figures;
    for (const CatalogStream& stream : streams)
        figures.push_back(found[{stream.station, stream.channel}]);
    return figures;
}

std::vector<StreamTotals> ReadStreamTotals(CatalogStore& catalog) {
    return Reading("counting the files of every stream", [&] {
        CFigureRow row(&catalog.Database(), 2, 2);
        row.SetSort("STA,CH");
        row.Open(CRecordset::kForwardOnly,
                 "SELECT STA,CH,COUNT(*),SUM(TQTY*SPS) FROM FILELIST GROUP BY STA,CH",
                 CRecordset::kReadOnly);
        std::vector<StreamTotals> totals;
        for (; !row.IsEOF(); row.MoveNext()) {
            totals.push_back({row.Text(0), row.Text(1),
                              static_cast<int64_t>(row.Number(0).value_or(0)),
                              row.Number(1).value_or(0)});
        }
        row.Close();
        return totals;
    });
}

CatalogMark ReadCatalogMark(CatalogStore& catalog) {
    return Reading("reading the state of FILELIST", [&] {
        CFigureRow row(&catalog.Database(), 1, 2);
        row.Open(CRecordset::kForwardOnly,
                 "SELECT MAX(LDDATE),COUNT(*),SUM(CAST(TQTY*1000 AS BIGINT)) FROM FILELIST",
                 CRecordset::kReadOnly);
        CatalogMark mark;
        if (!row.IsEOF()) {
            mark = {static_cast<int64_t>(row.Number(0).value_or(0)),
                    static_cast<int64_t>(row.Number(1).value_or(0)), row.Text(0)};
        }
        row.Close();
        return mark;
    });
}
