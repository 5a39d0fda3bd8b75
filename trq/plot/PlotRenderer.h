#pragma once
// Draws the quick-look picture: traces stacked one above the other over a shared UTC time
// axis, each with its station and channel label and its amplitude scale, into a PNG file.

#include <string>
#include <utility>
#include <vector>

#include "trq/plot/PlotEnvelope.h"

namespace trq {

struct PlotLayout {
    int width = 1200;                        // pixels of the whole picture
    int traceHeight = 140;                   // pixels of each trace's panel
    static constexpr int kLeftMargin = 110;  // amplitude labels
    static constexpr int kRightMargin = 24;
    static constexpr int kTopMargin = 34;  // title
    static constexpr int kTraceGap = 8;
    static constexpr int kBottomMargin = 56;  // time labels

    int PlotWidth() const { return width - kLeftMargin - kRightMargin; }
    int Height(std::size_t traces) const;
};

// A stretch of a trace to mark behind its samples: a gap (no file covers it) or an overlap
// (two files do). EpochSeconds.
struct PlotMark {
    double from = 0;
    double to = 0;
    bool overlap = false;
};

struct PlotTrace {
    std::string label;        // "ABC SHZ"
    std::string detail;       // "100 sps, 3 files"
    ColumnEnvelope envelope;  // PlotWidth() columns from `start` to `end`
    // Drawn as bands, gaps red and overlaps orange as in the availability picture, at least
    // two pixels wide.
    std::vector<PlotMark> marks{};
    // Where runs of the trace overlap (their lines drawn over each other): [from, to) in
    // columns, each drawn as an orange band behind the trace and counted in the label.
    std::vector<std::pair<double, double>> overlaps{};
};

// The overlaps of a trace's runs, each [start, end) in any unit, in the units given:
// where a run starts more than `tolerance` before the runs before it have ended (a header's
// start is a whole second: a file that continues another may seem to begin a little early).
std::vector<std::pair<double, double>> OverlapsOf(std::vector<std::pair<double, double>> runs,
                                                  double tolerance);

// Writes the picture of `traces` over [start, end] (EpochSeconds) to `pngPath`. Throws
// std::runtime_error naming the path and cairo's status text when it cannot be written.
void RenderPlotPng(const std::vector<PlotTrace>& traces, double start, double end,
                   const PlotLayout& layout, const std::string& title, const std::string& pngPath);
// The same picture as the bytes of a PNG file. Throws std::runtime_error with cairo's
// status text.
std::string PlotPng(const std::vector<PlotTrace>& traces, double start, double end,
                    const PlotLayout& layout, const std::string& title);

// Frees what cairo and fontconfig keep for the whole process (font caches), so that a
// program ends with nothing left allocated. Call once no picture is being drawn.
void ReleaseFontCaches();

}  // namespace trq
