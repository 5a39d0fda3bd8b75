#include "trq/commands/AvailCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <tuple>

#include "catalog/Availability.h"
#include "recorder/UtcTime.h"
#include "trq/ExitCodes.h"
#include "trq/commands/JsonOutput.h"
#include "trq/plot/AvailabilityPicture.h"
#include "trq/plot/PlotRenderer.h"

namespace trq {

namespace {

// "[Nd ]hh:mm:ss.ffffff": gaps of a year read as days, gaps of a second as fractions.
std::string DurationText(int64_t microseconds) {
    const int64_t seconds = microseconds / 1000000;
    char text[64];
    const int length = seconds >= 86400 ? std::snprintf(text, sizeof text, "%lldd ",
                                                        static_cast<long long>(seconds / 86400))
                                        : 0;
    std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length),
                  "%02d:%02d:%02d.%06lld", static_cast<int>(seconds % 86400 / 3600),
                  static_cast<int>(seconds % 3600 / 60), static_cast<int>(seconds % 60),
                  static_cast<long long>(microseconds % 1000000));
    return text;
}

double Seconds(const TimeWindow& time) {
    return static_cast<double>(time.Length()) / 1e6;
}

std::string RateInSps(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%g sps", rate);
    return text;
}

std::string Count(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// One line of a channel's listing; `rank` orders lines that begin together.
struct Event {
    int64_t from = 0;
    int rank = 0;
    std::string line;
};

std::string EventLine(const char* kind, const TimeWindow& time, const std::string& detail) {
    char head[16];
    std::snprintf(head, sizeof head, "  %-8s ", kind);
    return head + FormatIsoUtcMicroseconds(time.from) + "  " + FormatIsoUtcMicroseconds(time.to) +
           "  " + DurationText(time.Length()) + (detail.empty() ? "" : "  " + detail) + "\n";
}

void PrintChannel(const ChannelAvailability& channel, const TimeWindow& window, std::ostream& out) {
    out << channel.station << " " << channel.channel << ": " << channel.CoverageText(window)
        << " covered, " << Count(channel.spans.size(), "span", "spans") << ", "
        << Count(channel.gaps.size(), "gap", "gaps") << ", "
        << Count(channel.overlaps.size(), "overlap", "overlaps") << "\n";
    std::vector<Event> events;
    for (const AvailableSpan& span : channel.spans) {
        events.push_back(
            {span.time.from, 0,
             EventLine("span", span.time,
                       RateInSps(span.rate) + ", " + Count(span.files, "file", "files"))});
    }
    for (const TimeWindow& overlap : channel.overlaps) {
        events.push_back({overlap.from, 1, EventLine("overlap", overlap, "")});
    }
    for (const TimeWindow& gap : channel.gaps) {
        events.push_back({gap.from, 2, EventLine("gap", gap, "")});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return std::tie(a.from, a.rank) < std::tie(b.from, b.rank);
    });
    for (const Event& event : events) out << event.line;
}

void PrintText(const std::vector<ChannelAvailability>& channels, const TimeWindow& window,
               std::ostream& out) {
    out << "window " << FormatIsoUtcMicroseconds(window.from) << " to "
        << FormatIsoUtcMicroseconds(window.to) << " (" << DurationText(window.Length()) << ")\n";
    for (const ChannelAvailability& channel : channels) PrintChannel(channel, window, out);
}

nlohmann::json TimeJson(const TimeWindow& time) {
    return {{"from", FormatIsoUtcMicroseconds(time.from)},
            {"to", FormatIsoUtcMicroseconds(time.to)},
            {"seconds", Seconds(time)}};
}

nlohmann::json ChannelJson(const ChannelAvailability& channel, const TimeWindow& window) {
    nlohmann::json spans = nlohmann::json::array();
    for (const AvailableSpan& span : channel.spans) {
        nlohmann::json entry = TimeJson(span.time);
        entry["rate"] = span.rate;
        entry["files"] = span.files;
        spans.push_back(entry);
    }
    nlohmann::json gaps = nlohmann::json::array();
    for (const TimeWindow& gap : channel.gaps) gaps.push_back(TimeJson(gap));
    nlohmann::json overlaps = nlohmann::json::array();
    for (const TimeWindow& overlap : channel.overlaps) overlaps.push_back(TimeJson(overlap));
    return {{"station", channel.station},
            {"channel", channel.channel},
            // Four decimals: a ten-thousandth of a percent of a year is three seconds.
            {"coverage_percent", std::round(channel.CoveragePercent(window) * 1e4) / 1e4},
            {"covered_seconds", static_cast<double>(channel.covered) / 1e6},
            {"spans", spans},
            {"gaps", gaps},
            {"overlaps", overlaps}};
}

void PrintJson(const SelectionOutcome& outcome, const std::vector<ChannelAvailability>& channels,
               std::ostream& out) {
    nlohmann::json list = nlohmann::json::array();
    for (const ChannelAvailability& channel : channels) {
        list.push_back(ChannelJson(channel, outcome.window));
    }
    WriteJson(out, {{"command", "avail"},
                    {"selection", SelectionJson(outcome.selection)},
                    {"window", outcome.exitCode == kExitOk ? TimeJson(outcome.window)
                                                           : nlohmann::json(nullptr)},
                    {"channels", list}});
}

// Writes the picture; the exit code.
int WritePicture(const AvailOptions& options, const SelectionOutcome& outcome,
                 const std::vector<ChannelAvailability>& channels, std::ostream& out,
                 std::ostream& err) {
    const std::string title =
        AvailabilityTitle(DescribeStations(outcome.selection), outcome.window);
    try {
        RenderAvailabilityPng(channels, outcome.window, options.width, title, options.plot);
        ReleaseFontCaches();
    } catch (const std::runtime_error& e) {
        ReleaseFontCaches();
        err << "trq avail: " << e.what() << "\n";
        return kExitOutput;
    }
    (options.json ? err : out) << "trq avail: wrote " << options.plot << "\n";
    return kExitOk;
}

}  // namespace

int RunAvail(const AvailOptions& options, std::ostream& out, std::ostream& err) {
    const SelectionOutcome outcome =
        RunSelection(options.selection, SelectionDepth::kRuns, "trq avail", err);
    std::vector<ChannelAvailability> channels;
    if (outcome.exitCode == kExitOk) {
        channels = DescribeAvailability(outcome.segments, outcome.window);
    } else if (outcome.exitCode != kExitNothingFound || !options.json) {
        return outcome.exitCode;
    }
    if (options.json) {
        PrintJson(outcome, channels, out);
    } else {
        PrintText(channels, outcome.window, out);
    }
    if (outcome.exitCode != kExitOk || options.plot.empty()) return outcome.exitCode;
    return WritePicture(options, outcome, channels, out, err);
}

AddedCommand AddAvailCommand(CLI::App& app) {
    auto avail = std::make_shared<AvailOptions>();
    CLI::App* command = app.add_subcommand(
        "avail",
        "Per station and channel the continuous spans, gaps and overlaps within a time "
        "window (default: every station, all of its time) and its coverage, from the catalog "
        "alone. Exits with 5 when there is nothing.");
    AddSelectionOptions(*command, avail->selection, SelectionUse::kOnly);
    AddSelectionCatalogOptions(*command, avail->selection);
    command->add_flag("--json", avail->json, "One JSON document on standard output");
    command->add_option("--plot", avail->plot,
                        "Also draw the availability as this PNG, a row per station and channel");
    command->add_option("--width", avail->width, "Width of the picture in pixels")
        ->check(CLI::Range(400, 20000))
        ->capture_default_str();
    return {command,
            [avail](std::ostream& out, std::ostream& err) { return RunAvail(*avail, out, err); }};
}

}  // namespace trq
