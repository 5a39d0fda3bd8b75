// The pages' pieces at their boundaries: the latency classes at exactly a threshold, the
// Prometheus text format's escapes and special values, and the gaps /metrics counts at the
// edge of its day. The pages themselves are tested end to end in a browser (ServeTest.cpp).

#include <gtest/gtest.h>

#include <cmath>

#include "trq/fdsn/MetricsPage.h"
#include "trq/fdsn/PageText.h"
#include "trq/fdsn/PrometheusText.h"

namespace {

using namespace trq;

TEST(Pages, LatencyClassesChangeExactlyAtTheirThresholds) {
    const ServeSettings settings;  // late from 3600 s, silent from 86400 s
    const std::pair<std::optional<double>, const char*> cases[] = {
        {0.0, "current"},       {3599.999999, "current"}, {3600.0, "late"},
        {86399.999999, "late"}, {86400.0, "silent"},      {std::nullopt, "no-data"}};
    for (const auto& [seconds, name] : cases) {
        EXPECT_STREQ(LatencyClassName(ClassifyLatency(seconds, settings)), name)
            << seconds.value_or(-1);
    }
}

TEST(Pages, PrometheusTextEscapesAndSpecialValues) {
    PrometheusText text;
    text.Family("trq_x", "gauge", "Back\\slash and\nline");
    text.Sample("trq_x", {{"station", "A\"B\\C\nD"}, {"location", ""}}, INFINITY);
    text.Sample("trq_x", {}, NAN);
    text.Sample("trq_x", {}, 0.1);
    text.Sample("trq_x", {}, 1382414400.5);
    EXPECT_EQ(text.Text(),
              "# HELP trq_x Back\\\\slash and\\nline\n# TYPE trq_x gauge\n"
              "trq_x{station=\"A\\\"B\\\\C\\nD\",location=\"\"} +Inf\ntrq_x NaN\ntrq_x 0.1\n"
              "trq_x 1382414400.5\n");
}

TEST(Pages, GapsOfTheLastDayAreThoseDataResumedWithin) {
    const double day = 1382400000;  // the day's start, seconds
    const auto row = [](double start, double seconds) {
        CatalogRow r;
        r.station = "ABC", r.channel = "BHZ", r.path = "ABC\\x", r.rate = 1;
        r.start = start, r.duration = seconds;
        return r;
    };
    const auto gaps = [&](std::vector<CatalogRow> rows, double first) {
        return GapsEndedWithin(std::move(rows), static_cast<int64_t>(first * 1e6),
                               static_cast<int64_t>(day * 1e6),
                               static_cast<int64_t>((day + 86400) * 1e6));
    };
    // Data resumed exactly at the day's start: the day before's gap.
    EXPECT_EQ(gaps({row(day, 3600)}, day - 7200), 0);
    // Resumed within the day after older data, and again after a gap inside it.
    EXPECT_EQ(gaps({row(day + 60, 3540), row(day + 7200, 3600)}, day - 7200), 2);
    // The stream's first data, and files that touch: no gap.
    EXPECT_EQ(gaps({row(day + 60, 3540), row(day + 3600, 3600)}, day + 60), 0);
}

}  // namespace
