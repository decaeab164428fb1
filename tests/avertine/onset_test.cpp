// The library's alerting judged against the reference criteria of alerting_oracle.h: over generated
// straight-line encounters at every sensitivity level from 3 up, the first traffic advisory and the first
// resolution advisory must come within 2 s of the frame at which the reference first alerts (or both
// must stay silent) in at least 99 % of the encounters.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <optional>

#include "tests/avertine/onsets.h"

namespace avertine_test {
namespace {

// Encounters across the levels that give resolution advisories, with misses on both sides of every
// threshold: horizontal up to 1.5 NM, vertical up to 1000 ft, level and climbing or descending traffic.
EncounterSpec Generate(Random& random) {
  EncounterSpec spec;
  const double band = random.Uniform(0.0, 1.0);
  if (band < 0.15) {  // 1100-2300 ft above the ground: level 3
    spec.groundFt = random.Uniform(0.0, 3000.0);
    spec.ownAltitudeFt = spec.groundFt + random.Uniform(1100.0, 2300.0);
  } else {
    spec.ownAltitudeFt = random.Uniform(3000.0, 40000.0);
  }
  spec.ownSpeedKt = random.Uniform(150.0, 450.0);
  spec.intruderSpeedKt = random.Uniform(120.0, 450.0);
  spec.intruderCourseDeg = random.Uniform(30.0, 330.0);
  spec.ownVerticalRateFpm = 0.0;  // own level: its level does not change during the encounter
  spec.intruderVerticalRateFpm = random.Uniform(0.0, 1.0) < 0.5 ? 0.0 : random.Uniform(-2000.0, 2000.0);
  spec.verticalMissFt = random.Uniform(-1000.0, 1000.0);
  spec.missDistanceNm = random.Uniform(0.0, 1.5);
  spec.timeToCpaS = 100.0;
  return spec;
}

TEST(AlertOnset, TrafficAndResolutionOnsetsAgreeWithTheReferenceCriteria) {
  constexpr int kEncounters = 1000;
  Random random(1);
  int trafficAgree = 0, resolutionAgree = 0, withResolution = 0, printed = 0;
  for (int i = 0; i < kEncounters; ++i) {
    const EncounterSpec spec = Generate(random);
    const EncounterResult result = FlyEncounter(spec, Pilot::Ignores, 110.0);
    const Onsets library = LibraryOnsets(result.frames, spec.timeToCpaS);
    const Onsets oracle = OracleOnsets(result.frames, spec.groundFt, spec.timeToCpaS);
    const bool ta = OnsetsAgree(library.traffic, oracle.traffic);
    const bool ra = OnsetsAgree(library.resolution, oracle.resolution);
    trafficAgree += ta;
    resolutionAgree += ra;
    withResolution += oracle.resolution.has_value();
    if ((!ta || !ra) && printed++ < 10) {
      std::printf("#%d alt %.0f agl %.0f miss %.2f NM %.0f ft rate %.0f: TA %.0f/%.0f RA %.0f/%.0f\n", i,
                  spec.ownAltitudeFt, spec.ownAltitudeFt - spec.groundFt, spec.missDistanceNm, spec.verticalMissFt,
                  spec.intruderVerticalRateFpm, library.traffic.value_or(-1), oracle.traffic.value_or(-1),
                  library.resolution.value_or(-1), oracle.resolution.value_or(-1));
    }
  }
  std::printf("onset within 2 s: TA %d/%d, RA %d/%d (%d with a reference RA)\n", trafficAgree, kEncounters,
              resolutionAgree, kEncounters, withResolution);
  EXPECT_GT(withResolution, kEncounters / 4);  // the set does exercise the resolution criteria
  EXPECT_GE(trafficAgree, kEncounters * 99 / 100);
  EXPECT_GE(resolutionAgree, kEncounters * 99 / 100);
}

}  // namespace
}  // namespace avertine_test
