// Finding rows by time without a catalog: the edges of the half-open window [from, to), and
// rows joined into continuous runs (a file continues a run when it starts within half a
// sample period of the run's end; otherwise a gap or an overlap of the right length).
// Times in the tables are seconds after 2013-10-22 00:00:00 UTC.

#include <gtest/gtest.h>

#include <cmath>

#include "catalog/Availability.h"
#include "catalog/CatalogSelection.h"
#include "catalog/ContinuousSegments.h"

namespace {

constexpr double kDay = 1382400000;  // 2013-10-22 00:00:00 UTC
constexpr int64_t kDayMicro = 1382400000000000;

int64_t Micro(double seconds) {
    return kDayMicro + std::llround(seconds * 1e6);
}

CatalogRow Row(double start, double duration, double rate = 1, const char* channel = "BHZ") {
    CatalogRow row;
    row.station = "ABC";
    row.channel = channel;
    row.rate = rate;
    row.start = kDay + start;
    row.duration = duration;
    row.path = "ABC\\" + std::to_string(start);
    return row;
}

struct WindowCase {
    const char* id;
    double start, duration;  // the row
    double from, to;         // the window
    bool meets;
};

TEST(SelectionWindow, IsHalfOpen) {
    const WindowCase cases[] = {
        {"w1 starts at to", 100, 10, 50, 100, false},
        {"w2 starts a microsecond before to", 99.999999, 10, 50, 100, true},
        {"w3 ends at from", 40, 10, 50, 100, false},
        {"w4 ends a microsecond after from", 40, 10.000001, 50, 100, true},
        {"w5 starts at from", 50, 10, 50, 100, true},
        {"w6 covers the window", 0, 200, 50, 100, true},
    };
    for (const WindowCase& c : cases) {
        CatalogSelection selection{
            .stations = {"ABC"}, .channels = {"BH?"}, .from = Micro(c.from), .to = Micro(c.to)};
        EXPECT_EQ(RowMeetsSelection(Row(c.start, c.duration), selection), c.meets) << c.id;
    }
}

struct JoinCase {
    const char* id;
    double rate;
    double secondStart;  // the first file covers [0, 100)
    // The runs: start and end (seconds), and the gaps and overlaps of a window [0, 300).
    std::vector<std::pair<double, double>> runs, gaps, overlaps;
};

TEST(ContinuousRuns, JoinWithinHalfASamplePeriod) {
    const JoinCase cases[] = {
        {"j1 meets exactly", 1, 100, {{0, 300}}, {}, {}},
        {"j2 half a period late", 1, 100.5, {{0, 300.5}}, {}, {}},
        {"j3 half a period early", 1, 99.5, {{0, 299.5}}, {{299.5, 300}}, {}},
        {"j4 0.4 period late at 4 sps", 4, 100.1, {{0, 300.1}}, {}, {}},
        {"j5 just beyond half a period late",
         1,
         100.500001,
         {{0, 100}, {100.500001, 300.500001}},
         {{100, 100.500001}},
         {}},
        {"j6 a second late: a gap", 1, 101, {{0, 100}, {101, 301}}, {{100, 101}}, {}},
        {"j7 a second early: an overlap", 1, 99, {{0, 100}, {99, 299}}, {{299, 300}}, {{99, 100}}},
        {"j8 just beyond half a period early",
         2,
         99.749999,
         {{0, 100}, {99.749999, 299.749999}},
         {{299.749999, 300}},
         {{99.749999, 100}}},
    };
    for (const JoinCase& c : cases) {
        SCOPED_TRACE(c.id);
        const std::vector<ContinuousSegment> runs =
            JoinIntoSegments({Row(c.secondStart, 200, c.rate), Row(0, 100, c.rate)});
        std::vector<std::pair<double, double>> got;
        for (const ContinuousSegment& run : runs) {
            got.emplace_back(static_cast<double>(run.start - kDayMicro) / 1e6,
                             static_cast<double>(run.end - kDayMicro) / 1e6);
        }
        EXPECT_EQ(got, c.runs);
        const std::vector<ChannelAvailability> described =
            DescribeAvailability(runs, {Micro(0), Micro(300)});
        ASSERT_EQ(described.size(), 1u);
        auto seconds = [](const std::vector<TimeWindow>& times) {
            std::vector<std::pair<double, double>> out;
            for (const TimeWindow& t : times) {
                out.emplace_back(static_cast<double>(t.from - kDayMicro) / 1e6,
                                 static_cast<double>(t.to - kDayMicro) / 1e6);
            }
            return out;
        };
        EXPECT_EQ(seconds(described[0].gaps), c.gaps);
        EXPECT_EQ(seconds(described[0].overlaps), c.overlaps);
    }
}

// A file that continues a run at another rate is a fault for one trace, and two series for
// the per-rate join of the web services.
TEST(ContinuousRuns, AnotherRateIsNeverJoined) {
    const std::vector<CatalogRow> rows = {Row(0, 100, 1), Row(100, 100, 2)};
    EXPECT_THROW(JoinIntoSegments(rows), RateChangeError);
    const std::vector<ContinuousSegment> runs = JoinIntoSegmentsPerRate(rows);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].rate, 1);
    EXPECT_EQ(runs[1].rate, 2);
}

}  // namespace
