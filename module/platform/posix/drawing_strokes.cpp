// Strokes on POSIX: the thinnest pen drawn pixel by pixel (the needle and the frames: every pixel of it in
// the pen's exact colour, as GDI's cosmetic pen), wide pens through Cairo, and the box a wide stroke covers.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <utility>
#include <vector>

#include "module/platform/drawing.h"
#include "module/platform/posix/drawing_records.h"

namespace kvr::platform {

namespace {

constexpr double kMitreLimit = 10.0;  // GDI's default: a mitre longer than 10 line widths is bevelled

// ---- The thinnest pen: pixel by pixel ------------------------------------------------------------------

// Collects lit pixels into rectangles (runs along a row or a column), and their extent, then writes them
// straight into the surface's words: every pixel of the thinnest pen has exactly the pen's colour, so no
// rasteriser is needed, only the clip.
class PixelRuns {
 public:
  PixelRuns(int32_t width, int32_t height) : width_(width), height_(height) {}

  void Plot(int64_t x, int64_t y) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    const auto px = static_cast<int32_t>(x);
    const auto py = static_cast<int32_t>(y);
    if (open_ && Grow(px, py)) return;
    Flush();
    open_ = true;
    runLeft_ = runRight_ = px;
    runTop_ = runBottom_ = py;
  }

  // Pixels of the line from (x0, y0) to (x1, y1): one per step along the longer axis, the other
  // coordinate rounded (halves away from the start). Only steps that can land on the surface are walked.
  void Line(int64_t x0, int64_t y0, int64_t x1, int64_t y1, bool includeEnd) {
    const int64_t dx = x1 - x0;
    const int64_t dy = y1 - y0;
    const int64_t steps = std::max(std::llabs(dx), std::llabs(dy));
    if (steps == 0) {
      if (includeEnd) Plot(x0, y0);
      return;
    }
    const bool alongX = std::llabs(dx) >= std::llabs(dy);
    const int64_t major0 = alongX ? x0 : y0;
    const int64_t majorStep = (alongX ? dx : dy) > 0 ? 1 : -1;
    const int64_t minor0 = alongX ? y0 : x0;
    const int64_t minorDelta = alongX ? dy : dx;
    const int64_t minorStep = minorDelta >= 0 ? 1 : -1;
    const int64_t limit = alongX ? width_ : height_;
    int64_t first = 0;
    int64_t last = includeEnd ? steps : steps - 1;
    // The major coordinate major0 + i * majorStep must lie in -1..limit.
    const int64_t enter = majorStep > 0 ? -1 - major0 : major0 - limit;
    const int64_t leave = majorStep > 0 ? limit - major0 : major0 + 1;
    first = std::max(first, enter);
    last = std::min(last, leave);
    for (int64_t i = first; i <= last; ++i) {
      const int64_t offset = (2 * i * std::llabs(minorDelta) + steps) / (2 * steps);
      const int64_t major = major0 + i * majorStep;
      const int64_t minor = minor0 + offset * minorStep;
      if (alongX) {
        Plot(major, minor);
      } else {
        Plot(minor, major);
      }
    }
  }

  // Writes what was collected in `colour` where the context's clip keeps it.
  void Fill(ContextRecord* context, Rgb colour) {
    Flush();
    if (!any_) return;
    SurfaceRecord* surface = context->surface;
    const uint8_t* kept = KeptPixels(context);
    const uint32_t word = PixelWord(colour);
    cairo_surface_flush(surface->cairo);
    auto* base = reinterpret_cast<unsigned char*>(surface->pixels);
    for (const Run& run : runs_) {
      for (int32_t y = run.top; y <= run.bottom; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(base + ptrdiff_t{y} * surface->strideBytes);
        if (kept == nullptr) {
          std::fill(row + run.left, row + run.right + 1, word);
          continue;
        }
        const uint8_t* keptRow = kept + ptrdiff_t{y} * width_;
        for (int32_t x = run.left; x <= run.right; ++x)
          if (keptRow[x] != 0) row[x] = word;
      }
    }
    cairo_surface_mark_dirty_rectangle(surface->cairo, extentLeft_, extentTop_, extentRight_ - extentLeft_ + 1,
                                       extentBottom_ - extentTop_ + 1);
  }

 private:
  struct Run {
    int32_t left, top, right, bottom;
  };

  // Takes a pixel into the open run when it lies in it or extends its row or column; false otherwise.
  bool Grow(int32_t px, int32_t py) {
    if (runTop_ == runBottom_ && py == runTop_ && px >= runLeft_ - 1 && px <= runRight_ + 1) {
      runLeft_ = std::min(runLeft_, px);
      runRight_ = std::max(runRight_, px);
      return true;
    }
    if (runLeft_ == runRight_ && px == runLeft_ && py >= runTop_ - 1 && py <= runBottom_ + 1) {
      runTop_ = std::min(runTop_, py);
      runBottom_ = std::max(runBottom_, py);
      return true;
    }
    return px >= runLeft_ && px <= runRight_ && py >= runTop_ && py <= runBottom_;
  }

  void Flush() {
    if (!open_) return;
    open_ = false;
    runs_.push_back(Run{runLeft_, runTop_, runRight_, runBottom_});
    if (!any_) {
      extentLeft_ = runLeft_, extentTop_ = runTop_, extentRight_ = runRight_, extentBottom_ = runBottom_;
      any_ = true;
    } else {
      extentLeft_ = std::min(extentLeft_, runLeft_);
      extentTop_ = std::min(extentTop_, runTop_);
      extentRight_ = std::max(extentRight_, runRight_);
      extentBottom_ = std::max(extentBottom_, runBottom_);
    }
  }

  std::vector<Run> runs_;
  int32_t width_, height_;
  bool open_ = false;
  int32_t runLeft_ = 0, runTop_ = 0, runRight_ = 0, runBottom_ = 0;
  bool any_ = false;
  int32_t extentLeft_ = 0, extentTop_ = 0, extentRight_ = 0, extentBottom_ = 0;
};

// One subpath of the flattened path, as pixels: every vertex lies in the pixel that holds it.
struct ThinSubpath {
  std::vector<Point> pixels;  // consecutive duplicates removed
  bool closed = false;
};

void DrawThinSubpath(PixelRuns& runs, const ThinSubpath& sub, bool flatCap) {
  const auto& p = sub.pixels;
  if (p.empty()) return;
  if (p.size() == 1) {
    if (sub.closed || !flatCap) runs.Plot(p[0].x, p[0].y);
    return;
  }
  for (size_t i = 0; i + 1 < p.size(); ++i) {
    const bool lastOpenEnd = !sub.closed && flatCap && i + 2 == p.size();
    runs.Line(p[i].x, p[i].y, p[i + 1].x, p[i + 1].y, !lastOpenEnd);
  }
  if (sub.closed) runs.Line(p.back().x, p.back().y, p[0].x, p[0].y, true);
}

void StrokeThin(ContextRecord* context, const PenRecord* pen) {
  cairo_t* cairo = context->cairo;
  cairo_path_t* flat = cairo_copy_path_flat(cairo);
  cairo_new_path(cairo);
  if (flat == nullptr) return;
  if (flat->status != CAIRO_STATUS_SUCCESS) {
    cairo_path_destroy(flat);
    return;
  }
  const bool flatCap = pen->cap == LineCap::Flat;
  PixelRuns runs(context->surface->width, context->surface->height);
  ThinSubpath sub;
  auto addVertex = [&sub](double x, double y) {
    // The pixel whose square holds the point: the nearest pixel centre.
    const Point pixel{static_cast<int32_t>(std::floor(std::clamp(x, -1e6, 1e6))),
                      static_cast<int32_t>(std::floor(std::clamp(y, -1e6, 1e6)))};
    if (sub.pixels.empty() || sub.pixels.back().x != pixel.x || sub.pixels.back().y != pixel.y) {
      sub.pixels.push_back(pixel);
    }
  };
  for (int i = 0; i < flat->num_data; i += flat->data[i].header.length) {
    const cairo_path_data_t& item = flat->data[i];
    switch (item.header.type) {
      case CAIRO_PATH_MOVE_TO:
        DrawThinSubpath(runs, sub, flatCap);
        sub = ThinSubpath{};
        addVertex(flat->data[i + 1].point.x, flat->data[i + 1].point.y);
        break;
      case CAIRO_PATH_LINE_TO: addVertex(flat->data[i + 1].point.x, flat->data[i + 1].point.y); break;
      case CAIRO_PATH_CLOSE_PATH:
        sub.closed = true;
        DrawThinSubpath(runs, sub, flatCap);
        sub = ThinSubpath{};
        break;
      case CAIRO_PATH_CURVE_TO:  // not in a flattened path
        break;
    }
  }
  DrawThinSubpath(runs, sub, flatCap);
  cairo_path_destroy(flat);
  runs.Fill(context, pen->colour);
}

cairo_line_cap_t CairoCap(LineCap cap) {
  switch (cap) {
    case LineCap::Square: return CAIRO_LINE_CAP_SQUARE;
    case LineCap::Round: return CAIRO_LINE_CAP_ROUND;
    case LineCap::Flat: break;
  }
  return CAIRO_LINE_CAP_BUTT;
}

cairo_line_join_t CairoJoin(LineJoin join) {
  switch (join) {
    case LineJoin::Round: return CAIRO_LINE_JOIN_ROUND;
    case LineJoin::Bevel: return CAIRO_LINE_JOIN_BEVEL;
    case LineJoin::Mitre: break;
  }
  return CAIRO_LINE_JOIN_MITER;
}

}  // namespace

// A box round everything a wide pen's stroke of Cairo's current path covers, found from the path's
// vertices: each reaches half the width out, a mitred corner as far as its mitre (unless the mitre is
// over the limit and the corner is bevelled), a square cap half the width's diagonal.
void StrokeBounds(cairo_t* cairo, const PenRecord* pen, double& x1, double& y1, double& x2, double& y2) {
  x1 = y1 = 1e300;
  x2 = y2 = -1e300;
  cairo_path_t* flat = cairo_copy_path_flat(cairo);
  if (flat == nullptr || flat->status != CAIRO_STATUS_SUCCESS) {
    if (flat != nullptr) cairo_path_destroy(flat);
    cairo_stroke_extents(cairo, &x1, &y1, &x2, &y2);
    return;
  }
  const double half = pen->widthPx / 2.0;
  const double capReach = pen->cap == LineCap::Square ? half * M_SQRT2 : half;
  std::vector<std::pair<double, double>> points;
  const auto grow = [&](double x, double y, double reach) {
    x1 = std::min(x1, x - reach);
    y1 = std::min(y1, y - reach);
    x2 = std::max(x2, x + reach);
    y2 = std::max(y2, y + reach);
  };
  const auto corner = [&](const std::pair<double, double>& before, const std::pair<double, double>& at,
                          const std::pair<double, double>& after) {
    if (pen->join != LineJoin::Mitre) return half;
    const double ax = at.first - before.first, ay = at.second - before.second;
    const double bx = after.first - at.first, by = after.second - at.second;
    const double lengths = std::hypot(ax, ay) * std::hypot(bx, by);
    if (lengths <= 0) return half * kMitreLimit;
    // The mitre is 1 / sin(theta / 2) widths long for the angle theta between the two segments.
    const double sinHalf = std::sqrt(std::max(0.0, (1.0 + (ax * bx + ay * by) / lengths) / 2.0));
    const double ratio = sinHalf > 0 ? 1.0 / sinHalf : 1e300;
    return ratio > kMitreLimit * 1.001 ? half : half * std::max(1.0, ratio);
  };
  const auto finish = [&](bool closed) {
    const size_t n = points.size();
    if (n == 1) grow(points[0].first, points[0].second, capReach);
    for (size_t i = 0; n > 1 && i < n; ++i) {
      const bool end = i == 0 || i + 1 == n;
      double reach = capReach;
      if (!end) {
        reach = corner(points[i - 1], points[i], points[i + 1]);
      } else if (closed) {
        reach = std::max(half, corner(points[(i + n - 1) % n], points[i], points[(i + 1) % n]));
      }
      grow(points[i].first, points[i].second, std::max(reach, half));
    }
    points.clear();
  };
  for (int i = 0; i < flat->num_data; i += flat->data[i].header.length) {
    const cairo_path_data_t& item = flat->data[i];
    if (item.header.type == CAIRO_PATH_MOVE_TO) {
      finish(false);
      points.emplace_back(flat->data[i + 1].point.x, flat->data[i + 1].point.y);
    } else if (item.header.type == CAIRO_PATH_LINE_TO) {
      const std::pair<double, double> p{flat->data[i + 1].point.x, flat->data[i + 1].point.y};
      if (points.empty() || points.back() != p) points.push_back(p);
    } else if (item.header.type == CAIRO_PATH_CLOSE_PATH) {
      if (points.size() > 1 && points.front() == points.back()) points.pop_back();
      const std::pair<double, double> start = points.empty() ? std::pair<double, double>{0, 0} : points.front();
      finish(true);
      points.push_back(start);  // Cairo starts the next piece where the closed one began
    }
  }
  if (!points.empty()) finish(false);
  cairo_path_destroy(flat);
  x1 -= 1;
  y1 -= 1;
  x2 += 1;
  y2 += 1;
}

void SetStrokeStyle(cairo_t* cairo, const PenRecord* pen) {
  cairo_set_line_width(cairo, pen->widthPx);
  cairo_set_line_cap(cairo, CairoCap(pen->cap));
  cairo_set_line_join(cairo, CairoJoin(pen->join));
  cairo_set_miter_limit(cairo, kMitreLimit);
}

void StrokeCurrentPath(ContextRecord* context, const PenRecord* pen) {
  cairo_t* cairo = context->cairo;
  if (pen == nullptr || pen->null) {
    cairo_new_path(cairo);
    return;
  }
  if (pen->widthPx <= 1) {
    StrokeThin(context, pen);
    return;
  }
  SetStrokeStyle(cairo, pen);
  SetSourceColour(cairo, pen->colour);
  double x1, y1, x2, y2;
  StrokeBounds(cairo, pen, x1, y1, x2, y2);
  SoftClipGuard clip(context, x1, y1, x2, y2);
  cairo_stroke(cairo);
  SettlePixels(context, x1, y1, x2, y2);
}

}  // namespace kvr::platform
