// The evaluation's arithmetic and bookkeeping: NMACs found on trajectories, the risk ratio of a tiny
// hand-made set, the generator's determinism, shards that merge back into the whole run and refuse to
// merge with what does not belong, results kept as they arrive, and failures that cost only their own
// encounter.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
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
std::vector<PathPoint> Moving(double t1, double stepS, double e0Ft, double n0Ft, double a0Ft, double veFtS,
                              double vnFtS, double vaFtS) {
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
  EXPECT_NEAR(ClosestApproachOf(Still(10, 2), Moving(10, 2, -4300, 0, 50, 800, 0, 0)).nmacTimeS, 5.375 - 500.0 / 800,
              1e-9);
}

EncounterRow Row(const char* name, bool unequipped, bool equipped, double altitudeFt = 5000) {
  EncounterRow r;
  r.encounter = name;
  r.nmacUnequipped = unequipped;
  r.nmacEquipped = equipped;
  r.ownAltitudeFt = altitudeFt;
  r.sensitivityLevel = 5;
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
    job.outDir = dir / ("shard" + std::to_string(k));
    WriteResults(job.outDir, RunEvaluation(job));
  }
  const std::string whole = Read(dir / "whole" / "results.csv");
  EXPECT_EQ(std::count(whole.begin(), whole.end(), '\n'), 4);
  EXPECT_EQ(whole.find(",error\n") + 7, whole.find("0,enc_000001,")) << whole;
  const MergedResults merged = MergeResults({dir / "shard2" / "results.csv", dir / "shard1" / "results.csv"});
  WriteResults(dir / "merged", merged.rows);
  EXPECT_EQ(Read(dir / "merged" / "results.csv"), whole);
  EXPECT_EQ(merged.record.shard, (Shard{1, 1}));
}

// Shards merge only when they are all the shards of one set flown with one set of settings.
TEST_F(EvalSet, MergeRefusesShardsThatDoNotBelongTogether) {
  const auto shard = [&](const std::string& name, const std::string& set, const std::string& settings, int k,
                         const std::string& module = "00000000000000aa") {
    const fs::path folder = dir / name;
    EncounterRow row = Row(name.c_str(), false, false);
    row.index = k - 1;
    WriteResults(folder, {row});
    WriteRecord(folder, {set, 2, settings, module, {k, 2}});
    return folder / "results.csv";
  };
  const std::string set = "0123456789abcdef";
  const fs::path first = shard("first", set, "frameRateHz=18", 1), second = shard("second", set, "frameRateHz=18", 2),
                 again = shard("again", set, "frameRateHz=18", 1),
                 otherSet = shard("otherSet", "fedcba9876543210", "frameRateHz=18", 2),
                 otherSettings = shard("otherSettings", set, "frameRateHz=10", 2),
                 otherModule = shard("otherModule", set, "frameRateHz=18", 2, "00000000000000bb");
  std::ofstream(dir / "bare.csv") << Read(second);
  const struct {
    std::vector<fs::path> files;
    const char* message;  // empty: merges
  } cases[] = {
      {{second, first}, ""},
      {{first, again, second}, "shard 1/2 again, already given as"},
      {{first}, "shard 2/2 is missing"},
      {{first, otherSet}, "another encounter set"},
      {{first, otherSettings}, "other settings"},
      {{first, otherModule}, "another build of the module"},
      {{first, dir / "bare.csv"}, "no eval_run.txt beside it"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      EXPECT_EQ(MergeResults(c.files).rows.size(), 2u);
      EXPECT_STREQ(c.message, "");
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(c.message), "");
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

class EvalRun : public EvalSet {
 protected:
  void SetUp() override {
    EvalSet::SetUp();
    WriteEncounterSet(dir / "set", 4, 1);
    job.encounterDir = dir / "set";
    job.settings.gaugesDir = kvr::testing::BinDir();
    job.settings.panelFile = dir / "panel.cfg";
    WriteEvalPanel(job.settings.panelFile);
    job.shard = {1, 2};  // encounters 0 and 2
  }
  EvalJob job;
};

// results.csv grows as the encounters are flown, and a run into the same folder flies only what is
// missing from it: a row cut short by a stop is flown again, a complete one kept.
TEST_F(EvalRun, ResultsAreKeptAsTheyArriveAndTheNextRunResumesFromThem) {
  job.outDir = dir / "out";
  long rowsOnDisk = -1;
  job.onProgress = [&](const EvalProgress& p) {
    if (p.done == 1) {
      const std::string text = Read(job.outDir / "results.csv");
      rowsOnDisk = std::count(text.begin(), text.end(), '\n') - 1;
    }
  };
  const std::vector<EncounterRow> first = RunEvaluation(job);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(rowsOnDisk, 1);

  // As a stop leaves it: the first row (marked, to see it kept) and the second cut short.
  std::string kept = ResultLine(first[0]);
  kept.replace(kept.find(",enc_000001,") + 12, 0, "1");  // own altitude 1xxxx ft
  std::string cut = ResultLine(first[1]);
  cut.resize(cut.size() / 2);
  std::ostringstream stopped;
  WriteResultsHeader(stopped);
  stopped << kept << "\n" << cut;
  std::ofstream(job.outDir / "results.csv") << stopped.str();
  int doneAtStart = -1;
  job.onProgress = [&](const EvalProgress& p) { doneAtStart = doneAtStart < 0 ? p.done : doneAtStart; };
  const std::vector<EncounterRow> second = RunEvaluation(job);
  EXPECT_EQ(doneAtStart, 1);
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(ResultLine(second[0]), kept);
  EXPECT_EQ(ResultLine(second[1]), ResultLine(first[1]));

  // Another evaluation's results are not resumed.
  job.settings.frameRateHz = 10;
  EXPECT_THROW(RunEvaluation(job), std::runtime_error);
}

// The process ids of this process's children.
std::vector<pid_t> Children() {
  std::vector<pid_t> children;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    if (!std::getline(stat, text) || text.rfind(')') == std::string::npos) continue;
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    char state;
    pid_t parent = 0;
    if (rest >> state >> parent && parent == ::getpid())
      children.push_back(std::stoi(entry.path().filename().string()));
  }
  return children;
}

// An encounter whose flight fails is a row with its reason, whether the worker reports it or dies
// flying it, and the other encounters are flown; a file's name, whatever it holds, is no part of what a
// worker reports.
TEST_F(EvalRun, AFailedEncounterIsRecordedAndTheOthersAreFlown) {
  job.shard = {1, 1};
  // An own position no aircraft reaches.
  std::string absurd = Read(dir / "set" / "enc_000003.txt");
  const size_t row = absurd.find("\nOWNSHIP, ") + 10;
  absurd.replace(row, absurd.find(',', row) - row, "1e300");
  std::ofstream(dir / "set" / "enc_000003.txt") << absurd;
  // A name that holds a comma, quotes and a line break.
  const std::string name = "enc_000004, \"quoted\"\nname";
  fs::rename(dir / "set" / "enc_000004.txt", dir / "set" / (name + ".txt"));
  // The worker dies while it flies the second encounter.
  job.onProgress = [&](const EvalProgress& p) {
    if (p.done == 1)
      for (pid_t worker : Children()) ::kill(worker, SIGKILL);
  };
  const std::vector<EncounterRow> rows = RunEvaluation(job);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].error, "");
  EXPECT_EQ(rows[3].error, "");
  EXPECT_NE(rows[2].error, "");
  int killed = 0;
  for (const EncounterRow& r : rows) killed += r.error == "the worker process was killed by signal 9 while flying it";
  EXPECT_EQ(killed, 1);
  EXPECT_EQ(rows[1].encounter, "enc_000002");
  EXPECT_EQ(rows[3].encounter, name);
  // In results.csv the name stays on its row's line.
  WriteResults(dir / "out", rows);
  const std::vector<EncounterRow> read = ReadResults(dir / "out" / "results.csv");
  ASSERT_EQ(read.size(), 4u);
  EXPECT_EQ(read[3].encounter, "enc_000004, \"quoted\" name");
  EXPECT_EQ(read[3].hmdEquippedFt, rows[3].hmdEquippedFt);
}

// An advisory still posted when the recording ends is marked as cut, not counted as one that ended; the
// mark reads back from results.csv, and only on the last duration.
TEST_F(EvalSet, AnAdvisoryCutByTheRecordingsEndIsMarked) {
  // Head-on at 8000 ft, 100 ft apart, closest 60 s in; the recording stops 5 s before that.
  fs::create_directories(dir);
  std::ofstream file(dir / "cut.txt");
  file << "NAME, east, north, alt, trk, gs, vs, time\nunitless, [ft], [ft], [ft], [rad], [ftps], [ftps], [s]\n";
  for (int t = 0; t <= 55; ++t) file << "OWNSHIP, 0, " << 400 * t << ", 8000, 0, 400, 0, " << t << "\n";
  for (int t = 0; t <= 55; ++t)
    file << "INTRUDER, 0, " << 48000 - 400 * t << ", 8100, 3.14159265, 400, 0, " << t << "\n";
  file.close();
  EvalSettings settings;
  settings.gaugesDir = kvr::testing::BinDir();
  settings.panelFile = dir / "panel.cfg";
  WriteEvalPanel(settings.panelFile);
  const EncounterRow row = EvaluateEncounter(dir / "cut.txt", 0, settings);
  ASSERT_EQ(row.error, "");
  ASSERT_EQ(row.RaCount(), 1);
  EXPECT_TRUE(row.lastRaCut);
  const std::string line = ResultLine(row);
  EXPECT_NE(line.find("+,"), std::string::npos) << line;
  EXPECT_TRUE(ParseResultLine(line, "row").lastRaCut);

  EncounterRow two = Row("x", false, false);
  two.raDurationsS = {12, 7};
  EXPECT_FALSE(ParseResultLine(ResultLine(two), "row").lastRaCut);
  std::string misplaced = ResultLine(two);
  misplaced.replace(misplaced.find(",12.0;7.0,"), 10, ",12.0+;7.0,");
  EXPECT_THROW(ParseResultLine(misplaced, "row"), std::runtime_error);
}

// When a worker cannot be started (here: no file descriptor left for its pipe), the workers already
// started are killed and reaped, not left running.
TEST_F(EvalRun, WorkersAreReapedWhenStartingAnotherFails) {
  job.shard = {1, 1};
  job.jobs = 3;
  // Every descriptor below `lowest` in use, so that the limit leaves room for one pipe exactly.
  int highest = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd"))
    highest = std::max(highest, std::stoi(entry.path().filename().string()));
  std::vector<int> fillers;
  for (int fd; (fd = ::open("/dev/null", O_RDONLY)) <= highest;) fillers.push_back(fd);
  const int lowest = highest + 1;
  ::close(lowest);
  rlimit saved{};
  ::getrlimit(RLIMIT_NOFILE, &saved);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowest) + 2;
  ::setrlimit(RLIMIT_NOFILE, &tight);
  EXPECT_THROW(RunEvaluation(job), std::runtime_error);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  for (int fd : fillers) ::close(fd);
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

// Free text in results.csv (names, errors) and numbers of any size read back as they were written; a
// number a row cannot hold is refused, not converted.
TEST(ResultRows, ReadBackAsWrittenAndRefuseWhatTheyCannotHold) {
  for (const char* text : {"plain", "a, b", "\"quoted\" first", "line\nbreak", "\"\"", ""}) {
    SCOPED_TRACE(text);
    EncounterRow row = Row("x", false, false);
    row.encounter = std::string("enc ") + text;
    const std::string line = ResultLine(row);
    EXPECT_EQ(ResultLine(ParseResultLine(line, "row")), line);
    row.error = std::string("failed: ") + text;
    EXPECT_EQ(ResultLine(ParseResultLine(ResultLine(row), "row")), ResultLine(row));
  }
  EncounterRow huge = Row("x", false, false);
  huge.hmdEquippedFt = 1.7e100;  // written with all its 101 digits, not cut
  EXPECT_EQ(ParseResultLine(ResultLine(huge), "row").hmdEquippedFt, huge.hmdEquippedFt);
  std::string line = ResultLine(Row("x", false, false));
  line.replace(line.find(",5,"), 3, ",1e300,");
  EXPECT_THROW(ParseResultLine(line, "row"), std::runtime_error);
}

TEST(Shard, RefusesWhatIsNotKOfN) {
  EXPECT_EQ(ParseShard("2/5").index, 2);
  for (const char* bad : {"0/2", "3/2", "2", "a/b", "1/0", "1/2x"})
    EXPECT_THROW(ParseShard(bad), std::invalid_argument) << bad;
}

}  // namespace
}  // namespace kvr::host
