// The library's alerting judged against the reference criteria of alerting_oracle.h: over generated
// straight-line encounters at every sensitivity level from 3 up, the first traffic advisory and the first
// resolution advisory must come within 2 s of the frame at which the reference first alerts (or both
// must stay silent) in at least 99 % of the encounters.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <optional>

#include "tests/avertine/alerting_oracle.h"
#include "tests/avertine/encounter_sim.h"

namespace avertine_test {
namespace {

constexpr double kPi = 3.14159265358979323846;

RelativeState Relative(const Aircraft& own, const Aircraft& intruder) {
  auto vn = [](const Aircraft& a) { return a.groundSpeedKt / 3600.0 * std::cos(a.trackDeg * kPi / 180.0); };
  auto ve = [](const Aircraft& a) { return a.groundSpeedKt / 3600.0 * std::sin(a.trackDeg * kPi / 180.0); };
  return {intruder.northNm - own.northNm,
          intruder.eastNm - own.eastNm,
          vn(intruder) - vn(own),
          ve(intruder) - ve(own),
          intruder.altitudeFt - own.altitudeFt,
          (intruder.verticalRateFpm - own.verticalRateFpm) / 60.0};
}

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

struct Onsets {
  std::optional<double> traffic, resolution;
};

// Onsets are compared up to the closest approach only: once the aircraft diverge the library posts no new
// advisory, while the bare criteria still fire for traffic that passes inside DMOD.
Onsets LibraryOnsets(const EncounterResult& result, double cpaS) {
  Onsets onsets;
  for (const FrameLog& frame : result.frames) {
    if (!frame.intruderValid || frame.timeS > cpaS) continue;
    const bool ra = frame.intruderClass == kvr::ThreatClass::ResolutionAdvisory;
    if (!onsets.traffic && (ra || frame.intruderClass == kvr::ThreatClass::TrafficAdvisory)) {
      onsets.traffic = frame.timeS;
    }
    if (!onsets.resolution && ra) onsets.resolution = frame.timeS;
  }
  return onsets;
}

Onsets OracleOnsets(const EncounterResult& result, double groundFt, double cpaS) {
  Onsets onsets;
  for (const FrameLog& frame : result.frames) {
    if (frame.timeS > cpaS) continue;
    const OracleAlert alert =
        EvaluateOracle(Relative(frame.own, frame.intruder), frame.own.altitudeFt, frame.own.altitudeFt - groundFt);
    if (!onsets.traffic && alert.traffic) onsets.traffic = frame.timeS;
    if (!onsets.resolution && alert.resolution) onsets.resolution = frame.timeS;
  }
  return onsets;
}

bool Agree(const std::optional<double>& a, const std::optional<double>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || std::fabs(*a - *b) <= 2.0;
}

TEST(AlertOnset, TrafficAndResolutionOnsetsAgreeWithTheReferenceCriteria) {
  constexpr int kEncounters = 1000;
  Random random(1);
  int trafficAgree = 0, resolutionAgree = 0, withResolution = 0, printed = 0;
  for (int i = 0; i < kEncounters; ++i) {
    const EncounterSpec spec = Generate(random);
    const EncounterResult result = FlyEncounter(spec, Pilot::Ignores, 110.0);
    const Onsets library = LibraryOnsets(result, spec.timeToCpaS);
    const Onsets oracle = OracleOnsets(result, spec.groundFt, spec.timeToCpaS);
    const bool ta = Agree(library.traffic, oracle.traffic);
    const bool ra = Agree(library.resolution, oracle.resolution);
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
