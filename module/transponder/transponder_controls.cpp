// The Transponder's controls: four digit areas that step the simulator's code, the mode and range knobs and
// the two switches that set the TCAS selections shared with the IVSI gauges, and IDENT.
//
// The knobs and switches work on the selector readers' caches, so the pictures show what was set even when
// no IVSI publishes the selector variables; when one does, the selection is stored through the readers'
// binding records and the IVSI is asked to redraw.
#include "module/display/display.h"
#include "module/gauge/gauge.h"
#include "module/transponder/transponder.h"
#include "module/transponder/transponder_link.h"

namespace kvr {

namespace {

constexpr int32_t kTopRange = 4, kTopMode = 4, kTopAboveBelow = 2;
constexpr int32_t kAbsolutePicture = 0, kRelativePicture = 2;  // the switch uses the ends of a 3-way picture

bool LeftClick(uint32_t mouseFlags) { return (mouseFlags & kMouseLeftSingle) != 0; }
bool RightClick(uint32_t mouseFlags) { return (mouseFlags & kMouseRightSingle) != 0; }

// Stores `value` through `record` when it is bound (now or earlier) to a variable of type `typeCode`; a
// binding of another type is taken as absent.
void StoreThrough(VariableRecord& record, const char* name, uint32_t typeCode, int32_t value) {
  if (record.valuePointer == nullptr) BindVariable(&record, name);
  if (record.valuePointer != nullptr && record.typeCode == typeCode)
    *static_cast<int32_t*>(record.valuePointer) = value;
}

void PublishSelection(VariableRecord& record, const char* name, int32_t value) {
  StoreThrough(record, name, kTypeInt32, value);
  StoreThrough(transponder.redrawBinding, kRedrawVariable, kTypeFlag32, 1);
}

int32_t DigitArea(int digit, uint32_t mouseFlags) {
  if (LeftClick(mouseFlags)) SendEvent(kEventDigitDown + digit, 0);
  else if (RightClick(mouseFlags)) SendEvent(kEventDigitUp + digit, 0);
  return 1;
}

// Left turns down (toward 0), right turns up, within 0..top.
bool TurnKnob(int32_t& value, uint32_t mouseFlags, int32_t top) {
  if (LeftClick(mouseFlags)) {
    if (value > 0) --value;
  } else if (RightClick(mouseFlags)) {
    if (value < top) ++value;
  } else {
    return false;
  }
  return true;
}

}  // namespace

int32_t KVR_FSAPI TransponderDigitArea0(PixelPoint*, uint32_t mouseFlags) { return DigitArea(0, mouseFlags); }
int32_t KVR_FSAPI TransponderDigitArea1(PixelPoint*, uint32_t mouseFlags) { return DigitArea(1, mouseFlags); }
int32_t KVR_FSAPI TransponderDigitArea2(PixelPoint*, uint32_t mouseFlags) { return DigitArea(2, mouseFlags); }
int32_t KVR_FSAPI TransponderDigitArea3(PixelPoint*, uint32_t mouseFlags) { return DigitArea(3, mouseFlags); }

int32_t KVR_FSAPI TransponderRangeKnob(PixelPoint*, uint32_t mouseFlags) {
  if (TurnKnob(selectorCache.rangeIndex, mouseFlags, kTopRange))
    PublishSelection(selectorBindings.rangeIndex, kRangeIndexVariable, selectorCache.rangeIndex);
  return 1;
}

int32_t KVR_FSAPI TransponderModeKnob(PixelPoint*, uint32_t mouseFlags) {
  if (TurnKnob(selectorCache.modeIndex, mouseFlags, kTopMode))
    PublishSelection(selectorBindings.modeIndex, kModeIndexVariable, selectorCache.modeIndex);
  return 1;
}

// The above/below switch runs the other way: a left click moves it toward "below" (2).
int32_t KVR_FSAPI TransponderAboveBelowSwitch(PixelPoint*, uint32_t mouseFlags) {
  int32_t& value = selectorCache.aboveBelow;
  if (LeftClick(mouseFlags)) {
    if (value < kTopAboveBelow) ++value;
  } else if (RightClick(mouseFlags)) {
    if (value > 0) --value;
  } else {
    return 1;
  }
  PublishSelection(selectorBindings.aboveBelow, kAboveBelowVariable, value);
  return 1;
}

// Left selects relative, right absolute; the IVSI's variable is 0 or 1, the picture 0 or 2.
int32_t KVR_FSAPI TransponderAbsoluteRelativeSwitch(PixelPoint*, uint32_t mouseFlags) {
  int32_t& position = selectorCache.absRelPosition;
  if (LeftClick(mouseFlags)) {
    if (position == kAbsolutePicture) position = kRelativePicture;
  } else if (RightClick(mouseFlags)) {
    if (position == kRelativePicture) position = kAbsolutePicture;
  } else {
    return 1;
  }
  PublishSelection(selectorBindings.absoluteRelative, kAbsoluteRelativeVariable, position / 2);
  return 1;
}

// IDENT tells the outside program and lights the reply light; in test or standby it does nothing.
int32_t KVR_FSAPI TransponderIdentButton(PixelPoint*, uint32_t mouseFlags) {
  if (!LeftClick(mouseFlags) || selectorCache.transponderStandby) return 1;
  transponder_link::WriteByte(kFsuipcIdent, 1);
  transponder.replyCountdown = kIdentReplyUpdates;
  return 1;
}

}  // namespace kvr
