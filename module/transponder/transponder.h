// The Transponder gauge: the transponder and TCAS control head. Its state is module-wide, shared by every
// Transponder placed on the panel.
#pragma once

#include <cstdint>

#include "module/gauge/panel_sdk.h"

namespace kvr {

struct TransponderState {
  int32_t power = 1;     // published as "KVR_TCAS!Transponder.power" (17)
  int32_t lit = 0;       // published as "KVR_TCAS!Transponder.lit" (17)
  int32_t useProbe = 1;  // option "pic"
};
extern TransponderState transponder;

// [panel thread] Callback codes, dispatched by the gauge table. `gauge` may be null.
void TransponderConnect(GaugeHeader* gauge);
void TransponderInstall(GaugeHeader* gauge);
void TransponderUpdate(GaugeHeader* gauge);
void TransponderDraw(GaugeHeader* gauge);
void TransponderDisconnect(GaugeHeader* gauge);

// [panel thread, after install] The nine areas, in the order of the gauge's mouse list.
int32_t KVR_FSAPI TransponderDigitArea0(PixelPoint* relative, uint32_t mouseFlags);
int32_t KVR_FSAPI TransponderDigitArea1(PixelPoint* relative, uint32_t mouseFlags);
int32_t KVR_FSAPI TransponderDigitArea2(PixelPoint* relative, uint32_t mouseFlags);
int32_t KVR_FSAPI TransponderDigitArea3(PixelPoint* relative, uint32_t mouseFlags);
int32_t KVR_FSAPI TransponderRangeKnob(PixelPoint* relative, uint32_t mouseFlags);
int32_t KVR_FSAPI TransponderModeKnob(PixelPoint* relative, uint32_t mouseFlags);
int32_t KVR_FSAPI TransponderAboveBelowSwitch(PixelPoint* relative, uint32_t mouseFlags);
int32_t KVR_FSAPI TransponderAbsoluteRelativeSwitch(PixelPoint* relative, uint32_t mouseFlags);
int32_t KVR_FSAPI TransponderIdentButton(PixelPoint* relative, uint32_t mouseFlags);

}  // namespace kvr
