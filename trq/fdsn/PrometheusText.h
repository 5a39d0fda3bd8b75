#pragma once
// The Prometheus text exposition format (version 0.0.4), as every monitoring stack reads it:
// each metric family once, its "# HELP" and "# TYPE" lines before its samples; label values
// with '\', '"' and line feeds escaped; values as Go's strconv reads them ("+Inf", "NaN").

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trq {

using MetricLabels = std::vector<std::pair<std::string, std::string>>;

class PrometheusText {
  public:
    // Starts a family: `type` is counter, gauge or histogram.
    void Family(std::string_view name, std::string_view type, std::string_view help);
    // One sample of the family begun last (a histogram's with the suffix _bucket, _sum or
    // _count in `name`).
    void Sample(std::string_view name, const MetricLabels& labels, double value);

    const std::string& Text() const { return text_; }

  private:
    std::string text_;
};

// A label value as the format writes it between quotes: \\, \" and \n.
std::string PrometheusLabelValue(std::string_view value);
// A sample value: the shortest decimal that reads back the same double, or +Inf, -Inf, NaN.
std::string PrometheusValue(double value);

}  // namespace trq
