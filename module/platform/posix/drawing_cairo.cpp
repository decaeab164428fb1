// Drawing on POSIX over Cairo image surfaces (CAIRO_FORMAT_RGB24, words 0x00RRGGBB): contexts, surfaces,
// pens and brushes, shapes, clip paths and block copies, all aliased. Fonts and text are in
// drawing_text.cpp. Leaves out raster operations other than copy, pattern brushes, dashed pens and
// world transforms.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <new>
#include <utility>
#include <vector>

#include "module/gauge/panel_sdk.h"
#include "module/platform/block_span.h"
#include "module/platform/drawing.h"
#include "module/platform/posix/drawing_records.h"

namespace kvr::platform {

namespace {

constexpr int32_t kMaxSurfaceSide = 16384;
constexpr double kMitreLimit = 10.0;  // GDI's default: a mitre longer than 10 line widths is bevelled

PenRecord gNullPen{1, true, true, 0, {0, 0, 0}, LineCap::Flat, LineJoin::Mitre};
PenRecord gBlackPen{1, true, false, 1, {0, 0, 0}, LineCap::Flat, LineJoin::Mitre};
BrushRecord gNullBrush{1, true, true, {0, 0, 0}};
BrushRecord gWhiteBrush{1, true, false, {255, 255, 255}};

template <typename Record>
void Retain(Record* record) {
  if (record != nullptr && !record->stock) ++record->refs;
}

template <typename Record>
void Drop(Record* record) {
  if (record != nullptr && !record->stock && --record->refs == 0) delete record;
}

void SetSourceRgb(cairo_t* cairo, Rgb colour) {
  cairo_set_source_rgb(cairo, colour.red / 255.0, colour.green / 255.0, colour.blue / 255.0);
}

// ---- Paths in pixel-centre coordinates -----------------------------------------------------------------

void MoveToCentre(cairo_t* cairo, double x, double y) {
  cairo_move_to(cairo, x + kCentreOffsetX, y + kCentreOffsetY);
}

void LineToCentre(cairo_t* cairo, double x, double y) {
  cairo_line_to(cairo, x + kCentreOffsetX, y + kCentreOffsetY);
}

// The closed rectangle through the pixel centres (left, top) and (right, bottom).
void AddRectanglePath(cairo_t* cairo, double left, double top, double right, double bottom) {
  cairo_new_sub_path(cairo);
  MoveToCentre(cairo, left, top);
  LineToCentre(cairo, right, top);
  LineToCentre(cairo, right, bottom);
  LineToCentre(cairo, left, bottom);
  cairo_close_path(cairo);
}

// The ellipse of a GDI box: through the pixel centres left and right-1, top and bottom-1.
struct EllipseGeometry {
  double centreX, centreY;  // pixel-centre coordinates
  double radiusX, radiusY;
  bool flat() const { return radiusX <= 0.0 || radiusY <= 0.0; }
};

EllipseGeometry EllipseOfBox(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  const double l = left, t = top, r = right, b = bottom;
  return {(l + r - 1) / 2, (t + b - 1) / 2, (r - 1 - l) / 2, (b - 1 - t) / 2};
}

// A flat ellipse (a box one pixel wide or high) is the line between its extremes.
void AddEllipsePath(cairo_t* cairo, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  const EllipseGeometry e = EllipseOfBox(left, top, right, bottom);
  cairo_new_sub_path(cairo);
  if (e.flat()) {
    MoveToCentre(cairo, left, top);
    LineToCentre(cairo, right - 1, bottom - 1);
    return;
  }
  cairo_save(cairo);
  cairo_translate(cairo, e.centreX + kCentreOffsetX, e.centreY + kCentreOffsetY);
  cairo_scale(cairo, e.radiusX, e.radiusY);
  cairo_arc(cairo, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cairo);
  cairo_close_path(cairo);
}

void AddPolygonPath(cairo_t* cairo, const Point* points, int32_t count) {
  cairo_new_sub_path(cairo);
  MoveToCentre(cairo, points[0].x, points[0].y);
  for (int32_t i = 1; i < count; ++i) LineToCentre(cairo, points[i].x, points[i].y);
  cairo_close_path(cairo);
}

// A shape as a region: a box as the pixels FillBox covers, an ellipse and a polygon as their fill.
void AddShapeRegion(cairo_t* cairo, const PathShape& shape) {
  switch (shape.kind) {
    case PathShape::Box:
      cairo_rectangle(cairo, shape.left + kCentreOffsetX, shape.top + kCentreOffsetY,
                      shape.right - shape.left, shape.bottom - shape.top);
      break;
    case PathShape::Ellipse:
      if (!EllipseOfBox(shape.left, shape.top, shape.right, shape.bottom).flat()) {
        AddEllipsePath(cairo, shape.left, shape.top, shape.right, shape.bottom);
      }
      break;
    case PathShape::Polygon:
      if (shape.points.size() >= 2) {
        AddPolygonPath(cairo, shape.points.data(), static_cast<int32_t>(shape.points.size()));
      }
      break;
  }
}

void Order(int32_t& low, int32_t& high) {
  if (low > high) std::swap(low, high);
}

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
      case CAIRO_PATH_LINE_TO:
        addVertex(flat->data[i + 1].point.x, flat->data[i + 1].point.y);
        break;
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

cairo_line_cap_t CairoCap(LineCap cap) {
  switch (cap) {
    case LineCap::Square:
      return CAIRO_LINE_CAP_SQUARE;
    case LineCap::Round:
      return CAIRO_LINE_CAP_ROUND;
    case LineCap::Flat:
      break;
  }
  return CAIRO_LINE_CAP_BUTT;
}

cairo_line_join_t CairoJoin(LineJoin join) {
  switch (join) {
    case LineJoin::Round:
      return CAIRO_LINE_JOIN_ROUND;
    case LineJoin::Bevel:
      return CAIRO_LINE_JOIN_BEVEL;
    case LineJoin::Mitre:
      break;
  }
  return CAIRO_LINE_JOIN_MITER;
}

// ---- Context state -------------------------------------------------------------------------------------

bool Drawable(const ContextRecord* context) {
  return context != nullptr && context->cairo != nullptr && context->pathState != ContextRecord::PathOpen;
}

// Adds the clip's steps to `cairo` as clips, the way they are set: each step's shapes (or everything
// outside them) intersected with what the earlier steps left.
void ClipBySteps(cairo_t* cairo, const ContextRecord* context) {
  for (const ClipStep& step : context->clip) {
    cairo_new_path(cairo);
    for (const PathShape& shape : step.shapes) AddShapeRegion(cairo, shape);
    if (step.subtract) {
      // Everything outside the shapes: a rectangle round both them and the surface, taken even-odd.
      double x1, y1, x2, y2;
      cairo_path_extents(cairo, &x1, &y1, &x2, &y2);
      x1 = std::min(x1, 0.0) - 2;
      y1 = std::min(y1, 0.0) - 2;
      x2 = std::max(x2, static_cast<double>(context->surface->width)) + 2;
      y2 = std::max(y2, static_cast<double>(context->surface->height)) + 2;
      cairo_rectangle(cairo, x1, y1, x2 - x1, y2 - y1);
    }
    cairo_set_fill_rule(cairo, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_clip(cairo);
  }
  cairo_new_path(cairo);
}

// Finds the pixels the context's clip keeps on a surface of the given size, by painting through the clip
// into a mask at pixel centres exactly as a clipped drawing would.
constexpr size_t kMaxFoundClips = 16;

// The key of the context's clip on a surface of the given size.
std::string ClipKey(const ContextRecord* context, int32_t width, int32_t height) {
  std::string key;
  AppendKey(key, width);
  AppendKey(key, height);
  for (const ClipStep& step : context->clip) {
    AppendKey(key, static_cast<uint8_t>(step.subtract ? 1 : 0));
    for (const PathShape& shape : step.shapes) {
      AppendKey(key, static_cast<uint8_t>(shape.kind));
      AppendKey(key, shape.left);
      AppendKey(key, shape.top);
      AppendKey(key, shape.right);
      AppendKey(key, shape.bottom);
      AppendKey(key, static_cast<uint32_t>(shape.points.size()));
      for (const Point& point : shape.points) AppendKey(key, point);
    }
    AppendKey(key, static_cast<uint8_t>(2));  // end of the step
  }
  return key;
}

void FindClipMaskAnew(ContextRecord* context, int32_t width, int32_t height);

void FindClipMask(ContextRecord* context, int32_t width, int32_t height) {
  const std::string key = ClipKey(context, width, height);
  if (const auto found = context->foundClips.find(key); found != context->foundClips.end()) {
    const ContextRecord::FoundClip& clip = found->second;
    context->clipMask = clip.mask;
    context->clipRowFirst = clip.rowFirst;
    context->clipRowLast = clip.rowLast;
    context->clipRowSolid = clip.rowSolid;
    context->keptLeft = clip.left;
    context->keptTop = clip.top;
    context->keptRight = clip.right;
    context->keptBottom = clip.bottom;
    context->clipMaskWidth = width;
    context->clipMaskHeight = height;
    return;
  }
  FindClipMaskAnew(context, width, height);
  if (context->foundClips.size() >= kMaxFoundClips) context->foundClips.clear();
  context->foundClips.emplace(key, ContextRecord::FoundClip{context->clipMask, context->clipRowFirst,
                                                            context->clipRowLast, context->clipRowSolid,
                                                            context->keptLeft, context->keptTop,
                                                            context->keptRight, context->keptBottom});
}

void FindClipMaskAnew(ContextRecord* context, int32_t width, int32_t height) {
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
  cairo_t* painter = cairo_create(mask);
  cairo_set_antialias(painter, CAIRO_ANTIALIAS_NONE);
  ClipBySteps(painter, context);
  cairo_paint(painter);
  cairo_destroy(painter);
  cairo_surface_flush(mask);
  const unsigned char* rows = cairo_image_surface_get_data(mask);
  const int stride = cairo_image_surface_get_stride(mask);
  context->clipMask.assign(size_t(width) * size_t(height), 0);
  context->clipRowFirst.assign(size_t(height), width);
  context->clipRowLast.assign(size_t(height), -1);
  context->clipRowSolid.assign(size_t(height), 1);
  int32_t left = width, top = height, right = -1, bottom = -1;
  for (int32_t y = 0; rows != nullptr && y < height; ++y) {
    const unsigned char* row = rows + ptrdiff_t{y} * stride;
    uint8_t* kept = context->clipMask.data() + size_t(y) * size_t(width);
    int32_t first = width, last = -1, count = 0;
    for (int32_t x = 0; x < width; ++x) {
      if (row[x] == 0) continue;
      kept[x] = 1;
      first = std::min(first, x);
      last = x;
      ++count;
    }
    context->clipRowFirst[size_t(y)] = first;
    context->clipRowLast[size_t(y)] = last;
    context->clipRowSolid[size_t(y)] = count == last - first + 1 ? 1 : 0;
    if (last >= 0) {
      left = std::min(left, first);
      right = std::max(right, last);
      top = std::min(top, y);
      bottom = y;
    }
  }
  cairo_surface_destroy(mask);
  context->keptLeft = left;
  context->keptTop = top;
  context->keptRight = right;
  context->keptBottom = bottom;
  context->clipMaskWidth = width;
  context->clipMaskHeight = height;
}

// Sets the context's clip on its Cairo state. A clip to a curve makes Cairo intersect every later shape
// with the curve, which costs more than the drawing itself. So a clip that is more than one rectangle is
// found as pixels, once for the clip and the surface's size; Cairo then clips only to the kept pixels'
// bounding box, and SoftClipGuard puts back the pixels inside that box that the clip excludes.
void ApplyClip(ContextRecord* context) {
  cairo_t* cairo = context->cairo;
  if (cairo == nullptr) return;
  cairo_reset_clip(cairo);
  cairo_new_path(cairo);
  context->softClip = false;
  if (context->clip.empty()) return;
  const bool oneBox = context->clip.size() == 1 && !context->clip[0].subtract &&
                      context->clip[0].shapes.size() == 1 && context->clip[0].shapes[0].kind == PathShape::Box;
  if (oneBox) {
    ClipBySteps(cairo, context);
    return;
  }
  const int32_t width = context->surface->width, height = context->surface->height;
  if (context->clipMaskWidth != width || context->clipMaskHeight != height) FindClipMask(context, width, height);
  if (context->keptRight < 0) {
    cairo_rectangle(cairo, 0, 0, 0, 0);  // nothing kept: an empty clip
  } else {
    cairo_rectangle(cairo, context->keptLeft, context->keptTop, context->keptRight - context->keptLeft + 1,
                    context->keptBottom - context->keptTop + 1);
    context->softClip = true;
  }
  cairo_clip(cairo);
  cairo_new_path(cairo);
}

// A new clip: what was found for the old one no longer holds.
void ReplaceClip(ContextRecord* context) {
  context->clipMaskWidth = context->clipMaskHeight = 0;
  ApplyClip(context);
}

void DetachCairo(ContextRecord* context) {
  if (context->cairo != nullptr) cairo_destroy(context->cairo);
  context->cairo = nullptr;
}

void AttachCairo(ContextRecord* context) {
  DetachCairo(context);
  if (context->surface == nullptr) return;
  cairo_t* cairo = cairo_create(context->surface->cairo);
  if (cairo_status(cairo) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(cairo);
    return;
  }
  cairo_set_antialias(cairo, CAIRO_ANTIALIAS_NONE);
  context->cairo = cairo;
  ApplyClip(context);
}

ContextRecord* NewContext() {
  auto* context = new (std::nothrow) ContextRecord{};
  if (context == nullptr) return nullptr;
  context->pen = &gBlackPen;
  context->brush = &gWhiteBrush;
  context->font = DefaultFont();
  context->textColour = {0, 0, 0};
  context->backColour = {255, 255, 255};
  context->opaque = true;
  context->alignX = TextAlignX::Left;
  context->alignY = TextAlignY::Top;
  context->pathState = ContextRecord::NoPath;
  return context;
}

SurfaceRecord* NewSurfaceRecord(uint32_t* pixels, int32_t width, int32_t height, int32_t strideBytes,
                                bool ownsPixels) {
  cairo_surface_t* cairo = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(pixels), CAIRO_FORMAT_RGB24, width, height, strideBytes);
  if (cairo_surface_status(cairo) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(cairo);
    return nullptr;
  }
  auto* surface =
      new (std::nothrow) SurfaceRecord{cairo, pixels, width, height, strideBytes, ownsPixels, nullptr};
  if (surface == nullptr) cairo_surface_destroy(cairo);
  return surface;
}

void FreeSurfaceRecord(SurfaceRecord* surface) {
  cairo_surface_finish(surface->cairo);
  cairo_surface_destroy(surface->cairo);
  if (surface->ownsPixels) std::free(surface->pixels);
  delete surface;
}

// ---- Shapes as masks ------------------------------------------------------------------------------------
// A symbol is drawn again and again with the same size and pens at other places. Cairo's coordinates are
// fixed-point with eight fraction bits, in which the pixel-centre offsets are exact, so a shape moved by
// whole pixels covers exactly the pixels it covered before, moved. A shape seen a second time is therefore
// rasterised once, without clip, into a fill mask and an outline mask, and from then on only their pixels
// are written, within the clip.

constexpr size_t kMaxShapeMasks = 512;     // beyond this the masks are dropped and made anew
constexpr size_t kMaxShapesSeen = 4096;    // the same for the counts
constexpr int32_t kMaxMaskedPolygon = 16;  // larger polygons are not expected to repeat

// Rasterises the fill (even-odd) or the outline with `pen` of the path that `addPath`(cairo, dx, dy) adds
// moved by (dx, dy), into `mask`, placed relative to the unmoved path's origin.
template <typename AddPath>
bool RasteriseShape(const AddPath& addPath, const PenRecord* pen, TextMask& mask) {
  double x1, y1, x2, y2;
  {
    cairo_surface_t* probe = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cairo = cairo_create(probe);
    addPath(cairo, 0, 0);
    if (pen != nullptr) {
      StrokeBounds(cairo, pen, x1, y1, x2, y2);
    } else {
      cairo_path_extents(cairo, &x1, &y1, &x2, &y2);
    }
    cairo_destroy(cairo);
    cairo_surface_destroy(probe);
  }
  const double limit = 1e5;
  if (!(x1 <= x2) || !(y1 <= y2) || x2 - x1 > 4096 || y2 - y1 > 4096) return false;
  mask.left = static_cast<int32_t>(std::floor(std::clamp(x1, -limit, limit))) - 2;
  mask.top = static_cast<int32_t>(std::floor(std::clamp(y1, -limit, limit))) - 2;
  mask.width = static_cast<int32_t>(std::ceil(std::clamp(x2, -limit, limit))) + 2 - mask.left;
  mask.height = static_cast<int32_t>(std::ceil(std::clamp(y2, -limit, limit))) + 2 - mask.top;
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_A8, mask.width, mask.height);
  cairo_t* cairo = cairo_create(image);
  cairo_set_antialias(cairo, CAIRO_ANTIALIAS_NONE);
  cairo_set_source_rgba(cairo, 0, 0, 0, 1);
  addPath(cairo, -mask.left, -mask.top);
  if (pen != nullptr) {
    SetStrokeStyle(cairo, pen);
    cairo_stroke(cairo);
  } else {
    cairo_set_fill_rule(cairo, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill(cairo);
  }
  return TakeMask(cairo, image, mask);
}

// Draws a shape through its masks when it has been seen before: `key` names its geometry relative to
// (originX, originY), `addPath` adds it moved by (dx, dy) from there. False when it is to be drawn through
// Cairo (first sight, the thinnest pen, or no masks could be made).
template <typename AddPath>
bool DrawShapeByMask(ContextRecord* context, std::string key, int32_t originX, int32_t originY, bool fill,
                     const AddPath& addPath) {
  const PenRecord* pen = context->pen;
  const BrushRecord* brush = context->brush;
  const bool filled = fill && !brush->null;
  const bool outlined = !pen->null;
  if (outlined && pen->widthPx <= 1) return false;
  AppendKey(key, static_cast<uint8_t>((filled ? 1 : 0) | (outlined ? 2 : 0)));
  AppendKey(key, pen->widthPx);
  AppendKey(key, static_cast<uint8_t>(pen->cap));
  AppendKey(key, static_cast<uint8_t>(pen->join));
  auto found = context->shapeMasks.find(key);
  if (found == context->shapeMasks.end()) {
    if (context->shapesSeen.size() >= kMaxShapesSeen) context->shapesSeen.clear();
    if (++context->shapesSeen[key] < 2) return false;
    const auto moved = [&](cairo_t* cairo, int32_t dx, int32_t dy) { addPath(cairo, dx - originX, dy - originY); };
    std::pair<TextMask, TextMask> masks;
    if (filled && !RasteriseShape(moved, nullptr, masks.first)) return false;
    if (outlined && !RasteriseShape(moved, pen, masks.second)) return false;
    if (context->shapeMasks.size() >= kMaxShapeMasks) context->shapeMasks.clear();
    found = context->shapeMasks.emplace(key, std::move(masks)).first;
  }
  const auto& [fillMask, outlineMask] = found->second;
  if (filled) PaintMask(context, fillMask, originX + fillMask.left, originY + fillMask.top, brush->colour);
  if (outlined) PaintMask(context, outlineMask, originX + outlineMask.left, originY + outlineMask.top, pen->colour);
  return true;
}

// The key of a box-shaped figure by its kind and size.
std::string BoxKey(char kind, int32_t width, int32_t height) {
  std::string key(1, kind);
  AppendKey(key, width);
  AppendKey(key, height);
  return key;
}

// Fills then outlines Cairo's current path with what the context has selected.
void FillAndStroke(ContextRecord* context, bool fill) {
  if (fill && !context->brush->null) FillCurrentPath(context, context->brush->colour, true);
  StrokeCurrentPath(context, context->pen);
}

}  // namespace

// ---- Shared helpers ------------------------------------------------------------------------------------

const uint8_t* KeptPixels(ContextRecord* context) {
  if (context->clip.empty() || context->surface == nullptr) return nullptr;
  const int32_t width = context->surface->width, height = context->surface->height;
  if (context->clipMaskWidth != width || context->clipMaskHeight != height) FindClipMask(context, width, height);
  return context->clipMask.data();
}

bool TakeMask(cairo_t* cairo, cairo_surface_t* image, TextMask& mask) {
  cairo_surface_flush(image);
  const bool ok = cairo_status(cairo) == CAIRO_STATUS_SUCCESS;
  if (ok) {
    const unsigned char* rows = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    mask.bits.resize(size_t(mask.width) * size_t(mask.height));
    for (int32_t y = 0; y < mask.height; ++y)
      std::memcpy(mask.bits.data() + size_t(y) * size_t(mask.width), rows + ptrdiff_t{y} * stride, size_t(mask.width));
    FinishMask(mask);
  }
  cairo_destroy(cairo);
  cairo_surface_destroy(image);
  return ok;
}

void FinishMask(TextMask& mask) {
  mask.runs.clear();
  for (int32_t y = 0; y < mask.height; ++y) {
    const uint8_t* row = mask.bits.data() + size_t(y) * size_t(mask.width);
    for (int32_t x = 0; x < mask.width;) {
      if (row[x] == 0) {
        ++x;
        continue;
      }
      const int32_t first = x;
      while (x < mask.width && row[x] != 0) ++x;
      mask.runs.push_back({y, first, x - 1});
    }
  }
}

void PaintMask(ContextRecord* context, const TextMask& mask, int32_t x, int32_t y, Rgb colour) {
  SurfaceRecord* surface = context->surface;
  if (surface == nullptr || mask.runs.empty()) return;
  const uint8_t* kept = KeptPixels(context);
  const uint32_t word = PixelWord(colour);
  cairo_surface_flush(surface->cairo);
  auto* base = reinterpret_cast<unsigned char*>(surface->pixels);
  int64_t left = surface->width, top = surface->height, right = -1, bottom = -1;
  for (const TextMask::Run& run : mask.runs) {
    const int64_t row = int64_t{y} + run.row;
    if (row < 0 || row >= surface->height) continue;
    int64_t first = std::max<int64_t>(0, int64_t{x} + run.first);
    int64_t last = std::min<int64_t>(surface->width - 1, int64_t{x} + run.last);
    if (kept != nullptr && context->clipMaskHeight == surface->height && context->clipRowSolid[size_t(row)]) {
      // A row whose kept pixels are one run: the two runs' overlap.
      first = std::max<int64_t>(first, context->clipRowFirst[size_t(row)]);
      last = std::min<int64_t>(last, context->clipRowLast[size_t(row)]);
      if (first > last) continue;
      auto* pixels = reinterpret_cast<uint32_t*>(base + row * surface->strideBytes);
      std::fill(pixels + first, pixels + last + 1, word);
    } else if (first <= last) {
      auto* pixels = reinterpret_cast<uint32_t*>(base + row * surface->strideBytes);
      if (kept == nullptr) {
        std::fill(pixels + first, pixels + last + 1, word);
      } else {
        const uint8_t* keptRow = kept + row * surface->width;
        for (int64_t column = first; column <= last; ++column)
          if (keptRow[column] != 0) pixels[column] = word;
      }
    } else {
      continue;
    }
    left = std::min(left, first);
    right = std::max(right, last);
    top = std::min(top, row);
    bottom = std::max(bottom, row);
  }
  if (right >= left) {
    cairo_surface_mark_dirty_rectangle(surface->cairo, static_cast<int>(left), static_cast<int>(top),
                                       static_cast<int>(right - left + 1), static_cast<int>(bottom - top + 1));
  }
}

void SetSourceColour(cairo_t* cairo, Rgb colour) { SetSourceRgb(cairo, colour); }

void FillCurrentPath(ContextRecord* context, Rgb colour, bool evenOdd) {
  cairo_t* cairo = context->cairo;
  SetSourceRgb(cairo, colour);
  cairo_set_fill_rule(cairo, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  // A fill stays inside its path's points: a box that is cheap to find and never too small.
  double x1, y1, x2, y2;
  cairo_path_extents(cairo, &x1, &y1, &x2, &y2);
  SoftClipGuard clip(context, x1, y1, x2, y2);
  cairo_fill_preserve(cairo);
  SettlePixels(context, x1, y1, x2, y2);
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
  SetSourceRgb(cairo, pen->colour);
  double x1, y1, x2, y2;
  StrokeBounds(cairo, pen, x1, y1, x2, y2);
  SoftClipGuard clip(context, x1, y1, x2, y2);
  cairo_stroke(cairo);
  SettlePixels(context, x1, y1, x2, y2);
}

SoftClipGuard::SoftClipGuard(ContextRecord* context, double x1, double y1, double x2, double y2) {
  if (context == nullptr || !context->softClip || context->surface == nullptr || !(x1 <= x2) || !(y1 <= y2))
    return;
  SurfaceRecord* surface = context->surface;
  const auto clampTo = [](double v, int32_t limit) {
    return static_cast<int32_t>(std::clamp(v, -1.0, static_cast<double>(limit)));
  };
  left_ = std::max(0, clampTo(std::floor(x1) - 1, surface->width));
  top_ = std::max(0, clampTo(std::floor(y1) - 1, surface->height));
  right_ = std::min(surface->width - 1, clampTo(std::ceil(x2) + 1, surface->width));
  bottom_ = std::min(surface->height - 1, clampTo(std::ceil(y2) + 1, surface->height));
  if (left_ > right_ || top_ > bottom_) return;
  context_ = context;
  spanStarts_.swap(context->spareSpanStarts);
  spanLengths_.swap(context->spareSpanLengths);
  saved_.swap(context->spareSaved);
  spanStarts_.clear();
  spanLengths_.clear();
  saved_.clear();
  cairo_surface_flush(surface->cairo);
  for (int32_t y = top_; y <= bottom_; ++y) {
    const int32_t first = context->clipRowFirst[size_t(y)], last = context->clipRowLast[size_t(y)];
    if (last < 0) {
      Save(y, left_, right_);
    } else if (context->clipRowSolid[size_t(y)]) {
      Save(y, left_, std::min(right_, first - 1));
      Save(y, std::max(left_, last + 1), right_);
    } else {
      const uint8_t* kept = context->clipMask.data() + size_t(y) * size_t(surface->width);
      for (int32_t x = left_; x <= right_;) {
        if (kept[x] != 0) {
          ++x;
          continue;
        }
        int32_t end = x;
        while (end < right_ && kept[end + 1] == 0) ++end;
        Save(y, x, end);
        x = end + 1;
      }
    }
  }
}

void SoftClipGuard::Save(int32_t y, int32_t from, int32_t to) {
  if (from > to) return;
  const SurfaceRecord* surface = context_->surface;
  const uint32_t start = static_cast<uint32_t>(y) * static_cast<uint32_t>(surface->strideBytes / 4) +
                         static_cast<uint32_t>(from);
  const auto count = static_cast<uint32_t>(to - from + 1);
  spanStarts_.push_back(start);
  spanLengths_.push_back(count);
  const size_t at = saved_.size();
  saved_.resize(at + count);
  std::memcpy(saved_.data() + at, surface->pixels + start, count * sizeof(uint32_t));
}

SoftClipGuard::~SoftClipGuard() {
  if (context_ == nullptr) return;
  if (!spanStarts_.empty()) {
    SurfaceRecord* surface = context_->surface;
    cairo_surface_flush(surface->cairo);
    const uint32_t* from = saved_.data();
    for (size_t i = 0; i < spanStarts_.size(); ++i) {
      std::memcpy(surface->pixels + spanStarts_[i], from, spanLengths_[i] * sizeof(uint32_t));
      from += spanLengths_[i];
    }
    cairo_surface_mark_dirty_rectangle(surface->cairo, left_, top_, right_ - left_ + 1, bottom_ - top_ + 1);
  }
  spanStarts_.swap(context_->spareSpanStarts);
  spanLengths_.swap(context_->spareSpanLengths);
  saved_.swap(context_->spareSaved);
}

void SettlePixels(ContextRecord* context, double x1, double y1, double x2, double y2) {
  SurfaceRecord* surface = context->surface;
  if (surface == nullptr || !(x1 <= x2) || !(y1 <= y2)) return;
  const int32_t left =
      static_cast<int32_t>(std::clamp(std::floor(x1) - 1, 0.0, static_cast<double>(surface->width)));
  const int32_t top =
      static_cast<int32_t>(std::clamp(std::floor(y1) - 1, 0.0, static_cast<double>(surface->height)));
  const int32_t right =
      static_cast<int32_t>(std::clamp(std::ceil(x2) + 1, 0.0, static_cast<double>(surface->width)));
  const int32_t bottom =
      static_cast<int32_t>(std::clamp(std::ceil(y2) + 1, 0.0, static_cast<double>(surface->height)));
  if (left >= right || top >= bottom) return;
  cairo_surface_flush(surface->cairo);
  auto* base = reinterpret_cast<unsigned char*>(surface->pixels);
  for (int32_t y = top; y < bottom; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(base + ptrdiff_t{y} * surface->strideBytes);
    for (int32_t x = left; x < right; ++x) row[x] &= 0x00FFFFFFu;
  }
  cairo_surface_mark_dirty_rectangle(surface->cairo, left, top, right - left, bottom - top);
}

// ---- Contexts ------------------------------------------------------------------------------------------

DrawContext MakeCompatibleContext(DrawContext /*templateContext: every surface here is 32-bit*/) {
  return NewContext();
}

DrawContext ContextFromHost(void* deviceContext) {
  const auto* host = static_cast<const HostSurface*>(deviceContext);
  if (host == nullptr || host->magic != kHostSurfaceMagic || host->pixels == nullptr) return nullptr;
  if (host->width <= 0 || host->height <= 0 || host->width > kMaxSurfaceSide ||
      host->height > kMaxSurfaceSide) {
    return nullptr;
  }
  if (host->strideBytes < host->width * 4 || host->strideBytes % 4 != 0) return nullptr;
  ContextRecord* context = NewContext();
  if (context == nullptr) return nullptr;
  SurfaceRecord* surface =
      NewSurfaceRecord(host->pixels, host->width, host->height, host->strideBytes, false);
  if (surface == nullptr) {
    ReleaseContext(context);
    return nullptr;
  }
  context->host = true;
  context->surface = surface;
  surface->selectedIn = context;
  AttachCairo(context);
  return context;
}

void ReleaseContext(DrawContext context) {
  if (context == nullptr) return;
  DetachCairo(context);
  if (context->surface != nullptr) {
    context->surface->selectedIn = nullptr;
    if (context->host) FreeSurfaceRecord(context->surface);
  }
  Drop(context->pen);
  Drop(context->brush);
  DropFont(context->font);
  delete context;
}

void SelectDefaultObjects(DrawContext context) {
  if (context == nullptr) return;
  UsePen(context, &gBlackPen);
  UseBrush(context, &gWhiteBrush);
  if (FontRecord* font = DefaultFont()) UseFont(context, font);
  if (!context->host) UseSurface(context, nullptr);
}

// ---- Surfaces ------------------------------------------------------------------------------------------

Surface MakeSurface(DrawContext /*context: every surface here is 32-bit*/, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) return nullptr;
  auto* pixels = static_cast<uint32_t*>(std::calloc(size_t(width) * size_t(height), sizeof(uint32_t)));
  if (pixels == nullptr) return nullptr;
  SurfaceRecord* surface = NewSurfaceRecord(pixels, width, height, width * 4, true);
  if (surface == nullptr) std::free(pixels);
  return surface;
}

bool ReleaseSurface(Surface surface) {
  if (surface == nullptr) return true;
  if (surface->selectedIn != nullptr) return false;
  FreeSurfaceRecord(surface);
  return true;
}

bool UseSurface(DrawContext context, Surface surface) {
  if (context == nullptr || context->host) return false;
  if (surface == context->surface) return true;
  if (surface != nullptr && surface->selectedIn != nullptr) return false;
  DetachCairo(context);
  if (context->surface != nullptr) context->surface->selectedIn = nullptr;
  context->surface = surface;
  if (surface != nullptr) surface->selectedIn = context;
  AttachCairo(context);
  return true;
}

PixelView SurfacePixels(Surface surface) {
  if (surface == nullptr) return {nullptr, 0, 0, 0};
  cairo_surface_flush(surface->cairo);
  return {surface->pixels, surface->width, surface->height, surface->strideBytes};
}

void MarkPixelsChanged(Surface surface) {
  if (surface != nullptr) cairo_surface_mark_dirty(surface->cairo);
}

Surface SelectedSurface(DrawContext context) { return context == nullptr ? nullptr : context->surface; }

// ---- Pens and brushes ----------------------------------------------------------------------------------

Pen MakePen(int32_t widthPx, Rgb colour, LineCap cap, LineJoin join) {
  if (widthPx < 0) return nullptr;
  return new (std::nothrow) PenRecord{1, false, false, widthPx, colour, cap, join};
}

void ReleasePen(Pen pen) { Drop(pen); }

Brush MakeSolidBrush(Rgb colour) { return new (std::nothrow) BrushRecord{1, false, false, colour}; }

void ReleaseBrush(Brush brush) { Drop(brush); }

Pen NullPen() { return &gNullPen; }

Brush NullBrush() { return &gNullBrush; }

Pen UsePen(DrawContext context, Pen pen) {
  if (context == nullptr || pen == nullptr) return nullptr;
  Pen previous = context->pen;
  Retain(pen);
  context->pen = pen;
  Drop(previous);
  return previous;
}

Brush UseBrush(DrawContext context, Brush brush) {
  if (context == nullptr || brush == nullptr) return nullptr;
  Brush previous = context->brush;
  Retain(brush);
  context->brush = brush;
  Drop(previous);
  return previous;
}

// ---- Shapes --------------------------------------------------------------------------------------------

void FillBox(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom, Brush brush) {
  if (!Drawable(context) || brush == nullptr || brush->null) return;
  Order(left, right);
  Order(top, bottom);
  if (left == right || top == bottom) return;
  cairo_new_path(context->cairo);
  AddShapeRegion(context->cairo, PathShape{PathShape::Box, left, top, right, bottom, {}});
  FillCurrentPath(context, brush->colour, false);
  cairo_new_path(context->cairo);
}

void DrawRectangle(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (context == nullptr) return;
  Order(left, right);
  Order(top, bottom);
  if (context->pathState == ContextRecord::PathOpen) {
    context->path.push_back(PathShape{PathShape::Box, left, top, right, bottom, {}});
    return;
  }
  if (!Drawable(context) || left == right || top == bottom) return;
  const auto addPath = [=](cairo_t* cairo, int32_t dx, int32_t dy) {
    AddRectanglePath(cairo, left + dx, top + dy, right - 1 + dx, bottom - 1 + dy);
  };
  if (DrawShapeByMask(context, BoxKey('R', right - left, bottom - top), left, top, true, addPath)) {
    return;
  }
  cairo_new_path(context->cairo);
  addPath(context->cairo, 0, 0);
  FillAndStroke(context, true);
}

void DrawEllipse(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (context == nullptr) return;
  Order(left, right);
  Order(top, bottom);
  if (context->pathState == ContextRecord::PathOpen) {
    context->path.push_back(PathShape{PathShape::Ellipse, left, top, right, bottom, {}});
    return;
  }
  if (!Drawable(context) || left == right || top == bottom) return;
  const bool fill = !EllipseOfBox(left, top, right, bottom).flat();
  const auto addPath = [=](cairo_t* cairo, int32_t dx, int32_t dy) {
    AddEllipsePath(cairo, left + dx, top + dy, right + dx, bottom + dy);
  };
  if (DrawShapeByMask(context, BoxKey('E', right - left, bottom - top), left, top, fill, addPath)) {
    return;
  }
  cairo_new_path(context->cairo);
  addPath(context->cairo, 0, 0);
  FillAndStroke(context, fill);
}

void DrawPie(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t x1,
             int32_t y1, int32_t x2, int32_t y2) {
  if (!Drawable(context)) return;
  Order(left, right);
  Order(top, bottom);
  const EllipseGeometry e = EllipseOfBox(left, top, right, bottom);
  if (e.flat()) return;
  // Angles on the unit circle that the ellipse is scaled from; Cairo's angles grow clockwise on the
  // screen, so counter-clockwise is arc_negative.
  const double start = std::atan2((y1 - e.centreY) / e.radiusY, (x1 - e.centreX) / e.radiusX);
  double end = std::atan2((y2 - e.centreY) / e.radiusY, (x2 - e.centreX) / e.radiusX);
  if (end == start) end = start - 2 * M_PI;
  cairo_t* cairo = context->cairo;
  cairo_new_path(cairo);
  MoveToCentre(cairo, e.centreX, e.centreY);
  cairo_save(cairo);
  cairo_translate(cairo, e.centreX + kCentreOffsetX, e.centreY + kCentreOffsetY);
  cairo_scale(cairo, e.radiusX, e.radiusY);
  cairo_arc_negative(cairo, 0, 0, 1, start, end);
  cairo_restore(cairo);
  cairo_close_path(cairo);
  FillAndStroke(context, true);
}

void DrawPolygon(DrawContext context, const Point* points, int32_t count) {
  if (context == nullptr || points == nullptr || count < 2) return;
  if (context->pathState == ContextRecord::PathOpen) {
    context->path.push_back(
        PathShape{PathShape::Polygon, 0, 0, 0, 0, std::vector<Point>(points, points + count)});
    return;
  }
  if (!Drawable(context)) return;
  if (count <= kMaxMaskedPolygon) {
    std::string key(1, 'P');
    for (int32_t i = 1; i < count; ++i) {
      AppendKey(key, points[i].x - points[0].x);
      AppendKey(key, points[i].y - points[0].y);
    }
    const auto addPath = [=](cairo_t* cairo, int32_t dx, int32_t dy) {
      cairo_new_sub_path(cairo);
      MoveToCentre(cairo, points[0].x + dx, points[0].y + dy);
      for (int32_t i = 1; i < count; ++i) LineToCentre(cairo, points[i].x + dx, points[i].y + dy);
      cairo_close_path(cairo);
    };
    if (DrawShapeByMask(context, std::move(key), points[0].x, points[0].y, true, addPath)) return;
  }
  cairo_new_path(context->cairo);
  AddPolygonPath(context->cairo, points, count);
  FillAndStroke(context, true);
}

void MoveTo(DrawContext context, int32_t x, int32_t y) {
  if (context != nullptr) context->current = {x, y};
}

void DrawLineTo(DrawContext context, int32_t x, int32_t y) {
  if (context == nullptr) return;
  const Point from = context->current;
  context->current = {x, y};
  if (!Drawable(context)) return;
  const PenRecord* pen = context->pen;
  cairo_t* cairo = context->cairo;
  cairo_new_path(cairo);
  if (from.x == x && from.y == y && pen->widthPx > 1 && pen->cap == LineCap::Square && !pen->null) {
    // Cairo gives a zero-length segment no square cap; a square pen's dot is its square.
    const double half = pen->widthPx / 2.0;
    cairo_rectangle(cairo, x + kCentreOffsetX - half, y + kCentreOffsetY - half, pen->widthPx, pen->widthPx);
    FillCurrentPath(context, pen->colour, false);
    cairo_new_path(cairo);
    return;
  }
  MoveToCentre(cairo, from.x, from.y);
  LineToCentre(cairo, x, y);
  StrokeCurrentPath(context, pen);
}

// ---- Paths and clipping --------------------------------------------------------------------------------

void StartPath(DrawContext context) {
  if (context == nullptr) return;
  context->path.clear();
  context->pathState = ContextRecord::PathOpen;
}

void FinishPath(DrawContext context) {
  if (context != nullptr && context->pathState == ContextRecord::PathOpen) {
    context->pathState = ContextRecord::PathDone;
  }
}

bool ClipToPath(DrawContext context, ClipCombine combine) {
  if (context == nullptr || context->pathState != ContextRecord::PathDone) return false;
  ClipStep step{std::move(context->path), combine == ClipCombine::Difference};
  context->path.clear();
  context->pathState = ContextRecord::NoPath;
  if (combine == ClipCombine::Copy) context->clip.clear();
  context->clip.push_back(std::move(step));
  ReplaceClip(context);
  return true;
}

void SetClipBox(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (context == nullptr) return;
  Order(left, right);
  Order(top, bottom);
  context->clip.clear();
  context->clip.push_back(ClipStep{{PathShape{PathShape::Box, left, top, right, bottom, {}}}, false});
  ReplaceClip(context);
}

void ClearClip(DrawContext context) {
  if (context == nullptr) return;
  context->clip.clear();
  ReplaceClip(context);
}

// ---- Block copy ----------------------------------------------------------------------------------------

bool CopyBlock(DrawContext target, int32_t x, int32_t y, int32_t width, int32_t height, DrawContext source,
               int32_t sourceX, int32_t sourceY) {
  if (target == nullptr || source == nullptr || target->cairo == nullptr || source->surface == nullptr) {
    return false;
  }
  SurfaceRecord* from = source->surface;
  // Leave out what lies outside the source; the target's edges and clip are Cairo's.
  int64_t sx = sourceX, sy = sourceY, tx = x, ty = y, w = width, h = height;
  CutSpan(sx, tx, w, from->width);
  CutSpan(sy, ty, h, from->height);
  if (w <= 0 || h <= 0) return true;
  SurfaceRecord* to = target->surface;
  if (from != to && target->clip.empty()) {
    // Two surfaces and no clip: the block's words as they are, within the target.
    CutSpan(tx, sx, w, to->width);
    CutSpan(ty, sy, h, to->height);
    if (w <= 0 || h <= 0) return true;
    cairo_surface_flush(from->cairo);
    cairo_surface_flush(to->cairo);
    const auto* in = reinterpret_cast<const unsigned char*>(from->pixels);
    auto* out = reinterpret_cast<unsigned char*>(to->pixels);
    for (int64_t row = 0; row < h; ++row) {
      const auto* source = reinterpret_cast<const uint32_t*>(in + (sy + row) * from->strideBytes) + sx;
      auto* destination = reinterpret_cast<uint32_t*>(out + (ty + row) * to->strideBytes) + tx;
      for (int64_t column = 0; column < w; ++column) destination[column] = source[column] & 0x00FFFFFFu;
    }
    cairo_surface_mark_dirty_rectangle(to->cairo, static_cast<int>(tx), static_cast<int>(ty), static_cast<int>(w),
                                       static_cast<int>(h));
    return true;
  }
  cairo_surface_t* image = from->cairo;
  cairo_surface_t* copy = nullptr;
  if (from == target->surface) {
    // Copying within one surface: take the block out first so that overlapping parts stay intact.
    copy = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(w), static_cast<int>(h));
    if (cairo_surface_status(copy) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(copy);
      return false;
    }
    cairo_surface_flush(from->cairo);
    cairo_surface_flush(copy);
    unsigned char* out = cairo_image_surface_get_data(copy);
    const int outStride = cairo_image_surface_get_stride(copy);
    const auto* in = reinterpret_cast<const unsigned char*>(from->pixels);
    for (int64_t row = 0; row < h; ++row) {
      std::memcpy(out + row * outStride, in + (sy + row) * from->strideBytes + sx * 4, size_t(w) * 4);
    }
    cairo_surface_mark_dirty(copy);
    image = copy;
    sx = 0;
    sy = 0;
  }
  cairo_t* cairo = target->cairo;
  cairo_save(cairo);
  cairo_set_operator(cairo, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cairo, image, double(tx - sx), double(ty - sy));
  cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_NEAREST);
  cairo_new_path(cairo);
  cairo_rectangle(cairo, double(tx), double(ty), double(w), double(h));
  {
    SoftClipGuard clip(target, double(tx), double(ty), double(tx + w), double(ty + h));
    cairo_fill(cairo);
  }
  cairo_restore(cairo);
  if (copy != nullptr) cairo_surface_destroy(copy);
  SettlePixels(target, double(tx), double(ty), double(tx + w), double(ty + h));
  return true;
}

bool WriteSurfacePng(Surface surface, const char* path) {
  if (surface == nullptr || path == nullptr) return false;
  cairo_surface_flush(surface->cairo);
  return cairo_surface_write_to_png(surface->cairo, path) == CAIRO_STATUS_SUCCESS;
}

}  // namespace kvr::platform
