#include "trq/PlotCommand.h"

#include <algorithm>
#include <cstdio>

#include "archive/ArchiveFile.h"
#include "recorder/UtcTime.h"
#include "trq/ExitCodes.h"
#include "trq/PlotRenderer.h"

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

}  // namespace

int RunPlot(const PlotOptions& options, std::ostream& out, std::ostream& err) {
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
        PlotTrace trace{group.station + " " + group.channel, TraceDetail(group),
                        ColumnEnvelope(layout.PlotWidth())};
        for (const ArchiveFile* file : group.files) {
            try {
                trace.envelope.Add((file->StartTime() - start) * pixelsPerSecond,
                                   pixelsPerSecond / file->header.samplesPerSecond,
                                   ReadArchiveSamples(*file));
            } catch (const std::runtime_error& e) {
                err << "trq plot: " << file->path << ": " << e.what() << "\n";
                return kExitFault;
            }
        }
        traces.push_back(std::move(trace));
    }

    const std::string title = FormatUtc(start, 0) + " to " + FormatUtc(end, 0) + " UTC";
    try {
        RenderPlotPng(traces, start, end, layout, title, options.output);
        ReleaseFontCaches();
    } catch (const std::runtime_error& e) {
        ReleaseFontCaches();
        err << "trq plot: " << e.what() << "\n";
        return kExitOutput;
    }
    out << "trq plot: wrote " << options.output << " (" << traces.size() << " traces, "
        << layout.width << "x" << layout.Height(traces.size()) << " pixels)\n";
    return kExitOk;
}

}  // namespace trq
