#include "trq/plot/AvailabilityPicture.h"

#include <algorithm>
#include <cstdio>

#include "recorder/UtcTime.h"
#include "trq/plot/PlotDrawing.h"

namespace trq {

namespace {

constexpr int kLeftMargin = 110;  // station and channel
constexpr int kRightMargin = 90;  // coverage
constexpr int kTopMargin = 60;    // title and legend
constexpr int kRowPitch = 34;     // one bar and the space below it
constexpr int kBarHeight = 22;
constexpr int kBottomMargin = 56;  // time labels
constexpr double kShortestMark = 2;

struct Colour {
    double red, green, blue;
};
constexpr Colour kData{0.16, 0.55, 0.30};
constexpr Colour kGap{0.85, 0.12, 0.12};
constexpr Colour kOverlap{0.96, 0.60, 0.08};

void SetColour(cairo_t* cr, const Colour& colour) {
    cairo_set_source_rgb(cr, colour.red, colour.green, colour.blue);
}

// Maps microseconds of the window to pixels of the bar.
struct TimeScale {
    TimeWindow window;
    double left;
    double width;

    double X(int64_t time) const {
        const auto offset = static_cast<double>(time - window.from);
        return left + offset / static_cast<double>(window.Length()) * width;
    }
};

void FillSpan(cairo_t* cr, const TimeScale& scale, const TimeWindow& span, double top,
              double height, double shortest) {
    double from = scale.X(span.from);
    double to = scale.X(span.to);
    if (to - from < shortest) {
        const double middle = (from + to) / 2;
        from = std::max(scale.left, middle - shortest / 2);
        to = std::min(scale.left + scale.width, from + shortest);
    }
    cairo_rectangle(cr, from, top, to - from, height);
    cairo_fill(cr);
}

// "2013-10-22 13:47:44.25": the exact time, its fraction without trailing zeros.
std::string ExactTime(int64_t microseconds) {
    std::string text = FormatIsoUtcMicroseconds(microseconds);  // ...T13:47:44.250000Z
    text.pop_back();
    text[10] = ' ';
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

void DrawBar(cairo_t* cr, const ChannelAvailability& channel, const TimeScale& scale, double top) {
    SetColour(cr, kData);
    for (const AvailableSpan& span : channel.spans) {
        FillSpan(cr, scale, span.time, top, kBarHeight, 0);
    }
    SetColour(cr, kGap);
    for (const TimeWindow& gap : channel.gaps) {
        const bool between = gap.from > scale.window.from && gap.to < scale.window.to;
        FillSpan(cr, scale, gap, top, kBarHeight, between ? kShortestMark : 0);
    }
    SetColour(cr, kOverlap);
    for (const TimeWindow& overlap : channel.overlaps) {
        FillSpan(cr, scale, overlap, top, kBarHeight / 3.0, kShortestMark);
    }
    SetGrey(cr, 0.45);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, scale.left + 0.5, top + 0.5, scale.width - 1, kBarHeight - 1);
    cairo_stroke(cr);
    SetGrey(cr, 0.0);
    const double baseline = top + kBarHeight / 2.0 + 5;
    DrawText(cr, channel.station + " " + channel.channel, scale.left - 8, baseline, 13, true, 1.0);
    DrawText(cr, channel.CoverageText(scale.window), scale.left + scale.width + 8, baseline, 12,
             false, 0.0);
}

void DrawLegend(cairo_t* cr, double right, double y) {
    const std::pair<const char*, Colour> entries[] = {
        {"data", kData}, {"gap", kGap}, {"overlap", kOverlap}};
    double x = right - 230;
    for (const auto& [name, colour] : entries) {
        SetColour(cr, colour);
        cairo_rectangle(cr, x, y - 10, 14, 12);
        cairo_fill(cr);
        SetGrey(cr, 0.2);
        DrawText(cr, name, x + 19, y, 12, false, 0.0);
        x += 76;
    }
}

PngCanvas DrawAvailability(const std::vector<ChannelAvailability>& channels,
                           const TimeWindow& window, int width, const std::string& title) {
    const int rows = std::max<int>(1, static_cast<int>(channels.size()));
    PngCanvas canvas(width, kTopMargin + rows * kRowPitch + kBottomMargin);
    cairo_t* cr = canvas.Context();
    const TimeScale scale{window, kLeftMargin,
                          static_cast<double>(width - kLeftMargin - kRightMargin)};
    SetGrey(cr, 0.0);
    DrawText(cr, title, kLeftMargin, 22, 14, true, 0.0);
    DrawLegend(cr, scale.left + scale.width, 46);

    const double start = static_cast<double>(window.from) / 1e6;
    const double end = static_cast<double>(window.to) / 1e6;
    const auto ticks = TimeTicks(start, end, std::max(2, static_cast<int>(scale.width) / 110));
    const double axisY = kTopMargin + rows * kRowPitch - (kRowPitch - kBarHeight) / 2.0;
    DrawTimeGrid(cr, ticks, start, end, scale.left, scale.width, kTopMargin - 4, axisY);
    double top = kTopMargin;
    for (const ChannelAvailability& channel : channels) {
        DrawBar(cr, channel, scale, top);
        top += kRowPitch;
    }
    DrawTimeAxis(cr, ticks, start, end, scale.left, scale.width, axisY);
    return canvas;
}

}  // namespace

std::string AvailabilityTitle(const std::string& what, const TimeWindow& window) {
    return "Data availability, " + what + ", " + ExactTime(window.from) + " to " +
           ExactTime(window.to) + " UTC";
}

void RenderAvailabilityPng(const std::vector<ChannelAvailability>& channels,
                           const TimeWindow& window, int width, const std::string& title,
                           const std::string& pngPath) {
    DrawAvailability(channels, window, width, title).WritePng(pngPath);
}

std::string AvailabilityPng(const std::vector<ChannelAvailability>& channels,
                            const TimeWindow& window, int width, const std::string& title) {
    return DrawAvailability(channels, window, width, title).Png();
}

}  // namespace trq
