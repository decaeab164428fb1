// The IVSI drawing object: construction (sizes, colours, surfaces, pens, brushes, font, needle shape and
// the first face), destruction, and the small helpers that the dial, the traffic layer and the
// composition share.
#include "module/display/ivsi_display.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>

#include "module/display/display.h"
#include "module/logic/logic.h"

namespace kvr {

namespace {

constexpr char kLogicUnbound[] = "KVR_TCAS!Logic";
constexpr float kUnsetLimitFpm = 12345.0f;  // never an advisory limit: the first check always redraws

constexpr float kLargestFontHeightPx = 16384.0f;  // no surface is taller

int32_t Round(float value) { return static_cast<int32_t>(std::lround(value)); }
int32_t Truncate(float value) { return static_cast<int32_t>(value); }

// Line widths, anti-aliased widths odd so that a line stays centred on an output pixel after filtering.
void ComputeWidths(IvsiDisplay& d) {
  const float size = static_cast<float>(d.displaySize);
  if (d.antiAliased) {
    d.lineWidth = std::max(3, Truncate(size * (1.0f / 70.0f)) | 1);
    d.outlineWidth = std::max(d.lineWidth + 4, Truncate(size * 0.02f) | 1);
    d.needleWidth = std::max(5, Truncate(size * 0.02f) | 1);
  } else {
    d.lineWidth = std::max(1, Truncate(size * (1.0f / 87.5f)));
    d.outlineWidth = std::max(d.lineWidth + 4, Truncate(size * (1.0f / 21.875f)));
    d.needleWidth = std::max(1, Truncate(size * (1.0f / 87.5f)));
  }
}

void MakePensAndBrushes(IvsiDisplay& d) {
  using platform::LineCap;
  using platform::LineJoin;
  d.trafficPen = platform::MakePen(d.lineWidth, d.trafficColour, LineCap::Square, LineJoin::Mitre);
  d.taPen = platform::MakePen(d.lineWidth, kYellow, LineCap::Square, LineJoin::Mitre);
  d.raPen = platform::MakePen(d.lineWidth, kRed, LineCap::Square, LineJoin::Mitre);
  d.outlinePen = platform::MakePen(d.outlineWidth, kOutlineColour, LineCap::Square, LineJoin::Mitre);
  d.flagPen = platform::MakePen(0, kYellow, LineCap::Square, LineJoin::Mitre);
  d.trafficBrush = platform::MakeSolidBrush(d.trafficColour);
  d.taBrush = platform::MakeSolidBrush(kYellow);
  d.raBrush = platform::MakeSolidBrush(kRed);
  d.outlineBrush = platform::MakeSolidBrush(kOutlineColour);
  d.flagBrush = platform::MakeSolidBrush(kYellow);
  d.needlePen = platform::MakePen(1, kWhite, LineCap::Square, LineJoin::Mitre);
  d.needleBrush = platform::MakeSolidBrush(kWhite);
}

void ComputeSizes(IvsiDisplay& d) {
  const float size = static_cast<float>(d.displaySize);
  d.symbolHalfWidth = Round(size * 0.03f);
  d.symbolHalfHeight = Round(size * 0.03f);
  d.tagOffsetBelow = std::min(Round(size * 0.05f), d.symbolHalfHeight + d.lineWidth);
  d.tagOffsetAbove = std::min(Round(size * 0.03f), d.symbolHalfHeight + d.lineWidth);
  d.arrowOffset = 3 * d.lineWidth + d.symbolHalfWidth;
  if (d.antiAliased) d.arrowOffset &= ~1;  // positive: rounding toward zero to even
  d.arrowWidth = 2 * d.lineWidth;
}

// The needle in its own coordinates: x outward from the dial centre, y across. A shaft of the needle's
// width out to L, a head widening to 2t at L and ending in a point two pixels inside the dial circle.
void ComputeNeedleShape(IvsiDisplay& d) {
  const float size = static_cast<float>(d.displaySize);
  const int32_t length = Round(size * 0.3f);
  const int32_t head = Round(size * 0.03f);
  const int32_t half = d.needleWidth / 2;
  const int32_t tip = Round(size * 0.39f) - 2;
  const platform::Point shape[7] = {{0, -half},     {length, -half}, {length, -head}, {tip, 0},
                                    {length, head}, {length, half},  {0, half}};
  std::copy(std::begin(shape), std::end(shape), d.needleShape);
}

// Frees whatever exists; used by destruction and by a construction that cannot complete.
void ReleaseAll(IvsiDisplay* d) {
  std::free(d->savedFace);
  d->savedFace = nullptr;
  // Nothing of the display may stay selected when its objects are released.
  platform::SelectDefaultObjects(d->drawContext);
  for (platform::Pen pen : {d->trafficPen, d->taPen, d->raPen, d->outlinePen, d->flagPen, d->needlePen})
    platform::ReleasePen(pen);
  for (platform::Brush brush : {d->trafficBrush, d->taBrush, d->raBrush, d->outlineBrush, d->flagBrush, d->needleBrush})
    platform::ReleaseBrush(brush);
  platform::ReleaseFont(d->mainFont);
  platform::ReleaseSurface(d->faceLayer);
  platform::ReleaseSurface(d->trafficLayer);
  platform::ReleaseContext(d->drawContext);
  delete d;
}

}  // namespace

void Box::Grow(const Box& other) {
  left = std::min(left, other.left);
  top = std::min(top, other.top);
  right = std::max(right, other.right);
  bottom = std::max(bottom, other.bottom);
}

TrafficSource* BoundSource(const IvsiDisplay& display) {
  return display.logicBinding != nullptr ? *display.logicBinding : nullptr;
}

void RefreshLogicFailure(IvsiDisplay& display) {
  TrafficSource* source = BoundSource(display);
  if (source == nullptr) {
    display.logicFailed = true;
    display.failureText = kLogicUnbound;
    return;
  }
  const char* missing = display.failureText;
  display.logicFailed = !source->CheckAvailable(&missing);
  // A source that fails without naming what is missing still gets a label under "TCAS FAIL".
  if (display.logicFailed) display.failureText = missing != nullptr ? missing : kLogicUnbound;
}

void ClearTrafficLayer(IvsiDisplay& display) {
  const platform::PixelView view = platform::SurfacePixels(display.trafficLayer);
  if (view.pixels == nullptr) return;
  for (int32_t y = 0; y < view.height; ++y) {
    uint32_t* row = view.pixels + static_cast<ptrdiff_t>(y) * (view.strideBytes / 4);
    std::fill(row, row + view.width, 0u);
  }
  platform::MarkPixelsChanged(display.trafficLayer);
  ++display.layersVersion;
  // Where traffic was, the face must be restored; an empty layer has nothing to lay over it.
  display.dirtyBox.Grow(display.trafficBox);
  display.trafficBox = Box{};
}

bool FaceOutOfDate(const IvsiDisplay& d) {
  if (static_cast<int32_t>(selectedRangeNm) != d.drawnRangeNm) return true;
  if (d.displayMode != d.drawnMode) return true;
  if (d.logicFailed != d.drawnLogicFailed) return true;
  if (!d.logicFailed &&
      (d.advisoryCopy.vsLowerLimitFpm != d.drawnLimits[0] || d.advisoryCopy.vsUpperLimitFpm != d.drawnLimits[1] ||
       d.advisoryCopy.vsTargetFpm != d.drawnLimits[2])) {
    return true;
  }
  return selectors.aboveBelow != d.drawnAboveBelow;
}

void RedrawFace(IvsiDisplay& d) {
  d.drawnMode = d.displayMode;
  d.drawnRangeNm = static_cast<int32_t>(selectedRangeNm);
  d.drawnLogicFailed = d.logicFailed;
  d.drawnAboveBelow = selectors.aboveBelow;

  platform::PixelView face = platform::SurfacePixels(d.faceLayer);
  for (int32_t y = 0; y < face.height; ++y) {
    uint32_t* row = face.pixels + static_cast<ptrdiff_t>(y) * (face.strideBytes / 4);
    std::fill(row, row + face.width, kBackgroundPixel);
  }
  platform::MarkPixelsChanged(d.faceLayer);
  if (d.powered) {
    platform::UseSurface(d.drawContext, d.faceLayer);
    DrawFace(d);
  }
  face = platform::SurfacePixels(d.faceLayer);
  for (int32_t y = 0; y < face.height; ++y) {
    std::memcpy(d.savedFace + static_cast<ptrdiff_t>(y) * face.width,
                face.pixels + static_cast<ptrdiff_t>(y) * (face.strideBytes / 4),
                static_cast<size_t>(face.width) * sizeof(uint32_t));
  }
  d.dirtyBox = d.fullBox;
  ++d.layersVersion;
}

IvsiDisplay* CreateIvsiDisplay(platform::DrawContext templateContext, TrafficSource** logicBinding, int32_t width,
                               int32_t height, bool antiAliased, bool bluePlane, int32_t normalBand, float fontScale) {
  // A panel image is at most a few hundred pixels; anything else cannot become a surface.
  if (width <= 0 || height <= 0 || width > 8000 || height > 8000) return nullptr;
  auto* d = new (std::nothrow) IvsiDisplay;
  if (d == nullptr) return nullptr;

  d->logicBinding = logicBinding;
  // Power and V/S validity as the selectors give them now, until the first composition stores its own:
  // a display built in the test mode announces the self-test result from them.
  d->powered = selectors.power != 0;
  d->vsiFailed = selectors.vsiFlag != 0;
  RefreshLogicFailure(*d);
  d->drawnLogicFailed = !d->logicFailed;
  std::fill(std::begin(d->drawnLimits), std::end(d->drawnLimits), kUnsetLimitFpm);
  d->drawnAboveBelow = -1;
  d->ownAltitudeHundreds = -9999;
  d->normalBand = normalBand;
  d->antiAliased = antiAliased;
  d->ownColour = bluePlane ? kLightBlue : kWhite;
  d->trafficColour = bluePlane ? kWhite : kLightBlue;

  // Anti-aliased, the picture is drawn at twice the size plus one pixel, so that every output pixel is
  // the centre of an odd input pixel.
  d->surfaceWidth = antiAliased ? 2 * width + 1 : width;
  d->surfaceHeight = antiAliased ? 2 * height + 1 : height;
  d->pixelCount = d->surfaceWidth * d->surfaceHeight;
  d->displaySize = std::min(d->surfaceWidth, d->surfaceHeight) - (antiAliased ? 8 : 4);

  d->drawContext = platform::MakeCompatibleContext(templateContext);
  d->drawnRangeNm = static_cast<int32_t>(selectedRangeNm);
  d->displayMode = d->drawnMode = -1;
  EvaluateMode(*d);

  d->faceLayer = platform::MakeSurface(d->drawContext, d->surfaceWidth, d->surfaceHeight);
  d->trafficLayer = platform::MakeSurface(d->drawContext, d->surfaceWidth, d->surfaceHeight);
  d->savedFace = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(d->pixelCount), sizeof(uint32_t)));
  // Every composition works on these pixels directly: without them there is nothing to draw on.
  if (d->drawContext == nullptr || d->faceLayer == nullptr || d->trafficLayer == nullptr || d->savedFace == nullptr) {
    ReleaseAll(d);
    return nullptr;
  }
  if (antiAliased) {  // the kept needle frames' slots (their pixels come as needles are kept)
    try {
      d->needleFrames.resize(kNeedleSlots);
      d->seenNeedles.resize(kNeedleSlots);
    } catch (const std::bad_alloc&) {
      ReleaseAll(d);
      return nullptr;
    }
  }

  // The scale is the panel's own text: a height no surface could show, or none at all (NaN), makes no
  // font instead of a conversion to an integer that cannot hold it. The face is then drawn without text.
  const float fontHeightPx = static_cast<float>(d->displaySize) * fontScale * 0.08f;
  const int32_t fontHeight = std::fabs(fontHeightPx) <= kLargestFontHeightPx ? static_cast<int32_t>(fontHeightPx) : 0;
  d->mainFont = platform::MakeFont({"Lucida Console", fontHeight, 400, true});
  d->fullBox = Box{0, 0, d->surfaceWidth - 1, d->surfaceHeight - 1};

  ComputeWidths(*d);
  MakePensAndBrushes(*d);
  ComputeSizes(*d);
  ComputeNeedleShape(*d);

  d->greenArcSpan = VerticalSpeedAngle(2000.0f) - VerticalSpeedAngle(1500.0f);
  d->scaleTopAngle = VerticalSpeedAngle(6000.0f);
  d->scaleBottomAngle = VerticalSpeedAngle(-6000.0f);

  RedrawFace(*d);

  // The source may have changed its answer while the face was drawn; one more look settles it.
  RefreshLogicFailure(*d);
  if (FaceOutOfDate(*d)) {
    ClearTrafficLayer(*d);
    RedrawFace(*d);
  }
  return d;
}

void DestroyIvsiDisplay(IvsiDisplay* display) {
  if (display != nullptr) ReleaseAll(display);
}

}  // namespace kvr
