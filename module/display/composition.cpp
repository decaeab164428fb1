// One frame of the IVSI: the change test and full redraw of the face, the restore of the changed region
// from the saved face, the needle, the traffic overlay, the 2:1 filter of an anti-aliased picture, and
// the copy to the gauge's drawing surface.
#include <algorithm>
#include <cmath>
#include <cstring>

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

    if (!region.Empty()) Restore(d, region);
    if (!d.needleBox.Empty()) DrawNeedle(d);
    // With the logic failed neither traffic nor the own aircraft is shown.
    if (!d.logicFailed) {
      const Box overlay = Intersection(Intersection(region, d.trafficBox), d.fullBox);
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
    DownsampleRegion(d, region);
    const int32_t width = (region.right - region.left) / 2;  // (w - 1) / 2 for the odd width w
    const int32_t height = (region.bottom - region.top) / 2;
    platform::CopyBlock(target, x + region.left / 2, y + region.top / 2, width, height, d.drawContext,
                        region.left / 2, region.top / 2);
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

  // The row above or below a centre: r = mid/8 + left/16 + right/16 at each odd column, in place (only
  // odd columns are written, only even ones read as neighbours).
  const auto edgeRow = [&](uint32_t* row) {
    for (int32_t k = 0, c = left + 1; k < outWidth; ++k, c += 2)
      row[c] = ((row[c] >> 3) & kEighthMask) + ((row[c - 1] >> 4) & kSixteenthMask) +
               ((row[c + 1] >> 4) & kSixteenthMask);
  };

  edgeRow(Row(view, top));
  for (int32_t k = 0; k < outHeight; ++k) {
    const uint32_t* above = Row(view, top + 2 * k);
    uint32_t* centre = Row(view, top + 2 * k + 1);
    uint32_t* below = Row(view, top + 2 * k + 2);
    for (int32_t c = left; c <= left + 2 * outWidth; c += 2) centre[c] = (centre[c] >> 3) & kEighthMask;
    edgeRow(below);  // also the row above of the next pair
    // Output row and columns lie at or before every input still to be read.
    uint32_t* out = Row(view, top / 2 + k) + left / 2;
    for (int32_t j = 0, c = left + 1; j < outWidth; ++j, c += 2) {
      const uint32_t middle = ((centre[c] >> 2) & kQuarterMask) + centre[c - 1] + centre[c + 1];
      const uint32_t sum = above[c] + middle + below[c];
      // Make up for the truncation of the shifts: a white block comes out 255, not 247.
      out[j] = sum + ((sum >> 5) & kCarry5Mask) + ((sum >> 7) & kCarry7Mask);
    }
  }
  platform::MarkPixelsChanged(d.faceLayer);
}

}  // namespace kvr
