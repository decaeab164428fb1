#include "host/eval/chart.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace kvr::host {
namespace {

void SetColour(cairo_t* cr, uint32_t c, double alpha = 1.0) {
  cairo_set_source_rgba(cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0, alpha);
}

std::string TickText(double v, double step) {
  char text[32];
  if (std::abs(v) < 1e-9 * step) v = 0;  // no "-0"
  if (step >= 1 && step == std::floor(step)) std::snprintf(text, sizeof text, "%.0f", v);
  else if (step >= 0.1) std::snprintf(text, sizeof text, "%.1f", v);
  else std::snprintf(text, sizeof text, "%.2f", v);
  return text;
}

}  // namespace

Canvas::Canvas(int width, int height)
    : surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)), cr_(cairo_create(surface_)) {
  cairo_set_source_rgb(cr_, 1, 1, 1);
  cairo_paint(cr_);
}

Canvas::~Canvas() {
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

void Canvas::WritePng(const std::filesystem::path& file) {
  cairo_surface_flush(surface_);
  if (cairo_surface_write_to_png(surface_, file.c_str()) != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error("cannot write " + file.string());
}

void Canvas::Text(double x, double y, const std::string& text, double size, uint32_t colour, double alignX, bool bold) {
  cairo_select_font_face(cr_, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr_, size);
  cairo_text_extents_t e;
  cairo_text_extents(cr_, text.c_str(), &e);
  SetColour(cr_, colour);
  cairo_move_to(cr_, x - alignX * e.x_advance, y);
  cairo_show_text(cr_, text.c_str());
}

double Canvas::TextWidth(const std::string& text, double size, bool bold) {
  cairo_select_font_face(cr_, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr_, size);
  cairo_text_extents_t e;
  cairo_text_extents(cr_, text.c_str(), &e);
  return e.x_advance;
}

void Canvas::Legend(double left, double top, const std::vector<std::pair<std::string, uint32_t>>& entries, bool row) {
  double x = left, y = top + 8;
  for (const auto& [text, colour] : entries) {
    SetColour(cr_, colour);
    cairo_rectangle(cr_, x, y - 8, 10, 10);
    cairo_fill(cr_);
    Text(x + 15, y + 1, text, 10, 0x222222);
    if (row) x += 15 + TextWidth(text, 10) + 18;
    else y += 14;
  }
}

std::vector<int> StackLabels(const std::vector<std::pair<double, double>>& spans, double gapPx, int maxLanes) {
  std::vector<double> laneEnds;  // right pixel of each lane's last label
  std::vector<int> lanes;
  for (const auto& [left, right] : spans) {
    size_t lane = 0;
    while (lane < laneEnds.size() && laneEnds[lane] + gapPx > left) ++lane;
    if (lane == laneEnds.size()) {
      if (static_cast<int>(laneEnds.size()) < std::max(maxLanes, 1)) laneEnds.push_back(0);
      else lane = static_cast<size_t>(std::min_element(laneEnds.begin(), laneEnds.end()) - laneEnds.begin());
    }
    laneEnds[lane] = right;
    lanes.push_back(static_cast<int>(lane));
  }
  return lanes;
}

Plot::Plot(Canvas& canvas, double left, double top, double width, double height, double x0, double x1, double y0,
           double y1)
    : canvas_(canvas),
      left_(left),
      top_(top),
      width_(width),
      height_(height),
      x0_(x0),
      x1_(x1 > x0 ? x1 : x0 + 1),
      y0_(y0),
      y1_(y1 > y0 ? y1 : y0 + 1) {}

double Plot::X(double x) const { return left_ + (x - x0_) / (x1_ - x0_) * width_; }
double Plot::Y(double y) const { return top_ + height_ - (y - y0_) / (y1_ - y0_) * height_; }

void Plot::Frame(const std::string& title, const std::string& xLabel, const std::string& yLabel, double xStep,
                 double yStep) {
  cairo_t* cr = canvas_.Context();
  cairo_set_line_width(cr, 1);
  if (yStep > 0)
    for (double y = std::ceil(y0_ / yStep) * yStep; y <= y1_ + 1e-9; y += yStep) {
      SetColour(cr, 0xDDDDDD);
      cairo_move_to(cr, left_, std::round(Y(y)) + 0.5);
      cairo_line_to(cr, left_ + width_, std::round(Y(y)) + 0.5);
      cairo_stroke(cr);
      canvas_.Text(left_ - 4, Y(y) + 4, TickText(y, yStep), 10, 0x333333, 1.0);
    }
  if (xStep > 0)
    for (double x = std::ceil(x0_ / xStep) * xStep; x <= x1_ + 1e-9; x += xStep)
      canvas_.Text(X(x), top_ + height_ + 14, TickText(x, xStep), 10, 0x333333, 0.5);
  SetColour(cr, 0x333333);
  cairo_rectangle(cr, left_ + 0.5, top_ + 0.5, width_, height_);
  cairo_stroke(cr);
  canvas_.Text(left_, top_ - 8, title, 13, 0x000000, 0, true);
  canvas_.Text(left_ + width_ / 2, top_ + height_ + 30, xLabel, 11, 0x333333, 0.5);
  cairo_save(cr);
  cairo_move_to(cr, 0, 0);
  cairo_translate(cr, left_ - 42, top_ + height_ / 2);
  cairo_rotate(cr, -M_PI / 2);
  canvas_.Text(0, 0, yLabel, 11, 0x333333, 0.5);
  cairo_restore(cr);
}

void Plot::Line(const std::vector<double>& xs, const std::vector<double>& ys, uint32_t colour, double width,
                bool dashed) {
  cairo_t* cr = canvas_.Context();
  cairo_save(cr);
  cairo_rectangle(cr, left_, top_, width_, height_);
  cairo_clip(cr);
  SetColour(cr, colour);
  cairo_set_line_width(cr, width);
  if (dashed) {
    const double dash[] = {5, 4};
    cairo_set_dash(cr, dash, 2, 0);
  }
  for (size_t i = 0; i < xs.size() && i < ys.size(); ++i) {
    if (i == 0) cairo_move_to(cr, X(xs[i]), Y(ys[i]));
    else cairo_line_to(cr, X(xs[i]), Y(ys[i]));
  }
  cairo_stroke(cr);
  cairo_restore(cr);
}

void Plot::Bar(double x0, double x1, double y, uint32_t colour) { Box(x0, x1, std::max(y0_, 0.0), y, colour, 1.0); }

void Plot::Box(double x0, double x1, double y0, double y1, uint32_t colour, double alpha) {
  cairo_t* cr = canvas_.Context();
  SetColour(cr, colour, alpha);
  const double a = X(x0), b = X(x1), c = Y(y1), d = Y(y0);
  cairo_rectangle(cr, std::min(a, b), std::min(c, d), std::abs(b - a), std::abs(d - c));
  cairo_fill(cr);
}

void Plot::SpanX(double x0, double x1, uint32_t colour, double alpha, const std::string& label) {
  Box(x0, x1, y0_, y1_, colour, alpha);
  if (!label.empty()) canvas_.Text(X(x0) + 2, top_ + 11, label, 9, colour);
}

void Plot::ErrorBar(double x, double y0, double y1, uint32_t colour) {
  cairo_t* cr = canvas_.Context();
  SetColour(cr, colour);
  cairo_set_line_width(cr, 1.5);
  cairo_move_to(cr, X(x), Y(y0));
  cairo_line_to(cr, X(x), Y(y1));
  for (double y : {y0, y1}) {
    cairo_move_to(cr, X(x) - 4, Y(y));
    cairo_line_to(cr, X(x) + 4, Y(y));
  }
  cairo_stroke(cr);
}

void Plot::Point(double x, double y, uint32_t colour, double radius) {
  cairo_t* cr = canvas_.Context();
  SetColour(cr, colour);
  cairo_arc(cr, X(x), Y(y), radius, 0, 2 * M_PI);
  cairo_fill(cr);
}

void Plot::Label(double x, double y, const std::string& text, uint32_t colour, double size) {
  canvas_.Text(X(x), Y(y), text, size, colour, 0.5);
}

}  // namespace kvr::host
