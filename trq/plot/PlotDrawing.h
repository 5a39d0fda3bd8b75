#pragma once
// What the toolkit's pictures share: a white canvas written as PNG, text placed inside
// it, and the UTC time axis under a stack of panels.

#include <cairo.h>

#include <memory>
#include <string>
#include <vector>

#include "trq/plot/PlotAxis.h"

namespace trq {

// The typeface of every label.
inline constexpr const char* kPlotFont = "DejaVu Sans";

class PngCanvas {
  public:
    // A white picture of `width` x `height` pixels. Throws std::runtime_error with cairo's
    // status text when it cannot be made.
    PngCanvas(int width, int height);

    cairo_t* Context() const { return context_.get(); }
    // Throws std::runtime_error naming the path and cairo's status text.
    void WritePng(const std::string& path) const;
    // The picture as the bytes of a PNG file. Throws std::runtime_error with cairo's status
    // text.
    std::string Png() const;

  private:
    struct SurfaceDeleter {
        void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
    };
    struct ContextDeleter {
        void operator()(cairo_t* context) const { cairo_destroy(context); }
    };
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface_;
    std::unique_ptr<cairo_t, ContextDeleter> context_;
};

void SetGrey(cairo_t* cr, double grey);

// Draws `text` with its baseline at `y`, `alignX` of its width left of `x` (0 left, 0.5
// centred, 1 right-aligned), moved inside the picture where it would stick out.
void DrawText(cairo_t* cr, const std::string& text, double x, double y, double size, bool bold,
              double alignX);

// Tick marks, time labels, date labels and "UTC" below `axisY`, for the plot area that
// starts at `left` and is `width` pixels wide, from `start` to `end` (EpochSeconds).
void DrawTimeAxis(cairo_t* cr, const std::vector<TimeTick>& ticks, double start, double end,
                  double left, double width, double axisY);

// Vertical grid lines at the ticks, from `top` to `bottom`.
void DrawTimeGrid(cairo_t* cr, const std::vector<TimeTick>& ticks, double start, double end,
                  double left, double width, double top, double bottom);

}  // namespace trq
