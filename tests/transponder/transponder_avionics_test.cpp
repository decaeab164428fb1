// The simulator's transponder side and the outside program, flown with the real Transponder head the way a
// scenario runner uses them.
#include "host/avionics/transponder_avionics.h"
#include "tests/transponder/transponder_panel.h"

namespace kvr::testing {
namespace {

class TransponderAvionicsTest : public TransponderPanel {
 protected:
  std::unique_ptr<host::TransponderAvionics> avionics;

  void SetUp() override {
    TransponderPanel::SetUp();
    Open(
        "gauge00=KVR_TCAS!IVSI, 0, 0, 158, 158, pic=n\n"
        "gauge01=KVR_TCAS!Transponder, 200, 0, 228, 89, pic=n\n");
    avionics = std::make_unique<host::TransponderAvionics>(*session);
  }
  void TearDown() override {
    avionics.reset();
    TransponderPanel::TearDown();
  }
  // One frame as a runner flies it; true when the reply light is lit after it.
  bool Fly() {
    avionics->Advance(1.0 / 18);
    Frames(1);
    return !Hidden(kReplyLight);
  }
};

TEST_F(TransponderAvionicsTest, DigitKnobsTurnTheSquawkTheHeadShows) {
  avionics->SetCode(0x1200);
  Panel().Start();
  Frames(1);
  const std::vector<uint32_t> shown1200 = CodeWindowPixels();
  ASSERT_TRUE(Click(kDigitArea[0], kMouseLeftSingle));
  EXPECT_EQ(avionics->Transponder().Code(), 0x0200);
  Frames(1);
  EXPECT_NE(CodeWindowPixels(), shown1200);
  ASSERT_TRUE(Click(kDigitArea[0], kMouseRightSingle));
  Frames(1);
  EXPECT_EQ(CodeWindowPixels(), shown1200);
}

TEST_F(TransponderAvionicsTest, PowerSwitchReachesTheHeadOnceItIsConnected) {
  EXPECT_FALSE(avionics->SetPower(false));
  Panel().Start();
  ASSERT_TRUE(avionics->SetPower(false));
  Frames(1);
  EXPECT_EQ(CountPixels(CodeWindowPixels(), kDigitPixel), 0u);
}

TEST_F(TransponderAvionicsTest, InterrogationsFlashTheReplyLightOutOfStandbyAndIdentIsAnswered) {
  avionics->SetInterrogationRate(1);
  Panel().Start();
  int lit = 0;
  for (int frame = 0; frame < 180; ++frame) lit += Fly();  // standby
  EXPECT_EQ(lit + avionics->ReplyProgram().RequestsRaised(), 0u);

  Must("KVR_TCAS!IVSI.mode_index") = kModeTaRa;
  Fly();
  for (int frame = 0; frame < 180; ++frame) lit += Fly();
  avionics->SetInterrogationRate(0);
  for (int frame = 0; frame < 10; ++frame) lit += Fly();  // the last flash ends
  EXPECT_EQ(avionics->ReplyProgram().RequestsRaised(), 10u);
  EXPECT_EQ(lit, 10 * 5);  // five updates a request

  ASSERT_TRUE(Click(kIdentArea, kMouseLeftSingle));
  EXPECT_EQ(avionics->ReplyProgram().Idents(), 1u);
  EXPECT_EQ(Fsuipc().Peek<uint8_t>(0x7B93), 0);
}

}  // namespace
}  // namespace kvr::testing
