// What the logic must not do: advisories near the ground, against traffic on the ground, in the
// traffic-only and standby modes, while slewing, or without the capability to resolve.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/avertine/encounter_sim.h"

namespace avertine_test {
namespace {

using kvr::AuralCode;
using kvr::OperatingMode;
using kvr::ThreatClass;

constexpr int32_t Code(AuralCode code) { return static_cast<int32_t>(code); }

EncounterSpec HeadOnAbove(double ownAltitudeFt, double groundFt, double verticalMissFt) {
  EncounterSpec spec;
  spec.ownAltitudeFt = ownAltitudeFt;
  spec.groundFt = groundFt;
  spec.verticalMissFt = verticalMissFt;
  return spec;
}

bool EverClass(const EncounterResult& result, ThreatClass threatClass) {
  for (const FrameLog& frame : result.frames) {
    if (frame.intruderValid && frame.intruderClass == threatClass) return true;
  }
  return false;
}

int32_t FirstSense(const EncounterResult& result) {
  for (const FrameLog& frame : result.frames) {
    if (frame.latest.active) return frame.latest.sense;
  }
  return 0;
}

TEST(LowHeight, BelowThousandFeetRadioTrafficAdvisoryButNoResolutionAdvisory) {
  const EncounterResult result = FlyEncounter(HeadOnAbove(800.0, 0.0, 0.0), Pilot::Ignores, 110.0);
  EXPECT_TRUE(EverClass(result, ThreatClass::TrafficAdvisory));
  EXPECT_FALSE(EverClass(result, ThreatClass::ResolutionAdvisory));
  EXPECT_EQ(result.FirstResolutionAural(), 0);
  EXPECT_EQ(result.frames.back().advisory.modeStatus, static_cast<int32_t>(OperatingMode::TaRa));
}

TEST(LowHeight, SensitivityLevelReportedForAltitudesAndClimbOut) {
  struct Case {
    float pressureFt, radioFt, rateFpm;
    int32_t level;
  };
  // Radio altitude counts below 3000 ft (the record's low-height flag), pressure altitude above.
  for (const Case& c :
       {Case{800, 800, 0, 2}, Case{800, 800, 1500, 3}, Case{350, 350, 1500, 2}, Case{1500, 1500, -500, 3},
        Case{2500, 2500, 0, 4}, Case{6000, 2000, 0, 3}, Case{4900, 4900, 0, 4}, Case{5000, 5000, 0, 5},
        Case{15000, 15000, 0, 6}, Case{30000, 30000, 0, 7}, Case{45000, 45000, 0, 7}}) {
    kvr::OwnShipRecord own{};
    kvr::AvertineDefaultOwnShip(&own);
    own.pressureAltitudeFt = c.pressureFt;
    own.radioAltitudeFt = c.radioFt;
    own.lowHeight = c.radioFt < 3000 ? 1 : 0;
    EXPECT_EQ(kvr::AvertineSensitivityLevel(&own, c.rateFpm), c.level)
        << c.pressureFt << " ft, " << c.radioFt << " ft radio, " << c.rateFpm << " ft/min";
  }
}

TEST(LowHeight, RadioAltitudeCountsAboveTheTerrainNotAboveSeaLevel) {
  // 800 ft above terrain at 5000 ft: still the lowest level, however high the pressure altitude.
  const EncounterResult result = FlyEncounter(HeadOnAbove(5800.0, 5000.0, 0.0), Pilot::Ignores, 110.0);
  EXPECT_TRUE(EverClass(result, ThreatClass::TrafficAdvisory));
  EXPECT_FALSE(EverClass(result, ThreatClass::ResolutionAdvisory));
}

TEST(LowHeight, BelowElevenHundredFeetTrafficAboveGetsAPreventiveAdvisoryNotACrossingClimb) {
  // An intruder 210 ft above would get "descend". At 1050 ft radio a descent is inhibited, and a climb
  // through its altitude would leave the pilot, after the reaction delay, at its level at closest
  // approach: the logic keeps the existing separation with "don't climb" instead.
  EncounterSpec spec = HeadOnAbove(1050.0, 0.0, 210.0);
  const EncounterResult ignoring = FlyEncounter(spec, Pilot::Ignores, 110.0);
  EXPECT_EQ(FirstSense(ignoring), static_cast<int32_t>(kvr::AdvisorySense::Down));
  EXPECT_EQ(ignoring.FirstResolutionAural(), Code(AuralCode::MonitorVerticalSpeed));
  for (const FrameLog& frame : ignoring.frames) {
    EXPECT_GE(frame.advisory.vsUpperLimitFpm, 0.0f) << "asks for a descent at " << frame.timeS;
    EXPECT_NE(frame.auralCode, Code(AuralCode::ClimbCrossing));
  }
  const EncounterResult following = FlyEncounter(spec, Pilot::Follows, 110.0);
  EXPECT_GE(following.cpaVerticalFt, 200.0);

  // Traffic below leaves only the climb, which does not cross it.
  const EncounterResult below = FlyEncounter(HeadOnAbove(1050.0, 0.0, -200.0), Pilot::Ignores, 110.0);
  EXPECT_EQ(FirstSense(below), static_cast<int32_t>(kvr::AdvisorySense::Up));

  const EncounterResult higher = FlyEncounter(HeadOnAbove(2000.0, 0.0, 200.0), Pilot::Ignores, 110.0);
  EXPECT_EQ(higher.FirstResolutionAural(), Code(AuralCode::Descend));
}

TEST(LowHeight, ClimbingOutTowardTrafficMetAboveThousandFeetGetsALevelOff) {
  // Climbing at 1500 ft/min to meet a level intruder head-on: the closest approach comes above 1000 ft
  // radio only where the climb takes the own aircraft there, and the advisory must then come while it is
  // still below, when a level-off can act. Traffic it meets below 1000 ft gets none.
  struct Case {
    double cpaHeightFt;
    bool advisory;
  };
  for (const Case& c : {Case{1100.0, true}, Case{950.0, false}}) {
    SCOPED_TRACE(c.cpaHeightFt);
    EncounterSpec spec = HeadOnAbove(c.cpaHeightFt - 750.0, 0.0, 0.0);  // 30 s of climb before it
    spec.ownVerticalRateFpm = 1500.0;
    spec.timeToCpaS = 30.0;
    const EncounterResult ignoring = FlyEncounter(spec, Pilot::Ignores, 60.0);
    ASSERT_EQ(EverClass(ignoring, ThreatClass::ResolutionAdvisory), c.advisory);
    if (!c.advisory) continue;
    EXPECT_EQ(FirstSense(ignoring), static_cast<int32_t>(kvr::AdvisorySense::Down));
    EXPECT_GE(ignoring.FirstClassBeforeCpaS(ThreatClass::ResolutionAdvisory, spec.timeToCpaS), 10.0);
    const EncounterResult following = FlyEncounter(spec, Pilot::Follows, 60.0);
    EXPECT_FALSE(following.nearMidAirCollision);
    EXPECT_GE(following.cpaVerticalFt, 150.0);
  }
}

TEST(LowHeight, BelowElevenHundredFeetAClimbOutclimbedByTheThreatReversesIntoALevelOff) {
  // Level at 1050 ft radio, where descents are inhibited, head-on with an intruder below that climbs
  // slowly towards us: "Climb" keeps us above it, and is increased before the pilot begins. A second
  // after the climb it steepens to 4000 ft/min, past any climb we may be asked for, and will pass above
  // us whatever we do: our climb would only keep us near it. The advisory must reverse into a level-off,
  // announced as such and never as a descent.
  EncounterSpec spec = HeadOnAbove(1050.0, 0.0, -250.0);
  spec.intruderVerticalRateFpm = 800.0;
  spec.timeToCpaS = 60.0;
  Aircraft own;
  Aircraft intruder;
  BuildEncounter(spec, &own, &intruder);
  LogicDriver driver;
  std::vector<Aircraft> traffic(1);
  std::vector<int32_t> advisories;
  int firstS = -1;
  for (int t = 0; t <= 62; ++t) {
    if (t == 46) intruder.verticalRateFpm = 4000.0;
    traffic[0] = intruder;
    driver.Frame(own, traffic, 0.0);
    const int32_t code = driver.Advisory().auralCode;
    if (code != 0 && code != Code(AuralCode::TrafficTraffic)) advisories.push_back(code);
    if (own.altitudeFt < 1100.0) {
      EXPECT_GE(driver.Advisory().vsUpperLimitFpm, 0.0f) << t;
    }
    const kvr::LatestAdvisory latest = driver.Latest();
    if (latest.active && firstS < 0) firstS = t;
    if (latest.active && t >= firstS + 5) own.verticalRateFpm = latest.targetRateFpm;  // the pilot's delay
    if (t == 60) {
      EXPECT_GE(intruder.altitudeFt - own.altitudeFt, 300.0);  // the closest approach
    }
    own.Advance(1.0);
    intruder.Advance(1.0);
  }
  EXPECT_EQ(advisories,
            (std::vector<int32_t>{Code(AuralCode::Climb), Code(AuralCode::IncreaseClimb),
                                  Code(AuralCode::MonitorVerticalSpeed), Code(AuralCode::ClearOfConflict)}));
}

TEST(LowHeight, NoIncreaseDescentBelowFourteenHundredFiftyFeet) {
  // Ignoring a descend advisory makes the logic strengthen it, but not close to the ground.
  const EncounterResult low = FlyEncounter(HeadOnAbove(1300.0, 0.0, 100.0), Pilot::Ignores, 110.0);
  EXPECT_EQ(low.FirstResolutionAural(), Code(AuralCode::Descend));
  EXPECT_EQ(low.CountAural(Code(AuralCode::IncreaseDescent)), 0);

  const EncounterResult higher = FlyEncounter(HeadOnAbove(1700.0, 0.0, 100.0), Pilot::Ignores, 110.0);
  EXPECT_EQ(higher.CountAural(Code(AuralCode::IncreaseDescent)), 1);
}

TEST(LowHeight, DescentStoppedBelowElevenHundredFeetIsNotAskedForAgain) {
  // "Descend" at 1250 ft radio against an intruder level above. The pilot flies every advisory at once:
  // down at 1500 ft/min, then level when the descent is stopped below 1100 ft. Separation stays short
  // of ALIM, yet the logic must not ask for a descent again while that low.
  Aircraft own;
  Aircraft intruder;
  BuildEncounter(HeadOnAbove(1250.0, 0.0, 100.0), &own, &intruder);
  LogicDriver driver;
  std::vector<Aircraft> traffic(1);
  bool descentStopped = false;
  for (int t = 0; t <= 110; ++t) {
    traffic[0] = intruder;
    driver.Frame(own, traffic, 0.0);
    const kvr::LatestAdvisory latest = driver.Latest();
    const int32_t code = driver.Advisory().auralCode;
    if (own.altitudeFt < 1100.0) {
      descentStopped |= code == Code(AuralCode::AdjustVerticalSpeed);
      EXPECT_NE(code, Code(AuralCode::Descend)) << t;
      EXPECT_NE(code, Code(AuralCode::DescendCrossing)) << t;
      EXPECT_NE(code, Code(AuralCode::IncreaseDescent)) << t;
      EXPECT_NE(code, Code(AuralCode::DescendNow)) << t;
      EXPECT_GE(driver.Advisory().vsUpperLimitFpm, 0.0f) << t;  // no rate below level is required
    }
    if (latest.active) own.verticalRateFpm = latest.targetRateFpm;
    own.Advance(1.0);
    intruder.Advance(1.0);
  }
  EXPECT_TRUE(descentStopped);
}

TEST(GroundTraffic, IntruderBelow360FeetAboveGroundGetsNoAdvisory) {
  // Own 700 ft above terrain at 1000 ft; the intruder passes 400 ft below us (300 ft above ground).
  const EncounterResult onGround = FlyEncounter(HeadOnAbove(1700.0, 1000.0, -400.0), Pilot::Ignores, 110.0);
  EXPECT_FALSE(EverClass(onGround, ThreatClass::TrafficAdvisory));
  EXPECT_FALSE(EverClass(onGround, ThreatClass::ResolutionAdvisory));
  EXPECT_TRUE(EverClass(onGround, ThreatClass::ProximateTraffic));  // still shown
  EXPECT_EQ(onGround.CountAural(Code(AuralCode::TrafficTraffic)), 0);

  // 120 ft higher it is airborne (420 ft above ground) and a traffic advisory.
  const EncounterResult airborne = FlyEncounter(HeadOnAbove(1700.0, 1000.0, -280.0), Pilot::Ignores, 110.0);
  EXPECT_TRUE(EverClass(airborne, ThreatClass::TrafficAdvisory));
}

TEST(GroundTraffic, TrafficFlyingAsLowAsTheOwnAircraftIsAirborneAndGetsATrafficAdvisory) {
  // Both about 345 ft above the ground, passing within collision distance: a traffic advisory, no
  // resolution advisory so low.
  const EncounterResult together = FlyEncounter(HeadOnAbove(1345.0, 1000.0, -10.0), Pilot::Ignores, 110.0);
  EXPECT_TRUE(EverClass(together, ThreatClass::TrafficAdvisory));
  EXPECT_FALSE(EverClass(together, ThreatClass::ResolutionAdvisory));

  // From the same height, traffic at ground level stays quiet, and so does traffic 200 ft below us.
  for (const double belowFt : {-300.0, -210.0}) {
    const EncounterResult ground = FlyEncounter(HeadOnAbove(1345.0, 1000.0, belowFt), Pilot::Ignores, 110.0);
    EXPECT_FALSE(EverClass(ground, ThreatClass::TrafficAdvisory)) << belowFt;
  }
}

// Flies the own aircraft down at `rateFpm` over flat terrain at 0 ft, through `altitudeAt75sFt` at 75 s,
// head-on against an intruder level at 250 ft (closest approach at 100 s). Returns the class of the
// intruder in each frame where it is shown, with the own radio altitude of that frame.
std::vector<std::pair<double, ThreatClass>> DescendTowardLowIntruder(double altitudeAt75sFt, double rateFpm) {
  EncounterSpec spec = HeadOnAbove(altitudeAt75sFt, 0.0, 250.0 - altitudeAt75sFt);
  Aircraft own;
  Aircraft intruder;
  BuildEncounter(spec, &own, &intruder);
  own.altitudeFt = altitudeAt75sFt + rateFpm * 75.0 / 60.0;
  own.verticalRateFpm = -rateFpm;
  LogicDriver driver;
  std::vector<Aircraft> traffic(1);
  std::vector<std::pair<double, ThreatClass>> classes;
  for (int t = 0; t <= 90 && own.altitudeFt > 500.0; ++t) {
    traffic[0] = intruder;
    driver.Frame(own, traffic, 0.0);
    if (driver.Entry(0).valid) classes.emplace_back(own.altitudeFt, driver.ClassOf(0));
    own.Advance(1.0);
    intruder.Advance(1.0);
  }
  return classes;
}

TEST(GroundTraffic, LowIntruderIsJudgedOnTheGroundOnlyWhileOwnRadioAltitudeIsBelow1750Feet) {
  // Diving at 6000 ft/min toward an intruder 250 ft above the ground: it closes fast enough for a
  // traffic advisory while we are still above 1750 ft radio, and is on the ground once we are below.
  bool advisedHigh = false;
  for (const auto& [radioFt, threatClass] : DescendTowardLowIntruder(2300.0, 6000.0)) {
    const bool advised = threatClass == ThreatClass::TrafficAdvisory || threatClass == ThreatClass::ResolutionAdvisory;
    if (radioFt >= 1750.0) {
      advisedHigh |= advised;
    } else {
      EXPECT_FALSE(advised) << radioFt;
    }
  }
  EXPECT_TRUE(advisedHigh);

  // Descending at 3000 ft/min through 1500 ft radio the same intruder would also be close enough, but
  // from this low it counts as on the ground.
  for (const auto& [radioFt, threatClass] : DescendTowardLowIntruder(1500.0, 3000.0)) {
    EXPECT_NE(threatClass, ThreatClass::TrafficAdvisory) << radioFt;
    EXPECT_NE(threatClass, ThreatClass::ResolutionAdvisory) << radioFt;
  }
}

// Flies the co-altitude head-on encounter with a fixed requested mode; returns whether a TA was seen
// and checks every frame for the absence of a resolution advisory and for the reported mode.
bool FlyWithoutResolution(int32_t capabilities, OperatingMode mode) {
  Aircraft own;
  Aircraft intruder;
  BuildEncounter(HeadOnAbove(8000.0, 0.0, 0.0), &own, &intruder);
  LogicDriver driver(capabilities);
  std::vector<Aircraft> traffic(1);
  bool sawTa = false;
  for (int t = 0; t <= 110; ++t) {
    traffic[0] = intruder;
    driver.Frame(own, traffic, 0.0, mode);
    sawTa |= driver.ClassOf(0) == ThreatClass::TrafficAdvisory;
    EXPECT_NE(driver.ClassOf(0), ThreatClass::ResolutionAdvisory) << t;
    EXPECT_EQ(driver.Latest().active, 0) << t;
    EXPECT_EQ(driver.Advisory().modeStatus, static_cast<int32_t>(OperatingMode::TaOnly)) << t;
    own.Advance(1.0);
    intruder.Advance(1.0);
  }
  return sawTa;
}

TEST(Modes, TrafficOnlyModeGivesTrafficAdvisoriesWithoutResolution) {
  EXPECT_TRUE(FlyWithoutResolution(3, OperatingMode::TaOnly));
}

TEST(Modes, InstanceWithoutResolutionCapabilityReportsTrafficOnly) {
  EXPECT_TRUE(FlyWithoutResolution(kvr::kCapabilityTrafficAdvisories, OperatingMode::TaRa));
}

// Flies the head-on encounter to 10 s before closest approach, where a resolution advisory stands.
struct EncounterInProgress {
  EncounterInProgress() {
    BuildEncounter(HeadOnAbove(8000.0, 0.0, 100.0), &own, &intruder);
    for (int t = 0; t < 90; ++t) Step(OperatingMode::TaRa);
  }
  void Step(OperatingMode mode, bool slew = false) {
    traffic[0] = intruder;
    driver.Frame(own, traffic, 0.0, mode, slew);
    own.Advance(1.0);
    intruder.Advance(1.0);
  }
  Aircraft own;
  Aircraft intruder;
  LogicDriver driver;
  std::vector<Aircraft> traffic = std::vector<Aircraft>(1);
};

TEST(Modes, StandbyResetsTheAdvisoryAndForgetsTheTracks) {
  EncounterInProgress encounter;
  ASSERT_EQ(encounter.driver.Latest().active, 1);

  encounter.Step(OperatingMode::Standby);  // the caller resets the advisory on entering standby
  const kvr::AdvisoryRecord& advisory = encounter.driver.Advisory();
  EXPECT_EQ(advisory.auralCode, 0);
  EXPECT_FLOAT_EQ(advisory.vsLowerLimitFpm, -10000.0f);
  EXPECT_FLOAT_EQ(advisory.vsUpperLimitFpm, 10000.0f);
  EXPECT_FLOAT_EQ(advisory.vsTargetFpm, 10000.0f);
  EXPECT_EQ(advisory.modeStatus, static_cast<int32_t>(OperatingMode::Standby));
  EXPECT_EQ(encounter.driver.Latest().active, 0);

  // Back in TA/RA a few seconds later: the intruder's track starts afresh (no stale velocity), so
  // the first frame shows it as proximate traffic, and no "clear of conflict" is ever spoken.
  encounter.Step(OperatingMode::Standby);
  encounter.Step(OperatingMode::TaRa);
  EXPECT_EQ(encounter.driver.ClassOf(0), ThreatClass::ProximateTraffic);
  EXPECT_EQ(encounter.driver.Advisory().auralCode, 0);
  EXPECT_EQ(encounter.driver.Advisory().modeStatus, static_cast<int32_t>(OperatingMode::TaRa));
}

TEST(Modes, SwitchingToTrafficOnlyWithdrawsTheAdvisorySilently) {
  EncounterInProgress encounter;
  ASSERT_EQ(encounter.driver.Latest().active, 1);
  encounter.Step(OperatingMode::TaOnly);
  EXPECT_EQ(encounter.driver.Latest().active, 0);
  EXPECT_EQ(encounter.driver.Advisory().auralCode, 0);
  EXPECT_EQ(encounter.driver.ClassOf(0), ThreatClass::TrafficAdvisory);
  EXPECT_FLOAT_EQ(encounter.driver.Advisory().vsUpperLimitFpm, 10000.0f);
}

TEST(Slew, SlewingWithdrawsTheAdvisoryAndPlacesTrafficUntracked) {
  EncounterInProgress encounter;
  ASSERT_EQ(encounter.driver.Latest().active, 1);
  encounter.Step(OperatingMode::TaRa, /*slew=*/true);
  EXPECT_EQ(encounter.driver.Latest().active, 0);
  EXPECT_EQ(encounter.driver.Advisory().auralCode, 0);
  EXPECT_EQ(encounter.driver.Entry(0).valid, 1);
  EXPECT_EQ(encounter.driver.ClassOf(0), ThreatClass::ProximateTraffic);
  // After the slew the track must be rebuilt before any advisory: no false closure from the jump.
  encounter.Step(OperatingMode::TaRa);
  EXPECT_EQ(encounter.driver.ClassOf(0), ThreatClass::ProximateTraffic);
}

}  // namespace
}  // namespace avertine_test
