// The drawing object of one IVSI gauge: its off-screen context, the face and traffic surfaces, the saved
// face, its pen, brush and font set, and every size of the picture, all derived from `displaySize`.
// Private to module/display. Built at the gauge's installation, destroyed at its removal.
//
// Files: ivsi_display.cpp (construction, sizes, destruction), dial.cpp (scale law, face, advisory bands,
// mode evaluation), traffic_layer.cpp (symbols, tags, arrows, own aircraft, range dots, test pattern),
// composition.cpp (ComposeFrame, DownsampleRegion).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "avertine/avertine.h"
#include "module/platform/drawing.h"

namespace kvr {

class TrafficSource;

// Rectangle with inclusive bounds; empty is (INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN).
struct Box {
  int32_t left = 2147483647;
  int32_t top = 2147483647;
  int32_t right = -2147483647 - 1;
  int32_t bottom = -2147483647 - 1;

  bool Empty() const { return left > right || top > bottom; }
  void Grow(const Box& other);  // union
};

// The 2:1 filter's output where one anti-aliased needle lies, kept so that the needle shown there again
// costs a copy instead of a fill, a restore, an overlay and a filter. Output row firstRow + i keeps the
// pixels from column spans[2i], spans[2i + 1] of them; they follow each other in `pixels`. Kept whole
// rows of the needle's box first, and cut to what differs from the background (compact) when reused.
inline constexpr size_t kNeedleFrameBudget = 8u << 20;
inline constexpr size_t kNeedleSlots = 4096;

// A needle shown once over the current layers: shown again, its frame is kept.
struct SeenNeedle {
  uint64_t layersVersion = 0;
  platform::Point points[7] = {};
};

struct NeedleFrame {
  uint64_t layersVersion = 0;      // the IvsiDisplay::layersVersion it was made under; 0: none
  platform::Point points[7] = {};  // the needle's corners on the surface
  int32_t firstRow = 0;
  bool compact = false;
  std::vector<int32_t> spans;
  std::vector<uint32_t> pixels;
};

inline constexpr platform::Rgb kLightBlue{99, 181, 232};
inline constexpr platform::Rgb kWhite{255, 255, 255};
inline constexpr platform::Rgb kYellow{255, 255, 0};
inline constexpr platform::Rgb kRed{255, 0, 0};
inline constexpr platform::Rgb kGreen{0, 200, 0};
inline constexpr platform::Rgb kOutlineColour{0, 0, 16};  // the picture's black: pure black is transparent
inline constexpr uint32_t kBackgroundPixel = 0x00000010;

// Display modes, from the selectors and the picture.
inline constexpr int32_t kDisplayModeTest = 0;
inline constexpr int32_t kDisplayModeStandby = 1;
inline constexpr int32_t kDisplayModeTransponder = 2;
inline constexpr int32_t kDisplayModeTaOnly = 3;
inline constexpr int32_t kDisplayModeTaRa = 4;

struct IvsiDisplay {
  bool antiAliased = true;
  int32_t normalBand = 999;  // hundreds of feet
  platform::Rgb ownColour{};
  platform::Rgb trafficColour{};
  int32_t surfaceWidth = 0, surfaceHeight = 0;
  int32_t pixelCount = 0;
  int32_t displaySize = 0;  // D: every size of the picture is a fraction of it
  platform::Surface faceLayer = nullptr;
  platform::Surface trafficLayer = nullptr;
  platform::DrawContext drawContext = nullptr;
  platform::Font mainFont = nullptr;
  platform::Pen trafficPen = nullptr, taPen = nullptr, raPen = nullptr, outlinePen = nullptr, flagPen = nullptr;
  platform::Brush trafficBrush = nullptr, taBrush = nullptr, raBrush = nullptr, outlineBrush = nullptr,
                  flagBrush = nullptr;
  int32_t symbolHalfWidth = 0, symbolHalfHeight = 0, tagOffsetBelow = 0, tagOffsetAbove = 0, arrowOffset = 0,
          arrowWidth = 0;
  uint32_t* savedFace = nullptr;  // pixelCount pixels
  Box fullBox, dirtyBox, needleBox, trafficBox;
  platform::Point needleShape[7] = {};
  platform::Point needlePoints[7] = {};
  int32_t ringCentreX = 0, ringCentreY = 0;
  platform::Point ownPoint{};
  int32_t ringRadius = 0;
  int32_t displayMode = -1, drawnMode = -1;
  int32_t drawnRangeNm = 0;
  bool powered = true, vsiFailed = true, logicFailed = true, drawnLogicFailed = false;
  const char* failureText = nullptr;
  AdvisoryRecord advisoryCopy{};
  float drawnLimits[3] = {12345.0f, 12345.0f, 12345.0f};
  int32_t drawnAboveBelow = -1;
  int32_t ownAltitudeHundreds = -9999;
  float greenArcSpan = 0, scaleTopAngle = 0, scaleBottomAngle = 0;
  TrafficSource** logicBinding = nullptr;

  // Line widths derived from displaySize (kept for the drawing steps that need them).
  int32_t lineWidth = 0, outlineWidth = 0, needleWidth = 0;

  // The needle's one-pixel white outline and white fill, made once so that no frame creates objects.
  platform::Pen needlePen = nullptr;
  platform::Brush needleBrush = nullptr;

  // Anti-aliased only. layersVersion counts every change of what lies under the needle (the saved face,
  // the traffic layer, whether traffic is laid over); a kept needle frame or filtered background of an
  // older version is stale. backgroundOutput is the filter's output of the face with its traffic and no
  // needle, (surfaceWidth / 2) x (surfaceHeight / 2).
  uint64_t layersVersion = 1;
  bool composedLogicFailed = false;
  uint64_t backgroundVersion = 0;
  std::vector<uint32_t> backgroundOutput;
  // Room for every needle the scale shows at a usual size (about 3100 at 132 x 132), their pixels kept
  // within about kNeedleFrameBudget bytes.
  std::vector<NeedleFrame> needleFrames;  // kNeedleSlots each when anti-aliased, else none
  std::vector<SeenNeedle> seenNeedles;
  size_t needleFrameBytes = 0;
};

// ---- Construction and destruction (ivsi_display.cpp) ----------------------------------------------------
// Null when the object cannot be allocated. The face is drawn when it returns.
IvsiDisplay* CreateIvsiDisplay(platform::DrawContext templateContext, TrafficSource** logicBinding, int32_t width,
                               int32_t height, bool antiAliased, bool bluePlane, int32_t normalBand, float fontScale);
void DestroyIvsiDisplay(IvsiDisplay* display);

// The traffic source behind the binding, or null.
TrafficSource* BoundSource(const IvsiDisplay& display);
// Refreshes logicFailed and failureText from the binding.
void RefreshLogicFailure(IvsiDisplay& display);

// Clears every pixel of the traffic layer to 0 (transparent).
void ClearTrafficLayer(IvsiDisplay& display);
// True when the face shows something other than what it would show now: range, display mode, traffic
// failure, above/below, or (while the logic works) the advisory limits. The values that only a
// composition stores (altitude readout, power, V/S failure) are compared by ComposeFrame itself.
bool FaceOutOfDate(const IvsiDisplay& display);
// Records what the face is drawn for, fills faceLayer with the background, draws the dial on it when
// powered, keeps the result in savedFace and marks the whole surface dirty.
void RedrawFace(IvsiDisplay& display);

// ---- The dial (dial.cpp) ----------------------------------------------------------------------------------
float VerticalSpeedAngle(float verticalSpeedFpm);
void EvaluateMode(IvsiDisplay& display);
void DrawFace(IvsiDisplay& display);
void DrawAdvisoryBands(IvsiDisplay& display);
void CirclePath(platform::DrawContext context, int32_t centreX, int32_t centreY, int32_t radius);

// ---- The traffic layer (traffic_layer.cpp) --------------------------------------------------------------
// Repaints trafficLayer from the picture and the mode (nothing in Standby and Transponder, nor while the
// logic has failed outside the test mode), sets trafficBox to what was painted and grows dirtyBox by the
// old and new trafficBox. Leaves trafficLayer selected in drawContext; paints within the context's clip.
void DrawTrafficLayer(IvsiDisplay& display);
// One symbol centred on (x, y) with its tag (at most 7 characters) above or below it and, for trend -1
// or +1, its arrow: a hollow diamond, a filled diamond, a yellow circle, a red square.
void DrawOtherTraffic(IvsiDisplay& display, int32_t x, int32_t y, const char* tag, int32_t trend, bool tagAbove);
void DrawProximateTraffic(IvsiDisplay& display, int32_t x, int32_t y, const char* tag, int32_t trend, bool tagAbove);
void DrawTrafficAdvisory(IvsiDisplay& display, int32_t x, int32_t y, const char* tag, int32_t trend, bool tagAbove);
void DrawResolutionAdvisory(IvsiDisplay& display, int32_t x, int32_t y, const char* tag, int32_t trend, bool tagAbove);
// The trend arrow right of a symbol at (x, y), with the pen and brush selected; nothing unless trend is
// -1 (down) or +1 (up).
void DrawTrendArrow(IvsiDisplay& display, int32_t x, int32_t y, int32_t trend);
// Places ownPoint, draws the own-aircraft symbol and the range dots at 2 and, from the 12-mile range, 5 miles.
void DrawOwnAircraft(IvsiDisplay& display);

// ---- The frame (composition.cpp) -------------------------------------------------------------------------
// `targetContext` is the drawing element's device context as the host hands it (a HostSurface on POSIX,
// an HDC on Windows); a drawing context is made of it for this call only. `x`, `y`: where the picture
// goes in it, pixels.
void ComposeFrame(IvsiDisplay& display, void* targetContext, int32_t x, int32_t y, float verticalSpeedFpm, bool powered,
                  bool vsiFailed);
// Filters `box` of faceLayer down by two in each direction, in place: output pixel (X, Y) is the 1-2-1
// weighted 3 x 3 block centred on input pixel (2X + 1, 2Y + 1). The box's bounds are even; a box reaching
// outside the surface is cut to it.
void DownsampleRegion(IvsiDisplay& display, const Box& box);

}  // namespace kvr
