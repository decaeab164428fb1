// The Transponder's life on the panel: its two published variables, the "pic" option and the count of
// installed heads that an outside program reads at FSUIPC 0x7B90. The code window, reply light, backlight
// and the controls' behaviour build on this.
#include "module/transponder/transponder.h"

#include "module/gauge/gauge.h"
#include "module/link/fsuipc.h"
#include "module/probe/probe.h"

namespace kvr {

constinit TransponderState transponder;

namespace {

constexpr char kPowerName[] = "KVR_TCAS!Transponder.power";
constexpr char kLitName[] = "KVR_TCAS!Transponder.lit";
constexpr uint32_t kHeadCountOffset = 0x7B90;

// Read-modify-write of one FSUIPC byte; the write is not sent when the read could not be made.
void AddToHeadCount(int delta) {
  if (!IsLinked()) return;
  uint8_t count = 0;
  if (!QueueRead(kHeadCountOffset, 1, &count) || !ProcessQueue()) return;
  count = static_cast<uint8_t>(count + delta);  // modulo 256, as the outside program counts
  if (QueueWrite(kHeadCountOffset, 1, &count)) ProcessQueue();
}

}  // namespace

void TransponderConnect(GaugeHeader*) {
  PublishVariable(&transponder.power, kTypeFlag32, kPowerName);
  PublishVariable(&transponder.lit, kTypeFlag32, kLitName);
}

void TransponderInstall(GaugeHeader* gauge) {
  if (gauge != nullptr) {
    transponder.useProbe = SwitchOption(gauge->parameters, "pic", true) ? 1 : 0;
    if (transponder.useProbe) OpenProbe();
  }
  AddToHeadCount(+1);
}

void TransponderUpdate(GaugeHeader*) {}

void TransponderDraw(GaugeHeader*) {}

void TransponderDisconnect(GaugeHeader*) {
  WithdrawVariable(kPowerName);
  WithdrawVariable(kLitName);
  AddToHeadCount(-1);
}

int32_t KVR_FSAPI TransponderDigitArea0(PixelPoint*, uint32_t) { return 1; }
int32_t KVR_FSAPI TransponderDigitArea1(PixelPoint*, uint32_t) { return 1; }
int32_t KVR_FSAPI TransponderDigitArea2(PixelPoint*, uint32_t) { return 1; }
int32_t KVR_FSAPI TransponderDigitArea3(PixelPoint*, uint32_t) { return 1; }
int32_t KVR_FSAPI TransponderRangeKnob(PixelPoint*, uint32_t) { return 1; }
int32_t KVR_FSAPI TransponderModeKnob(PixelPoint*, uint32_t) { return 1; }
int32_t KVR_FSAPI TransponderAboveBelowSwitch(PixelPoint*, uint32_t) { return 1; }
int32_t KVR_FSAPI TransponderAbsoluteRelativeSwitch(PixelPoint*, uint32_t) { return 1; }
int32_t KVR_FSAPI TransponderIdentButton(PixelPoint*, uint32_t) { return 1; }

}  // namespace kvr
