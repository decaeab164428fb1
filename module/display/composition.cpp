// One frame of the IVSI: the change test and full redraw of the face, the restore of the changed region
// from the saved face, the needle, the traffic overlay, the 2:1 filter of an anti-aliased picture, and
// the copy to the gauge's drawing surface.
#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "module/display/display.h"
#include "module/display/ivsi_display.h"
#include "module/logic/logic.h"

namespace kvr {

namespace {

// Packed-channel masks of the filter: each keeps what a shift leaves of the three 8-bit channels, so that
// sums of up to 255 per channel never carry into the next one.
constexpr uint32_t kEighthMask = 0x1F1F1F;     // after >> 3
constexpr uint32_t kSixteenthMask = 0x0F0F0F;  // after >> 4
constexpr uint32_t kQuarterMask = 0x3F3F3F;    // after >> 2
constexpr uint32_t kCarry5Mask = 0x070707;     // after >> 5
constexpr uint32_t kCarry7Mask = 0x010101;     // after >> 7

Box Intersection(const Box& a, const Box& b) {
  return Box{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
             std::min(a.bottom, b.bottom)};
}

// Anti-aliased boxes start on an even pixel and end on one, so that the filter's output pixels cover
// them: left and top go down to (value - 1) made even, right and bottom to (value + 2) made even.
void Widen(Box& box) {
  if (box.Empty()) return;
  box.left = (box.left - 1) & ~1;  // two's complement: rounds down for negatives too
  box.top = (box.top - 1) & ~1;
  box.right = (box.right + 2) & ~1;
  box.bottom = (box.bottom + 2) & ~1;
}

// The altitude readout, hundreds of feet: -9999 (not shown) in relative mode, else 0..999.
int32_t OwnAltitudeHundreds(const IvsiDisplay& d) {
  if (selectors.absoluteRelative != 0) return -9999;
  const TrafficSource* source = BoundSource(d);
  if (source == nullptr) return 0;
  const float hundreds = source->ownPressureAltitudeFt * 0.01f + 0.5f;
  if (!(hundreds >= 0.0f)) return 0;  // below sea level, or not a number
  if (hundreds >= 999.0f) return 999;
  return static_cast<int32_t>(hundreds);
}

// The 2:1 filter on packed 0x00RRGGBB words, each 8-bit channel divided with truncating shifts and
// masks so that no channel carries into the next. For the row above or below a centre column c:
// r = mid/8 + left/16 + right/16; for the centre row: m = mid/4 + left/8 + right/8.
uint32_t EdgeAt(const uint32_t* row, int32_t c) {
  return ((row[c] >> 3) & kEighthMask) + ((row[c - 1] >> 4) & kSixteenthMask) + ((row[c + 1] >> 4) & kSixteenthMask);
}

uint32_t MiddleAt(const uint32_t* row, int32_t c) {
  return ((row[c] >> 2) & kQuarterMask) + ((row[c - 1] >> 3) & kEighthMask) + ((row[c + 1] >> 3) & kEighthMask);
}

// Makes up for the truncation of the shifts: a white block comes out 255, not 247.
uint32_t FinishSum(uint32_t sum) { return sum + ((sum >> 5) & kCarry5Mask) + ((sum >> 7) & kCarry7Mask); }

uint32_t* Row(const platform::PixelView& view, int32_t y) {
  return view.pixels + static_cast<ptrdiff_t>(y) * (view.strideBytes / 4);
}

// Puts the saved face back over `region` (already inside the surface).
void Restore(IvsiDisplay& d, const Box& region) {
  const platform::PixelView face = platform::SurfacePixels(d.faceLayer);
  const size_t bytes = static_cast<size_t>(region.right - region.left + 1) * sizeof(uint32_t);
  for (int32_t y = region.top; y <= region.bottom; ++y)
    std::memcpy(Row(face, y) + region.left, d.savedFace + static_cast<ptrdiff_t>(y) * face.width + region.left, bytes);
  platform::MarkPixelsChanged(d.faceLayer);
}

// Lays the non-transparent traffic pixels of `region` over the face.
void Overlay(IvsiDisplay& d, const Box& region) {
  const platform::PixelView face = platform::SurfacePixels(d.faceLayer);
  const platform::PixelView traffic = platform::SurfacePixels(d.trafficLayer);
  for (int32_t y = region.top; y <= region.bottom; ++y) {
    const uint32_t* from = Row(traffic, y);
    uint32_t* to = Row(face, y);
    for (int32_t x = region.left; x <= region.right; ++x)
      if (from[x] != 0) to[x] = from[x];
  }
  platform::MarkPixelsChanged(d.faceLayer);
}

void DrawNeedle(IvsiDisplay& d) {
  platform::UseSurface(d.drawContext, d.faceLayer);
  platform::Pen previousPen = platform::UsePen(d.drawContext, d.needlePen);
  platform::Brush previousBrush = platform::UseBrush(d.drawContext, d.needleBrush);
  platform::DrawPolygon(d.drawContext, d.needlePoints, 7);
  platform::UsePen(d.drawContext, previousPen);
  platform::UseBrush(d.drawContext, previousBrush);
}

// The slot of the kept frame and of the seen needle for a needle with these corners.
size_t NeedleSlot(const platform::Point (&points)[7]) {
  uint32_t hash = 2166136261u;
  for (const platform::Point& p : points) {
    hash = (hash ^ static_cast<uint32_t>(p.x)) * 16777619u;
    hash = (hash ^ static_cast<uint32_t>(p.y)) * 16777619u;
  }
  return hash % kNeedleSlots;
}

bool SameCorners(const platform::Point (&a)[7], const platform::Point (&b)[7]) {
  for (int i = 0; i < 7; ++i)
    if (a[i].x != b[i].x || a[i].y != b[i].y) return false;
  return true;
}

// Copies the output block of the even-bounded surface box `box` between the face layer's output pixels
// (where the filter leaves them) and a buffer of `box`'s output size (toFace: buffer to face).
void CopyOutput(IvsiDisplay& d, const Box& box, uint32_t* buffer, int32_t bufferStride, bool toFace) {
  const platform::PixelView face = platform::SurfacePixels(d.faceLayer);
  const int32_t width = (box.right - box.left) / 2, height = (box.bottom - box.top) / 2;
  const size_t bytes = static_cast<size_t>(width) * sizeof(uint32_t);
  for (int32_t k = 0; k < height; ++k) {
    uint32_t* out = Row(face, box.top / 2 + k) + box.left / 2;
    uint32_t* kept = buffer + static_cast<ptrdiff_t>(k) * bufferStride;
    if (toFace) std::memcpy(out, kept, bytes);
    else std::memcpy(kept, out, bytes);
  }
  if (toFace) platform::MarkPixelsChanged(d.faceLayer);
}

size_t FrameBytes(const NeedleFrame& frame) {
  return (frame.spans.capacity() + frame.pixels.capacity()) * sizeof(uint32_t);
}

// A slot in use is refilled; a new one only while the kept frames are within their budget.
bool CanKeep(const IvsiDisplay& d, const NeedleFrame& frame) {
  return FrameBytes(frame) != 0 || d.needleFrameBytes < kNeedleFrameBudget;
}

// Keeps the filter's output over the needle's box, as the face layer holds it after the filter.
void KeepNeedleFrame(IvsiDisplay& d, NeedleFrame& frame) {
  if (!CanKeep(d, frame)) return;
  const size_t bytesBefore = FrameBytes(frame);
  const Box& box = d.needleBox;
  const int32_t width = (box.right - box.left) / 2, rows = (box.bottom - box.top) / 2;
  frame.firstRow = box.top / 2;
  frame.spans.assign(static_cast<size_t>(rows) * 2, width);
  for (int32_t k = 0; k < rows; ++k) frame.spans[2 * k] = box.left / 2;
  frame.pixels.resize(static_cast<size_t>(width) * rows);
  CopyOutput(d, box, frame.pixels.data(), width, false);
  frame.compact = false;
  std::copy(std::begin(d.needlePoints), std::end(d.needlePoints), frame.points);
  frame.layersVersion = d.layersVersion;
  d.needleFrameBytes += FrameBytes(frame) - bytesBefore;
}

// Cuts each row of a kept frame down to the pixels that differ from the background (which must be
// current): the rest is the background's anyway. Done when the frame is first reused.
void CompactNeedleFrame(IvsiDisplay& d, NeedleFrame& frame) {
  const size_t bytesBefore = FrameBytes(frame);
  const int32_t stride = d.surfaceWidth / 2;
  std::vector<uint32_t> pixels;
  const uint32_t* from = frame.pixels.data();
  for (size_t i = 0; i < frame.spans.size(); i += 2) {
    const int32_t first = frame.spans[i], count = frame.spans[i + 1];
    const uint32_t* background = d.backgroundOutput.data() +
                                 static_cast<ptrdiff_t>(frame.firstRow + static_cast<int32_t>(i / 2)) * stride + first;
    int32_t low = 0, high = count - 1;
    while (low <= high && from[low] == background[low]) ++low;
    while (high >= low && from[high] == background[high]) --high;
    frame.spans[i] = first + low;
    frame.spans[i + 1] = high - low + 1;
    pixels.insert(pixels.end(), from + low, from + high + 1);
    from += count;
  }
  frame.pixels = std::move(pixels);
  frame.pixels.shrink_to_fit();
  frame.spans.shrink_to_fit();
  frame.compact = true;
  d.needleFrameBytes = d.needleFrameBytes + FrameBytes(frame) - bytesBefore;
}

// Puts a kept needle's output pixels back where the filter would leave them.
void ShowNeedleFrame(IvsiDisplay& d, const NeedleFrame& frame) {
  const platform::PixelView face = platform::SurfacePixels(d.faceLayer);
  const uint32_t* from = frame.pixels.data();
  for (size_t i = 0; i < frame.spans.size(); i += 2) {
    const int32_t count = frame.spans[i + 1];
    std::memcpy(Row(face, frame.firstRow + static_cast<int32_t>(i / 2)) + frame.spans[i], from,
                static_cast<size_t>(count) * sizeof(uint32_t));
    from += count;
  }
  platform::MarkPixelsChanged(d.faceLayer);
}

// The filtered face with its traffic and without a needle, made once for each version of the layers.
// It leaves the face layer as a composition does: to be restored where it is used next.
void PrepareBackground(IvsiDisplay& d) {
  if (d.backgroundVersion == d.layersVersion) return;
  Restore(d, d.fullBox);
  if (!d.logicFailed) {
    const Box overlay = Intersection(d.trafficBox, d.fullBox);
    if (!overlay.Empty()) Overlay(d, overlay);
  }
  DownsampleRegion(d, d.fullBox);
  const int32_t width = d.surfaceWidth / 2;
  d.backgroundOutput.resize(static_cast<size_t>(width) * (d.surfaceHeight / 2));
  CopyOutput(d, d.fullBox, d.backgroundOutput.data(), width, false);
  d.backgroundVersion = d.layersVersion;
}

}  // namespace

void ComposeFrame(IvsiDisplay& d, void* targetContext, int32_t x, int32_t y, float verticalSpeedFpm, bool powered,
                  bool vsiFailed) {
  RefreshLogicFailure(d);
  const int32_t altitude = OwnAltitudeHundreds(d);

  // The face is redrawn when anything it shows has changed since it was drawn. Range, mode and advisory
  // are refreshed only after this test, so a change of them shows one composition later.
  const bool redrawDue =
      FaceOutOfDate(d) || altitude != d.ownAltitudeHundreds || powered != d.powered || vsiFailed != d.vsiFailed;
  d.ownAltitudeHundreds = altitude;
  d.powered = powered;
  d.vsiFailed = vsiFailed;
  UpdateSelectedRange();
  EvaluateMode(d);

  if (redrawDue) {
    ClearTrafficLayer(d);
    RedrawFace(d);
    DrawTrafficLayer(d);
  }

  Box region;
  d.needleBox = Box{};
  NeedleFrame* keptFrame = nullptr;  // anti-aliased: the slot for this needle's filtered pixels
  bool reuse = false;                // they are there, for the layers as they are now
  bool keep = false;                 // the needle is shown the second time: its pixels are to be kept
  SeenNeedle* seenNeedle = nullptr;
  if (!powered) {
    // The plain background: nothing to restore or draw, only what is still dirty to copy.
    region = Intersection(d.dirtyBox, d.fullBox);
  } else {
    // The needle, shown unless the vertical speed has failed or the test pattern is up.
    if (!vsiFailed && d.displayMode != kDisplayModeTest) {
      const float theta = VerticalSpeedAngle(verticalSpeedFpm);
      const float c = std::cos(theta), s = std::sin(theta);
      const int32_t pivotX = d.surfaceWidth / 2, pivotY = d.surfaceHeight / 2;
      for (int i = 0; i < 7; ++i) {
        const float nx = static_cast<float>(d.needleShape[i].x), ny = static_cast<float>(d.needleShape[i].y);
        const platform::Point p{pivotX + static_cast<int32_t>(std::lround(nx * c - ny * s)),
                                pivotY - static_cast<int32_t>(std::lround(nx * s + ny * c))};
        d.needlePoints[i] = p;
        d.needleBox.Grow(Box{p.x, p.y, p.x, p.y});
      }
      if (d.antiAliased) Widen(d.needleBox);
      d.needleBox = Intersection(d.needleBox, d.fullBox);
    }
    region = d.needleBox;
    region.Grow(d.dirtyBox);
    region = Intersection(region, d.fullBox);

    // An anti-aliased needle already composed over the same layers: its filtered pixels are kept, and
    // the rest of the region is the filtered background.
    if (d.antiAliased && !d.needleBox.Empty() && d.needleFrames.size() == kNeedleSlots) {
      if (d.logicFailed != d.composedLogicFailed) {
        d.composedLogicFailed = d.logicFailed;
        ++d.layersVersion;
      }
      // A needle is kept when it is shown the second time over the same layers, so that needles that
      // never come back cost no copy.
      const size_t slot = NeedleSlot(d.needlePoints);
      keptFrame = &d.needleFrames[slot];
      seenNeedle = &d.seenNeedles[slot];
      reuse = keptFrame->layersVersion == d.layersVersion && SameCorners(keptFrame->points, d.needlePoints);
      keep = !reuse && seenNeedle->layersVersion == d.layersVersion &&
             SameCorners(seenNeedle->points, d.needlePoints) && CanKeep(d, *keptFrame);
    }
  }
  // A new needle over a filtered background that is still current: only its own box is composed and
  // filtered, the rest of the region is taken from the background.
  const bool overBackground = keep && d.backgroundVersion == d.layersVersion;
  if (!reuse && powered) {
    const Box composed = overBackground ? d.needleBox : region;
    if (!composed.Empty()) Restore(d, composed);
    if (!d.needleBox.Empty()) DrawNeedle(d);
    // With the logic failed neither traffic nor the own aircraft is shown.
    if (!d.logicFailed) {
      const Box overlay = Intersection(Intersection(composed, d.trafficBox), d.fullBox);
      if (!overlay.Empty()) Overlay(d, overlay);
    }
  }

  if (region.Empty()) return;  // nothing changed: nothing to copy, and dirtyBox stays as it is

  platform::DrawContext target = platform::ContextFromHost(targetContext);
  if (target == nullptr) {
    // Nothing reached the panel: all of it is still to be copied by the next composition.
    d.dirtyBox = region;
    return;
  }
  platform::UseSurface(d.drawContext, d.faceLayer);
  if (d.antiAliased) {
    // The filter needs even bounds; a box from elsewhere that is not is widened to them (the surface's
    // last row and column are even, so this stays inside it).
    region.left &= ~1;
    region.top &= ~1;
    region.right += region.right & 1;
    region.bottom += region.bottom & 1;
    if (overBackground) {
      DownsampleRegion(d, d.needleBox);
      KeepNeedleFrame(d, *keptFrame);
    }
    if (reuse || overBackground) {
      PrepareBackground(d);
      const int32_t stride = d.surfaceWidth / 2;
      CopyOutput(d, region,
                 d.backgroundOutput.data() + static_cast<ptrdiff_t>(region.top / 2) * stride + region.left / 2, stride,
                 true);
      if (reuse && !keptFrame->compact) CompactNeedleFrame(d, *keptFrame);
      ShowNeedleFrame(d, *keptFrame);
    } else {
      DownsampleRegion(d, region);
      if (keep) {
        KeepNeedleFrame(d, *keptFrame);
      } else if (seenNeedle != nullptr) {  // seen once: only its corners are noted
        std::copy(std::begin(d.needlePoints), std::end(d.needlePoints), seenNeedle->points);
        seenNeedle->layersVersion = d.layersVersion;
      }
    }
    const int32_t width = (region.right - region.left) / 2;  // (w - 1) / 2 for the odd width w
    const int32_t height = (region.bottom - region.top) / 2;
    platform::CopyBlock(target, x + region.left / 2, y + region.top / 2, width, height, d.drawContext, region.left / 2,
                        region.top / 2);
    // The next composition must erase the needle drawn now.
    d.dirtyBox = d.needleBox;
    d.needleBox = Box{};
  } else {
    platform::CopyBlock(target, x, y, d.surfaceWidth, d.surfaceHeight, d.drawContext, 0, 0);
  }
  platform::ReleaseContext(target);
}

void DownsampleRegion(IvsiDisplay& d, const Box& box) {
  const platform::PixelView view = platform::SurfacePixels(d.faceLayer);
  if (view.pixels == nullptr) return;
  const int32_t left = std::max(box.left, 0), top = std::max(box.top, 0);
  const int32_t right = std::min(box.right, view.width - 1), bottom = std::min(box.bottom, view.height - 1);
  if (right - left < 2 || bottom - top < 2) return;  // no whole 3 x 3 block
  const int32_t outWidth = (right - left) / 2;
  const int32_t outHeight = (bottom - top) / 2;

  // Output row k comes from input rows top + 2k .. top + 2k + 2 and goes to row top / 2 + k, which lies
  // before its centre and lower rows; the row above a centre is the row below the previous one, so its
  // edge sums are kept from there. Nothing is read after it was overwritten, and only the output block
  // is written. The columns go in strips so that the kept sums fit a fixed buffer.
  constexpr int32_t kStrip = 512;
  uint32_t edgeAbove[kStrip];
  for (int32_t strip = 0; strip < outWidth; strip += kStrip) {
    const int32_t count = std::min(kStrip, outWidth - strip);
    const int32_t first = left + 2 * strip + 1;  // centre column of the strip's first output
    const uint32_t* topRow = Row(view, top);
    for (int32_t j = 0; j < count; ++j) edgeAbove[j] = EdgeAt(topRow, first + 2 * j);
    for (int32_t k = 0; k < outHeight; ++k) {
      const uint32_t* centre = Row(view, top + 2 * k + 1);
      const uint32_t* below = Row(view, top + 2 * k + 2);
      uint32_t* out = Row(view, top / 2 + k) + left / 2 + strip;
      int32_t j = 0;
#if defined(__SSE2__)
      // Four outputs at a time from eight input columns (the even ones are neighbours, the odd ones
      // centres) and the even column after them.
      const __m128i eighth = _mm_set1_epi32(static_cast<int>(kEighthMask));
      const __m128i sixteenth = _mm_set1_epi32(static_cast<int>(kSixteenthMask));
      const __m128i quarter = _mm_set1_epi32(static_cast<int>(kQuarterMask));
      const __m128i carry5 = _mm_set1_epi32(static_cast<int>(kCarry5Mask));
      const __m128i carry7 = _mm_set1_epi32(static_cast<int>(kCarry7Mask));
      struct Columns {
        __m128i centre, left, right;
      };
      const auto columns = [](const uint32_t* from) {  // `from` is the left neighbour of the first centre
        const __m128 low = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
        const __m128 high = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4)));
        const __m128i even = _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)));
        const __m128i odd = _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1)));
        const __m128i next = _mm_slli_si128(_mm_cvtsi32_si128(static_cast<int>(from[8])), 12);
        return Columns{odd, even, _mm_or_si128(_mm_srli_si128(even, 4), next)};
      };
      const auto shifted = [](__m128i value, int shift, __m128i mask) {
        return _mm_and_si128(_mm_srl_epi32(value, _mm_cvtsi32_si128(shift)), mask);
      };
      for (; j + 4 <= count; j += 4) {
        const int32_t c = first + 2 * j;
        const Columns mid = columns(centre + c - 1);
        const Columns low = columns(below + c - 1);
        const __m128i middle =
            _mm_add_epi32(shifted(mid.centre, 2, quarter),
                          _mm_add_epi32(shifted(mid.left, 3, eighth), shifted(mid.right, 3, eighth)));
        const __m128i edgeBelow =
            _mm_add_epi32(shifted(low.centre, 3, eighth),
                          _mm_add_epi32(shifted(low.left, 4, sixteenth), shifted(low.right, 4, sixteenth)));
        auto* kept = reinterpret_cast<__m128i*>(edgeAbove + j);
        const __m128i sum = _mm_add_epi32(_mm_add_epi32(_mm_loadu_si128(kept), middle), edgeBelow);
        _mm_storeu_si128(kept, edgeBelow);
        const __m128i result = _mm_add_epi32(sum, _mm_add_epi32(shifted(sum, 5, carry5), shifted(sum, 7, carry7)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), result);
      }
#endif
      for (; j < count; ++j) {
        const int32_t c = first + 2 * j;
        const uint32_t edgeBelow = EdgeAt(below, c);
        out[j] = FinishSum(edgeAbove[j] + MiddleAt(centre, c) + edgeBelow);
        edgeAbove[j] = edgeBelow;
      }
    }
  }
  platform::MarkPixelsChanged(d.faceLayer);
}

}  // namespace kvr
