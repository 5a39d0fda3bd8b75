#include "trq/plot/PlotRenderer.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>

#include "trq/plot/PlotAxis.h"
#include "trq/plot/PlotDrawing.h"

namespace trq {

namespace {

// One trace panel: frame, grid, amplitude scale, envelope, label.
class PanelPainter {
  public:
    PanelPainter(cairo_t* cr, double left, double top, double width, double height)
        : cr_(cr), left_(left), top_(top), width_(width), height_(height) {}

    void Paint(const PlotTrace& trace, const std::vector<TimeTick>& ticks, double start,
               double end) {
        float low = 0;
        float high = 0;
        const bool any = trace.envelope.Range(low, high);
        low_ = low;
        high_ = high;
        if (!(high_ > low_)) {  // a flat trace draws as a line through the middle
            low_ -= 1;
            high_ += 1;
        }
        const double margin = (high_ - low_) * 0.05;
        low_ -= margin;
        high_ += margin;

        Marks(trace.marks, start, end);
        Overlaps(trace);
        FrameAndGrid(ticks, start, end);
        if (any) Envelope(trace.envelope);
        Label(trace, any);
    }

  private:
    double Y(double value) const {
        return top_ + height_ - (value - low_) / (high_ - low_) * height_;
    }

    void Marks(const std::vector<PlotMark>& marks, double start, double end) {
        for (const PlotMark& mark : marks) {
            double from = left_ + (std::max(mark.from, start) - start) / (end - start) * width_;
            double to = left_ + (std::min(mark.to, end) - start) / (end - start) * width_;
            if (to - from < 2) {
                from = std::max(left_, (from + to) / 2 - 1);
                to = std::min(left_ + width_, from + 2);
            }
            if (mark.overlap) {
                cairo_set_source_rgb(cr_, 0.99, 0.85, 0.60);
            } else {
                cairo_set_source_rgb(cr_, 0.98, 0.78, 0.78);
            }
            cairo_rectangle(cr_, from, top_, to - from, height_);
            cairo_fill(cr_);
        }
    }

    void FrameAndGrid(const std::vector<TimeTick>& ticks, double start, double end) {
        DrawTimeGrid(cr_, ticks, start, end, left_, width_, top_, top_ + height_);
        for (double value : ValueTicks(low_, high_, 4)) {
            const double y = std::round(Y(value)) + 0.5;
            SetGrey(cr_, value == 0 ? 0.7 : 0.88);
            cairo_move_to(cr_, left_, y);
            cairo_line_to(cr_, left_ + width_, y);
            cairo_stroke(cr_);
            SetGrey(cr_, 0.25);
            DrawText(cr_, ValueLabel(value), left_ - 6, y + 4, 11, false, 1.0);
        }
        SetGrey(cr_, 0.45);
        cairo_rectangle(cr_, left_ + 0.5, top_ + 0.5, width_ - 1, height_ - 1);
        cairo_stroke(cr_);
    }

    void Envelope(const ColumnEnvelope& envelope) {
        cairo_save(cr_);
        cairo_rectangle(cr_, left_, top_, width_, height_);
        cairo_clip(cr_);
        cairo_set_source_rgb(cr_, 0.05, 0.22, 0.55);
        cairo_set_line_width(cr_, 1);
        cairo_set_line_cap(cr_, CAIRO_LINE_CAP_SQUARE);
        for (int c = 0; c < envelope.Columns(); ++c) {
            if (!envelope.Filled(c)) continue;
            const double x = left_ + c + 0.5;
            const int from = envelope.JoinedFrom(c);
            if (from >= 0) {
                cairo_move_to(cr_, left_ + from + 0.5, Y(envelope.Last(from)));
                cairo_line_to(cr_, x, Y(envelope.First(c)));
            }
            cairo_move_to(cr_, x, Y(envelope.Max(c)));
            cairo_line_to(cr_, x, Y(envelope.Min(c)));
        }
        cairo_stroke(cr_);
        cairo_restore(cr_);
    }

    // Orange bands where runs overlap, at least a pixel wide.
    void Overlaps(const PlotTrace& trace) {
        cairo_set_source_rgba(cr_, 0.96, 0.60, 0.08, 0.35);
        for (const auto& [from, to] : trace.overlaps) {
            const double left = std::clamp(from, 0.0, width_);
            const double right = std::clamp(std::max(to, from + 1), 0.0, width_);
            cairo_rectangle(cr_, left_ + left, top_, right - left, height_);
        }
        cairo_fill(cr_);
    }

    void Label(const PlotTrace& trace, bool any) {
        std::string detail = any ? trace.detail : trace.detail + ", no samples";
        if (!trace.overlaps.empty()) {
            detail += ", " + std::to_string(trace.overlaps.size()) +
                      (trace.overlaps.size() == 1 ? " overlap" : " overlaps") + " (orange)";
        }
        cairo_select_font_face(cr_, kPlotFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
        cairo_set_font_size(cr_, 13);
        cairo_text_extents_t name{};
        cairo_text_extents(cr_, trace.label.c_str(), &name);
        cairo_select_font_face(cr_, kPlotFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr_, 11);
        cairo_text_extents_t rest{};
        cairo_text_extents(cr_, detail.c_str(), &rest);
        // A white box keeps the label readable over the trace.
        cairo_set_source_rgba(cr_, 1, 1, 1, 0.85);
        cairo_rectangle(cr_, left_ + 2, top_ + 2, name.x_advance + rest.x_advance + 20, 20);
        cairo_fill(cr_);
        SetGrey(cr_, 0.0);
        DrawText(cr_, trace.label, left_ + 8, top_ + 17, 13, true, 0.0);
        SetGrey(cr_, 0.3);
        DrawText(cr_, detail, left_ + 14 + name.x_advance, top_ + 17, 11, false, 0.0);
    }

    cairo_t* cr_;
    double left_;
    double top_;
    double width_;
    double height_;
    double low_ = 0;
    double high_ = 1;
};

}  // namespace

std::vector<std::pair<double, double>> OverlapsOf(std::vector<std::pair<double, double>> runs,
                                                  double tolerance) {
    std::sort(runs.begin(), runs.end());
    std::vector<std::pair<double, double>> overlaps;
    double end = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const auto [from, to] = runs[i];
        if (i > 0 && from < end - tolerance) {
            const double until = std::min(end, to);
            if (!overlaps.empty() && from <= overlaps.back().second) {
                overlaps.back().second = std::max(overlaps.back().second, until);
            } else {
                overlaps.emplace_back(from, until);
            }
        }
        end = i == 0 ? to : std::max(end, to);
    }
    return overlaps;
}

int PlotLayout::Height(std::size_t traces) const {
    const int count = traces == 0 ? 1 : static_cast<int>(traces);
    return kTopMargin + count * traceHeight + (count - 1) * kTraceGap + kBottomMargin;
}

namespace {

PngCanvas DrawPlot(const std::vector<PlotTrace>& traces, double start, double end,
                   const PlotLayout& layout, const std::string& title) {
    PngCanvas canvas(layout.width, layout.Height(traces.size()));
    cairo_t* cr = canvas.Context();
    SetGrey(cr, 0.0);
    DrawText(cr, title, PlotLayout::kLeftMargin, 22, 14, true, 0.0);

    const double left = PlotLayout::kLeftMargin;
    const double width = layout.PlotWidth();
    const auto ticks = TimeTicks(start, end, std::max(2, layout.PlotWidth() / 110));
    double top = PlotLayout::kTopMargin;
    for (const PlotTrace& trace : traces) {
        PanelPainter(cr, left, top, width, layout.traceHeight).Paint(trace, ticks, start, end);
        top += layout.traceHeight + PlotLayout::kTraceGap;
    }
    DrawTimeAxis(cr, ticks, start, end, left, width, top - PlotLayout::kTraceGap);
    return canvas;
}

}  // namespace

void RenderPlotPng(const std::vector<PlotTrace>& traces, double start, double end,
                   const PlotLayout& layout, const std::string& title, const std::string& pngPath) {
    DrawPlot(traces, start, end, layout, title).WritePng(pngPath);
}

std::string PlotPng(const std::vector<PlotTrace>& traces, double start, double end,
                    const PlotLayout& layout, const std::string& title) {
    return DrawPlot(traces, start, end, layout, title).Png();
}

void ReleaseFontCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}

}  // namespace trq
