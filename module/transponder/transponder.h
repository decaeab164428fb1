// The Transponder gauge: the transponder and TCAS control head. It shows the simulator's transponder code,
// steps its digits through the simulator's digit events, carries the TCAS knobs and switches that the IVSI
// gauges obey, and talks to an outside program through FSUIPC bytes 0x7B90-0x7B93 (heads installed,
// standby, reply request, ident). Its state is module-wide, shared by every Transponder on the panel; the
// knob and switch selections are the selector readers' caches (display.h `selectorCache`).
#pragma once

#include <cstdint>

#include "module/gauge/panel_sdk.h"

namespace kvr {

struct TransponderState {
  int32_t power = 1;              // published as "KVR_TCAS!Transponder.power" (17); the probe's answer when useProbe
  int32_t lit = 0;                // published as "KVR_TCAS!Transponder.lit" (17); backlight when useProbe is clear
  int32_t useProbe = 1;           // option "pic"
  int32_t replyCountdown = 0;     // updates for which the reply light stays on
  int32_t previousCountdown = 1;  // replyCountdown at the previous draw
  int32_t overlayState = 0;       // 1 backlight last shown, 2 last hidden, 0 not yet decided
  VariableRecord codeVariable = SimVariableRecord(kSimTransponderCode);  // BCD digits in the low 16 bits
  bool codePrepared = false;  // codeVariable went through InitSimVariable (once, before its first refresh)
  // What the code window shows now; lastCode -1 = no digits drawn yet.
  int32_t lastPowered = 0;
  int32_t lastCode = -1;
  int32_t lastWidth = 0;           // pixels
  int32_t lastHeight = 0;          // pixels
  VariableRecord redrawBinding{};  // "KVR_TCAS!IVSI.redraw", bound on first use
};
extern TransponderState transponder;

// Updates the reply light stays on after IDENT, and at least after a reply request.
inline constexpr int32_t kIdentReplyUpdates = 36;
inline constexpr int32_t kReplyRequestUpdates = 5;

// Simulator events for digit i (0 = thousands ... 3 = units), sent with parameter 0.
inline constexpr uint32_t kEventDigitDown = 0x10397;
inline constexpr uint32_t kEventDigitUp = 0x10073;

// FSUIPC bytes shared with the outside program (0x7B91, standby, is written by the mode reader).
inline constexpr uint32_t kFsuipcHeadCount = 0x7B90;     // heads installed, modulo 256
inline constexpr uint32_t kFsuipcReplyRequest = 0x7B92;  // set by the program, cleared by the gauge
inline constexpr uint32_t kFsuipcIdent = 0x7B93;         // set to 1 by IDENT

// [panel thread] Callback codes, dispatched by the gauge table. `gauge` may be null except for Draw, which
// is called only when the gauge and its base element exist.
void TransponderConnect(GaugeHeader* gauge);
void TransponderInstall(GaugeHeader* gauge);
void TransponderUpdate(GaugeHeader* gauge);
void TransponderDraw(GaugeHeader* gauge);
void TransponderDisconnect(GaugeHeader* gauge);

// [panel thread] Paints the code in the drawing surface of `element` (flags 0x26) when the power state, the
// code or the surface size changed since the last paint, and then marks the element for redraw.
void DrawCodeWindow(ElementHeader* element, int32_t powered);

// [panel thread, after install] The nine areas, in the order of the gauge's mouse list. Each answers 1.
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
