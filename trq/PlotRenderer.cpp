#include "trq/PlotRenderer.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

#include "trq/PlotAxis.h"

namespace trq {

namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

constexpr const char* kFont = "DejaVu Sans";

void SetColor(cairo_t* cr, double grey) {
    cairo_set_source_rgb(cr, grey, grey, grey);
}

void DrawText(cairo_t* cr, const std::string& text, double x, double y, double size, bool bold,
              double alignX) {
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents{};
    cairo_text_extents(cr, text.c_str(), &extents);
    // Kept inside the picture: a label at the right end of the time axis moves left.
    const double pictureWidth = cairo_image_surface_get_width(cairo_get_target(cr));
    const double left = std::clamp(x - alignX * extents.x_advance, 2.0,
                                   std::max(2.0, pictureWidth - extents.x_advance - 2));
    cairo_move_to(cr, left, y);
    cairo_show_text(cr, text.c_str());
}

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

        FrameAndGrid(ticks, start, end);
        if (any) Envelope(trace.envelope);
        Label(trace, any);
    }

  private:
    double Y(double value) const {
        return top_ + height_ - (value - low_) / (high_ - low_) * height_;
    }

    void FrameAndGrid(const std::vector<TimeTick>& ticks, double start, double end) {
        cairo_set_line_width(cr_, 1);
        SetColor(cr_, 0.88);
        for (const TimeTick& tick : ticks) {
            const double x = std::round(left_ + (tick.time - start) / (end - start) * width_) + 0.5;
            cairo_move_to(cr_, x, top_);
            cairo_line_to(cr_, x, top_ + height_);
        }
        cairo_stroke(cr_);
        for (double value : ValueTicks(low_, high_, 4)) {
            const double y = std::round(Y(value)) + 0.5;
            SetColor(cr_, value == 0 ? 0.7 : 0.88);
            cairo_move_to(cr_, left_, y);
            cairo_line_to(cr_, left_ + width_, y);
            cairo_stroke(cr_);
            SetColor(cr_, 0.25);
            DrawText(cr_, ValueLabel(value), left_ - 6, y + 4, 11, false, 1.0);
        }
        SetColor(cr_, 0.45);
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

    void Label(const PlotTrace& trace, bool any) {
        const std::string detail = any ? trace.detail : trace.detail + ", no samples";
        cairo_select_font_face(cr_, kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
        cairo_set_font_size(cr_, 13);
        cairo_text_extents_t name{};
        cairo_text_extents(cr_, trace.label.c_str(), &name);
        cairo_select_font_face(cr_, kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr_, 11);
        cairo_text_extents_t rest{};
        cairo_text_extents(cr_, detail.c_str(), &rest);
        // A white box keeps the label readable over the trace.
        cairo_set_source_rgba(cr_, 1, 1, 1, 0.85);
        cairo_rectangle(cr_, left_ + 2, top_ + 2, name.x_advance + rest.x_advance + 20, 20);
        cairo_fill(cr_);
        SetColor(cr_, 0.0);
        DrawText(cr_, trace.label, left_ + 8, top_ + 17, 13, true, 0.0);
        SetColor(cr_, 0.3);
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

void DrawTimeAxis(cairo_t* cr, const std::vector<TimeTick>& ticks, double start, double end,
                  double left, double width, double axisY) {
    cairo_set_line_width(cr, 1);
    SetColor(cr, 0.25);
    for (const TimeTick& tick : ticks) {
        const double x = std::round(left + (tick.time - start) / (end - start) * width) + 0.5;
        cairo_move_to(cr, x, axisY);
        cairo_line_to(cr, x, axisY + 5);
        cairo_stroke(cr);
        DrawText(cr, tick.label, x, axisY + 18, 11, false, 0.5);
        if (!tick.dateLabel.empty()) DrawText(cr, tick.dateLabel, x, axisY + 32, 11, false, 0.5);
    }
    DrawText(cr, "UTC", left + width, axisY + 48, 11, true, 1.0);
}

}  // namespace

int PlotLayout::Height(std::size_t traces) const {
    const int count = traces == 0 ? 1 : static_cast<int>(traces);
    return kTopMargin + count * traceHeight + (count - 1) * kTraceGap + kBottomMargin;
}

void RenderPlotPng(const std::vector<PlotTrace>& traces, double start, double end,
                   const PlotLayout& layout, const std::string& title, const std::string& pngPath) {
    const int height = layout.Height(traces.size());
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, layout.width, height));
    Context cr(cairo_create(surface.get()));
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error(std::string("cairo_create failed: ") +
                                 cairo_status_to_string(cairo_status(cr.get())));
    }
    SetColor(cr.get(), 1.0);
    cairo_paint(cr.get());

    SetColor(cr.get(), 0.0);
    DrawText(cr.get(), title, PlotLayout::kLeftMargin, 22, 14, true, 0.0);

    const double left = PlotLayout::kLeftMargin;
    const double width = layout.PlotWidth();
    const auto ticks = TimeTicks(start, end, std::max(2, layout.PlotWidth() / 110));
    double top = PlotLayout::kTopMargin;
    for (const PlotTrace& trace : traces) {
        PanelPainter(cr.get(), left, top, width, layout.traceHeight)
            .Paint(trace, ticks, start, end);
        top += layout.traceHeight + PlotLayout::kTraceGap;
    }
    DrawTimeAxis(cr.get(), ticks, start, end, left, width, top - PlotLayout::kTraceGap);

    cairo_surface_flush(surface.get());
    const cairo_status_t status = cairo_surface_write_to_png(surface.get(), pngPath.c_str());
    if (status != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error("cairo_surface_write_to_png(" + pngPath +
                                 ") failed: " + cairo_status_to_string(status));
    }
}

void ReleaseFontCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}

}  // namespace trq
