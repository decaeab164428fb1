// Encounters with known answers, flown through the entry points one frame per simulated second: what
// the advisory record shows for each kind of advisory, and how an advisory changes and ends. Timing
// and sense over more geometries are in encounters.csv (regression_test.cpp).
#include <gtest/gtest.h>

#include <limits>

#include "tests/avertine/encounter_sim.h"

namespace avertine_test {
namespace {

using kvr::AuralCode;
using kvr::ThreatClass;

constexpr int32_t Code(AuralCode code) { return static_cast<int32_t>(code); }

// Head-on at 250 kt each; the intruder `verticalMissFt` above (positive) or below the own aircraft.
EncounterSpec HeadOn(double altitudeFt, double verticalMissFt) {
  EncounterSpec spec;
  spec.ownAltitudeFt = altitudeFt;
  spec.verticalMissFt = verticalMissFt;
  spec.timeToCpaS = 100.0;
  return spec;
}

const FrameLog* FirstFrameWithCode(const EncounterResult& result, int32_t code) {
  for (const FrameLog& frame : result.frames) {
    if (frame.auralCode == code) return &frame;
  }
  return nullptr;
}

// Flies the head-on encounter at 8000 ft with the intruder 200 ft below (our advisory: climb), one
// library frame a second for 110 s, the intruder telling us `coordinationSense` from the start.
// `each(t, driver, intruder)` runs after each frame and may change the intruder; false ends the flight.
template <typename EachFrame>
void FlyAgainstIntruderBelow(int32_t coordinationSense, EachFrame each) {
  Aircraft own;
  Aircraft intruder;
  BuildEncounter(HeadOn(8000.0, -200.0), &own, &intruder);
  intruder.coordinationSense = coordinationSense;
  LogicDriver driver;
  std::vector<Aircraft> traffic(1);
  for (int t = 0; t <= 110; ++t) {
    traffic[0] = intruder;
    driver.Frame(own, traffic, 0.0);
    if (!each(t, driver, intruder)) return;
    own.Advance(1.0);
    intruder.Advance(1.0);
  }
}

TEST(HeadOnEncounter, LevelAt8000GivesTrafficThenDescendThenClearOfConflict) {
  const EncounterSpec spec = HeadOn(8000.0, 100.0);
  const EncounterResult result = FlyEncounter(spec, Pilot::Ignores, 130.0);

  // Level 5: TA tau 40 s, RA tau 25 s; the modified tau brings each a little earlier.
  const double taBeforeCpaS = result.FirstAuralBeforeCpaS(Code(AuralCode::TrafficTraffic), spec.timeToCpaS);
  EXPECT_GE(taBeforeCpaS, 40.0);
  EXPECT_LE(taBeforeCpaS, 43.0);
  EXPECT_EQ(result.CountAural(Code(AuralCode::TrafficTraffic)), 1);
  EXPECT_DOUBLE_EQ(result.FirstClassBeforeCpaS(ThreatClass::TrafficAdvisory, spec.timeToCpaS), taBeforeCpaS);

  // The intruder is 100 ft above: the non-crossing sense is down.
  const FrameLog* ra = FirstFrameWithCode(result, Code(AuralCode::Descend));
  ASSERT_NE(ra, nullptr);
  EXPECT_EQ(result.FirstResolutionAural(), Code(AuralCode::Descend));
  const double raBeforeCpaS = spec.timeToCpaS - ra->timeS;
  EXPECT_GE(raBeforeCpaS, 25.0);
  EXPECT_LE(raBeforeCpaS, 28.0);
  EXPECT_EQ(ra->intruderClass, ThreatClass::ResolutionAdvisory);
  EXPECT_FLOAT_EQ(ra->advisory.vsUpperLimitFpm, -1500.0f);
  EXPECT_FLOAT_EQ(ra->advisory.vsLowerLimitFpm, -10000.0f);
  EXPECT_FLOAT_EQ(ra->advisory.vsTargetFpm, -1500.0f);
  EXPECT_EQ(ra->advisory.modeStatus, static_cast<int32_t>(kvr::OperatingMode::TaRa));
  EXPECT_EQ(ra->latest.sense, static_cast<int32_t>(kvr::AdvisorySense::Down));
  EXPECT_EQ(ra->latest.crossing, 0);

  // Clear of conflict once, after the closest approach, and the arcs go away with it.
  const FrameLog* coc = FirstFrameWithCode(result, Code(AuralCode::ClearOfConflict));
  ASSERT_NE(coc, nullptr);
  EXPECT_EQ(result.CountAural(Code(AuralCode::ClearOfConflict)), 1);
  EXPECT_GT(coc->timeS, spec.timeToCpaS);
  EXPECT_LT(coc->timeS, spec.timeToCpaS + 8.0);
  EXPECT_EQ(coc->latest.active, 0);
  EXPECT_FLOAT_EQ(coc->advisory.vsLowerLimitFpm, -10000.0f);
  EXPECT_FLOAT_EQ(coc->advisory.vsUpperLimitFpm, 10000.0f);
  EXPECT_FLOAT_EQ(coc->advisory.vsTargetFpm, 10000.0f);

  // Each message is reported on its own frame only: the caller speaks every non-zero code.
  for (size_t i = 1; i < result.frames.size(); ++i) {
    if (result.frames[i].auralCode != 0) {
      EXPECT_NE(result.frames[i].auralCode, result.frames[i - 1].auralCode) << result.frames[i].timeS;
    }
  }
}

TEST(HeadOnEncounter, IntruderBelowGivesClimbWithDisplayLimitsOfAClimb) {
  const EncounterSpec spec = HeadOn(8000.0, -100.0);
  const EncounterResult result = FlyEncounter(spec, Pilot::Ignores, 110.0);
  const FrameLog* ra = FirstFrameWithCode(result, Code(AuralCode::Climb));
  ASSERT_NE(ra, nullptr);
  EXPECT_EQ(result.FirstResolutionAural(), Code(AuralCode::Climb));
  EXPECT_FLOAT_EQ(ra->advisory.vsLowerLimitFpm, 1500.0f);
  EXPECT_FLOAT_EQ(ra->advisory.vsUpperLimitFpm, 10000.0f);
  EXPECT_FLOAT_EQ(ra->advisory.vsTargetFpm, 1500.0f);
}

TEST(VerticalEncounter, LevelIntruderFiveHundredFeetAboveGivesPreventiveAdvisory) {
  // Inside ZTHR (600 ft) but already separated by more than ALIM (350 ft): only "don't climb".
  const EncounterSpec spec = HeadOn(8000.0, 500.0);
  const EncounterResult result = FlyEncounter(spec, Pilot::Ignores, 110.0);
  EXPECT_EQ(result.FirstResolutionAural(), Code(AuralCode::MonitorVerticalSpeed));
  const FrameLog* ra = FirstFrameWithCode(result, Code(AuralCode::MonitorVerticalSpeed));
  ASSERT_NE(ra, nullptr);
  EXPECT_FLOAT_EQ(ra->advisory.vsUpperLimitFpm, 0.0f);
  EXPECT_FLOAT_EQ(ra->advisory.vsLowerLimitFpm, -10000.0f);
  EXPECT_FLOAT_EQ(ra->advisory.vsTargetFpm, 10000.0f);  // no green arc
}

TEST(VerticalEncounter, ClimbingTowardIntruderAboveIsToldToAdjust) {
  // We climb 2000 ft/min toward a level intruder above (by then above 10000 ft: level 6, ALIM 400 ft);
  // levelling off keeps ALIM, so the advisory only asks to reduce the climb (limit 0, green from it).
  EncounterSpec spec = HeadOn(8000.0, -300.0);
  spec.ownVerticalRateFpm = 2000.0;
  const EncounterResult result = FlyEncounter(spec, Pilot::Ignores, 110.0);
  EXPECT_EQ(result.FirstResolutionAural(), Code(AuralCode::AdjustVerticalSpeed));
  const FrameLog* ra = FirstFrameWithCode(result, Code(AuralCode::AdjustVerticalSpeed));
  ASSERT_NE(ra, nullptr);
  EXPECT_EQ(ra->latest.sense, static_cast<int32_t>(kvr::AdvisorySense::Down));
  EXPECT_LE(ra->advisory.vsUpperLimitFpm, 1000.0f);
  EXPECT_FLOAT_EQ(ra->advisory.vsTargetFpm, ra->advisory.vsUpperLimitFpm);
}

TEST(VerticalEncounter, PassingThroughTheIntrudersLevelFarOffGivesNoResolutionAdvisory) {
  // We climb or descend fast through a level intruder's altitude, head-on at level 7. Far off, and well
  // apart at the closest approach, that is traffic to watch; close in, it is a threat.
  struct Case {
    double rateFpm;
    double verticalMissFt;  // intruder minus own at closest approach
    double missNm;          // horizontal
    bool resolution;
  } cases[] = {
      {-3200.0, 1300.0, 0.0, false},  // crosses 3.4 NM away, 1300 ft apart at closest approach
      {3200.0, -1300.0, 0.0, false},
      {-3200.0, 400.0, 0.0, true},  // crosses 1 NM away
      {3200.0, -400.0, 0.0, true},
      {3000.0, 1400.0, 0.6, false},  // inside the RA DMOD well before reaching the level, 3 NM after
  };
  for (const Case& c : cases) {
    EncounterSpec spec = HeadOn(30000.0, c.verticalMissFt);
    spec.ownVerticalRateFpm = c.rateFpm;
    spec.missDistanceNm = c.missNm;
    const EncounterResult result = FlyEncounter(spec, Pilot::Ignores, 130.0);
    EXPECT_EQ(result.FirstResolutionAural() != 0, c.resolution)
        << c.rateFpm << " ft/min, " << c.verticalMissFt << " ft";
    EXPECT_GT(result.CountAural(Code(AuralCode::TrafficTraffic)), 0)
        << c.rateFpm << " ft/min, " << c.verticalMissFt << " ft";
  }
}

TEST(ResolutionAdvisoryLifecycle, FollowingPilotGetsWeakenedAdvisoryBeforeClearOfConflict) {
  const EncounterSpec spec = HeadOn(8000.0, 100.0);
  const EncounterResult result = FlyEncounter(spec, Pilot::Follows, 130.0);
  const FrameLog* ra = FirstFrameWithCode(result, Code(AuralCode::Descend));
  const FrameLog* weakened = FirstFrameWithCode(result, Code(AuralCode::AdjustVerticalSpeed));
  const FrameLog* coc = FirstFrameWithCode(result, Code(AuralCode::ClearOfConflict));
  ASSERT_NE(ra, nullptr);
  ASSERT_NE(weakened, nullptr);
  ASSERT_NE(coc, nullptr);
  EXPECT_LT(ra->timeS, weakened->timeS);
  EXPECT_LT(weakened->timeS, coc->timeS);
  EXPECT_FLOAT_EQ(weakened->advisory.vsUpperLimitFpm, 0.0f);  // level off: no more descent needed
  EXPECT_GE(result.cpaVerticalFt, 350.0);                     // ALIM at level 5 was reached
}

TEST(ResolutionAdvisoryLifecycle, AnIncreaseJoinsTheFirstResponseOnlyWhereWaitingWouldFallShort) {
  // At level 3 the first advisory, flown 5 s later, cannot reach ALIM against co-altitude traffic met
  // 15 s ahead, and an increase after the usual wait would not either: it comes once the first message
  // has sounded, before the pilot begins, and is flown from the start. With 100 ft between the two the
  // wait leaves time, and the increase waits for the tracks. Near the ground, against a climber from
  // below that would pass 120 ft above us, the climb is the only sense.
  struct Case {
    double altitudeFt, verticalMissFt, intruderRateFpm;
    double increaseAfterS;  // after the first advisory
  };
  for (const Case& c : {Case{1900.0, 0.0, 0.0, 2.0}, Case{1900.0, 100.0, 0.0, 6.0}, Case{1050.0, 120.0, 1000.0, 2.0}}) {
    SCOPED_TRACE(c.verticalMissFt);
    EncounterSpec spec = HeadOn(c.altitudeFt, c.verticalMissFt);
    spec.intruderVerticalRateFpm = c.intruderRateFpm;
    spec.timeToCpaS = 60.0;
    const EncounterResult result = FlyEncounter(spec, Pilot::Follows, 80.0);
    double firstS = -1.0;
    double increaseS = -1.0;
    for (const FrameLog& frame : result.frames) {
      if (frame.latest.active && firstS < 0.0) firstS = frame.timeS;
      const bool increase =
          frame.auralCode == Code(AuralCode::IncreaseClimb) || frame.auralCode == Code(AuralCode::IncreaseDescent);
      if (increase && increaseS < 0.0) increaseS = frame.timeS;
    }
    ASSERT_GE(firstS, 0.0);
    EXPECT_EQ(increaseS - firstS, c.increaseAfterS);
    EXPECT_GE(result.cpaVerticalFt, 150.0);
  }
}

TEST(ResolutionAdvisoryLifecycle, IntruderThatManoeuvresIntoOurSenseCausesReversal) {
  // The intruder starts 200 ft below (we get "climb"), then climbs hard after our advisory.
  bool sawClimb = false;
  bool sawReversal = false;
  FlyAgainstIntruderBelow(0, [&](int, const LogicDriver& driver, Aircraft& intruder) {
    const int32_t code = driver.Advisory().auralCode;
    if (code == Code(AuralCode::Climb)) sawClimb = true;
    if (code == Code(AuralCode::DescendNow)) {
      sawReversal = true;
      EXPECT_EQ(driver.Latest().reversed, 1);
      EXPECT_FLOAT_EQ(driver.Advisory().vsUpperLimitFpm, -1500.0f);
    }
    if (sawClimb && intruder.verticalRateFpm == 0.0) intruder.verticalRateFpm = 4000.0;
    return true;
  });
  EXPECT_TRUE(sawClimb);
  EXPECT_TRUE(sawReversal);
}

TEST(ResolutionAdvisoryLifecycle, ACoordinationSenseOutsideItsValuesIsNoCoordination) {
  // A record that says neither none, up nor down must not force a sense: the reversal of the
  // uncoordinated encounter above still comes.
  for (const int32_t reported : {3, -1, std::numeric_limits<int32_t>::max()}) {
    bool sawClimb = false, sawReversal = false;
    FlyAgainstIntruderBelow(reported, [&](int, const LogicDriver& driver, Aircraft& intruder) {
      const int32_t code = driver.Advisory().auralCode;
      sawClimb |= code == Code(AuralCode::Climb);
      sawReversal |= code == Code(AuralCode::DescendNow);
      if (sawClimb && intruder.verticalRateFpm == 0.0) intruder.verticalRateFpm = 4000.0;
      return true;
    });
    EXPECT_TRUE(sawClimb) << reported;
    EXPECT_TRUE(sawReversal) << reported;
  }
}

TEST(ResolutionAdvisoryLifecycle, NoReversalIntoTheSenseACoordinatingIntruderFlies) {
  // As above, but the intruder's own RA is "descend": our climb complements it, and even when the
  // intruder then climbs our advisory must not turn into a descent, the sense it has told us it takes.
  bool sawClimb = false;
  FlyAgainstIntruderBelow(2, [&](int t, const LogicDriver& driver, Aircraft& intruder) {
    const int32_t code = driver.Advisory().auralCode;
    if (code == Code(AuralCode::Climb)) sawClimb = true;
    EXPECT_NE(code, Code(AuralCode::DescendNow)) << t;
    const kvr::LatestAdvisory latest = driver.Latest();
    if (latest.active) {
      EXPECT_EQ(latest.sense, static_cast<int32_t>(kvr::AdvisorySense::Up)) << t;
      EXPECT_EQ(latest.reversed, 0) << t;
    }
    if (sawClimb && intruder.verticalRateFpm == 0.0) intruder.verticalRateFpm = 4000.0;
    return true;
  });
  EXPECT_TRUE(sawClimb);
}

TEST(ResolutionAdvisoryLifecycle, ACoordinatingIntruderThatReversesIntoOurSenseIsComplemented) {
  // The intruder tells us nothing until our advisory stands, then that it takes the same sense: it has
  // reversed into ours. Ours must turn to the complement at once, with the reversal's words.
  int32_t firstSense = 0;
  double toldS = -1.0;
  FlyAgainstIntruderBelow(0, [&](int t, const LogicDriver& driver, Aircraft& intruder) {
    const kvr::LatestAdvisory latest = driver.Latest();
    if (toldS >= 0.0) {  // the frame after the intruder told us
      EXPECT_NE(latest.sense, firstSense);
      EXPECT_EQ(latest.reversed, 1);
      EXPECT_EQ(driver.Advisory().auralCode,
                Code(firstSense == static_cast<int32_t>(kvr::AdvisorySense::Up) ? AuralCode::DescendNow
                                                                                : AuralCode::ClimbNow));
      return false;
    }
    if (latest.active) {
      firstSense = latest.sense;
      intruder.coordinationSense = firstSense;
      toldS = t;
    }
    return true;
  });
  EXPECT_GE(toldS, 0.0) << "no advisory";
}

// Geometries that once gave an order and its cancellation back to back: a descent onto traffic that
// drops under the altitude threshold just as the fast crossing intruder passes, and a climbing pass whose
// predicted miss hovers at the miss-distance threshold. Each advisory given must come before the closest
// approach and stand longer than 3 s, whether the pilot flies it or not.
TEST(ResolutionAdvisoryLifecycle, NoAdvisoryIsGivenAtClosestApproachOrCancelledWithinThreeSeconds) {
  EncounterSpec late;
  late.ownAltitudeFt = 3400.0;
  late.ownVerticalRateFpm = -800.0;
  late.ownSpeedKt = 320.0;
  late.intruderSpeedKt = 420.0;
  late.intruderCourseDeg = 60.0;
  late.verticalMissFt = -590.0;
  late.missDistanceNm = 0.15;
  EncounterSpec hovering;
  hovering.ownAltitudeFt = 5830.0;
  hovering.groundFt = 3290.0;
  hovering.ownVerticalRateFpm = 1800.0;
  hovering.ownSpeedKt = 370.0;
  hovering.intruderSpeedKt = 315.0;
  hovering.intruderCourseDeg = 169.0;
  hovering.verticalMissFt = -250.0;
  hovering.missDistanceNm = 0.55;
  for (const EncounterSpec& spec : {late, hovering}) {
    for (const Pilot pilot : {Pilot::Ignores, Pilot::Follows}) {
      const EncounterResult result = FlyEncounter(spec, pilot, 130.0);
      for (const EncounterResult::Episode& advisory : result.advisories) {
        EXPECT_LE(advisory.postedS, spec.timeToCpaS - 1.0) << spec.ownAltitudeFt;
        EXPECT_GT(advisory.endedS - advisory.postedS, 3.0) << spec.ownAltitudeFt << " at " << advisory.postedS;
      }
    }
  }
}

}  // namespace
}  // namespace avertine_test
