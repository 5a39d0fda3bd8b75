#include "trq/fdsn/PrometheusText.h"

#include <charconv>
#include <cmath>

namespace trq {

std::string PrometheusLabelValue(std::string_view value) {
    std::string escaped;
    for (const char c : value) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '"') {
            escaped += "\\\"";
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string PrometheusValue(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

void PrometheusText::Family(std::string_view name, std::string_view type, std::string_view help) {
    // HELP escapes '\' and line feeds, not quotes.
    std::string escaped;
    for (const char c : help) escaped += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : std::string(1, c);
    text_ += "# HELP " + std::string(name) + " " + escaped + "\n# TYPE " + std::string(name) + " " +
             std::string(type) + "\n";
}

void PrometheusText::Sample(std::string_view name, const MetricLabels& labels, double value) {
    text_ += name;
    if (!labels.empty()) {
        text_ += '{';
        for (std::size_t i = 0; i < labels.size(); ++i) {
            text_ += (i ? "," : "") + labels[i].first + "=\"" +
                     PrometheusLabelValue(labels[i].second) + "\"";
        }
        text_ += '}';
    }
    text_ += " " + PrometheusValue(value) + "\n";
}

}  // namespace trq
