// The pages' pieces at their boundaries: the latency classes at exactly a threshold, and the
// Prometheus text format's escapes and special values. The pages themselves are tested end
// to end in a browser (ServeTest.cpp), their figures in tests/catalog/FiguresTest.cpp.

#include <gtest/gtest.h>

#include <cmath>

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

}  // namespace
