// The traffic layer of the IVSI: one symbol per intruder with its altitude tag and trend arrow, the own
// aircraft with its range dots, and the self-test pattern, painted onto the transparent `trafficLayer`
// (pixel 0 = nothing painted) inside the dial disk that the face leaves as the context's clip.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "module/display/display.h"
#include "module/display/ivsi_display.h"
#include "module/logic/logic.h"

namespace kvr {

namespace {

constexpr double kFeetPerNm = 6076.1157;
constexpr float kNmPerFoot = 0.00016457883f;  // 1 / 6076.1157
constexpr float kTestRangeNm = 6.0f;          // the self-test pattern is always laid out on this range
constexpr int32_t kBandLimitHundreds = 99;    // tags and the above/below window stop at 9,900 ft
constexpr size_t kTagBytes = 8;               // a tag is at most 7 characters

// Beyond any surface (sides are at most 16384): offsets are saturated here before they become integers,
// so that absurd ranges from the library cannot overflow the arithmetic that follows.
constexpr double kCoordinateLimit = 1.0e6;

// To the nearest integer, halves away from zero, within +-limit. NaN gives 0 (callers reject it first).
int32_t RoundClamped(double value, double limit = kCoordinateLimit) {
  if (!(value == value)) return 0;
  return static_cast<int32_t>(std::lround(std::clamp(value, -limit, limit)));
}

// Toward zero to the next even value (the anti-aliased surface centres output pixels on odd inputs).
int32_t TowardZeroEven(int32_t value) { return value - value % 2; }

// Down to the next even value (also for negative values).
int32_t FloorEven(int32_t value) { return value & ~int32_t{1}; }

float RangeForMode(const IvsiDisplay& display) {
  return display.displayMode == kDisplayModeTest ? kTestRangeNm : selectedRangeNm;
}

// ownPoint: half a radius below the dial centre (made even with anti-aliasing so it stays on an output
// pixel's centre row).
void PlaceOwnPoint(IvsiDisplay& display) {
  int32_t offset = RoundClamped(display.ringRadius * 0.5);
  if (display.antiAliased) offset = TowardZeroEven(offset);
  display.ownPoint = {display.ringCentreX, display.ringCentreY + offset};
}

// Pixels from ownPoint to the top of the dial, less a margin so that a target at full range stays inside.
int32_t ScaleLengthPx(const IvsiDisplay& display) {
  return display.ownPoint.y - display.ringCentreY + display.ringRadius - (display.antiAliased ? 2 : 1);
}

enum class Shape { Diamond, Circle, Square };

void DrawShape(platform::DrawContext context, Shape shape, int32_t x, int32_t y, int32_t hw, int32_t hh) {
  switch (shape) {
    case Shape::Diamond: {
      const platform::Point diamond[4] = {{x, y - hh}, {x - hw, y}, {x, y + hh}, {x + hw, y}};
      platform::DrawPolygon(context, diamond, 4);
      break;
    }
    case Shape::Circle: platform::DrawEllipse(context, x - hw, y - hh, x + hw, y + hh); break;
    case Shape::Square: platform::DrawRectangle(context, x - hw, y - hh, x + hw, y + hh); break;
  }
}

// The tag, the symbol and its arrow of one kind: `shapeBrush` fills the shape (null: hollow),
// `arrowBrush` fills the arrowhead, `pen` and `colour` are the kind's.
void PaintSymbol(IvsiDisplay& display, Shape shape, platform::Pen pen, platform::Brush shapeBrush,
                 platform::Brush arrowBrush, platform::Rgb colour, int32_t x, int32_t y, const char* tag, int32_t trend,
                 bool tagAbove) {
  platform::DrawContext context = display.drawContext;
  platform::UseFont(context, display.mainFont);
  platform::SetTextColour(context, colour);

  // The tag, centred on the symbol: its cell ends above it or starts below it.
  if (tag != nullptr && tag[0] != '\0') {
    const int32_t tagY = tagAbove ? y - display.tagOffsetAbove : y + display.tagOffsetBelow;
    platform::SetTextAlignment(context, platform::TextAlignX::Centre,
                               tagAbove ? platform::TextAlignY::Bottom : platform::TextAlignY::Top);
    platform::SetBackgroundOpaque(context, false);
    platform::UsePen(context, display.outlinePen);
    platform::StrokeTextOutline(context, x, tagY, tag);
    platform::WriteText(context, x, tagY, tag);
  }

  // The dark rim first, then the colour over it.
  const platform::Pen passes[2] = {display.outlinePen, pen};
  for (platform::Pen passPen : passes) {
    platform::UsePen(context, passPen);
    platform::UseBrush(context, shapeBrush != nullptr ? shapeBrush : platform::NullBrush());
    DrawShape(context, shape, x, y, display.symbolHalfWidth, display.symbolHalfHeight);
    platform::UseBrush(context, arrowBrush);
    DrawTrendArrow(display, x, y, trend);
  }
}

// The altitude tag of one intruder, at most 7 characters: its altitude in hundreds of feet with the
// absolute read-out, else `hundreds`, the relative altitude already clamped to +-99, with its sign.
void FormatTag(char (&tag)[kTagBytes], int32_t hundreds, float relativeAltitudeFt, float ownAltitudeFt) {
  if (selectors.absoluteRelative == 0) {
    float altitudeFt = ownAltitudeFt + relativeAltitudeFt;
    if (altitudeFt < 0) altitudeFt = 0;
    std::snprintf(tag, sizeof tag, "%03.0f", altitudeFt * 0.01);
  } else if (hundreds != 0) {
    std::snprintf(tag, sizeof tag, "%+03d", hundreds);
  } else {
    std::snprintf(tag, sizeof tag, "00");
  }
}

// Where a traffic or resolution advisory beyond the dial is shown: the point where the ray from ownPoint
// along its bearing meets the dial circle.
platform::Point OntoDialEdge(const IvsiDisplay& display, int32_t dx, int32_t dy) {
  const double radius = display.ringRadius;
  const double e = display.ownPoint.y - display.ringCentreY;
  const double phi = std::atan2(static_cast<double>(dx), static_cast<double>(dy));
  const double beta = phi + std::asin(std::clamp(std::sin(phi) * e / radius, -1.0, 1.0));
  return {display.ownPoint.x + RoundClamped(std::sin(beta) * radius),
          display.ringCentreY - RoundClamped(std::cos(beta) * radius)};
}

// The four symbols of the self-test, on the 6-mile scale around ownPoint.
void DrawTestPattern(IvsiDisplay& display, float pixelsPerFoot) {
  const float pixelsPerNm = pixelsPerFoot * 6076.0f;
  const int32_t two = RoundClamped(2.0 * pixelsPerNm);
  const int32_t three = RoundClamped(3.0 * pixelsPerNm);
  const int32_t ox = display.ownPoint.x;
  const int32_t oy = display.ownPoint.y;
  const int32_t odd = display.antiAliased ? 1 : 0;
  DrawOtherTraffic(display, (ox - two) | odd, (oy - three) | odd, "+10", 0, true);
  DrawProximateTraffic(display, (ox + two) | odd, (oy - three) | odd, "-10", -1, false);
  DrawTrafficAdvisory(display, (ox - two) | odd, oy | odd, "-02", +1, false);
  DrawResolutionAdvisory(display, (ox + two) | odd, oy | odd, "+02", 0, true);
}

// One intruder of the picture; `upper` and `lower` bound other traffic, in hundreds of feet.
void DrawIntruder(IvsiDisplay& display, const TrafficSource& source, const IntruderEntry& entry, float pixelsPerFoot,
                  int32_t upper, int32_t lower) {
  const ThreatClass threat = StatusThreatClass(entry.status);
  if (entry.id == 0 || entry.valid == 0) return;
  if (threat == ThreatClass::OtherTraffic && source.raCount > 0) return;
  // A picture with a non-finite number in it cannot be placed; it is left out rather than guessed.
  if (!std::isfinite(entry.rangeNm) || !std::isfinite(entry.bearingRad) || !std::isfinite(entry.relativeAltitudeFt)) {
    return;
  }

  const double distancePx = static_cast<double>(entry.rangeNm * static_cast<float>(kFeetPerNm) * pixelsPerFoot);
  const int32_t dx = RoundClamped(std::sin(static_cast<double>(entry.bearingRad)) * distancePx);
  const int32_t dy = RoundClamped(std::cos(static_cast<double>(entry.bearingRad)) * distancePx);
  int32_t x = display.ownPoint.x + dx;
  int32_t y = display.ownPoint.y - dy;

  switch (threat) {
    case ThreatClass::OtherTraffic:
    case ThreatClass::ProximateTraffic:
      if (x < 0 || x >= display.surfaceWidth || y < 0 || y >= display.surfaceHeight) return;
      break;
    case ThreatClass::TrafficAdvisory:
    case ThreatClass::ResolutionAdvisory: {
      // 64-bit: a distant advisory can lie far more than 46,340 pixels out.
      const int64_t ex = int64_t{x} - display.ringCentreX;
      const int64_t ey = int64_t{y} - display.ringCentreY;
      const int64_t radius = display.ringRadius;
      if (ex * ex + ey * ey > radius * radius && display.ringRadius > 0) {
        const platform::Point edge = OntoDialEdge(display, dx, dy);
        x = edge.x;
        y = edge.y;
      }
      break;
    }
  }

  int32_t hundreds = RoundClamped(static_cast<double>(entry.relativeAltitudeFt) * 0.01);
  if (threat == ThreatClass::OtherTraffic && (hundreds < -lower || hundreds > upper)) return;
  hundreds = std::clamp(hundreds, -kBandLimitHundreds, kBandLimitHundreds);

  char tag[kTagBytes] = {};
  FormatTag(tag, hundreds, entry.relativeAltitudeFt, source.ownPressureAltitudeFt);
  const bool tagAbove = hundreds >= 0;
  const int32_t trend = StatusVerticalTrend(entry.status);

  switch (threat) {
    case ThreatClass::OtherTraffic: DrawOtherTraffic(display, x, y, tag, trend, tagAbove); break;
    case ThreatClass::ProximateTraffic: DrawProximateTraffic(display, x, y, tag, trend, tagAbove); break;
    case ThreatClass::TrafficAdvisory: DrawTrafficAdvisory(display, x, y, tag, trend, tagAbove); break;
    case ThreatClass::ResolutionAdvisory: DrawResolutionAdvisory(display, x, y, tag, trend, tagAbove); break;
  }
}

// Sets trafficBox to the extent of the layer's non-zero pixels (widened to even bounds with
// anti-aliasing, so that the filter can work on it) and lets dirtyBox cover the old and new extents.
void MeasureTrafficBox(IvsiDisplay& display) {
  display.dirtyBox.Grow(display.trafficBox);
  Box extent;
  const platform::PixelView view = platform::SurfacePixels(display.trafficLayer);
  const int32_t rowWords = view.strideBytes / 4;
  for (int32_t row = 0; row < view.height; ++row) {
    const uint32_t* pixels = view.pixels + static_cast<ptrdiff_t>(row) * rowWords;
    int32_t first = -1, last = -1;
    for (int32_t column = 0; column < view.width; ++column) {
      if (pixels[column] == 0) continue;
      if (first < 0) first = column;
      last = column;
    }
    if (first < 0) continue;
    if (extent.Empty()) extent.top = row;
    extent.bottom = row;
    extent.left = std::min(extent.left, first);
    extent.right = std::max(extent.right, last);
  }
  if (!extent.Empty()) {
    if (display.antiAliased) {
      extent.left = FloorEven(extent.left - 1);
      extent.top = FloorEven(extent.top - 1);
      extent.right = FloorEven(extent.right + 2);
      extent.bottom = FloorEven(extent.bottom + 2);
    }
    extent.left = std::max(extent.left, 0);
    extent.top = std::max(extent.top, 0);
    extent.right = std::min(extent.right, display.surfaceWidth - 1);
    extent.bottom = std::min(extent.bottom, display.surfaceHeight - 1);
  }
  display.trafficBox = extent;
  display.dirtyBox.Grow(display.trafficBox);
}

}  // namespace

void DrawTrendArrow(IvsiDisplay& display, int32_t x, int32_t y, int32_t trend) {
  if (trend != 1 && trend != -1) return;
  const int32_t ax = x + display.arrowOffset;
  const int32_t a = display.arrowWidth / 2;
  const int32_t hh = display.symbolHalfHeight;
  // A stroke the height of the symbol with the head at the end it points to; the head's base is drawn
  // back to the stroke so that the polygon closes along the stroke.
  const int32_t tip = trend > 0 ? y - hh : y + hh;
  const int32_t tail = trend > 0 ? y + hh : y - hh;
  const int32_t base = trend > 0 ? tip + a : tip - a;
  const platform::Point arrow[7] = {{ax, tail},     {ax, base}, {ax + a, base}, {ax, tip},
                                    {ax - a, base}, {ax, base}, {ax, tail}};
  platform::DrawPolygon(display.drawContext, arrow, 7);
}

void DrawOtherTraffic(IvsiDisplay& display, int32_t x, int32_t y, const char* tag, int32_t trend, bool tagAbove) {
  PaintSymbol(display, Shape::Diamond, display.trafficPen, nullptr, display.trafficBrush, display.trafficColour, x, y,
              tag, trend, tagAbove);
}

void DrawProximateTraffic(IvsiDisplay& display, int32_t x, int32_t y, const char* tag, int32_t trend, bool tagAbove) {
  PaintSymbol(display, Shape::Diamond, display.trafficPen, display.trafficBrush, display.trafficBrush,
              display.trafficColour, x, y, tag, trend, tagAbove);
}

void DrawTrafficAdvisory(IvsiDisplay& display, int32_t x, int32_t y, const char* tag, int32_t trend, bool tagAbove) {
  PaintSymbol(display, Shape::Circle, display.taPen, display.taBrush, display.taBrush, kYellow, x, y, tag, trend,
              tagAbove);
}

void DrawResolutionAdvisory(IvsiDisplay& display, int32_t x, int32_t y, const char* tag, int32_t trend, bool tagAbove) {
  PaintSymbol(display, Shape::Square, display.raPen, display.raBrush, display.raBrush, kRed, x, y, tag, trend,
              tagAbove);
}

void DrawOwnAircraft(IvsiDisplay& display) {
  PlaceOwnPoint(display);
  const float pixelsPerNm = static_cast<float>(ScaleLengthPx(display)) / RangeForMode(display);
  auto length = [&display, pixelsPerNm](double factor) {
    const int32_t value = RoundClamped(pixelsPerNm * factor);
    return display.antiAliased ? TowardZeroEven(value) : value;
  };
  const int32_t wing = length(0.7), nose = length(0.3), tail = length(1.0), tailplane = length(0.2);
  const int32_t ox = display.ownPoint.x;
  const int32_t oy = display.ownPoint.y;

  platform::DrawContext context = display.drawContext;
  platform::Pen pen =
      platform::MakePen(display.lineWidth, display.ownColour, platform::LineCap::Round, platform::LineJoin::Round);
  platform::Pen previous = platform::UsePen(context, pen);

  platform::MoveTo(context, ox - wing, oy);
  platform::DrawLineTo(context, ox + wing, oy);
  platform::MoveTo(context, ox - tailplane, oy + tail);
  platform::DrawLineTo(context, ox + tailplane, oy + tail);
  platform::MoveTo(context, ox, oy - nose);
  platform::DrawLineTo(context, ox, oy + tail);

  // Rings of twelve dots at 2 and 5 miles, each only while it lies inside half the range.
  const float rangeNm = RangeForMode(display);
  for (const double ringNm : {2.0, 5.0}) {
    if (!(ringNm < rangeNm / 2)) break;
    for (int k = 0; k < 12; ++k) {
      const double angle = k * (std::numbers::pi / 6.0);
      int32_t dx = RoundClamped(std::cos(angle) * ringNm * pixelsPerNm);
      int32_t dy = RoundClamped(std::sin(angle) * ringNm * pixelsPerNm);
      if (display.antiAliased) {
        dx = TowardZeroEven(dx);
        dy = TowardZeroEven(dy);
      }
      // A zero-length round-capped stroke: a disc the pen's width across.
      platform::MoveTo(context, ox + dx, oy - dy);
      platform::DrawLineTo(context, ox + dx, oy - dy);
    }
  }

  if (previous != nullptr) platform::UsePen(context, previous);
  platform::ReleasePen(pen);
}

void DrawTrafficLayer(IvsiDisplay& display) {
  ++display.layersVersion;  // what the needle's frames were composed over may change
  RefreshLogicFailure(display);
  const bool test = display.displayMode == kDisplayModeTest;
  if (display.logicFailed && !test) return;
  if (display.displayMode == kDisplayModeStandby || display.displayMode == kDisplayModeTransponder) return;

  // The band in which other traffic is shown, hundreds of feet above and below; the above/below
  // selection opens one side to the full 9,900 ft.
  const int32_t band = display.normalBand;
  const int32_t upper = selectors.aboveBelow == 0 && band < kBandLimitHundreds ? kBandLimitHundreds : band;
  const int32_t lower = selectors.aboveBelow == 2 && band < kBandLimitHundreds ? kBandLimitHundreds : band;

  ClearTrafficLayer(display);
  platform::UseSurface(display.drawContext, display.trafficLayer);

  PlaceOwnPoint(display);
  const float pixelsPerFoot = static_cast<float>(ScaleLengthPx(display)) / RangeForMode(display) * kNmPerFoot;

  if (test) {
    if (!display.logicFailed) DrawTestPattern(display, pixelsPerFoot);
  } else if (display.displayMode == kDisplayModeTaOnly || display.displayMode == kDisplayModeTaRa) {
    const TrafficSource* source = BoundSource(display);  // there is one: the logic has not failed
    if (source != nullptr && source->intruderOrder != nullptr) {
      for (int32_t i = 0; i < source->intruderCount; ++i) {
        const IntruderEntry* entry = source->intruderOrder[i];
        if (entry != nullptr) DrawIntruder(display, *source, *entry, pixelsPerFoot, upper, lower);
      }
    }
  }

  DrawOwnAircraft(display);
  MeasureTrafficBox(display);
}

}  // namespace kvr
