#include "trq/commands/InfoCommand.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "archive/ArchiveFile.h"
#include "recorder/UtcTime.h"
#include "trq/ExitCodes.h"
#include "trq/commands/CatalogOptions.h"
#include "trq/commands/JsonOutput.h"
#include "trq/commands/RecordingSources.h"
#include "trq/commands/SampleStatistics.h"

namespace trq {

namespace {

// Enough digits to give back every float sample exactly.
std::string FloatText(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::string FixedText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

std::string Triple(int a, int b, int c, int widthOfThird) {
    char text[48];
    std::snprintf(text, sizeof text, "%02d %02d %0*d", a, b, widthOfThird, c);
    return text;
}

struct FileSummary {
    ArchiveFile file;
    SampleStatistics statistics;
    // The recordings the file holds; nothing when the catalog cannot tell (`problem`).
    std::optional<std::vector<RecordingSource>> sources;
    std::string problem;
};

FileSummary Summarize(const std::string& path, RecordingSources& sources) {
    FileSummary summary{OpenArchiveFile(path), {}, {}, {}};
    summary.statistics.Add(ReadArchiveSamples(summary.file));
    summary.sources = sources.Of(summary.file.header.CatalogPathItGives());
    if (!summary.sources) summary.problem = sources.Problem();
    return summary;
}

void PrintText(const FileSummary& s, std::ostream& out) {
    const ArchiveHeader& h = s.file.header;
    const double start = s.file.StartTime();
    const double end = start + s.file.Duration();
    auto line = [&out](const char* label, const std::string& value) {
        char head[32];
        std::snprintf(head, sizeof head, "  %-13s", label);
        out << head << value << "\n";
    };
    out << s.file.path << "\n";
    line("station", h.station);
    line("channel", h.channel);
    line("sample rate", h.samplesPerSecondText + " samples/s");
    line("gain", std::to_string(h.gain));
    line("data type", h.dataType);
    line("data offset", std::to_string(h.dataOffset));
    line("duration",
         Triple(h.durationHours, h.durationMinutes, h.durationSeconds, 2) + " (header line)");
    line("file size", std::to_string(s.file.fileSize) + " bytes");
    line("samples", std::to_string(s.file.sampleCount));
    line("start", FormatUtc(start, 3) + " UTC");
    line("end", FormatUtc(end, 3) + " UTC");
    line("span", FixedText(s.file.Duration()) + " s");
    const SampleStatistics& st = s.statistics;
    line("min", st.HasValues() ? FloatText(st.Min()) : "-");
    line("max", st.HasValues() ? FloatText(st.Max()) : "-");
    line("mean", st.HasValues() ? FixedText(st.Mean()) : "-");
    line("rms", st.HasValues() ? FixedText(st.Rms()) : "-");
    if (st.NonFinite() > 0) line("not finite", std::to_string(st.NonFinite()) + " samples");
    if (!s.sources) {
        line("recordings", "unknown: " + s.problem);
    } else if (s.sources->empty()) {
        line("recordings", "none on record");
    }
    for (std::size_t i = 0; s.sources && i < s.sources->size(); ++i) {
        line(i == 0 ? "recordings" : "", SourceText((*s.sources)[i]));
    }
}

nlohmann::json StatisticJson(const SampleStatistics& st, double value) {
    return st.HasValues() ? nlohmann::json(value) : nlohmann::json(nullptr);
}

// The recordings the file holds, or null with "problem" when the catalog cannot tell.
nlohmann::json RecordingsJson(const FileSummary& s) {
    if (!s.sources) return {{"unknown", s.problem}};
    nlohmann::json list = nlohmann::json::array();
    for (const RecordingSource& source : *s.sources) list.push_back(SourceJson(source));
    return list;
}

nlohmann::json ToJson(const FileSummary& s) {
    const ArchiveHeader& h = s.file.header;
    const double start = s.file.StartTime();
    const double end = start + s.file.Duration();
    const SampleStatistics& st = s.statistics;
    return {
        {"path", s.file.path},
        {"ok", true},
        {"header",
         {{"dataOffset", h.dataOffset},
          {"startTime", Triple(h.startHour, h.startMinute, h.startSecond, 2)},
          {"startDate", Triple(h.startDay, h.startMonth, h.startYear, 4)},
          {"timeDuration", Triple(h.durationHours, h.durationMinutes, h.durationSeconds, 2)},
          {"dataType", h.dataType},
          {"samplesPerSecond", h.samplesPerSecond},
          {"samplesPerSecondText", h.samplesPerSecondText},
          {"gain", h.gain},
          {"station", h.station},
          {"channel", h.channel},
          {"otherLines", h.otherLines}}},
        {"fileSize", s.file.fileSize},
        {"samples", s.file.sampleCount},
        {"start", FormatIsoUtc(start, 6)},
        {"startEpoch", start},
        {"end", FormatIsoUtc(end, 6)},
        {"endEpoch", end},
        {"spanSeconds", s.file.Duration()},
        {"min", StatisticJson(st, st.Min())},
        {"max", StatisticJson(st, st.Max())},
        {"mean", StatisticJson(st, st.Mean())},
        {"rms", StatisticJson(st, st.Rms())},
        {"nonFinite", st.NonFinite()},
        {"recordings", RecordingsJson(s)},
    };
}

}  // namespace

int RunInfo(const InfoOptions& options, std::ostream& out, std::ostream& err) {
    nlohmann::json files = nlohmann::json::array();
    int exitCode = kExitOk;
    bool first = true;
    RecordingSources sources(options.catalog);
    for (const std::string& path : options.files) {
        try {
            const FileSummary summary = Summarize(path, sources);
            if (options.json) {
                files.push_back(ToJson(summary));
            } else {
                if (!first) out << "\n";
                PrintText(summary, out);
            }
        } catch (const std::runtime_error& e) {
            err << "trq info: " << path << ": " << e.what() << "\n";
            if (options.json) files.push_back({{"path", path}, {"ok", false}, {"error", e.what()}});
            exitCode = kExitFault;
        }
        first = false;
    }
    if (options.json) {
        WriteJson(out, {{"command", "info"}, {"ok", exitCode == kExitOk}, {"files", files}});
    }
    return exitCode;
}

AddedCommand AddInfoCommand(CLI::App& app) {
    auto info = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand(
        "info",
        "Header fields, sample count, time span and sample statistics of archive files, and "
        "the recordings each holds (from the catalog's record). Exits with 1 when a file is not "
        "consistent.");
    command->add_option("FILE", info->files, "Archive files")->required();
    command->add_flag("--json", info->json, "One JSON document on standard output");
    AddCatalogArguments(*command, info->catalog);
    return {command,
            [info](std::ostream& out, std::ostream& err) { return RunInfo(*info, out, err); }};
}

}  // namespace trq
