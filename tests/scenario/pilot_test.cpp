// The pilot's standard response: when it starts, how hard it pulls, and where it levels out.
#include <gtest/gtest.h>

#include "host/scenario/pilot.h"

namespace kvr::host {
namespace {

AdvisoryReading Shown(float lower, float upper, float target) {
  return ReadAdvisory({0, nullptr, lower, upper, target, 0});
}
const AdvisoryReading kNone = Shown(-10000, 10000, 10000);
const AdvisoryReading kClimb = Shown(1500, 10000, 1500);
const AdvisoryReading kIncreaseClimb = Shown(2500, 10000, 2500);
const AdvisoryReading kDescend = Shown(-10000, -1500, -1500);
const AdvisoryReading kDontDescend = Shown(0, 10000, 0);
const AdvisoryReading kDontClimb = Shown(-10000, 0, 10000);

constexpr double kFrameS = 1.0 / 18;

// Flies an aircraft with the pilot from `fromS` to `toS`, showing `shown` from `shownS` on; returns the
// first time the vertical speed reached `rateFpm` (or -1).
struct Trial {
  Pilot pilot;
  AircraftModel aircraft{AircraftState{}, {}};
  double timeS = 0;

  double FlyUntil(double toS, double rateFpm = 1e9) {
    double reachedS = -1;
    for (; timeS < toS - 1e-9; timeS += kFrameS) {
      const auto command = pilot.Command(timeS, aircraft.PlannedVertical(), aircraft.State().verticalSpeedFpm);
      aircraft.Step(timeS, kFrameS, command);
      if (reachedS < 0 && std::abs(aircraft.State().verticalSpeedFpm - rateFpm) < 1e-6) reachedS = timeS + kFrameS;
    }
    return reachedS;
  }
};

TEST(Pilot, FirstAdvisoryIsFlownAfterFiveSecondsAtAQuarterG) {
  Trial t;
  t.FlyUntil(10);
  t.pilot.Observe(10, kClimb);
  EXPECT_EQ(t.pilot.LastReaction(), PilotReaction::Initial);
  t.FlyUntil(15 - kFrameS / 2);
  EXPECT_EQ(t.aircraft.State().verticalSpeedFpm, 0);  // nothing during the delay
  const double reachedS = t.FlyUntil(25, 1500);
  // 1500 ft/min at 0.25 g (482.6 ft/min per second) takes 3.1 s.
  EXPECT_NEAR(reachedS, 15 + 1500 / FpmPerSecondFromG(0.25), 2 * kFrameS);
  EXPECT_EQ(t.aircraft.State().verticalSpeedFpm, 1500);  // and holds it, no overshoot
}

TEST(Pilot, IncreaseAndReversalAreFlownAfterTwoAndAHalfSecondsAtAThirdOfAG) {
  for (const auto& [second, target] : {std::pair{kIncreaseClimb, 2500.0}, std::pair{kDescend, -1500.0}}) {
    Trial t;
    t.pilot.Observe(0, kClimb);
    t.FlyUntil(20);
    ASSERT_EQ(t.aircraft.State().verticalSpeedFpm, 1500);
    t.pilot.Observe(20, second);
    EXPECT_EQ(t.pilot.LastReaction(), target > 0 ? PilotReaction::Increase : PilotReaction::Reversal);
    t.FlyUntil(22.5 - kFrameS / 2);
    EXPECT_EQ(t.aircraft.State().verticalSpeedFpm, 1500);
    const double reachedS = t.FlyUntil(40, target);
    EXPECT_NEAR(reachedS, 22.5 + std::abs(target - 1500) / FpmPerSecondFromG(0.35), 2 * kFrameS) << target;
  }
}

TEST(Pilot, AChangeBeforeTheFirstResponseWaitsForIt) {
  Pilot pilot;
  pilot.Observe(10, kClimb);
  pilot.Observe(11, kIncreaseClimb);  // 2.5 s later would be 13.5, but the pilot is not flying yet
  EXPECT_DOUBLE_EQ(*pilot.PendingStartS(), 15);
  const auto command = pilot.Command(15, {0, 0.25}, 0);
  ASSERT_TRUE(command.has_value());
  EXPECT_EQ(command->targetFpm, 2500);
  EXPECT_EQ(command->accelerationG, 0.35);
}

TEST(Pilot, FliesThePlanInsideTheLimits) {
  Pilot pilot;
  pilot.Observe(0, kDontClimb);
  // A descent already complies with "don't climb": the plan's rate stands.
  auto command = pilot.Command(5, {-800, 0.25}, -800);
  ASSERT_TRUE(command.has_value());
  EXPECT_EQ(command->targetFpm, -800);
  // A planned climb is held to level flight.
  command = pilot.Command(6, {1200, 0.25}, 1200);
  EXPECT_EQ(command->targetFpm, 0);
}

TEST(Pilot, ClearOfConflictReturnsToThePlanThenLetsGo) {
  Trial t;
  t.pilot.Observe(0, kClimb);
  t.FlyUntil(20);
  t.pilot.Observe(20, kNone);
  EXPECT_EQ(t.pilot.LastReaction(), PilotReaction::ClearOfConflict);
  t.FlyUntil(22.5 - kFrameS / 2);
  EXPECT_EQ(t.aircraft.State().verticalSpeedFpm, 1500);
  const double reachedS = t.FlyUntil(40, 0);
  EXPECT_NEAR(reachedS, 22.5 + 1500 / FpmPerSecondFromG(0.25), 2 * kFrameS);
  EXPECT_FALSE(t.pilot.Command(40, {0, 0.25}, 0).has_value());
}

TEST(Pilot, AnAdvisoryThatEndsBeforeItIsFlownIsNotFlown) {
  Pilot pilot;
  pilot.Observe(10, kClimb);
  pilot.Observe(12, kNone);
  EXPECT_FALSE(pilot.Command(20, {0, 0.25}, 0).has_value());
}

TEST(Pilot, ClassifiesChangesBySenseAndStrength) {
  EXPECT_EQ(Pilot::Classify(kNone, kClimb), PilotReaction::Initial);
  EXPECT_EQ(Pilot::Classify(kClimb, kIncreaseClimb), PilotReaction::Increase);
  EXPECT_EQ(Pilot::Classify(kClimb, kDescend), PilotReaction::Reversal);
  EXPECT_EQ(Pilot::Classify(kClimb, kDontDescend), PilotReaction::Weakening);
  EXPECT_EQ(Pilot::Classify(kIncreaseClimb, kClimb), PilotReaction::Weakening);
  EXPECT_EQ(Pilot::Classify(kDescend, kNone), PilotReaction::ClearOfConflict);
  EXPECT_EQ(Pilot::Classify(kNone, kNone), PilotReaction::None);
}

}  // namespace
}  // namespace kvr::host
