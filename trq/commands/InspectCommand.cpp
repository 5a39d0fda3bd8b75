#include "trq/commands/InspectCommand.h"

#include <CLI/CLI.hpp>
#include <array>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

#include "archive/ArchiveText.h"
#include "platform/BinaryFile.h"
#include "platform/Console.h"
#include "platform/ExitCodes.h"
#include "platform/IniFile.h"
#include "recorder/ChannelLoop.h"
#include "recorder/ChannelMap.h"
#include "recorder/RecorderHeader.h"
#include "recorder/RecordingOpener.h"
#include "recorder/SampleDecoding.h"
#include "recorder/UtcTime.h"
#include "site/Settings.h"
#include "trq/commands/ConsoleCollector.h"
#include "trq/commands/JsonOutput.h"
#include "trq/commands/SampleStatistics.h"

namespace trq {

namespace {

// Largest magnitude of a gain-ranged word: 1023 x 2^7. A sample there is clipped.
constexpr float kGainRangedFullScale = 130944.0f;

struct ChannelSummary {
    int number = 0;
    std::string name;
    EpochSeconds start = 0;
    SampleStatistics statistics;
    std::array<int64_t, 8> exponents{};  // gain-ranged words by exponent (bits 10-12)
    int64_t clipped = 0;
};

struct FileReport {
    std::string path;
    int exitCode = 0;  // the converter's, negative on failure
    std::vector<std::string> console;
    std::optional<RecorderHeader> header;
    bool formatKeyFound = false;
    int64_t fileLength = -1;
    std::vector<ChannelSummary> channels;
};

// What the header announces: (B x N + 4) x channels + 256 bytes.
int64_t AnnouncedLength(const RecorderHeader& header) {
    const auto bytesPerSample = static_cast<int64_t>(BytesPerSample(header.sampleFormat));
    return (bytesPerSample * header.samplesPerChannel + 4) * header.channelCount +
           static_cast<int64_t>(kRecorderHeaderSize);
}

// Exponents of the stored gain-ranged words of one channel block, counted from the file:
// the decoded value does not tell them (2 x 2^0 and 1 x 2^1 decode alike).
void CountExponents(const std::string& path, const RecorderHeader& header,
                    ChannelSummary& channel) {
    platform::BinaryFile file = platform::BinaryFile::OpenReadOnly(path);
    const int64_t words = header.samplesPerChannel;
    const int64_t blockStart =
        static_cast<int64_t>(kRecorderHeaderSize) + (channel.number - 1) * (2 * words + 4) + 4;
    std::vector<unsigned char> raw(static_cast<std::size_t>(2 * words));
    if (!file.IsOpen() || !file.SeekTo(blockStart) ||
        file.Read(raw.data(), raw.size()) != static_cast<int64_t>(raw.size())) {
        return;  // the channel loop read this block a moment ago; leave the counts empty
    }
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
        const unsigned word = raw[i] | unsigned{raw[i + 1]} << 8;
        ++channel.exponents[(word >> 10) & 0x7u];
    }
}

// Reads one recorder file as the converter's run does from its open to the end of the
// channel loop, printing the same messages and ending with the same code.
FileReport InspectFile(const std::string& path, const ChannelMap& channelMap) {
    FileReport report;
    report.path = path;
    OpenedRecording opened = OpenRecording(path.c_str(), HeaderReadLine::kLeftOut);
    if (opened.exitCode != ExitCode::kOpenFile) report.fileLength = opened.file.Length();
    if (opened.headerRead) {
        report.header = opened.header;
        report.formatKeyFound = opened.exitCode == 0;
    }
    if (opened.exitCode != 0) {
        report.exitCode = opened.exitCode;
        return report;
    }
    platform::BinaryFile& file = opened.file;
    const RecorderHeader& header = opened.header;

    // The channel loop hands a channel on in pieces, in order: a piece of another name
    // begins the next channel (names within one file are distinct, the loop sees to that).
    SampleReceiver gather = [&report](const char*, const char* channel, double, EpochSeconds start,
                                      int32_t count, const float* samples) {
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
            if (std::fabs(samples[i]) == kGainRangedFullScale) ++summary.clipped;
        }
    };
    report.exitCode =
        ConvertChannels(gather, file, header, "", channelMap, path.c_str(), &IsUsableChannelName);
    if (header.sampleFormat == kGainRangedFormat) {
        for (ChannelSummary& channel : report.channels) CountExponents(path, header, channel);
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
        const int64_t announced = AnnouncedLength(*report.header);
        out << "  file length  " << report.fileLength << " bytes, the header announces "
            << announced << (announced == report.fileLength ? " (matches)\n" : " (differs)\n");
        out << "  format key   \"" << kFormatKey << "\" "
            << (report.formatKeyFound ? "found" : "not found") << " in the system name\n";
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
        if (report.header && report.header->sampleFormat == kGainRangedFormat) {
            out << "  gain-ranged exponents 0..7 and clipped samples (|value| = 130944):\n";
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

nlohmann::json HeaderJson(const RecorderHeader& h) {
    return {{"systemName", h.systemName},
            {"year", h.year},
            {"month", h.month},
            {"day", h.day},
            {"hour", h.hour},
            {"minute", h.minute},
            {"second", h.second},
            {"millisecond", h.millisecond},
            {"samplesPerSecond", h.samplesPerSecond},
            {"channelCount", h.channelCount},
            {"sampleFormat", h.sampleFormat},
            {"samplesPerChannel", h.samplesPerChannel}};
}

nlohmann::json ToJson(const FileReport& report) {
    nlohmann::json file = {{"path", report.path},
                           {"exitCode", report.exitCode},
                           {"shellExitCode", ShellCode(report.exitCode)},
                           {"console", report.console}};
    if (report.fileLength >= 0) file["fileLength"] = report.fileLength;
    if (report.header) {
        file["header"] = HeaderJson(*report.header);
        file["announcedLength"] = AnnouncedLength(*report.header);
        file["formatKeyFound"] = report.formatKeyFound;
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
        if (report.header && report.header->sampleFormat == kGainRangedFormat) {
            channel["exponentHistogram"] = c.exponents;
            channel["clipped"] = c.clipped;
        }
        channels.push_back(channel);
    }
    if (report.header && report.formatKeyFound) file["channels"] = channels;
    return file;
}

}  // namespace

int RunInspect(const InspectOptions& options, std::ostream& out, std::ostream& /*err*/) {
    // Channels are named as the converter started here would name them.
    ChannelMap channelMap;
    const std::string ownIni = DefaultSettingsFiles().ownIni;
    LoadChannelMap(channelMap, platform::IniFile::Read(ownIni), ownIni);

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
    FreeChannelMap(channelMap);
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
