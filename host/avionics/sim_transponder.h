// The simulator's transponder: the code it squawks, kept as simulator variable 38 (four BCD digits in the
// low 16 bits, each 0-7), and the eight digit events a panel sends to turn its knobs.
//
//   0x10397 + i  turns digit i down     0x10073 + i  turns digit i up     (i: 0 thousands ... 3 units)
//
// Each step wraps within 0-7 (7 up gives 0, 0 down gives 7) and leaves the other digits alone, as a
// transponder's knobs do. The code lives in the panel services, so whoever else sets variable 38 (a
// scenario's squawk) and the knobs work on the same value.
#pragma once

#include <cstdint>
#include <functional>

#include "host/panel_services.h"

namespace kvr::host {

class SimTransponder {
 public:
  static constexpr uint32_t kCodeVariable = 38;
  static constexpr uint32_t kDigitDownEvent = 0x10397;
  static constexpr uint32_t kDigitUpEvent = 0x10073;
  static constexpr int kDigits = 4;

  // Takes over `services.onEvent`; events that are not digit events go on to the handler set before.
  explicit SimTransponder(PanelServices& services);
  // Gives `onEvent` back to the earlier handler. Destroy before `services`.
  ~SimTransponder();
  SimTransponder(const SimTransponder&) = delete;
  SimTransponder& operator=(const SimTransponder&) = delete;

  // Sets the code, BCD (0x1200 is "1200"); bits above the low 16 of variable 38 are kept.
  void SetCode(uint16_t codeBcd);
  uint16_t Code() const;

  // Applies one event; true when it was a digit event (the code then changed by one step of one digit).
  bool HandleEvent(uint32_t eventId);

  // `codeBcd` with digit `digit` (0 thousands ... 3 units) moved by +1 or -1 with wrap in 0-7. A digit that
  // holds 8 or 9 (not a transponder digit) counts as 7. Other digits and a bad digit index are unchanged.
  static uint16_t StepDigit(uint16_t codeBcd, int digit, int step);

 private:
  PanelServices& services_;
  std::function<void(uint32_t, uint32_t)> previous_;
};

}  // namespace kvr::host
