// The code window: the simulator's transponder code as four seven-segment digits on the dark window face,
// painted into the drawing surface the panel gives the element, and only when something shown changed.
#include <cstdio>

#include "module/gauge/gauge.h"
#include "module/platform/drawing.h"
#include "module/transponder/transponder.h"

namespace kvr {

namespace {

// A dark violet face (Windows colour 0x280818: red 0x18, green 0x08, blue 0x28) and near-white digits;
// the panel treats pure black as transparent.
constexpr platform::Rgb kBackground{0x18, 0x08, 0x28};
constexpr platform::Rgb kDigits{0xF8, 0xF8, 0xF8};
constexpr uint32_t kOctalDigitsMask = 0x7777;  // a transponder digit is 0-7: BCD 8 and 9 lose their top bit

int32_t ReadCode() {
  VariableRecord& code = transponder.codeVariable;
  if (!transponder.codePrepared) {
    InitSimVariable(&code);
    transponder.codePrepared = true;
  }
  RefreshVariable(&code);
  return static_cast<int32_t>(code.value.u32);
}

void PaintBackground(platform::DrawContext context, int32_t width, int32_t height) {
  platform::Pen pen = platform::MakePen(1, kBackground, platform::LineCap::Round, platform::LineJoin::Round);
  platform::Brush brush = platform::MakeSolidBrush(kBackground);
  platform::Pen oldPen = platform::UsePen(context, pen);
  platform::Brush oldBrush = platform::UseBrush(context, brush);
  platform::DrawRectangle(context, 0, 0, width, height);
  platform::UsePen(context, oldPen);
  platform::UseBrush(context, oldBrush);
  platform::ReleasePen(pen);
  platform::ReleaseBrush(brush);
}

// Four digits centred on (width / 2, height), their cell's bottom on the window's bottom edge. The odd
// cell height and the spacing of about a sixth of the height fit four digits in the window.
void PaintDigits(platform::DrawContext context, int32_t code, int32_t width, int32_t height) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(static_cast<uint32_t>(code) & kOctalDigitsMask));

  platform::Font font = platform::MakeFont({"Quartz", height | 1, 400, true});
  platform::Font oldFont = platform::UseFont(context, font);
  platform::SetCharacterSpacing(context, (height + 3) / 6);
  platform::SetTextAlignment(context, platform::TextAlignX::Centre, platform::TextAlignY::Bottom);
  platform::SetTextColour(context, kDigits);
  platform::SetBackgroundColour(context, kBackground);
  platform::SetBackgroundOpaque(context, true);
  platform::WriteText(context, width / 2, height, text);
  platform::UseFont(context, oldFont);
  platform::ReleaseFont(font);
}

}  // namespace

void DrawCodeWindow(ElementHeader* element, int32_t powered) {
  // An element without a surface record has nothing to paint; its size would be unknown.
  if (element == nullptr || element->surfaceInfo == nullptr) return;
  const int32_t code = ReadCode();
  const int32_t width = element->surfaceInfo->width;
  const int32_t height = element->surfaceInfo->height;

  TransponderState& t = transponder;
  if (powered == t.lastPowered && code == t.lastCode && width == t.lastWidth && height == t.lastHeight) return;

  // Without a drawing context nothing is painted, and nothing is remembered as painted: the next frame
  // tries again.
  platform::DrawContext context = platform::ContextFromHost(element->deviceContext);
  if (context == nullptr) return;
  // On a power or size change the whole face is repainted; a new code alone is covered by the opaque
  // text cell.
  if (powered != t.lastPowered || width != t.lastWidth || height != t.lastHeight) {
    PaintBackground(context, width, height);
    t.lastPowered = powered;
    t.lastWidth = width;
    t.lastHeight = height;
  }
  if (powered != 0) {
    t.lastCode = code;
    PaintDigits(context, code, width, height);
  }
  platform::ReleaseContext(context);
  element->flags &= ~(kElementOnScreen | kElementHidden);
}

}  // namespace kvr
