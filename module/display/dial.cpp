// The vertical speed dial: the scale law, the display mode, and the static face (scale, advisory sectors,
// flags, mode, range and altitude texts, failure annunciations) drawn into the selected surface.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "module/display/display.h"
#include "module/display/ivsi_display.h"
#include "module/logic/logic.h"
#include "module/sound/sound.h"

namespace kvr {

namespace {

using platform::TextAlignX;
using platform::TextAlignY;

// The scale law's breakpoints: vertical speed (ft/min) and dial angle (radians from 3 o'clock,
// counter-clockwise). 0 points to 9 o'clock, 1500 to 12 o'clock, 6000 to 9.5 degrees above 3 o'clock.
constexpr float kScaleSpeedFpm[7] = {0.0f, 1000.0f, 2000.0f, 3000.0f, 4000.0f, 5000.0f, 6000.0f};
constexpr float kScaleAngleRad[7] = {3.1415927f, 1.9111356f, 1.2304571f, 0.8953539f,
                                     0.6265732f, 0.3717551f, 0.1658063f};

// Tick classes: inner and outer radius and label font height, fractions of the display size.
struct TickClass {
  float innerRadius;
  float outerRadius;
  float labelHeight;  // 0: no label
};
constexpr TickClass kTickClasses[3] = {{0.39f, 0.41f, 0.0f}, {0.39f, 0.42f, 0.10f}, {0.39f, 0.44f, 0.12f}};

struct ScaleMark {
  int16_t speedFpm;
  uint8_t tickClass;
  const char* label;       // null: none
  float labelDx, labelDy;  // label offset from the outer end, fractions of the display size
};

// In ascending order of vertical speed.
constexpr ScaleMark kScaleMarks[] = {
    {-6000, 2, "6", 0.03f, 0.0f},   {-5500, 1, nullptr, 0, 0},      {-5000, 2, nullptr, 0, 0},
    {-4500, 1, nullptr, 0, 0},      {-4000, 2, "4", 0.05f, 0.01f},  {-3500, 1, nullptr, 0, 0},
    {-3000, 2, nullptr, 0, 0},      {-2500, 1, nullptr, 0, 0},      {-2000, 2, "2", 0.05f, 0.02f},
    {-1500, 1, nullptr, 0, 0},      {-1000, 2, "1", -0.04f, 0.02f}, {-900, 0, nullptr, 0, 0},
    {-800, 0, nullptr, 0, 0},       {-700, 0, nullptr, 0, 0},       {-600, 0, nullptr, 0, 0},
    {-500, 1, ".5", -0.08f, 0.02f}, {-400, 0, nullptr, 0, 0},       {-300, 0, nullptr, 0, 0},
    {-200, 0, nullptr, 0, 0},       {-100, 0, nullptr, 0, 0},       {0, 2, "0", -0.02f, 0.0f},
    {100, 0, nullptr, 0, 0},        {200, 0, nullptr, 0, 0},        {300, 0, nullptr, 0, 0},
    {400, 0, nullptr, 0, 0},        {500, 1, ".5", -0.08f, -0.03f}, {600, 0, nullptr, 0, 0},
    {700, 0, nullptr, 0, 0},        {800, 0, nullptr, 0, 0},        {900, 0, nullptr, 0, 0},
    {1000, 2, "1", -0.04f, -0.02f}, {1500, 1, nullptr, 0, 0},       {2000, 2, "2", 0.05f, -0.02f},
    {2500, 1, nullptr, 0, 0},       {3000, 2, nullptr, 0, 0},       {3500, 1, nullptr, 0, 0},
    {4000, 2, "4", 0.05f, -0.01f},  {4500, 1, nullptr, 0, 0},       {5000, 2, nullptr, 0, 0},
    {5500, 1, nullptr, 0, 0},       {6000, 2, "6", 0.03f, 0.0f},
};
static_assert(sizeof(kScaleMarks) / sizeof(kScaleMarks[0]) == 41);

// Limits beyond these mean "no prohibition" (the library reports +-10000).
constexpr float kNoLimitFpm = 9999.0f;
// The radials of a sector are given by points this far out: the direction then carries no rounding to
// speak of, whatever the sector's radius.
constexpr int32_t kRadialLengthPx = 1024;

int32_t Round(float value) { return static_cast<int32_t>(std::lround(value)); }
int32_t Truncate(float value) { return static_cast<int32_t>(value); }

// Anti-aliased, text and flag anchors sit on odd pixels: the centres of output pixels after filtering.
int32_t Odd(const IvsiDisplay& d, int32_t value) { return d.antiAliased ? value | 1 : value; }
int32_t EvenUp(const IvsiDisplay& d, int32_t value) { return d.antiAliased ? value + (value & 1) : value; }

float Size(const IvsiDisplay& d) { return static_cast<float>(d.displaySize); }
int32_t DefaultTextHeight(const IvsiDisplay& d) { return Truncate(Size(d) * 0.1f); }
int32_t DefaultTextSpacing(const IvsiDisplay& d) { return Truncate(Size(d) * -0.1f * 0.1f); }

// A font of its own for one text: made and selected with its letter spacing, then put back and released.
class TextFont {
 public:
  TextFont(platform::DrawContext context, int32_t heightPx, int32_t spacingPx) : context_(context) {
    font_ = platform::MakeFont({"Lucida Console", heightPx, 400, true});
    previousFont_ = platform::UseFont(context_, font_);
    previousSpacing_ = platform::SetCharacterSpacing(context_, spacingPx);
  }
  ~TextFont() {
    platform::SetCharacterSpacing(context_, previousSpacing_);
    platform::UseFont(context_, previousFont_);
    platform::ReleaseFont(font_);
  }
  TextFont(const TextFont&) = delete;
  TextFont& operator=(const TextFont&) = delete;

 private:
  platform::DrawContext context_;
  platform::Font font_ = nullptr;
  platform::Font previousFont_ = nullptr;
  int32_t previousSpacing_ = 0;
};

struct TextSize {
  int32_t width;
  int32_t height;
};

// The text's cell in the selected font, each side made even when anti-aliased.
TextSize Measure(const IvsiDisplay& d, const char* text) {
  const platform::TextExtent extent = platform::MeasureText(d.drawContext, text);
  return {EvenUp(d, extent.width), EvenUp(d, extent.height)};
}

void Write(const IvsiDisplay& d, int32_t x, int32_t y, TextAlignX alignX, TextAlignY alignY, platform::Rgb colour,
           const char* text) {
  platform::SetTextAlignment(d.drawContext, alignX, alignY);
  platform::SetTextColour(d.drawContext, colour);
  platform::WriteText(d.drawContext, x, y, text);
}

// A yellow box with the display's flag pen and brush (which stay selected), inclusive of left and top.
void FlagBox(const IvsiDisplay& d, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  platform::UsePen(d.drawContext, d.flagPen);
  platform::UseBrush(d.drawContext, d.flagBrush);
  platform::DrawRectangle(d.drawContext, left, top, right, bottom);
}

// The clip becomes the whole surface (less its last row and column, as a box path covers).
void ClipToSurface(const IvsiDisplay& d) {
  platform::StartPath(d.drawContext);
  platform::DrawRectangle(d.drawContext, 0, 0, d.surfaceWidth - 1, d.surfaceHeight - 1);
  platform::FinishPath(d.drawContext);
  platform::ClipToPath(d.drawContext, platform::ClipCombine::Copy);
}

void ClipOutsideDial(const IvsiDisplay& d) {
  ClipToSurface(d);
  platform::StartPath(d.drawContext);
  CirclePath(d.drawContext, d.ringCentreX, d.ringCentreY, d.ringRadius);
  platform::FinishPath(d.drawContext);
  platform::ClipToPath(d.drawContext, platform::ClipCombine::Difference);
}

// A pie of `radius` about the dial centre from angle `from` counter-clockwise to angle `to`. A sector
// whose two radials coincide is empty and left out (the pie would otherwise be the whole disc).
void Sector(const IvsiDisplay& d, int32_t radius, float from, float to) {
  const int32_t cx = d.ringCentreX, cy = d.ringCentreY;
  const int32_t x1 = cx + Round(kRadialLengthPx * std::cos(from)), y1 = cy - Round(kRadialLengthPx * std::sin(from));
  const int32_t x2 = cx + Round(kRadialLengthPx * std::cos(to)), y2 = cy - Round(kRadialLengthPx * std::sin(to));
  if (x1 == x2 && y1 == y2) return;
  platform::DrawPie(d.drawContext, cx - radius, cy - radius, cx + radius, cy + radius, x1, y1, x2, y2);
}

// One sector colour: a one-pixel pen and a brush, selected for the sectors and released after them.
class SectorPaint {
 public:
  SectorPaint(platform::DrawContext context, platform::Rgb colour) : context_(context) {
    pen_ = platform::MakePen(1, colour, platform::LineCap::Flat, platform::LineJoin::Bevel);
    brush_ = platform::MakeSolidBrush(colour);
    previousPen_ = platform::UsePen(context_, pen_);
    previousBrush_ = platform::UseBrush(context_, brush_);
  }
  ~SectorPaint() {
    platform::UsePen(context_, previousPen_);
    platform::UseBrush(context_, previousBrush_);
    platform::ReleasePen(pen_);
    platform::ReleaseBrush(brush_);
  }
  SectorPaint(const SectorPaint&) = delete;
  SectorPaint& operator=(const SectorPaint&) = delete;

 private:
  platform::DrawContext context_;
  platform::Pen pen_, previousPen_;
  platform::Brush brush_, previousBrush_;
};

// Tick marks and their numbers, white.
void DrawScale(const IvsiDisplay& d) {
  const float size = Size(d);
  const int32_t cx = d.ringCentreX, cy = d.ringCentreY;
  platform::Pen pen = platform::MakePen(d.lineWidth, kWhite, platform::LineCap::Flat, platform::LineJoin::Bevel);
  platform::Pen previousPen = platform::UsePen(d.drawContext, pen);
  platform::Font labelFonts[3] = {nullptr, nullptr, nullptr};
  for (int c = 1; c < 3; ++c)
    labelFonts[c] = platform::MakeFont({"Lucida Console", Truncate(kTickClasses[c].labelHeight * size), 400, true});
  platform::Font previousFont = platform::UseFont(d.drawContext, labelFonts[2]);
  const int32_t previousSpacing = platform::SetCharacterSpacing(d.drawContext, 0);
  platform::SetTextAlignment(d.drawContext, TextAlignX::Centre, TextAlignY::Baseline);
  platform::SetTextColour(d.drawContext, kWhite);

  for (const ScaleMark& mark : kScaleMarks) {
    const TickClass& tick = kTickClasses[mark.tickClass];
    const float angle = VerticalSpeedAngle(mark.speedFpm);
    const float c = std::cos(angle), s = std::sin(angle);
    const int32_t x1 = cx + Round(tick.innerRadius * size * c), y1 = cy - Round(tick.innerRadius * size * s);
    const int32_t x2 = cx + Round(tick.outerRadius * size * c), y2 = cy - Round(tick.outerRadius * size * s);
    platform::MoveTo(d.drawContext, x1, y1);
    platform::DrawLineTo(d.drawContext, x2, y2);
    if (mark.label == nullptr) continue;
    platform::UseFont(d.drawContext, labelFonts[mark.tickClass]);
    const int32_t lx = Truncate(static_cast<float>(x2) + size * mark.labelDx);
    const int32_t ly = Truncate(static_cast<float>(y2) + size * mark.labelDy + 0.33f * size * tick.labelHeight);
    platform::WriteText(d.drawContext, lx, ly, mark.label);
  }

  platform::SetCharacterSpacing(d.drawContext, previousSpacing);
  platform::UseFont(d.drawContext, previousFont);
  for (platform::Font font : labelFonts) platform::ReleaseFont(font);
  platform::UsePen(d.drawContext, previousPen);
  platform::ReleasePen(pen);
}

const char* ModeLabel(int32_t mode) {
  switch (mode) {
    case kDisplayModeTest: return "TEST";
    case kDisplayModeTaOnly: return " TA ";
    case kDisplayModeTaRa: return " RA ";
    default: return nullptr;
  }
}

const char* AltitudeWindowLabel(int32_t aboveBelow) {
  switch (aboveBelow) {
    case 0: return "ABV";
    case 1: return "   ";
    case 2: return "BLW";
    default: return nullptr;  // written by someone else out of range: no label
  }
}

bool TrafficMode(int32_t mode) { return mode == kDisplayModeTaOnly || mode == kDisplayModeTaRa; }
bool OffMode(int32_t mode) { return mode == kDisplayModeStandby || mode == kDisplayModeTransponder; }

}  // namespace

float VerticalSpeedAngle(float verticalSpeedFpm) {
  float v = verticalSpeedFpm;
  if (v < -6000.0f) v = -6000.0f;
  if (v > 6000.0f) v = 6000.0f;
  const float a = std::fabs(v);
  for (int i = 1; i <= 6; ++i) {
    if (a <= kScaleSpeedFpm[i]) {
      const float angle = kScaleAngleRad[i - 1] + (a - kScaleSpeedFpm[i - 1]) /
                                                      (kScaleSpeedFpm[i] - kScaleSpeedFpm[i - 1]) *
                                                      (kScaleAngleRad[i] - kScaleAngleRad[i - 1]);
      return v < 0.0f ? -angle : angle;
    }
  }
  return 0.0f;  // not a number
}

void EvaluateMode(IvsiDisplay& d) {
  TrafficSource* source = BoundSource(d);
  if (source != nullptr) {
    d.advisoryCopy = source->advisory;
  } else {
    d.advisoryCopy.vsLowerLimitFpm = kNoLowerLimitFpm;
    d.advisoryCopy.vsUpperLimitFpm = kNoUpperLimitFpm;
    d.advisoryCopy.vsTargetFpm = kNoTargetFpm;
  }

  const int32_t modeIndex = std::clamp(selectors.modeIndex, 0, 4);
  selectors.modeIndex = modeIndex;
  if (modeIndex == kModeTest) {
    // The self-test result is spoken once on entering the test mode.
    if (d.displayMode != kDisplayModeTest && d.powered)
      Announce(!d.logicFailed && !d.vsiFailed ? AlertTestPass : AlertTestFail);
    // The whole scale red, no green.
    d.advisoryCopy.vsLowerLimitFpm = 0.0f;
    d.advisoryCopy.vsUpperLimitFpm = 0.0f;
    d.advisoryCopy.vsTargetFpm = kNoTargetFpm;
  }

  if (!d.powered) {
    d.displayMode = kDisplayModeStandby;
  } else if (modeIndex == kModeTaOnly || modeIndex == kModeTaRa) {
    // What the logic really runs in, which may be less than what is selected; standby without a logic.
    const auto runs = [&](OperatingMode mode) {
      return source != nullptr && d.advisoryCopy.modeStatus == static_cast<int32_t>(mode);
    };
    d.displayMode = runs(OperatingMode::TaRa)     ? kDisplayModeTaRa
                    : runs(OperatingMode::TaOnly) ? kDisplayModeTaOnly
                                                  : kDisplayModeStandby;
  } else {
    d.displayMode = modeIndex;
  }
}

void CirclePath(platform::DrawContext context, int32_t centreX, int32_t centreY, int32_t radius) {
  platform::DrawEllipse(context, centreX - radius, centreY - radius, centreX + radius, centreY + radius);
}

void DrawAdvisoryBands(IvsiDisplay& d) {
  if (d.logicFailed) return;
  const float lower = d.advisoryCopy.vsLowerLimitFpm;
  const float upper = d.advisoryCopy.vsUpperLimitFpm;
  const float target = d.advisoryCopy.vsTargetFpm;
  d.drawnLimits[0] = lower;
  d.drawnLimits[1] = upper;
  d.drawnLimits[2] = target;
  if (lower < -kNoLimitFpm && upper > kNoLimitFpm) return;

  // Every sector is the part of its pie outside the dial circle.
  ClipOutsideDial(d);
  const float size = Size(d);
  {
    SectorPaint red(d.drawContext, kRed);
    const int32_t radius = Round(0.42f * size);
    if (lower > -kNoLimitFpm) Sector(d, radius, VerticalSpeedAngle(lower), d.scaleBottomAngle);  // below lower
    if (upper < kNoLimitFpm) Sector(d, radius, d.scaleTopAngle, VerticalSpeedAngle(upper));      // above upper
  }
  if (target > -kNoLimitFpm && target < kNoLimitFpm) {
    SectorPaint green(d.drawContext, kGreen);
    const int32_t radius = Round(0.44f * size);
    const float pixel = 1.0f / static_cast<float>(radius);
    // 19.5 degrees on the allowed side of the limit the target sits on, one pixel short of the red.
    if (target == lower) {
      const float at = VerticalSpeedAngle(lower);
      Sector(d, radius, at + d.greenArcSpan, at - pixel);
    } else if (target == upper) {
      const float at = VerticalSpeedAngle(upper);
      Sector(d, radius, at + pixel, at - d.greenArcSpan);
    }
  }
}

void DrawFace(IvsiDisplay& d) {
  const float size = Size(d);
  const int32_t m = d.antiAliased ? 2 : 1;  // flag box margin
  d.ringCentreX = Odd(d, d.surfaceWidth / 2);
  d.ringCentreY = Odd(d, d.surfaceHeight / 2);
  d.ringRadius = Round(0.39f * size);
  const int32_t cx = d.ringCentreX, cy = d.ringCentreY;
  platform::SetBackgroundOpaque(d.drawContext, false);

  DrawAdvisoryBands(d);
  ClipToSurface(d);
  DrawScale(d);

  const int32_t textHeight = DefaultTextHeight(d);
  const int32_t textSpacing = DefaultTextSpacing(d);
  // The lower left window: the V/S flag, or the altitude window setting.
  const int32_t windowX = Odd(d, cx - Round(0.27f * size));
  const int32_t windowY = Odd(d, cy + Round(0.33f * size));
  if (d.vsiFailed) {
    TextFont font(d.drawContext, textHeight, textSpacing);
    const TextSize text = Measure(d, "V/S");
    FlagBox(d, windowX - text.width - m, windowY - m, windowX + m, windowY + text.height + m);
    Write(d, windowX, windowY, TextAlignX::Right, TextAlignY::Top, kOutlineColour, "V/S");
  } else if (TrafficMode(d.displayMode)) {
    if (const char* label = AltitudeWindowLabel(selectors.aboveBelow)) {
      TextFont font(d.drawContext, textHeight, textSpacing);
      Write(d, windowX, windowY, TextAlignX::Right, TextAlignY::Top, kLightBlue, label);
    }
    if (d.ownAltitudeHundreds >= 0) {
      char altitude[16];
      std::snprintf(altitude, sizeof altitude, "%03d", d.ownAltitudeHundreds);
      TextFont font(d.drawContext, Truncate(0.08f * size), 0);
      Write(d, Odd(d, cx + Round(0.29f * size)), Odd(d, cy + Round(0.35f * size)), TextAlignX::Left, TextAlignY::Top,
            kLightBlue, altitude);
    }
  }

  if (d.vsiFailed && d.displayMode == kDisplayModeTaRa) {
    TextFont font(d.drawContext, textHeight, textSpacing);
    const TextSize text = Measure(d, "RA");
    const int32_t x = Odd(d, cx + Round(0.3f * size)), y = Odd(d, cy + Round(0.33f * size));
    FlagBox(d, x - m, y - m, x + text.width + 2 * m, y + text.height + m);
    Write(d, x, y, TextAlignX::Left, TextAlignY::Top, kOutlineColour, "RA");
  }

  if (OffMode(d.displayMode)) {
    if (!d.logicFailed) {
      const float height = size * 0.1f * 0.9f;
      TextFont font(d.drawContext, Truncate(height), Truncate(-0.1f * height));
      const TextSize text = Measure(d, "TCAS OFF");
      Write(d, Odd(d, cx + Round(0.195f * size)), Odd(d, cy - text.height / 2), TextAlignX::Centre, TextAlignY::Top,
            kWhite, "TCAS OFF");
    }
  } else if (const char* label = ModeLabel(d.displayMode)) {
    {
      TextFont font(d.drawContext, textHeight, textSpacing);
      Write(d, cx - Round(0.24f * size), cy - Round(0.35f * size), TextAlignX::Right, TextAlignY::Bottom,
            d.displayMode == kDisplayModeTest ? kYellow : kLightBlue, label);
    }
    if (d.logicFailed && d.displayMode == kDisplayModeTest) {
      {
        TextFont font(d.drawContext, textHeight, 0);
        Write(d, cx, cy - d.ringRadius / 3, TextAlignX::Centre, TextAlignY::Baseline, kYellow, "TCAS FAIL");
      }
      TextFont font(d.drawContext, Truncate(0.08f * size), 0);
      Write(d, cx, Truncate(static_cast<float>(cy) + 0.04f * size), TextAlignX::Centre, TextAlignY::Baseline, kYellow,
            d.failureText != nullptr ? d.failureText : "");
    }
  }

  if (!d.logicFailed && TrafficMode(d.displayMode)) {
    char range[16];
    std::snprintf(range, sizeof range, " %d", static_cast<int>(selectedRangeNm));
    TextFont font(d.drawContext, textHeight, textSpacing);
    Write(d, cx + Round(0.25f * size), cy - Round(0.35f * size), TextAlignX::Left, TextAlignY::Bottom, kLightBlue,
          range);
  }

  if (d.logicFailed && d.displayMode != kDisplayModeTest) {
    TextFont font(d.drawContext, textHeight, textSpacing);
    const TextSize text = Measure(d, "TCAS");
    const int32_t x = Odd(d, cx + Round(0.25f * size) - text.width / 2);
    const int32_t y = Odd(d, cy + text.height / 2);
    FlagBox(d, x - m, y - text.height - m, x + text.width + m, y + m);
    Write(d, x, y, TextAlignX::Left, TextAlignY::Bottom, kOutlineColour, "TCAS");
  }

  // Everything drawn from here on (the traffic) stays inside the dial.
  platform::StartPath(d.drawContext);
  CirclePath(d.drawContext, cx, cy, d.ringRadius);
  platform::FinishPath(d.drawContext);
  platform::ClipToPath(d.drawContext, platform::ClipCombine::Copy);
}

}  // namespace kvr
