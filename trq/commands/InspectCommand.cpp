#include "trq/commands/InspectCommand.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <variant>

#include "archive/ArchiveText.h"
#include "platform/Console.h"
#include "recorder/ChannelMap.h"
#include "recorder/RecordingOpener.h"
#include "recorder/UtcTime.h"
#include "site/ConverterSetup.h"
#include "trq/commands/ConsoleCollector.h"
#include "trq/commands/JsonOutput.h"
#include "trq/commands/SampleStatistics.h"

namespace trq {

namespace {

struct ChannelSummary {
    int number = 0;
    std::string name;
    EpochSeconds start = 0;
    SampleStatistics statistics;
    ExponentCounts exponents{};  // of gain-ranged samples
    int64_t clipped = 0;
};

struct FileReport {
    std::string path;
    int exitCode = 0;  // the converter's, negative on failure
    std::vector<std::string> console;
    // What the header says, once it could be read.
    std::optional<RecordingDescription> header;
    int64_t fileLength = -1;
    std::vector<ChannelSummary> channels;
};

bool GainRanged(const FileReport& report) {
    return report.header && report.header->gainRangedFullScale > 0;
}

// Reads one recorder file as the converter's run does from its open to the end of the
// channel loop, printing the same messages and ending with the same code.
FileReport InspectFile(const std::string& path, const ChannelMap& channelMap) {
    FileReport report;
    report.path = path;
    OpenedRecording opened = OpenRecording(path.c_str(), HeaderReadLine::kLeftOut);
    report.fileLength = opened.fileLength;
    if (opened.recording) report.header = opened.recording->Describe();
    if (opened.exitCode != 0) {
        report.exitCode = opened.exitCode;
        return report;
    }
    Recording& recording = *opened.recording;
    const float fullScale = report.header->gainRangedFullScale;

    // The channel loop hands a channel on in pieces, in order: a piece of another name
    // begins the next channel (names within one file are distinct, the loop sees to that).
    SampleReceiver gather = [&report, fullScale](const char*, const char* channel, double,
                                                 EpochSeconds start, int32_t count,
                                                 const float* samples) {
        if (report.channels.empty() || report.channels.back().name != channel) {
            ChannelSummary summary;
            summary.number = static_cast<int>(report.channels.size()) + 1;
            summary.name = channel;
            summary.start = start;
            report.channels.push_back(std::move(summary));
        }
        ChannelSummary& summary = report.channels.back();
        for (int32_t i = 0; i < count; ++i) {
            summary.statistics.Add(samples[i]);
            if (fullScale > 0 && std::fabs(samples[i]) == fullScale) ++summary.clipped;
        }
    };
    report.exitCode = recording.ReadChannels(gather, "", channelMap, &IsUsableChannelName);
    if (GainRanged(report)) {
        for (ChannelSummary& channel : report.channels)
            channel.exponents = recording.GainExponents(channel.number);
    }
    return report;
}

std::string Number(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

int ShellCode(int exitCode) {
    return exitCode & 0xFF;
}

void PrintText(const FileReport& report, std::ostream& out) {
    if (report.header) {
        const RecordingDescription& header = *report.header;
        const int64_t announced = header.announcedLength;
        out << "  file length  " << report.fileLength << " bytes, the header announces "
            << announced << (announced == report.fileLength ? " (matches)\n" : " (differs)\n");
        out << "  format key   \"" << header.formatKey << "\" "
            << (header.formatKeyFound ? "found" : "not found") << " in " << header.formatKeyPlace
            << "\n";
    }
    if (!report.channels.empty()) {
        out << "  start        " << FormatUtc(report.channels.front().start, 3) << " UTC\n";
        char line[256];
        std::snprintf(line, sizeof line, "  %-4s %-8s %10s %14s %14s %16s %16s\n", "ch", "name",
                      "samples", "min", "max", "mean", "rms");
        out << line;
        for (const ChannelSummary& c : report.channels) {
            const SampleStatistics& s = c.statistics;
            std::snprintf(line, sizeof line, "  %-4d %-8s %10lld %14s %14s %16s %16s\n", c.number,
                          c.name.c_str(), static_cast<long long>(s.Count()),
                          s.HasValues() ? Number("%.9g", s.Min()).c_str() : "-",
                          s.HasValues() ? Number("%.9g", s.Max()).c_str() : "-",
                          s.HasValues() ? Number("%.6f", s.Mean()).c_str() : "-",
                          s.HasValues() ? Number("%.6f", s.Rms()).c_str() : "-");
            out << line;
        }
        if (GainRanged(report)) {
            out << "  gain-ranged exponents 0..7 and clipped samples (|value| = "
                << Number("%g", report.header->gainRangedFullScale) << "):\n";
            for (const ChannelSummary& c : report.channels) {
                std::snprintf(line, sizeof line, "  %-4d", c.number);
                out << line;
                for (int64_t count : c.exponents) out << " " << count;
                out << "   clipped " << c.clipped << "\n";
            }
        }
    }
    if (report.exitCode == 0) {
        out << "  result       the converter would convert this file (exit code 0)\n";
    } else {
        out << "  result       the converter would end with exit code " << report.exitCode << " ("
            << ShellCode(report.exitCode) << " in a shell)\n";
    }
}

nlohmann::json HeaderJson(const RecordingDescription& header) {
    nlohmann::json fields = nlohmann::json::object();
    for (const HeaderField& field : header.fields) {
        std::visit([&](const auto& value) { fields[field.name] = value; }, field.value);
    }
    return fields;
}

nlohmann::json ToJson(const FileReport& report) {
    nlohmann::json file = {{"path", report.path},
                           {"exitCode", report.exitCode},
                           {"shellExitCode", ShellCode(report.exitCode)},
                           {"console", report.console}};
    if (report.fileLength >= 0) file["fileLength"] = report.fileLength;
    if (report.header) {
        file["header"] = HeaderJson(*report.header);
        file["announcedLength"] = report.header->announcedLength;
        file["formatKeyFound"] = report.header->formatKeyFound;
    }
    nlohmann::json channels = nlohmann::json::array();
    for (const ChannelSummary& c : report.channels) {
        const SampleStatistics& s = c.statistics;
        auto figure = [&s](double value) {
            return s.HasValues() ? nlohmann::json(value) : nlohmann::json(nullptr);
        };
        nlohmann::json channel = {{"number", c.number},
                                  {"name", c.name},
                                  {"start", FormatIsoUtc(c.start, 6)},
                                  {"startEpoch", c.start},
                                  {"samples", s.Count()},
                                  {"min", figure(s.Min())},
                                  {"max", figure(s.Max())},
                                  {"mean", figure(s.Mean())},
                                  {"rms", figure(s.Rms())}};
        if (GainRanged(report)) {
            channel["exponentHistogram"] = c.exponents;
            channel["clipped"] = c.clipped;
        }
        channels.push_back(channel);
    }
    if (report.header && report.header->formatKeyFound) file["channels"] = channels;
    return file;
}

}  // namespace

int RunInspect(const InspectOptions& options, std::ostream& out, std::ostream& /*err*/) {
    // Channels are named as the converter started here would name them.
    ChannelMap channelMap;
    const ConverterSetup setup(DefaultSettingsFiles(), channelMap, ConverterForm::kInspect);

    int firstFailure = 0;
    nlohmann::json files = nlohmann::json::array();
    for (const std::string& path : options.files) {
        FileReport report;
        if (options.json) {
            ConsoleCollector console;
            report = InspectFile(path, channelMap);
            report.console = console.lines;
            files.push_back(ToJson(report));
        } else {
            out << "== " << path << "\n" << std::flush;
            report = InspectFile(path, channelMap);
            std::fflush(stdout);
            PrintText(report, out);
        }
        if (firstFailure == 0) firstFailure = report.exitCode;
    }
    if (options.json) {
        WriteJson(out, {{"command", "inspect"},
                        {"ok", firstFailure == 0},
                        {"exitCode", firstFailure},
                        {"shellExitCode", ShellCode(firstFailure)},
                        {"files", files}});
    }
    return firstFailure;
}

AddedCommand AddInspectCommand(CLI::App& app) {
    auto inspect = std::make_shared<InspectOptions>();
    CLI::App* command = app.add_subcommand(
        "inspect",
        "Dry run for recorder files: the header as the converter reads it, the key and length "
        "tests, and per channel the sample statistics. Nothing is written. Exits with the "
        "converter's exit code for the first broken file, 0 when all are good.");
    command->add_option("RECORDER", inspect->files, "PLQ recorder files")->required();
    command->add_flag("--json", inspect->json, "One JSON document on standard output");
    return {command, [inspect](std::ostream& out, std::ostream& err) {
                return RunInspect(*inspect, out, err);
            }};
}

}  // namespace trq
