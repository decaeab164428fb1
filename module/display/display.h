// The IVSI side of the module: the module-wide selector variables that every gauge of the module shares,
// and the IVSI gauge's entry points (its controller, mouse handlers and the selector readers that the
// Transponder's knob pictures use).
#pragma once

#include <cstdint>

#include "module/gauge/panel_sdk.h"

namespace kvr {

// ---- Selector variables ---------------------------------------------------------------------------------
// One set per module; published by the IVSI gauges under "KVR_TCAS!IVSI.<name>", read and written by
// every gauge of the module and by other gauges of the panel. Values at load are the initialisers.
struct SelectorVariables {
  int32_t redraw = 1;            // flag (17): a full IVSI redraw is due; cleared by every IVSI draw
  int32_t power = 1;             // flag (17): display and collision logic powered
  int32_t lit = 0;               // flag (17): panel lighting on
  int32_t vsiFlag = 0;           // flag (17): vertical speed invalid
  int32_t rangeIndex = 0;        // int (19): 0..4 into kRangeTableNm
  int32_t modeIndex = 1;         // int (19): 0 test, 1 standby, 2 transponder only, 3 TA only, 4 TA/RA
  int32_t aboveBelow = 1;        // int (19): 0 above, 1 normal, 2 below
  int32_t absoluteRelative = 1;  // int (19): 0 absolute, 1 relative
};
extern SelectorVariables selectors;

inline constexpr int kSelectorCount = 8;
// The published names of the selections the Transponder's knobs and switches share, and of the flag that
// asks the IVSI for a full redraw.
inline constexpr char kRedrawVariable[] = "KVR_TCAS!IVSI.redraw";
inline constexpr char kRangeIndexVariable[] = "KVR_TCAS!IVSI.range_index";
inline constexpr char kModeIndexVariable[] = "KVR_TCAS!IVSI.mode_index";
inline constexpr char kAboveBelowVariable[] = "KVR_TCAS!IVSI.above_below";
inline constexpr char kAbsoluteRelativeVariable[] = "KVR_TCAS!IVSI.absolute_relative";
// The FSUIPC byte that tells the outside transponder program the mode knob is in test or standby.
inline constexpr uint32_t kFsuipcTransponderStandby = 0x7B91;
inline constexpr float kRangeTableNm[5] = {6.0f, 12.0f, 18.0f, 24.0f, 40.0f};
inline constexpr int32_t kModeTest = 0, kModeStandby = 1, kModeTransponderOnly = 2, kModeTaOnly = 3, kModeTaRa = 4;

// The published name, type code and storage of selector `index` (0..7, in publication order).
const char* SelectorName(int index);
uint32_t SelectorTypeCode(int index);
int32_t* SelectorStorage(int index);

// The range in nautical miles of the current range_index; set at load and by every frame composition.
extern float selectedRangeNm;
// Clamps range_index to 0..4, writes it back, and sets selectedRangeNm from it. Returns the range.
float UpdateSelectedRange();

void PublishSelectorVariables();   // in publication order
void WithdrawSelectorVariables();  // in the same order

// ---- The IVSI gauge -------------------------------------------------------------------------------------
// [panel thread] Callback codes, dispatched by the gauge table with the instance's header; `IvsiConnect`
// puts a new controller into the header's state word, the others act only while it holds one this
// module made (whatever else a host may have left there is never used or freed).
bool IvsiHasController(const GaugeHeader* gauge);
void IvsiConnect(GaugeHeader* gauge);
void IvsiInstall(GaugeHeader* gauge);
void IvsiDrawFrame(GaugeHeader* gauge);
void IvsiTeardown(GaugeHeader* gauge);
void IvsiDisconnect(GaugeHeader* gauge);

// [panel thread, after install] The four corner areas: mode, range, above/below, absolute/relative.
int32_t KVR_FSAPI IvsiModeArea(PixelPoint* relative, uint32_t mouseFlags);
int32_t KVR_FSAPI IvsiRangeArea(PixelPoint* relative, uint32_t mouseFlags);
int32_t KVR_FSAPI IvsiAboveBelowArea(PixelPoint* relative, uint32_t mouseFlags);
int32_t KVR_FSAPI IvsiAbsoluteRelativeArea(PixelPoint* relative, uint32_t mouseFlags);

// [panel thread] The selector readers: icon callbacks of the Transponder's knobs and switches. Each binds
// its published variable lazily, takes its value when the type code is 19, clamps it and returns the
// picture index. The mode reader also keeps `transponderStandby` and tells FSUIPC byte 0x7B91.
double KVR_FSAPI ReadAbsoluteRelativeSelector(ElementHeader* element);
double KVR_FSAPI ReadAboveBelowSelector(ElementHeader* element);
double KVR_FSAPI ReadModeSelector(ElementHeader* element);
double KVR_FSAPI ReadRangeSelector(ElementHeader* element);

// The readers' caches, which are also the Transponder's own selections.
struct SelectorCache {
  int32_t rangeIndex = 0;
  int32_t modeIndex = 0;
  int32_t aboveBelow = 1;
  int32_t absRelPosition = 0;      // picture index: 0 or 2
  bool transponderStandby = true;  // modeIndex < 2, set by every evaluation of the mode reader
};
extern SelectorCache selectorCache;

// The readers' binding records, shared with the Transponder, which stores through them.
struct SelectorBindings {
  VariableRecord rangeIndex{};
  VariableRecord modeIndex{};
  VariableRecord aboveBelow{};
  VariableRecord absoluteRelative{};
};
extern SelectorBindings selectorBindings;

}  // namespace kvr
