// Drawing on POSIX over Cairo image surfaces (CAIRO_FORMAT_RGB24, words 0x00RRGGBB): contexts, surfaces,
// pens and brushes, shapes, clip paths and block copies, all aliased. Strokes are in drawing_strokes.cpp,
// clip and shape masks in drawing_masks.cpp, fonts and text in drawing_text.cpp. Leaves out raster operations other
// than copy, pattern brushes, dashed pens and world transforms.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "module/gauge/panel_sdk.h"
#include "module/platform/block_span.h"
#include "module/platform/drawing.h"
#include "module/platform/posix/drawing_records.h"

namespace kvr::platform {

namespace {

constexpr int32_t kMaxSurfaceSide = 16384;

PenRecord gNullPen{1, true, true, 0, {0, 0, 0}, LineCap::Flat, LineJoin::Mitre};
PenRecord gBlackPen{1, true, false, 1, {0, 0, 0}, LineCap::Flat, LineJoin::Mitre};
BrushRecord gNullBrush{1, true, true, {0, 0, 0}};
BrushRecord gWhiteBrush{1, true, false, {255, 255, 255}};

void SetSourceRgb(cairo_t* cairo, Rgb colour) {
  cairo_set_source_rgb(cairo, colour.red / 255.0, colour.green / 255.0, colour.blue / 255.0);
}

// ---- Paths in pixel-centre coordinates -----------------------------------------------------------------

void MoveToCentre(cairo_t* cairo, double x, double y) { cairo_move_to(cairo, x + kCentreOffsetX, y + kCentreOffsetY); }

void LineToCentre(cairo_t* cairo, double x, double y) { cairo_line_to(cairo, x + kCentreOffsetX, y + kCentreOffsetY); }

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

}  // namespace

void AddShapeRegion(cairo_t* cairo, const PathShape& shape) {
  switch (shape.kind) {
    case PathShape::Box:
      cairo_rectangle(cairo, shape.left + kCentreOffsetX, shape.top + kCentreOffsetY, shape.right - shape.left,
                      shape.bottom - shape.top);
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

namespace {

void Order(int32_t& low, int32_t& high) {
  if (low > high) std::swap(low, high);
}

// ---- Context state -------------------------------------------------------------------------------------

bool Drawable(const ContextRecord* context) {
  return context != nullptr && context->cairo != nullptr && context->pathState != ContextRecord::PathOpen;
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
  context->pathState = ContextRecord::NoPath;
  return context;
}

SurfaceRecord* NewSurfaceRecord(uint32_t* pixels, int32_t width, int32_t height, int32_t strideBytes, bool ownsPixels) {
  cairo_surface_t* cairo = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels),
                                                               CAIRO_FORMAT_RGB24, width, height, strideBytes);
  if (cairo_surface_status(cairo) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(cairo);
    return nullptr;
  }
  auto* surface = new (std::nothrow) SurfaceRecord{cairo, pixels, width, height, strideBytes, ownsPixels, nullptr};
  if (surface == nullptr) cairo_surface_destroy(cairo);
  return surface;
}

void FreeSurfaceRecord(SurfaceRecord* surface) {
  cairo_surface_finish(surface->cairo);
  cairo_surface_destroy(surface->cairo);
  if (surface->ownsPixels) std::free(surface->pixels);
  delete surface;
}

constexpr int32_t kMaxMaskedPolygon = 16;  // larger polygons are not expected to repeat, nor drawn by mask

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

void SettlePixels(ContextRecord* context, double x1, double y1, double x2, double y2) {
  SurfaceRecord* surface = context->surface;
  if (surface == nullptr || !(x1 <= x2) || !(y1 <= y2)) return;
  const int32_t left = static_cast<int32_t>(std::clamp(std::floor(x1) - 1, 0.0, static_cast<double>(surface->width)));
  const int32_t top = static_cast<int32_t>(std::clamp(std::floor(y1) - 1, 0.0, static_cast<double>(surface->height)));
  const int32_t right = static_cast<int32_t>(std::clamp(std::ceil(x2) + 1, 0.0, static_cast<double>(surface->width)));
  const int32_t bottom = static_cast<int32_t>(std::clamp(std::ceil(y2) + 1, 0.0, static_cast<double>(surface->height)));
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
  if (host->width <= 0 || host->height <= 0 || host->width > kMaxSurfaceSide || host->height > kMaxSurfaceSide) {
    return nullptr;
  }
  if (host->strideBytes < host->width * 4 || host->strideBytes % 4 != 0) return nullptr;
  ContextRecord* context = NewContext();
  if (context == nullptr) return nullptr;
  SurfaceRecord* surface = NewSurfaceRecord(host->pixels, host->width, host->height, host->strideBytes, false);
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
  DropSelected(context);
  delete context;
}

void SelectDefaultObjects(DrawContext context) {
  if (context == nullptr) return;
  SelectStartingObjects(context, &gBlackPen, &gWhiteBrush);
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

Pen UsePen(DrawContext context, Pen pen) { return UseCounted(context, &ContextRecord::pen, pen); }

Brush UseBrush(DrawContext context, Brush brush) { return UseCounted(context, &ContextRecord::brush, brush); }

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

void DrawPie(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t x1, int32_t y1,
             int32_t x2, int32_t y2) {
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
    context->path.push_back(PathShape{PathShape::Polygon, 0, 0, 0, 0, std::vector<Point>(points, points + count)});
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
  if (context != nullptr) MoveCurrent(context, x, y);
}

void DrawLineTo(DrawContext context, int32_t x, int32_t y) {
  if (context == nullptr) return;
  const Point from = MoveCurrent(context, x, y);
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
