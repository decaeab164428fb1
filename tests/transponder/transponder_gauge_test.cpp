// The Transponder head on a real panel: its code window, options, reply light, controls and head count,
// as the pilot, the IVSI gauges and an outside program see them.
#include "host/traffic/traffic_picture.h"
#include "tests/transponder/transponder_panel.h"

namespace kvr::testing {
namespace {

constexpr char kHeadOnly[] = "gauge00=KVR_TCAS!Transponder, 0, 0, 228, 89, pic=n\n";
constexpr char kHeadAndIvsi[] =
    "gauge00=KVR_TCAS!IVSI, 0, 0, 158, 158, pic=n\n"
    "gauge01=KVR_TCAS!Transponder, 200, 0, 228, 89, pic=n\n";

class TransponderHead : public TransponderPanel {
 protected:
  // The code window after the first frame of a fresh panel squawking `code`.
  std::vector<uint32_t> FirstPicture(uint32_t code) {
    Open(kHeadOnly).Services().SetSimInteger(kSimTransponderCode, code);
    Panel().Start();
    Frames(1);
    return CodeWindowPixels();
  }
  // Frames until the reply light goes out; how many it was still lit after.
  int FramesLit() {
    for (int frame = 1; frame <= 100; ++frame) {
      Frames(1);
      if (Hidden(kReplyLight)) return frame - 1;
    }
    return 100;
  }
  void SelectMode(int32_t mode) {
    Must("KVR_TCAS!IVSI.mode_index") = mode;
    Frames(1);  // the head's mode knob reads it at the end of the frame
  }
};

TEST_F(TransponderHead, CodeWindowShowsOnlyDigitsZeroToSeven) {
  const std::vector<uint32_t> shown1200 = FirstPicture(0x1200);
  const std::vector<uint32_t> shown1201 = FirstPicture(0x1201);
  const std::vector<uint32_t> shown1289 = FirstPicture(0x1289);
  EXPECT_GT(CountPixels(shown1200, kDigitPixel), 0u);
  EXPECT_EQ(CountPixels(shown1200, kDigitPixel) + CountPixels(shown1200, kFacePixel), shown1200.size());
  EXPECT_NE(shown1289, shown1200);
  EXPECT_EQ(shown1289, shown1201);
  EXPECT_FALSE(Hidden(kCodeWindow));
  EXPECT_GT(Redraws(kCodeWindow), 0u);
  // The thousands digit is a digit like the others: 7 is shown, and 9 loses its top bit as 8 and 9 do.
  EXPECT_NE(FirstPicture(0x7000), FirstPicture(0x0000));
  EXPECT_EQ(FirstPicture(0x9000), FirstPicture(0x1000));
}

TEST_F(TransponderHead, CodeWindowRepaintsOnlyWhatChanged) {
  const std::vector<uint32_t> shown4700 = FirstPicture(0x4700);
  const std::vector<uint32_t> shown1200 = FirstPicture(0x1200);
  int32_t& power = Must("KVR_TCAS!Transponder.power");
  power = 0;
  Frames(1);
  EXPECT_EQ(CountPixels(CodeWindowPixels(), kFacePixel), shown1200.size());

  // Nothing changed: neither painted nor marked.
  CodeSurface().pixels[0] = 0x123456;
  const uint64_t redraws = Redraws(kCodeWindow);
  Frames(1);
  EXPECT_EQ(CodeSurface().pixels[0], 0x123456u);
  EXPECT_EQ(Redraws(kCodeWindow), redraws);

  power = 1;  // the face is repainted and the digits come back
  Frames(1);
  EXPECT_EQ(CodeWindowPixels(), shown1200);

  // A new code alone paints its digits' cell, not the face around it.
  std::fill_n(CodeSurface().pixels, shown1200.size(), 0x123456u);
  session->Services().SetSimInteger(kSimTransponderCode, 0x4700);
  Frames(1);
  const std::vector<uint32_t> after = CodeWindowPixels();
  size_t kept = 0, wrong = 0;
  for (size_t i = 0; i < after.size(); ++i) {
    kept += after[i] == 0x123456u;
    wrong += after[i] != 0x123456u && after[i] != shown4700[i];
  }
  EXPECT_GT(kept, 0u);
  EXPECT_EQ(wrong, 0u);
}

TEST_F(TransponderHead, CodeWindowWithoutADrawingContextIsPaintedOnceItHasOne) {
  const std::vector<uint32_t> shown1200 = FirstPicture(0x1200);
  const std::vector<uint32_t> shown4700 = FirstPicture(0x4700);
  ElementHeader& window = Element(kCodeWindow);
  void* const surface = window.deviceContext;
  window.deviceContext = nullptr;
  session->Services().SetSimInteger(kSimTransponderCode, 0x1200);
  Frames(1);
  window.deviceContext = surface;
  EXPECT_EQ(CodeWindowPixels(), shown4700);
  Frames(1);
  EXPECT_EQ(CodeWindowPixels(), shown1200);
}

TEST_F(TransponderHead, PicOptionLetsTheProbeDecidePowerAndBacklight) {
  // Without the companion systems module the probe answers "powered".
  const std::pair<const char*, bool> cases[] = {{"", true},       {"pic=y", true}, {"pic y", true},    {"pic:1", true},
                                                {"pic=n", false}, {"picy", false}, {"aa=y pic", false}};
  for (const auto& [parameters, probe] : cases) {
    SCOPED_TRACE(parameters);
    Open(std::string("gauge00=KVR_TCAS!Transponder, 0, 0, 228, 89, ") + parameters + "\n");
    Panel().Start();
    Must("KVR_TCAS!Transponder.power") = 0;
    Frames(1);
    EXPECT_EQ(Must("KVR_TCAS!Transponder.power"), probe ? 1 : 0);
    EXPECT_EQ(CountPixels(CodeWindowPixels(), kDigitPixel) > 0, probe);
    EXPECT_EQ(Hidden(kBacklight), !probe);  // lit is 0: only the probe's power lights it
  }
  // Without the probe the backlight follows lit, and asks for a redraw once when it goes out.
  Must("KVR_TCAS!Transponder.lit") = 1;
  Frames(1);
  EXPECT_FALSE(Hidden(kBacklight));
  Must("KVR_TCAS!Transponder.lit") = 0;
  for (bool marked : {true, false}) {
    const uint64_t redraws = Redraws(kBase);
    Frames(1);
    EXPECT_TRUE(Hidden(kBacklight));
    EXPECT_EQ(Redraws(kBase) > redraws, marked);
  }
}

TEST_F(TransponderHead, IdentAndReplyRequestsLightTheReplyLightOnlyOutOfStandby) {
  Open(kHeadAndIvsi);
  Panel().Start();
  Frames(1);  // the IVSI starts in standby
  EXPECT_TRUE(Click(kIdentArea, kMouseLeftSingle));
  Fsuipc().Poke<uint8_t>(0x7B92, 1);
  EXPECT_EQ(FramesLit(), 0);
  EXPECT_EQ(Fsuipc().Peek<uint8_t>(0x7B92), 0);  // taken all the same
  EXPECT_EQ(Fsuipc().Peek<uint8_t>(0x7B93), 0);

  SelectMode(kModeTaRa);
  EXPECT_TRUE(Click(kIdentArea, kMouseLeftSingle));
  EXPECT_EQ(Fsuipc().Peek<uint8_t>(0x7B93), 1);
  const uint64_t redraws = Redraws(kBase);
  EXPECT_EQ(FramesLit(), 35);  // out at the 36th update, the base redrawn under it
  EXPECT_GT(Redraws(kBase), redraws);

  Fsuipc().Poke<uint8_t>(0x7B92, 1);
  EXPECT_EQ(FramesLit(), 5);
  // A request at countdown 20 holds it at 20 for its update; one at 2 raises it to 5.
  ASSERT_TRUE(Click(kIdentArea, kMouseLeftSingle));
  Frames(16);
  Fsuipc().Poke<uint8_t>(0x7B92, 1);
  EXPECT_EQ(FramesLit(), 1 + 19);
  ASSERT_TRUE(Click(kIdentArea, kMouseLeftSingle));
  Frames(34);
  Fsuipc().Poke<uint8_t>(0x7B92, 1);
  EXPECT_EQ(FramesLit(), 1 + 4);
}

TEST_F(TransponderHead, HeadCountWrapsLikeAByte) {
  Open(kHeadOnly);
  Panel().Connect();
  Panel().Disconnect();  // counted out without having been counted in
  EXPECT_EQ(Fsuipc().Peek<uint8_t>(0x7B90), 255);
}

TEST_F(TransponderHead, DigitAreasSendTheDigitEvents) {
  Open(kHeadOnly);
  Panel().Start();
  for (int digit = 0; digit < 4; ++digit) {
    EXPECT_TRUE(Click(kDigitArea[digit], kMouseLeftSingle));
    EXPECT_TRUE(Click(kDigitArea[digit], kMouseRightSingle));
  }
  const auto& events = session->Services().Events();
  ASSERT_EQ(events.size(), 8u);
  for (uint32_t digit = 0; digit < 4; ++digit) {
    EXPECT_EQ(events[2 * digit].eventId, 0x10397u + digit);
    EXPECT_EQ(events[2 * digit + 1].eventId, 0x10073u + digit);
    EXPECT_EQ(events[2 * digit].parameter + events[2 * digit + 1].parameter, 0u);
  }
}

TEST_F(TransponderHead, KnobsPublishToTheIvsiEvenAtTheirLimitsAndFollowIt) {
  Open(kHeadAndIvsi);
  Panel().Start();
  Frames(1);
  int32_t& range = Must("KVR_TCAS!IVSI.range_index");
  int32_t& redraw = Must("KVR_TCAS!IVSI.redraw");
  range = 3;  // set behind the knob's back: the knob still stands at 0
  ASSERT_EQ(redraw, 0);
  EXPECT_TRUE(Click(kRangeArea, kMouseLeftSingle));
  EXPECT_EQ(range, 0);
  EXPECT_EQ(redraw, 1);

  EXPECT_TRUE(Click(kAboveBelowArea, kMouseLeftSingle));  // 1 -> 2 (below), and stays
  EXPECT_TRUE(Click(kAboveBelowArea, kMouseLeftSingle));
  EXPECT_TRUE(Click(kAbsRelArea, kMouseRightSingle));  // relative -> absolute
  EXPECT_EQ(Must("KVR_TCAS!IVSI.above_below"), 2);
  EXPECT_EQ(Must("KVR_TCAS!IVSI.absolute_relative"), 0);

  range = 3;
  Must("KVR_TCAS!IVSI.absolute_relative") = 1;
  Frames(1);
  EXPECT_DOUBLE_EQ(Icon(kRangeKnob), 3.0);
  EXPECT_DOUBLE_EQ(Icon(kAboveBelow), 2.0);
  EXPECT_DOUBLE_EQ(Icon(kAbsRel), 2.0);
}

TEST_F(TransponderHead, KnobsKeepTheirOwnValuesWithoutAnIvsi) {
  Open(kHeadOnly);
  Panel().Start();
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(Click(kRangeArea, kMouseRightSingle));
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(Click(kModeArea, kMouseRightSingle));
  Frames(1);
  EXPECT_DOUBLE_EQ(Icon(kRangeKnob), 2.0);
  EXPECT_DOUBLE_EQ(Icon(kModeKnob), 4.0);
  EXPECT_EQ(Fsuipc().Peek<uint8_t>(0x7B91), 0);  // out of standby
  EXPECT_EQ(Variable("KVR_TCAS!IVSI.redraw"), nullptr);
}

// The knob is the pilot's way to the collision logic: the next traffic frame runs in the mode it selects.
TEST_F(TransponderHead, ModeKnobTakesTheCollisionLogicFromStandbyToTaRa) {
  Open(std::string(kHeadAndIvsi) + "gauge02=KVR_TCAS!Logic, 0, 0, 1, 1\n");
  Fsuipc().Poke<uint16_t>(0xF000, 40);  // an empty traffic table: slot size and capacity
  Fsuipc().Poke<uint16_t>(0xF002, 96);
  Panel().Start();
  auto nextTrafficFrame = [&](uint32_t after) {
    for (int frame = 0; frame < 40; ++frame) {
      Frames(1);
      auto picture = host::ReadTrafficPicture(session->Services());
      if (picture && picture->updateCount > after) return *picture;
    }
    ADD_FAILURE() << "no traffic frame";
    return host::TrafficSnapshot{};
  };
  const host::TrafficSnapshot standby = nextTrafficFrame(0);
  EXPECT_EQ(standby.advisory.modeStatus, static_cast<int32_t>(OperatingMode::Standby));
  for (int click = 0; click < 3; ++click) EXPECT_TRUE(Click(kModeArea, kMouseRightSingle));
  const host::TrafficSnapshot taRa = nextTrafficFrame(standby.updateCount);
  EXPECT_EQ(taRa.advisory.modeStatus, static_cast<int32_t>(OperatingMode::TaRa));
}

}  // namespace
}  // namespace kvr::testing
