// Clip and shape masks on POSIX: a clip that is more than one rectangle found as pixels once (kept per
// clip and surface size) and enforced by SoftClipGuard; shapes drawn again at whole-pixel offsets painted
// from masks made at their second sight; and the mask helpers the text code shares.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "module/platform/drawing.h"
#include "module/platform/posix/drawing_records.h"

namespace kvr::platform {

namespace {

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
  context->foundClips.emplace(
      key,
      ContextRecord::FoundClip{context->clipMask, context->clipRowFirst, context->clipRowLast, context->clipRowSolid,
                               context->keptLeft, context->keptTop, context->keptRight, context->keptBottom});
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

}  // namespace

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
  const bool oneBox = context->clip.size() == 1 && !context->clip[0].subtract && context->clip[0].shapes.size() == 1 &&
                      context->clip[0].shapes[0].kind == PathShape::Box;
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

// ---- Shapes as masks ------------------------------------------------------------------------------------
// A symbol is drawn again and again with the same size and pens at other places. Cairo's coordinates are
// fixed-point with eight fraction bits, in which the pixel-centre offsets are exact, so a shape moved by
// whole pixels covers exactly the pixels it covered before, moved. A shape seen a second time is therefore
// rasterised once, without clip, into a fill mask and an outline mask, and from then on only their pixels
// are written, within the clip.

namespace {

constexpr size_t kMaxShapeMasks = 512;   // beyond this the masks are dropped and made anew
constexpr size_t kMaxShapesSeen = 4096;  // the same for the counts

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

}  // namespace

// Draws a shape through its masks when it has been seen before: `key` names its geometry relative to
// (originX, originY), `addPath` adds it moved by (dx, dy) from there. False when it is to be drawn through
// Cairo (first sight, the thinnest pen, or no masks could be made).
bool DrawShapeByMask(ContextRecord* context, std::string key, int32_t originX, int32_t originY, bool fill,
                     AddPathRef addPath) {
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

SoftClipGuard::SoftClipGuard(ContextRecord* context, double x1, double y1, double x2, double y2) {
  if (context == nullptr || !context->softClip || context->surface == nullptr || !(x1 <= x2) || !(y1 <= y2)) return;
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
  const uint32_t start =
      static_cast<uint32_t>(y) * static_cast<uint32_t>(surface->strideBytes / 4) + static_cast<uint32_t>(from);
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

}  // namespace kvr::platform
