// The text setters of the drawing seam, one copy for every platform: they keep the context's settings,
// do nothing for a null context, and leave the platform's own state to ApplyTextSettings.
#include "module/platform/drawing_objects.h"

#include <utility>

namespace kvr::platform {

namespace {

template <typename Change>
void ChangeSettings(DrawContext context, const Change& change) {
  TextSettings* text = TextSettingsOf(context);
  if (text == nullptr) return;
  change(*text);
  ApplyTextSettings(context);
}

}  // namespace

void SetTextColour(DrawContext context, Rgb colour) {
  ChangeSettings(context, [&](TextSettings& text) { text.colour = colour; });
}

void SetBackgroundColour(DrawContext context, Rgb colour) {
  ChangeSettings(context, [&](TextSettings& text) { text.backColour = colour; });
}

void SetBackgroundOpaque(DrawContext context, bool opaque) {
  ChangeSettings(context, [&](TextSettings& text) { text.opaque = opaque; });
}

void SetTextAlignment(DrawContext context, TextAlignX x, TextAlignY y) {
  ChangeSettings(context, [&](TextSettings& text) {
    text.alignX = x;
    text.alignY = y;
  });
}

int32_t SetCharacterSpacing(DrawContext context, int32_t extraPx) {
  int32_t previous = 0;
  ChangeSettings(context, [&](TextSettings& text) { previous = std::exchange(text.spacingPx, extraPx); });
  return previous;
}

}  // namespace kvr::platform
