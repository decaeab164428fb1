// One traffic frame from feed to display order, through the FSUIPC feed and the scripted library.
#include <cmath>

#include "module/logic/logic.h"
#include "tests/logic/logic_fixture.h"

namespace kvr {
namespace {

using scripted::Entry;
using scripted::library;
using testing::LogicTest;

class TrafficFrame : public LogicTest {
 protected:
  FsuipcTrafficSource source;

  bool Frame(OperatingMode mode, float radioFt = 8000, float pressureFt = 8000, float trueFt = 8000) {
    return source.Update(47.0f, 8.0f, trueFt, pressureFt, radioFt, 90.0f, mode);
  }

  std::vector<uint32_t> Order() const {
    std::vector<uint32_t> ids;
    ids.reserve(static_cast<size_t>(source.intruderCount));
    for (int i = 0; i < source.intruderCount; ++i) ids.push_back(source.intruderOrder[i]->id);
    return ids;
  }
};

TEST_F(TrafficFrame, PaintOrderIsPriorityThenFarthestThenSmallestHeightDifferenceAndStable) {
  WriteTraffic(
      {{1, 47, 8, 8000}, {2, 47, 8, 8000}, {3, 47, 8, 8000}, {4, 47, 8, 8000}, {5, 47, 8, 8000}, {6, 47, 8, 8000}});
  library.entries[1] = Entry(2, 3.0f, 100);
  library.entries[2] = Entry(2, 5.0f, 100);   // same priority, farther: before 1
  library.entries[3] = Entry(2, 5.0f, -300);  // same priority and range, larger |height|: after 4
  library.entries[4] = Entry(2, 5.0f, 200);
  library.entries[5] = Entry(1, 1.0f, 0);    // lower priority: first of all
  library.entries[6] = Entry(2, 5.0f, 200);  // equal to 4 on every key: keeps its place after 4
  ASSERT_TRUE(Frame(OperatingMode::TaRa));
  EXPECT_EQ(Order(), (std::vector<uint32_t>{5, 2, 4, 6, 3, 1}));
}

TEST_F(TrafficFrame, EmptySlotKeepsItsPositionAndIsNeitherFedNorCounted) {
  WriteTraffic({{11, 47.1f, 8.1f, 9000}, {0, 0, 0, 0}, {13, 47.2f, 8.2f, 7000}, {14, 47, 8, 8000}});
  library.entries[11] = Entry(3, 2.0f, 1000, ThreatClass::ResolutionAdvisory);
  library.entries[13] = Entry(2, 4.0f, -1000, ThreatClass::TrafficAdvisory);
  library.entries[14] = Entry(3, 2.0f, 0, ThreatClass::ResolutionAdvisory, /*valid=*/false);
  ASSERT_TRUE(Frame(OperatingMode::TaRa));
  EXPECT_EQ(source.intruderCount, 4);
  EXPECT_EQ(library.Count("13"), 3);
  EXPECT_EQ(library.calls.back(), "8");
  EXPECT_EQ(source.raCount, 1);  // 14 is an RA but not valid
  EXPECT_EQ(source.taCount, 1);
  int empty = 0;
  for (int i = 0; i < source.intruderCount; ++i) empty += source.intruderOrder[i]->id == 0;
  EXPECT_EQ(empty, 1);
  // The library saw the intruder as the slot gave it, with the identifier in both places.
  EXPECT_EQ(library.intruders[0].id, 11u);
  EXPECT_EQ(library.intruders[0].address, 11u);
  EXPECT_FLOAT_EQ(library.intruders[0].latitudeDeg, 47.1f);
  EXPECT_EQ(library.intruders[0].altitudeReporting, 1);
  EXPECT_EQ(library.intruders[0].transponderKind, 3);
  EXPECT_EQ(library.intruders[0].coordinationSense, 0);
}

TEST_F(TrafficFrame, StandbyResetsTheAdvisoryOnceAndFeedsNothing) {
  WriteTraffic({{1, 47, 8, 8000}});
  library.entries[1] = Entry(3, 2.0f, 0, ThreatClass::ResolutionAdvisory);
  ASSERT_TRUE(Frame(OperatingMode::TaRa));
  EXPECT_EQ(source.raCount, 1);
  library.calls.clear();
  ASSERT_TRUE(Frame(OperatingMode::Standby));
  ASSERT_TRUE(Frame(OperatingMode::Standby));
  EXPECT_EQ(library.Count("3"), 1);
  EXPECT_EQ(library.Count("12") + library.Count("13") + library.Count("8"), 0);
  EXPECT_EQ(source.intruderCount, 0);
  EXPECT_EQ(source.raCount, 0);
  const uint64_t served = fsuipc->BlocksServed();
  ASSERT_TRUE(Frame(OperatingMode::Standby));
  EXPECT_EQ(fsuipc->BlocksServed(), served + 1);  // the header is still read; the slot block is not
}

TEST_F(TrafficFrame, FirstStandbyFrameResetsOnlyWhenTheLibraryDefaultWasAnotherMode) {
  FsuipcTrafficSource standbyDefault;  // the scripted default mode is Standby
  WriteTraffic({});
  library.calls.clear();
  standbyDefault.Update(47, 8, 8000, 8000, 8000, 0, OperatingMode::Standby);
  EXPECT_EQ(library.Count("3"), 0);
  library.defaultMode = static_cast<int32_t>(OperatingMode::TaRa);
  FsuipcTrafficSource taRaDefault;
  taRaDefault.Update(47, 8, 8000, 8000, 8000, 0, OperatingMode::Standby);
  EXPECT_EQ(library.Count("3"), 1);
}

TEST_F(TrafficFrame, OwnShipRecordCarriesLowHeightGroundLevelModeAndSlew) {
  WriteTraffic({});
  ASSERT_TRUE(Frame(OperatingMode::TaOnly, 2999.0f, 5000.0f));
  EXPECT_EQ(library.lastOwnShip.lowHeight, 1);
  EXPECT_FLOAT_EQ(library.lastOwnShip.groundLevelFt, 2001.0f);
  EXPECT_EQ(library.lastOwnShip.mode, static_cast<int32_t>(OperatingMode::TaOnly));
  EXPECT_EQ(library.lastOwnShip.slew, 0);
  EXPECT_FLOAT_EQ(library.lastOwnShip.headingDeg, 90.0f);
  fsuipc->Poke<uint16_t>(0x05DC, 1);
  ASSERT_TRUE(Frame(OperatingMode::TaRa, 3000.0f, 5000.0f));
  EXPECT_EQ(library.lastOwnShip.lowHeight, 0);
  EXPECT_EQ(library.lastOwnShip.slew, 1);
  EXPECT_FLOAT_EQ(source.ownPressureAltitudeFt, 5000.0f);
}

TEST_F(TrafficFrame, IntruderAltitudeMovesToThePressureBasisInDoublePrecision) {
  const float slotAltitude = 22859.904296875f, pressure = 10208.8134765625f, trueAltitude = 1930.4649658203125f;
  const float wanted = static_cast<float>(double{slotAltitude} + (double{pressure} - double{trueAltitude}));
  const float inFloats = slotAltitude + (pressure - trueAltitude);
  ASSERT_NE(wanted, inFloats) << "the numbers must tell the two precisions apart";
  WriteTraffic({{7, 47, 8, slotAltitude}});
  ASSERT_TRUE(Frame(OperatingMode::TaRa, 8000, pressure, trueAltitude));
  ASSERT_EQ(library.intruders.size(), 1u);
  EXPECT_EQ(library.intruders[0].altitudeFt, wanted);
}

TEST_F(TrafficFrame, LinkDownOrEmptyHeaderLeavesThePictureAsItWas) {
  WriteTraffic({{1, 47, 8, 8000}}, /*capacity=*/0);
  EXPECT_FALSE(Frame(OperatingMode::TaRa));
  WriteTraffic({{1, 47, 8, 8000}}, 96, /*slotSize=*/0);
  EXPECT_FALSE(Frame(OperatingMode::TaRa));
  EXPECT_EQ(library.Count("12"), 0);
  const char* missing = nullptr;
  EXPECT_TRUE(source.CheckAvailable(&missing));
  EXPECT_EQ(missing, nullptr);
  fsuipc->ForceAnswer(0);
  EXPECT_FALSE(Frame(OperatingMode::TaRa));  // the header exchange fails and the link is given up
  EXPECT_FALSE(source.CheckAvailable(&missing));
  EXPECT_STREQ(missing, "FSUIPC");
  EXPECT_FALSE(source.IsPaused());
}

TEST_F(TrafficFrame, PositionsStayWithinTheTablesAndTheTrafficBuffer) {
  // The first usable header sizes the tables for 2 positions; a later one claiming 5 is held to 2.
  WriteTraffic({{1, 47, 8, 8000}, {2, 47, 8, 8000}}, /*capacity=*/2);
  ASSERT_TRUE(Frame(OperatingMode::TaRa));
  WriteTraffic({{1, 47, 8, 8000}, {2, 47, 8, 8000}, {3, 47, 8, 8000}, {4, 47, 8, 8000}, {5, 47, 8, 8000}}, 5);
  ASSERT_TRUE(Frame(OperatingMode::TaRa));
  EXPECT_EQ(source.intruderCount, 2);

  // 120 slots of 40 bytes would run past the 4096-byte buffer: only the 99 that fit are scanned.
  FsuipcTrafficSource wide;
  std::vector<testing::Slot> many;
  for (uint32_t i = 1; i <= 120; ++i) many.push_back({i, 47, 8, 8000});
  WriteTraffic(many, 120);
  library.calls.clear();
  ASSERT_TRUE(wide.Update(47, 8, 8000, 8000, 8000, 0, OperatingMode::TaRa));
  EXPECT_EQ(wide.intruderCount, 99);
  EXPECT_EQ(library.Count("13"), 99);
}

TEST_F(TrafficFrame, PauseWordIsReadFromFsuipc) {
  EXPECT_FALSE(source.IsPaused());
  fsuipc->Poke<uint16_t>(0x0264, 1);
  EXPECT_TRUE(source.IsPaused());
}

}  // namespace
}  // namespace kvr
