#include "trq/commands/PlotCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>

#include "archive/ArchiveFile.h"
#include "catalog/WindowSamples.h"
#include "recorder/UtcTime.h"
#include "trq/ExitCodes.h"
#include "trq/plot/PlotRenderer.h"

namespace trq {

namespace {

struct TraceFiles {
    std::string station;
    std::string channel;
    std::vector<const ArchiveFile*> files;
};

// Traces in the order their first file was named on the command line.
std::vector<TraceFiles> GroupIntoTraces(const std::vector<ArchiveFile>& files, bool separate) {
    std::vector<TraceFiles> traces;
    for (const ArchiveFile& file : files) {
        auto same = std::find_if(traces.begin(), traces.end(), [&](const TraceFiles& t) {
            return t.station == file.header.station && t.channel == file.header.channel;
        });
        if (separate || same == traces.end()) {
            traces.push_back({file.header.station, file.header.channel, {&file}});
        } else {
            same->files.push_back(&file);
        }
    }
    return traces;
}

std::string TraceDetail(const TraceFiles& trace) {
    char text[96];
    std::snprintf(text, sizeof text, "%g sps", trace.files.front()->header.samplesPerSecond);
    std::string detail = text;
    if (trace.files.size() > 1) detail += ", " + std::to_string(trace.files.size()) + " files";
    return detail + ", counts";
}

// Draws the traces over [start, end] and says so; the exit code.
int Render(const PlotOptions& options, const std::vector<PlotTrace>& traces, double start,
           double end, const PlotLayout& layout, std::ostream& out, std::ostream& err) {
    const std::string title = FormatUtc(start, 0) + " to " + FormatUtc(end, 0) + " UTC";
    try {
        RenderPlotPng(traces, start, end, layout, title, options.output);
        ReleaseFontCaches();
    } catch (const std::runtime_error& e) {
        ReleaseFontCaches();
        err << "trq plot: " << e.what() << "\n";
        return kExitOutput;
    }
    std::size_t overlaps = 0;
    for (const PlotTrace& trace : traces) overlaps += trace.overlaps.size();
    out << "trq plot: wrote " << options.output << " (" << traces.size() << " traces, ";
    if (overlaps > 0) out << overlaps << (overlaps == 1 ? " overlap" : " overlaps") << ", ";
    out << layout.width << "x" << layout.Height(traces.size()) << " pixels)\n";
    return kExitOk;
}

// One trace per station and channel: the window's samples of each of its runs, a run a
// line of its own so that gaps stay empty. Throws what reading the files throws.
std::vector<PlotTrace> SelectionTraces(const SelectionOutcome& selection, int columns) {
    const double start = static_cast<double>(selection.window.from) / 1e6;
    const double pixelsPerSecond = columns / (static_cast<double>(selection.window.Length()) / 1e6);
    std::vector<PlotTrace> traces;
    std::vector<std::vector<std::pair<double, double>>> runs;
    std::vector<double> rates;
    std::string previous;
    for (const ContinuousSegment& segment : selection.segments) {
        const std::string label = segment.station + " " + segment.channel;
        if (traces.empty() || label != previous) {
            char detail[64];
            std::snprintf(detail, sizeof detail, "%g sps, counts", segment.rate);
            traces.push_back({label, detail, ColumnEnvelope(columns), {}});
            runs.emplace_back();
            rates.push_back(segment.rate);
            previous = label;
        }
        const auto column = [&](int64_t time) {
            return (static_cast<double>(time) / 1e6 - start) * pixelsPerSecond;
        };
        runs.back().emplace_back(column(segment.start), column(segment.end));
        const WindowTrace trace = ReadWindowSamples(selection.dataDir, segment, selection.window);
        traces.back().envelope.Add(
            (static_cast<double>(trace.start) / 1e6 - start) * pixelsPerSecond,
            pixelsPerSecond / trace.rate, trace.samples);
    }
    // The catalog gives exact starts: runs that meet within half a sample period continue.
    for (std::size_t t = 0; t < traces.size(); ++t) {
        traces[t].overlaps = OverlapsOf(runs[t], pixelsPerSecond / rates[t] / 2);
    }
    return traces;
}

int PlotSelection(const PlotOptions& options, std::ostream& out, std::ostream& err) {
    const SelectionOutcome selection =
        RunSelection(options.selection, SelectionDepth::kCheckedRuns, "trq plot", err);
    if (selection.exitCode != kExitOk) return selection.exitCode;
    PlotLayout layout;
    layout.width = options.width;
    layout.traceHeight = options.traceHeight;
    std::vector<PlotTrace> traces;
    try {
        traces = SelectionTraces(selection, layout.PlotWidth());
    } catch (const std::runtime_error& e) {
        err << "trq plot: " << e.what() << "\n";
        return kExitFault;
    }
    const int exitCode = Render(options, traces, static_cast<double>(selection.window.from) / 1e6,
                                static_cast<double>(selection.window.to) / 1e6, layout, out, err);
    return exitCode == kExitOk && selection.skippedRows ? kExitFault : exitCode;
}

int PlotFiles(const PlotOptions& options, std::ostream& out, std::ostream& err) {
    std::vector<ArchiveFile> files;
    int exitCode = kExitOk;
    for (const std::string& path : options.files) {
        try {
            files.push_back(OpenArchiveFile(path));
        } catch (const std::runtime_error& e) {
            err << "trq plot: " << path << ": " << e.what() << "\n";
            exitCode = kExitFault;
        }
    }
    if (exitCode != kExitOk) return exitCode;

    double start = files.front().StartTime();
    double end = start;
    for (const ArchiveFile& file : files) {
        start = std::min(start, file.StartTime());
        end = std::max(end, file.StartTime() + file.Duration());
    }
    if (!(end > start)) end = start + 1;

    PlotLayout layout;
    layout.width = options.width;
    layout.traceHeight = options.traceHeight;
    const double pixelsPerSecond = layout.PlotWidth() / (end - start);

    std::vector<PlotTrace> traces;
    for (const TraceFiles& group : GroupIntoTraces(files, options.separate)) {
        PlotTrace trace{group.station + " " + group.channel,
                        TraceDetail(group),
                        ColumnEnvelope(layout.PlotWidth()),
                        {}};
        std::vector<std::pair<double, double>> runs;
        for (const ArchiveFile* file : group.files) {
            runs.emplace_back((file->StartTime() - start) * pixelsPerSecond,
                              (file->StartTime() + file->Duration() - start) * pixelsPerSecond);
            try {
                trace.envelope.Add((file->StartTime() - start) * pixelsPerSecond,
                                   pixelsPerSecond / file->header.samplesPerSecond,
                                   ReadArchiveSamples(*file));
            } catch (const std::runtime_error& e) {
                err << "trq plot: " << file->path << ": " << e.what() << "\n";
                return kExitFault;
            }
        }
        trace.overlaps = OverlapsOf(runs, pixelsPerSecond);
        traces.push_back(std::move(trace));
    }

    return Render(options, traces, start, end, layout, out, err);
}

}  // namespace

int RunPlot(const PlotOptions& options, std::ostream& out, std::ostream& err) {
    if (options.files.empty() == options.selection.stations.empty()) {
        err << "trq plot: give archive files, or --station"
            << (options.files.empty() ? "" : ", not both") << "\n";
        return kExitUsage;
    }
    return options.files.empty() ? PlotSelection(options, out, err) : PlotFiles(options, out, err);
}

AddedCommand AddPlotCommand(CLI::App& app) {
    auto plot = std::make_shared<PlotOptions>();
    CLI::App* command =
        app.add_subcommand("plot", "Quick-look PNG: traces stacked over a shared UTC time axis.");
    CLI::Option* files = command->add_option("FILE", plot->files, "Archive files");
    AddSelectionOptions(*command, plot->selection, SelectionUse::kInsteadOfFiles);
    AddSelectionCatalogOptions(*command, plot->selection);
    AddDataDirOption(*command, plot->selection);
    files->excludes("--station");
    command->add_option("-o,--output", plot->output, "PNG file to write")->required();
    command->add_option("--width", plot->width, "Width of the picture in pixels")
        ->check(CLI::Range(400, 20000))
        ->capture_default_str();
    command->add_option("--trace-height", plot->traceHeight, "Height of each trace in pixels")
        ->check(CLI::Range(40, 2000))
        ->capture_default_str();
    command->add_flag("--separate", plot->separate,
                      "One trace per file (default: one per station and channel)");
    return {command,
            [plot](std::ostream& out, std::ostream& err) { return RunPlot(*plot, out, err); }};
}

}  // namespace trq
