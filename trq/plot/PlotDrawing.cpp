#include "trq/plot/PlotDrawing.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace trq {

namespace {

double TickX(const TimeTick& tick, double start, double end, double left, double width) {
    return std::round(left + (tick.time - start) / (end - start) * width) + 0.5;
}

}  // namespace

PngCanvas::PngCanvas(int width, int height)
    : surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)),
      context_(cairo_create(surface_.get())) {
    if (cairo_status(context_.get()) != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error(std::string("cairo_create failed: ") +
                                 cairo_status_to_string(cairo_status(context_.get())));
    }
    SetGrey(context_.get(), 1.0);
    cairo_paint(context_.get());
}

void PngCanvas::WritePng(const std::string& path) const {
    cairo_surface_flush(surface_.get());
    const cairo_status_t status = cairo_surface_write_to_png(surface_.get(), path.c_str());
    if (status != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error("cairo_surface_write_to_png(" + path +
                                 ") failed: " + cairo_status_to_string(status));
    }
}

std::string PngCanvas::Png() const {
    cairo_surface_flush(surface_.get());
    std::string bytes;
    const cairo_status_t status = cairo_surface_write_to_png_stream(
        surface_.get(),
        [](void* closure, const unsigned char* data, unsigned int length) {
            static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
            return CAIRO_STATUS_SUCCESS;
        },
        &bytes);
    if (status != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error(std::string("cairo_surface_write_to_png_stream failed: ") +
                                 cairo_status_to_string(status));
    }
    return bytes;
}

void SetGrey(cairo_t* cr, double grey) {
    cairo_set_source_rgb(cr, grey, grey, grey);
}

void DrawText(cairo_t* cr, const std::string& text, double x, double y, double size, bool bold,
              double alignX) {
    cairo_select_font_face(cr, kPlotFont, CAIRO_FONT_SLANT_NORMAL,
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

void DrawTimeAxis(cairo_t* cr, const std::vector<TimeTick>& ticks, double start, double end,
                  double left, double width, double axisY) {
    cairo_set_line_width(cr, 1);
    SetGrey(cr, 0.25);
    for (const TimeTick& tick : ticks) {
        const double x = TickX(tick, start, end, left, width);
        cairo_move_to(cr, x, axisY);
        cairo_line_to(cr, x, axisY + 5);
        cairo_stroke(cr);
        DrawText(cr, tick.label, x, axisY + 18, 11, false, 0.5);
        if (!tick.dateLabel.empty()) DrawText(cr, tick.dateLabel, x, axisY + 32, 11, false, 0.5);
    }
    DrawText(cr, "UTC", left + width, axisY + 48, 11, true, 1.0);
}

void DrawTimeGrid(cairo_t* cr, const std::vector<TimeTick>& ticks, double start, double end,
                  double left, double width, double top, double bottom) {
    cairo_set_line_width(cr, 1);
    SetGrey(cr, 0.88);
    for (const TimeTick& tick : ticks) {
        const double x = TickX(tick, start, end, left, width);
        cairo_move_to(cr, x, top);
        cairo_line_to(cr, x, bottom);
    }
    cairo_stroke(cr);
}

}  // namespace trq
