// A small chart layer over Cairo for the report and profile pictures: a plot area with data ranges, axes
// with ticks and labels, lines, bars, shaded spans and text. Colours are 0xRRGGBB.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Cairo's own tag names, declared here so that users of the chart need not include Cairo.
typedef struct _cairo cairo_t;                  // NOLINT(bugprone-reserved-identifier)
typedef struct _cairo_surface cairo_surface_t;  // NOLINT(bugprone-reserved-identifier)

namespace kvr::host {

class Canvas {
 public:
  Canvas(int width, int height);  // white
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  cairo_t* Context() { return cr_; }
  // Throws std::runtime_error when the file cannot be written.
  void WritePng(const std::filesystem::path& file);
  void Text(double x, double y, const std::string& text, double size = 12, uint32_t colour = 0x000000,
            double alignX = 0, bool bold = false);
  // Advance width of `text` in pixels, as Text draws it.
  double TextWidth(const std::string& text, double size = 12, bool bold = false);
  // A colour key: a swatch and a name per entry, one under the other from (left, top), or side by side
  // along the baseline `top` + 9 when `row`.
  void Legend(double left, double top, const std::vector<std::pair<std::string, uint32_t>>& entries, bool row = false);

 private:
  cairo_surface_t* surface_;
  cairo_t* cr_;
};

// A plot in a rectangle of the canvas mapping data x and y onto it.
class Plot {
 public:
  Plot(Canvas& canvas, double left, double top, double width, double height, double x0, double x1, double y0,
       double y1);
  double X(double x) const;
  double Y(double y) const;
  void Frame(const std::string& title, const std::string& xLabel, const std::string& yLabel, double xStep,
             double yStep);
  void Line(const std::vector<double>& xs, const std::vector<double>& ys, uint32_t colour, double width = 1.5,
            bool dashed = false);
  void Bar(double x0, double x1, double y, uint32_t colour);
  void SpanX(double x0, double x1, uint32_t colour, double alpha, const std::string& label = "");
  void Box(double x0, double x1, double y0, double y1, uint32_t colour, double alpha);  // filled
  void ErrorBar(double x, double y0, double y1, uint32_t colour);
  void Point(double x, double y, uint32_t colour, double radius = 3);
  void Label(double x, double y, const std::string& text, uint32_t colour, double size = 10);

 private:
  Canvas& canvas_;
  double left_, top_, width_, height_, x0_, x1_, y0_, y1_;
};

// Stacks labels into lanes so that none overlaps another: each label, given as its left and right pixel,
// in order, takes the first lane whose last label ends at least `gapPx` before it starts. With every one
// of `maxLanes` lanes taken, it goes to the lane that frees first. Returns each label's lane, from 0.
std::vector<int> StackLabels(const std::vector<std::pair<double, double>>& spans, double gapPx, int maxLanes);

}  // namespace kvr::host
