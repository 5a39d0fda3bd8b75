#include "catalog/ContinuousSegments.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <tuple>

#include "catalog/CatalogSelection.h"

namespace {

bool SameRate(double a, double b) {
    return std::fabs(a - b) <= 1e-9 * std::max(std::fabs(a), std::fabs(b));
}

// Whether `row` starts within half a sample period of the run's end.
bool Continues(const ContinuousSegment& run, const CatalogRow& row) {
    const double halfPeriod = 0.5e6 / run.rate;
    return std::fabs(static_cast<double>(RowStart(row) - run.end)) <= halfPeriod;
}

std::string RateText(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", rate);
    return text;
}

void ThrowRateChange(const ContinuousSegment& run, const CatalogRow& row) {
    throw RateChangeError(row.path + " continues " + run.files.back().path + " without a gap, " +
                          "but at " + RateText(row.rate) + " samples/s instead of " +
                          RateText(run.rate) + ": the two cannot be one trace");
}

ContinuousSegment StartRun(CatalogRow row) {
    ContinuousSegment run{row.station, row.channel, row.rate, RowStart(row), RowEnd(row), {}};
    run.files.push_back(std::move(row));
    return run;
}

// The runs of one channel that a later file may still continue. Rows arrive in time
// order, so a run whose end lies more than half a period before a row's start is closed
// for good; overlapping recordings keep several runs open at once.
class ChannelRuns {
  public:
    explicit ChannelRuns(std::vector<ContinuousSegment>& runs) : runs_(runs) {}

    void Add(CatalogRow row) {
        CloseRunsEndedBefore(RowStart(row));
        const ContinuousSegment* otherRate = nullptr;
        for (std::size_t index : open_) {
            ContinuousSegment& run = runs_[index];
            if (!Continues(run, row)) continue;
            if (!SameRate(run.rate, row.rate)) {
                otherRate = &run;
                continue;
            }
            run.end = RowEnd(row);
            run.files.push_back(std::move(row));
            return;
        }
        if (otherRate != nullptr) ThrowRateChange(*otherRate, row);
        open_.push_back(runs_.size());
        runs_.push_back(StartRun(std::move(row)));
    }

  private:
    void CloseRunsEndedBefore(int64_t start) {
        std::erase_if(open_, [&](std::size_t index) {
            const ContinuousSegment& run = runs_[index];
            return static_cast<double>(start - run.end) > 0.5e6 / run.rate;
        });
    }

    std::vector<ContinuousSegment>& runs_;
    std::vector<std::size_t> open_;
};

}  // namespace

std::vector<ContinuousSegment> JoinIntoSegments(std::vector<CatalogRow> rows) {
    std::sort(rows.begin(), rows.end(), [](const CatalogRow& a, const CatalogRow& b) {
        return std::tie(a.station, a.channel, a.start, a.path) <
               std::tie(b.station, b.channel, b.start, b.path);
    });
    std::vector<ContinuousSegment> runs;
    for (std::size_t first = 0; first < rows.size();) {  // one channel per pass
        const std::string station = rows[first].station;
        const std::string channelName = rows[first].channel;
        ChannelRuns channel(runs);
        for (; first < rows.size() && rows[first].station == station &&
               rows[first].channel == channelName;
             ++first) {
            channel.Add(std::move(rows[first]));
        }
    }
    std::sort(runs.begin(), runs.end(), [](const ContinuousSegment& a, const ContinuousSegment& b) {
        return std::tie(a.station, a.channel, a.start) < std::tie(b.station, b.channel, b.start);
    });
    return runs;
}

std::vector<ContinuousSegment> JoinIntoSegmentsPerRate(std::vector<CatalogRow> rows) {
    std::sort(rows.begin(), rows.end(), [](const CatalogRow& a, const CatalogRow& b) {
        return std::tie(a.station, a.channel, a.rate) < std::tie(b.station, b.channel, b.rate);
    });
    std::vector<ContinuousSegment> runs;
    for (std::size_t first = 0; first < rows.size();) {  // one channel and rate per pass
        std::size_t end = first + 1;
        while (end < rows.size() && rows[end].station == rows[first].station &&
               rows[end].channel == rows[first].channel &&
               SameRate(rows[end].rate, rows[first].rate)) {
            ++end;
        }
        std::vector<CatalogRow> group(std::make_move_iterator(rows.begin() + first),
                                      std::make_move_iterator(rows.begin() + end));
        for (ContinuousSegment& run : JoinIntoSegments(std::move(group))) {
            runs.push_back(std::move(run));
        }
        first = end;
    }
    std::sort(runs.begin(), runs.end(), [](const ContinuousSegment& a, const ContinuousSegment& b) {
        return std::tie(a.station, a.channel, a.start, a.rate) <
               std::tie(b.station, b.channel, b.start, b.rate);
    });
    return runs;
}
