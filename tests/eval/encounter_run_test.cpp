// Encounters flown through the real module: a paired-track scenario file, an equipped intruder that
// coordinates its sense with ours, and the surveillance a transponder link delivers.
#include <gtest/gtest.h>

#include <cmath>

#include "host/eval/evaluation.h"
#include "host/scenario/noise_source.h"
#include "host/scenario/scenario_runner.h"
#include "host/scenario/surveillance.h"
#include "tests/gauge/module_fixture.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

TEST(EncounterRun, APairedTrackScenarioFliesAndTheOwnAircraftReturnsToItsTrack) {
  const Scenario s = LoadScenario(kvr::testing::SourceDir() / "scenarios" / "paired_encounter.toml");
  RunOptions options;
  options.gaugesDir = kvr::testing::BinDir();
  ScenarioRun run(s, options);
  run.RunToEnd();
  ASSERT_EQ(run.Events().ResolutionAdvisories(), 1);
  const MissDistance miss = ClosestApproachOf(OwnPath(run.Flown()), IntruderPath(run.Flown(), 0));
  EXPECT_FALSE(miss.nmac);
  EXPECT_GT(miss.verticalFt, 300);  // the recorded tracks pass 62 ft apart
  // After the advisory the gap to the recorded track closes.
  const auto& frames = run.Flown().Frames();
  const auto gap = [&](const TrajectoryFrame& f) {
    return std::abs(f.own.altitudeFt - s.own.track->At(f.timeS).altitudeFt);
  };
  double gapAtClear = 0;
  for (const TrajectoryFrame& f : frames)
    if (f.timeS >= 77 && gapAtClear == 0) gapAtClear = gap(f);
  EXPECT_GT(gapAtClear, 300);
  EXPECT_LT(gap(frames.back()), 0.2 * gapAtClear);
}

TEST(EncounterRun, AnEquippedIntruderTakesTheOtherSense) {
  // Head-on at the same level: the own logic and the intruder's must not both climb or both descend.
  const fs::path dir = fs::temp_directory_path() / "kvr_equipped_test";
  fs::create_directories(dir);
  const fs::path file = dir / "head_on.txt";
  {
    std::vector<TrackSample> own, intruder;
    for (double t = 0; t <= 100; t += 1) {
      const double v = 300 * kMetresPerSecondPerKnot;
      own.push_back({t, {v * t, 0}, 12000, 300, 90, 0});
      intruder.push_back({t, {v * 140 - v * t, 0}, 12000, 300, 270, 0});
    }
    std::ofstream out(file);
    WritePairedTracks(out, own, intruder);
  }
  EvalSettings settings;
  settings.gaugesDir = kvr::testing::BinDir();
  settings.panelFile = dir / "panel.cfg";
  settings.equippedIntruder = true;
  WriteEvalPanel(settings.panelFile);
  const Scenario s = EncounterScenario(file, settings, /*pilot=*/true);
  RunOptions options;
  options.gaugesDir = settings.gaugesDir;
  ScenarioRun run(s, options);
  run.RunToEnd();
  int together = 0;
  for (const TrajectoryFrame& f : run.Flown().Frames()) {
    ASSERT_TRUE(f.intruderAdvisories[0].has_value());
    const AdvisorySenseWord own = SenseOf(f.ownAdvisory), other = SenseOf(*f.intruderAdvisories[0]);
    if (own == AdvisorySenseWord::None || other == AdvisorySenseWord::None) continue;
    ++together;
    EXPECT_NE(own, other) << "at " << f.timeS << " s";
  }
  EXPECT_GT(together, 0) << "the two never had advisories at once";
  EXPECT_GT(ClosestApproachOf(OwnPath(run.Flown()), IntruderPath(run.Flown(), 0)).verticalFt, 500);
  fs::remove_all(dir);
}

TEST(EncounterRun, AnIntruderDescendingOntoUsIsNotLetDownOntoALevelledOffAircraft) {
  // Encounter 563 of the development set: an intruder descending at 2800 ft/min turns in behind the own
  // aircraft and closes slowly from above, seen with 10 degree bearing noise. Its closest approach comes
  // later than the noisy tracks predict; weakening the descent to a level-off on that prediction let it
  // come down onto the own aircraft (an NMAC that the unequipped flight, 1425 ft apart, does not have).
  const fs::path dir = fs::temp_directory_path() / "kvr_descending_test";
  fs::create_directories(dir);
  EvalSettings settings;
  settings.gaugesDir = kvr::testing::BinDir();
  settings.panelFile = dir / "panel.cfg";
  settings.surveillance = SurveillanceSpec{25, 50, 10, 0.05, 1};
  WriteEvalPanel(settings.panelFile);
  const EncounterRow row =
      EvaluateEncounter(kvr::testing::SourceDir() / "tests" / "eval" / "enc_000563.txt", 562, settings);
  ASSERT_TRUE(row.error.empty()) << row.error;
  EXPECT_FALSE(row.nmacUnequipped);
  EXPECT_FALSE(row.nmacEquipped) << "vertical miss " << row.vmdEquippedFt << " ft";
  fs::remove_all(dir);
}

TEST(Surveillance, DegradesWhatTheFeedsServeAndRepeatsForASeed) {
  const GeoPosition own{47, 8};
  const LocalFrame frame(own);
  const auto traffic = [&] {
    std::vector<TrafficTarget> t(50);
    for (size_t i = 0; i < t.size(); ++i) {
      t[i].id = static_cast<uint32_t>(i + 1);
      t[i].position = frame.ToGeo({3000.0 + 10 * i, 4000});
      t[i].altitudeFt = 10037 + i;
    }
    return t;
  };
  SurveillanceSpec spec;
  spec.altitudeStepFt = 100;
  spec.bearingSigmaDeg = 5;
  spec.replyLossRate = 0.5;
  std::vector<TrafficTarget> a = traffic(), b = traffic();
  Surveillance(spec, "x").Apply(a, own);
  Surveillance(spec, "x").Apply(b, own);
  ASSERT_EQ(a.size(), b.size());
  EXPECT_GT(a.size(), 10u);
  EXPECT_LT(a.size(), 40u);
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].position.latitudeDeg, b[i].position.latitudeDeg);
    EXPECT_EQ(std::fmod(a[i].altitudeFt, 100.0), 0.0);
    // Bearing noise moves an aircraft around the own aircraft, not toward it.
    const LocalPosition p = frame.ToLocal(a[i].position);
    EXPECT_NEAR(std::hypot(p.eastM, p.northM), std::hypot(3000.0 + 10 * (a[i].id - 1), 4000.0), 0.01);
  }
}

// The noise is ours, not the C++ library's, so results.csv repeats on any machine: these values are
// pinned, worked out independently of this code.
TEST(NoiseSource, DrawsTheSameValuesEverywhere) {
  EXPECT_EQ(StableHash(""), 0xcbf29ce484222325ull);
  EXPECT_EQ(StableHash("a"), 0xaf63dc4c8601ec8cull);
  NoiseSource zero(0);
  EXPECT_EQ(zero.Next(), 0xe220a8397b1dcdafull);
  EXPECT_EQ(zero.Next(), 0x6e789e6aa1b965f4ull);
  // Seeded as a noisy evaluation seeds encounter enc_000001 with --noise-seed 1.
  NoiseSource noise(1 ^ StableHash("enc_000001"));
  EXPECT_EQ(noise.Uniform(), 0.5601819910433758);
  for (const double expected : {0.4661556544026779, 0.926885580679315, -1.5668401065353748, -0.7876503794587866})
    EXPECT_NEAR(noise.Gaussian(), expected, 1e-13);
}

}  // namespace
}  // namespace kvr::host
