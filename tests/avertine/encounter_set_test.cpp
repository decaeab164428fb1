// The logic judged by what it exists for: over a set of generated encounters that would pass within a
// few hundred feet, an own aircraft that follows the resolution advisories (5 s delay, 0.25 g to the
// advised rate) keeps more vertical separation at closest approach than one that ignores them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tests/avertine/encounter_sim.h"

namespace avertine_test {
namespace {

EncounterSpec Generate(Random& random) {
  EncounterSpec spec;
  spec.ownAltitudeFt = random.Uniform(6000.0, 30000.0);
  spec.ownSpeedKt = random.Uniform(200.0, 450.0);
  spec.intruderSpeedKt = random.Uniform(150.0, 450.0);
  spec.intruderCourseDeg = random.Uniform(70.0, 290.0);  // head-on to crossing
  spec.ownVerticalRateFpm = random.Uniform(0.0, 1.0) < 0.5 ? 0.0 : random.Uniform(-1500.0, 1500.0);
  spec.intruderVerticalRateFpm = random.Uniform(0.0, 1.0) < 0.4 ? 0.0 : random.Uniform(-2500.0, 2500.0);
  spec.verticalMissFt = random.Uniform(-250.0, 250.0);
  spec.missDistanceNm = random.Uniform(0.0, 0.3);
  spec.timeToCpaS = 90.0;
  return spec;
}

struct SetStatistics {
  int encounters = 0;
  int nearMidAirCollisions = 0;  // inside 100 ft vertically and 500 ft horizontally
  double meanVerticalFt = 0.0;
  double smallestVerticalFt = 1e9;
};

constexpr double kNmacVerticalFt = 100.0;
constexpr double kNmacHorizontalNm = 500.0 / 6076.1;

TEST(EncounterSet, FollowingAdvisoriesKeepsMoreVerticalSeparationThanIgnoringThem) {
  constexpr int kEncounters = 40;
  Random random(20240611);
  SetStatistics ignoring;
  SetStatistics following;
  int withAdvisory = 0;
  int improved = 0;
  for (int i = 0; i < kEncounters; ++i) {
    const EncounterSpec spec = Generate(random);
    const EncounterResult without = FlyEncounter(spec, Pilot::Ignores, 130.0);
    const EncounterResult with = FlyEncounter(spec, Pilot::Follows, 130.0);
    if (without.FirstResolutionAural() != 0) ++withAdvisory;
    if (with.cpaVerticalFt > without.cpaVerticalFt) ++improved;
    for (auto [result, stats] : {std::pair{&without, &ignoring}, std::pair{&with, &following}}) {
      ++stats->encounters;
      stats->meanVerticalFt += result->cpaVerticalFt / kEncounters;
      stats->smallestVerticalFt = std::min(stats->smallestVerticalFt, result->cpaVerticalFt);
      if (result->cpaVerticalFt < kNmacVerticalFt && result->cpaRangeNm < kNmacHorizontalNm) {
        ++stats->nearMidAirCollisions;
      }
    }
  }
  std::printf("encounters %d, with a resolution advisory %d, separation improved in %d\n", kEncounters, withAdvisory,
              improved);
  std::printf("ignoring:  mean %.0f ft, smallest %.0f ft, near mid-air collisions %d\n", ignoring.meanVerticalFt,
              ignoring.smallestVerticalFt, ignoring.nearMidAirCollisions);
  std::printf("following: mean %.0f ft, smallest %.0f ft, near mid-air collisions %d\n", following.meanVerticalFt,
              following.smallestVerticalFt, following.nearMidAirCollisions);
  ::testing::Test::RecordProperty("meanVerticalIgnoringFt", std::to_string(ignoring.meanVerticalFt));
  ::testing::Test::RecordProperty("meanVerticalFollowingFt", std::to_string(following.meanVerticalFt));

  EXPECT_EQ(withAdvisory, kEncounters);  // every generated encounter is a real threat
  EXPECT_GT(following.meanVerticalFt, ignoring.meanVerticalFt + 200.0);
  EXPECT_GE(following.smallestVerticalFt, 200.0);
  EXPECT_EQ(following.nearMidAirCollisions, 0);
  EXPECT_GT(ignoring.nearMidAirCollisions, 0);  // the set does hold collisions to prevent
  EXPECT_GE(improved, kEncounters * 9 / 10);
}

}  // namespace
}  // namespace avertine_test
