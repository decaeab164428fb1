// The simulator's transponder: digit knobs that wrap within 0-7, driven through the panel's event entry.
#include <gtest/gtest.h>

#include <vector>

#include "host/avionics/sim_transponder.h"

namespace kvr::host {
namespace {

TEST(SimTransponder, DigitStepsWrapWithinZeroToSevenAndLeaveTheOthers) {
  EXPECT_EQ(SimTransponder::StepDigit(0x7777, 0, +1), 0x0777);
  EXPECT_EQ(SimTransponder::StepDigit(0x7777, 3, +1), 0x7770);
  EXPECT_EQ(SimTransponder::StepDigit(0x0000, 1, -1), 0x0700);
  EXPECT_EQ(SimTransponder::StepDigit(0x1289, 2, +1), 0x1209);  // an 8 counts as 7
  EXPECT_EQ(SimTransponder::StepDigit(0x1234, 4, +1), 0x1234);
}

TEST(SimTransponder, AnswersDigitEventsAndPassesOthersOn) {
  PanelServices services;
  std::vector<uint32_t> passedOn;
  services.onEvent = [&](uint32_t id, uint32_t) { passedOn.push_back(id); };
  services.SetSimInteger(38, 0xABCD1200u);
  {
    SimTransponder transponder(services);
    for (uint32_t id : {0x10397u, 0x10076u, 0x10077u, 0x10396u}) services.Table()->SendEvent(id, 0);
    EXPECT_EQ(services.SimInteger(38), 0xABCD0201u);  // thousands down, units up; the high half kept
    EXPECT_EQ(passedOn, (std::vector<uint32_t>{0x10077, 0x10396}));
  }
  services.Table()->SendEvent(0x10397, 0);  // the earlier handler has the events again
  EXPECT_EQ(services.SimInteger(38), 0xABCD0201u);
  EXPECT_EQ(passedOn.size(), 3u);
}

}  // namespace
}  // namespace kvr::host
