#include "host/avionics/sim_transponder.h"

namespace kvr::host {

SimTransponder::SimTransponder(PanelServices& services) : services_(services), previous_(services.onEvent) {
  services_.onEvent = [this](uint32_t eventId, uint32_t parameter) {
    if (!HandleEvent(eventId) && previous_) previous_(eventId, parameter);
  };
}

SimTransponder::~SimTransponder() { services_.onEvent = previous_; }

void SimTransponder::SetCode(uint16_t codeBcd) {
  const uint32_t high = services_.SimInteger(kCodeVariable) & 0xFFFF0000u;
  services_.SetSimInteger(kCodeVariable, high | codeBcd);
}

uint16_t SimTransponder::Code() const { return static_cast<uint16_t>(services_.SimInteger(kCodeVariable)); }

bool SimTransponder::HandleEvent(uint32_t eventId) {
  int step = 0;
  uint32_t digit = 0;
  if (eventId >= kDigitDownEvent && eventId < kDigitDownEvent + kDigits) {
    step = -1;
    digit = eventId - kDigitDownEvent;
  } else if (eventId >= kDigitUpEvent && eventId < kDigitUpEvent + kDigits) {
    step = +1;
    digit = eventId - kDigitUpEvent;
  } else {
    return false;
  }
  SetCode(StepDigit(Code(), static_cast<int>(digit), step));
  return true;
}

uint16_t SimTransponder::StepDigit(uint16_t codeBcd, int digit, int step) {
  if (digit < 0 || digit >= kDigits) return codeBcd;
  const int shift = 4 * (kDigits - 1 - digit);  // digit 0 is the top nibble
  int value = (codeBcd >> shift) & 0xF;
  if (value > 7) value = 7;
  value = ((value + step) % 8 + 8) % 8;
  const uint16_t mask = static_cast<uint16_t>(0xF << shift);
  return static_cast<uint16_t>((codeBcd & ~mask) | (value << shift));
}

}  // namespace kvr::host
