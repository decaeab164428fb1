// The Transponder's life on the panel: its two published variables, the "pic" option, the count of
// installed heads at FSUIPC 0x7B90, the reply requests served on every update, and on every draw the code
// window, the reply light and the backlight.
#include "module/display/display.h"
#include "module/gauge/gauge.h"
#include "module/probe/probe.h"
#include "module/transponder/transponder.h"
#include "module/transponder/transponder_link.h"

namespace kvr {

constinit TransponderState transponder;

namespace {

constexpr char kPowerName[] = "KVR_TCAS!Transponder.power";
constexpr char kLitName[] = "KVR_TCAS!Transponder.lit";

// Children of the base element, in the order of the gauge's element tree.
constexpr int kBacklightChild = 0;
constexpr int kCodeWindowChild = 1;
constexpr int kReplyLightChild = 2;

// Child `index` of `parent`, or null when the list is shorter.
ElementHeader* Child(ElementHeader* parent, int index) {
  if (parent == nullptr || parent->children == nullptr) return nullptr;
  for (int i = 0; i <= index; ++i)
    if (parent->children[i] == nullptr) return nullptr;
  return parent->children[index];
}

void Show(ElementHeader* element) {
  if (element != nullptr) element->flags &= ~kElementHidden;
}

void Hide(ElementHeader* element) {
  if (element != nullptr) element->flags |= kElementHidden;
}

// Clearing the on-screen bit makes the panel draw the element (and what lies on it) again: needed where
// something was hidden, since the picture under it must come back.
void MarkForRedraw(ElementHeader* element) { element->flags &= ~kElementOnScreen; }

// The light is switched only on the draws where the countdown starts or ends.
void ServeReplyLight(ElementHeader* base) {
  if (transponder.replyCountdown > 0 && transponder.previousCountdown == 0) {
    Show(Child(base, kReplyLightChild));
  } else if (transponder.replyCountdown == 0 && transponder.previousCountdown > 0) {
    Hide(Child(base, kReplyLightChild));
    MarkForRedraw(base);
  }
  transponder.previousCountdown = transponder.replyCountdown;
}

void ServeBacklight(ElementHeader* base) {
  const int32_t on = transponder.useProbe ? transponder.power : transponder.lit;
  ElementHeader* overlay = Child(base, kBacklightChild);
  if (on != 0) {
    Show(overlay);
    transponder.overlayState = 1;
  } else {
    Hide(overlay);
    if (transponder.overlayState != 2) MarkForRedraw(base);
    transponder.overlayState = 2;
  }
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
  transponder_link::AddToByte(kFsuipcHeadCount, +1);
}

void TransponderUpdate(GaugeHeader*) {
  // A reply request from the outside program is taken (and cleared) on every update. Outside standby it
  // holds the light for at least kReplyRequestUpdates and this update does not count down.
  uint8_t request = 0;
  if (transponder_link::ReadByte(kFsuipcReplyRequest, request) && request != 0) {
    transponder_link::WriteByte(kFsuipcReplyRequest, 0);
    if (!selectorCache.transponderStandby) {
      if (transponder.replyCountdown < kReplyRequestUpdates) transponder.replyCountdown = kReplyRequestUpdates;
      return;
    }
  }
  if (transponder.replyCountdown > 0) --transponder.replyCountdown;
}

void TransponderDraw(GaugeHeader* gauge) {
  if (gauge == nullptr || gauge->elementList == nullptr || gauge->elementList[0] == nullptr) return;
  ElementHeader* base = gauge->elementList[0];
  if (transponder.useProbe) transponder.power = ProbePowered();
  if (ElementHeader* codeWindow = Child(base, kCodeWindowChild)) DrawCodeWindow(codeWindow, transponder.power);
  ServeReplyLight(base);
  ServeBacklight(base);
}

void TransponderDisconnect(GaugeHeader*) {
  WithdrawVariable(kPowerName);
  WithdrawVariable(kLitName);
  transponder_link::AddToByte(kFsuipcHeadCount, -1);
}

}  // namespace kvr
