// How the selectors are changed and read from outside the IVSI face: its four corner mouse areas, and the
// four readers that draw the Transponder's knobs and switches.
#include "module/display/display.h"
#include "module/gauge/gauge.h"
#include "module/link/fsuipc.h"

namespace kvr {

constinit SelectorCache selectorCache;
constinit SelectorBindings selectorBindings;

namespace {

int32_t Clamp(int32_t value, int32_t low, int32_t high) { return value < low ? low : value > high ? high : value; }

// Left click moves the value by `leftStep`, right click by the opposite; then clamp and ask for a redraw.
int32_t StepSelector(int32_t& value, uint32_t mouseFlags, int32_t leftStep, int32_t top) {
  if (mouseFlags & kMouseLeftSingle) value += leftStep;
  else if (mouseFlags & kMouseRightSingle) value -= leftStep;
  value = Clamp(value, 0, top);
  selectors.redraw = 1;
  return 1;
}

// Binds lazily, takes the published value when it is a 32-bit integer, and keeps it in `cache`.
int32_t ReadBound(VariableRecord& record, const char* name, int32_t& cache) {
  if (record.valuePointer == nullptr) BindVariable(&record, name);
  if (record.valuePointer != nullptr && record.typeCode == kTypeInt32)
    cache = *static_cast<const int32_t*>(record.valuePointer);
  return cache;
}

}  // namespace

int32_t KVR_FSAPI IvsiModeArea(PixelPoint*, uint32_t mouseFlags) {
  return StepSelector(selectors.modeIndex, mouseFlags, -1, 4);
}

int32_t KVR_FSAPI IvsiRangeArea(PixelPoint*, uint32_t mouseFlags) {
  return StepSelector(selectors.rangeIndex, mouseFlags, -1, 4);
}

int32_t KVR_FSAPI IvsiAboveBelowArea(PixelPoint*, uint32_t mouseFlags) {
  return StepSelector(selectors.aboveBelow, mouseFlags, +1, 2);
}

int32_t KVR_FSAPI IvsiAbsoluteRelativeArea(PixelPoint*, uint32_t mouseFlags) {
  return StepSelector(selectors.absoluteRelative, mouseFlags, +1, 1);
}

double KVR_FSAPI ReadAbsoluteRelativeSelector(ElementHeader*) {
  int32_t value = ReadBound(selectorBindings.absoluteRelative, kAbsoluteRelativeVariable, selectorCache.absRelPosition);
  selectorCache.absRelPosition = value >= 1 ? 2 : 0;  // a three-position switch picture: 0 or 2
  return selectorCache.absRelPosition;
}

double KVR_FSAPI ReadAboveBelowSelector(ElementHeader*) {
  int32_t value = ReadBound(selectorBindings.aboveBelow, kAboveBelowVariable, selectorCache.aboveBelow);
  selectorCache.aboveBelow = Clamp(value, 0, 2);
  return selectorCache.aboveBelow;
}

double KVR_FSAPI ReadModeSelector(ElementHeader*) {
  int32_t value = ReadBound(selectorBindings.modeIndex, kModeIndexVariable, selectorCache.modeIndex);
  selectorCache.modeIndex = Clamp(value, 0, 4);
  selectorCache.transponderStandby = selectorCache.modeIndex < kModeTransponderOnly;
  // Tell the outside program whether the transponder is in standby.
  if (IsLinked()) {
    const uint8_t standby = selectorCache.transponderStandby ? 1 : 0;
    if (QueueWrite(kFsuipcTransponderStandby, 1, &standby)) ProcessQueue();
  }
  return selectorCache.modeIndex;
}

double KVR_FSAPI ReadRangeSelector(ElementHeader*) {
  int32_t value = ReadBound(selectorBindings.rangeIndex, kRangeIndexVariable, selectorCache.rangeIndex);
  selectorCache.rangeIndex = Clamp(value, 0, 4);
  return selectorCache.rangeIndex;
}

}  // namespace kvr
