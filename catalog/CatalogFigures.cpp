#include "catalog/CatalogFigures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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
        static const char* const kNames[] = {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8"};
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

// The seconds of [from, to) a row covers, summed: CASE stands for LEAST and GREATEST, which
// SQLite lacks.
std::string CoveredSum(const TimeWindow& window) {
    const std::string from = SqlNumber(window.from), to = SqlNumber(window.to);
    return ",SUM(CASE WHEN TBEGIN<" + to + " AND TBEGIN+TQTY>" + from +
           " THEN (CASE WHEN TBEGIN+TQTY<" + to + " THEN TBEGIN+TQTY ELSE " + to +
           " END)-(CASE WHEN TBEGIN>" + from + " THEN TBEGIN ELSE " + from + " END) ELSE 0 END)";
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

StreamFigures ReadStreamFigures(CatalogStore& catalog, const std::string& station,
                                const std::string& channel,
                                const std::vector<TimeWindow>& windows) {
    // The first and last sample from the index alone; the windows' sums from the rows the
    // index finds between the earliest start a window's file may have and the latest end.
    std::string select =
        "SELECT (SELECT MIN(TBEGIN) FROM FILELIST WHERE STA=? AND CH=?),"
        "(SELECT MAX(TBEGIN+TQTY) FROM FILELIST WHERE STA=? AND CH=? AND "
        "TBEGIN>=(SELECT MAX(TBEGIN) FROM FILELIST WHERE STA=? AND CH=?))";
    std::vector<std::string> parameters{station, channel, station, channel, station, channel};
    const std::size_t count = std::min(windows.size(), kMaxFigureWindows);
    std::string condition;
    if (count > 0) {
        int64_t from = windows.front().from, to = windows.front().to;
        for (std::size_t i = 0; i < count; ++i) {
            select += CoveredSum(windows[i]);
            from = std::min(from, windows[i].from);
            to = std::max(to, windows[i].to);
        }
        select += " FROM FILELIST";
        condition = "STA=? AND CH=? AND TBEGIN<" + SqlNumber(to) + " AND TBEGIN>" +
                    SqlNumber(from - kFigureFileReach) + " AND TBEGIN+TQTY>" + SqlNumber(from);
        parameters.insert(parameters.end(), {station, channel});
    }
    return Reading("reading the figures of " + station + " " + channel, [&] {
        CFigureRow row(&catalog.Database(), 0, static_cast<int>(2 + count));
        row.SetFilter(condition);
        row.SetFilterParameters(parameters);
        row.Open(CRecordset::kForwardOnly, select.c_str(), CRecordset::kReadOnly);
        StreamFigures figures;
        if (!row.IsEOF()) {
            figures.first = Microseconds(row.Number(0));
            figures.last = Microseconds(row.Number(1));
        }
        for (std::size_t i = 0; i < count; ++i) {
            const int64_t sum = row.IsEOF() ? 0 : Microseconds(row.Number(2 + i)).value_or(0);
            figures.covered.push_back(std::clamp<int64_t>(sum, 0, windows[i].Length()));
        }
        row.Close();
        return figures;
    });
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
