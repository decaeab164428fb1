// The evaluation's arithmetic and bookkeeping: NMACs found on trajectories, the risk ratio of a tiny
// hand-made set, the generator's determinism, and shards that merge back into the whole run.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "host/eval/encounter_generator.h"
#include "host/eval/eval_runner.h"
#include "host/eval/evaluation.h"
#include "host/eval/report.h"
#include "host/scenario/trajectory.h"
#include "tests/gauge/module_fixture.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;
constexpr double kFt = kMetresPerFoot;

// Own aircraft still at the origin at 0 ft; the intruder moves in a straight line, sampled every `stepS`.
std::vector<PathPoint> Still(double t1, double stepS) {
  std::vector<PathPoint> p;
  for (double t = 0; t <= t1 + 1e-9; t += stepS) p.push_back({t, 0, 0, 0});
  return p;
}
std::vector<PathPoint> Moving(double t1, double stepS, double e0Ft, double n0Ft, double a0Ft, double veFtS, double vnFtS,
                              double vaFtS) {
  std::vector<PathPoint> p;
  for (double t = 0; t <= t1 + 1e-9; t += stepS)
    p.push_back({t, (e0Ft + veFtS * t) * kFt, (n0Ft + vnFtS * t) * kFt, a0Ft + vaFtS * t});
  return p;
}

TEST(NmacDetection, NeedsBothSeparationsSmallAtTheSameMoment) {
  struct Case {
    const char* what;
    std::vector<PathPoint> intruder;
    bool nmac;
    double hmdFt, vmdFt;
  } cases[] = {
      // 800 ft/s straight over the origin, 50 ft above, sampled every 2 s: the samples lie 1100 ft and
      // 500 ft away, outside the cylinder; the path between them runs through it.
      {"fast pass between samples", Moving(10, 2, -4300, 0, 50, 800, 0, 0), true, 0, 50},
      {"600 ft abeam", Moving(10, 2, -4000, 600, 50, 800, 0, 0), false, 600, 50},
      {"150 ft above", Moving(10, 2, -4000, 0, 150, 800, 0, 0), false, 0, 150},
      // Within 100 ft vertically only while 600 to 1000 ft away, and 400 ft above when overhead.
      {"climbing through, not at once", Moving(10, 2, -4000, 0, -1600, 800, 0, 400), false, 0, 400},
  };
  for (const Case& c : cases) {
    const MissDistance m = ClosestApproachOf(Still(10, 2), c.intruder);
    EXPECT_EQ(m.nmac, c.nmac) << c.what;
    EXPECT_NEAR(m.horizontalFt, c.hmdFt, 1e-6) << c.what;
    EXPECT_NEAR(m.verticalFt, c.vmdFt, 1e-6) << c.what;
  }
  // The first moment inside: 500 ft before passing overhead at 5.375 s.
  EXPECT_NEAR(ClosestApproachOf(Still(10, 2), Moving(10, 2, -4300, 0, 50, 800, 0, 0)).nmacTimeS, 5.375 - 500.0 / 800, 1e-9);
}

EncounterRow Row(const char* name, bool unequipped, bool equipped, double altitudeFt = 5000) {
  EncounterRow r;
  r.encounter = name;
  r.nmacUnequipped = unequipped;
  r.nmacEquipped = equipped;
  r.ownAltitudeFt = altitudeFt;
  r.hmdUnequippedFt = 100;
  return r;
}

TEST(SensitivityLevel, TheLibrarysLevelIncludingTheClimbOut) {
  EXPECT_EQ(SensitivityLevelFor(800, 800, 0), 2);
  EXPECT_EQ(SensitivityLevelFor(800, 800, 1500), 3);  // climbing out: level 3's resolution advisories
  EXPECT_EQ(SensitivityLevelFor(6000, 2000, 0), 3);   // the radio altitude rules near the ground
  EXPECT_EQ(SensitivityLevelFor(6000, 6000, 0), 5);
}

TEST(RiskRatio, MatchedPairsOnAHandMadeSet) {
  // a = 1 both ways, b = 1 induced (low, under 1000 ft), c = 3 resolved, and 5 without any NMAC.
  std::vector<EncounterRow> rows = {Row("both", true, true), Row("induced", false, true, 800), Row("r1", true, false),
                                    Row("r2", true, false), Row("r3", true, false)};
  for (int i = 0; i < 5; ++i) rows.push_back(Row("clear", false, false));
  const ReportSummary s = Summarise(rows);
  EXPECT_EQ(s.overall.encounters, 10);
  ASSERT_TRUE(s.overall.ratio);
  EXPECT_DOUBLE_EQ(*s.overall.ratio, 2.0 / 4.0);
  const double half = 1.96 * std::sqrt(4.0 / (2.0 * 4.0));
  EXPECT_NEAR(*s.overall.low, 0.5 * std::exp(-half), 1e-12);
  EXPECT_NEAR(*s.overall.high, 0.5 * std::exp(half), 1e-12);
  EXPECT_EQ(s.induced, std::vector<std::string>{"induced"});
  EXPECT_EQ(s.unresolved, std::vector<std::string>{"both"});
  // Above 1000 ft the induced one is gone: 1 of 4.
  EXPECT_DOUBLE_EQ(*s.above1000Ft.ratio, 0.25);
  // No NMAC unequipped: no ratio at all rather than a division by zero.
  EXPECT_FALSE(Summarise({Row("clear", false, false)}).overall.ratio);
  // No NMAC equipped: 0 with an interval from 0.
  const RiskRatio zero = Summarise({Row("r", true, false), Row("r", true, false)}).overall;
  EXPECT_EQ(*zero.ratio, 0.0);
  EXPECT_EQ(*zero.low, 0.0);
  EXPECT_GT(*zero.high, 0.0);
}

std::string Read(const fs::path& p) {
  std::ifstream in(p);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class EvalSet : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() /
                 ("kvr_eval_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  void SetUp() override { fs::remove_all(dir); }
  void TearDown() override { fs::remove_all(dir); }
};

TEST_F(EvalSet, TheGeneratorIsDeterministicPerSeedAndMeetsItsDesign) {
  WriteEncounterSet(dir / "a", 3, 7);
  WriteEncounterSet(dir / "b", 5, 7);
  WriteEncounterSet(dir / "c", 3, 8);
  for (const char* name : {"enc_000001.txt", "enc_000003.txt", "encounters.csv"}) {
    if (std::string(name) != "encounters.csv") {
      EXPECT_EQ(Read(dir / "a" / name), Read(dir / "b" / name)) << name;
    }
    EXPECT_NE(Read(dir / "a" / name), Read(dir / "c" / name)) << name;
  }
  // The written file flies as designed: at the closest approach the aircraft are the drawn miss apart.
  const GeneratedEncounter g = GenerateEncounter(7, 2);
  const PairedTracks p = LoadPairedTracks(dir / "a" / "enc_000002.txt");
  const TrackPoint o = p.own->At(g.cpaTimeS), i = p.intruder->At(g.cpaTimeS);
  EXPECT_NEAR(std::hypot(i.position.eastM - o.position.eastM, i.position.northM - o.position.northM) / kMetresPerNm,
              g.horizontalMissNm, 0.01);
  EXPECT_NEAR(i.altitudeFt - o.altitudeFt, g.verticalMissFt, 1);
}

TEST_F(EvalSet, ShardsMergeIntoTheWholeRun) {
  WriteEncounterSet(dir / "set", 3, 1);
  EvalJob job;
  job.encounterDir = dir / "set";
  job.settings.gaugesDir = kvr::testing::BinDir();
  job.settings.panelFile = dir / "panel.cfg";
  WriteEvalPanel(job.settings.panelFile);
  job.jobs = 2;
  WriteResults(dir / "whole", RunEvaluation(job));
  job.jobs = 1;
  for (int k = 1; k <= 2; ++k) {
    job.shard = {k, 2};
    WriteResults(dir / ("shard" + std::to_string(k)), RunEvaluation(job));
  }
  const std::string whole = Read(dir / "whole" / "results.csv");
  EXPECT_EQ(std::count(whole.begin(), whole.end(), '\n'), 4);
  EXPECT_EQ(whole.find(",error\n") + 7, whole.find("0,enc_000001,")) << whole;
  WriteResults(dir / "merged", MergeResults({dir / "shard2" / "results.csv", dir / "shard1" / "results.csv"}));
  EXPECT_EQ(Read(dir / "merged" / "results.csv"), whole);
  // A row that disagrees with the same encounter elsewhere is refused.
  std::string other = Read(dir / "shard1" / "results.csv");
  const size_t altitude = other.find(",enc_000001,") + 12;
  other.replace(altitude, other.find(',', altitude) - altitude, "12345");
  std::ofstream(dir / "other.csv") << other;
  EXPECT_THROW(MergeResults({dir / "whole" / "results.csv", dir / "other.csv"}), std::runtime_error);
}

TEST(Shard, RefusesWhatIsNotKOfN) {
  EXPECT_EQ(ParseShard("2/5").index, 2);
  for (const char* bad : {"0/2", "3/2", "2", "a/b", "1/0", "1/2x"}) EXPECT_THROW(ParseShard(bad), std::invalid_argument) << bad;
}

}  // namespace
}  // namespace kvr::host
