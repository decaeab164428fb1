#include "host/eval/eval_commands.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <thread>

#include "host/eval/encounter_generator.h"
#include "host/eval/report.h"
#include "host/scenario/stop_signals.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

// A progress bar on stderr: redrawn in place on a terminal, a line every tenth otherwise.
class Bar {
 public:
  explicit Bar(const char* what)
      : what_(what), terminal_(isatty(STDERR_FILENO) != 0), start_(std::chrono::steady_clock::now()) {}

  void Show(int done, int total, const std::string& extra = "") {
    const int percent = total > 0 ? done * 100 / total : 100;
    if (percent == shown_ && done != total) return;
    if (!terminal_ && percent / 10 == shown_ / 10 && done != total) return;
    shown_ = percent;
    const double elapsedS = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double rate = elapsedS > 0 ? done / elapsedS : 0;
    const double etaS = rate > 0 ? (total - done) / rate : 0;
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "%s[%.*s%*s] %3d%%  %d/%d %s  %.1f/s  ETA %.0f s%s%s", terminal_ ? "\r" : "", filled,
                 "##############################", kWidth - filled, "", percent, done, total, what_, rate, etaS,
                 extra.empty() ? "" : "  ", extra.c_str());
    if (!terminal_ || done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
  }

 private:
  const char* what_;
  bool terminal_;
  std::chrono::steady_clock::time_point start_;
  int shown_ = -100;
};

std::string Title(const EvalCommands& c, const std::vector<EncounterRow>& rows, double seconds, int jobs) {
  std::ostringstream t;
  t << "Encounters: `" << c.encounterDir.string() << "` (" << rows.size() << ", shard " << c.shard << "); simulator at "
    << c.frameRateHz << " frames a second; intruder " << (c.equippedIntruder ? "equipped, coordinating" : "unequipped")
    << "; surveillance ";
  const SurveillanceSpec& s = c.surveillance;
  if (!s.Any()) t << "exact.";
  else
    t << "with noise: altitude in " << s.altitudeStepFt << " ft steps, range sigma " << s.rangeSigmaFt
      << " ft, bearing sigma " << s.bearingSigmaDeg << " deg, " << s.replyLossRate * 100 << " % of replies lost (seed "
      << s.seed << ").";
  if (seconds > 0) {
    char text[128];
    std::snprintf(text, sizeof text,
                  " Flown in %.1f s by %d worker processes: %.2f encounter pairs a second per process.", seconds, jobs,
                  rows.size() / seconds / jobs);
    t << text;
  }
  return t.str();
}

int Encounters(const EvalCommands& c) {
  // A folder that already holds encounter files would mix two sets in one evaluation.
  if (fs::is_directory(c.encountersOut))
    for (const auto& entry : fs::directory_iterator(c.encountersOut))
      if (entry.path().extension() == ".txt")
        throw std::runtime_error(c.encountersOut.string() + " already holds encounter files (" +
                                 entry.path().filename().string() + "); write the set into a new or empty folder");
  Bar bar("encounters");
  WriteEncounterSet(c.encountersOut, c.count, c.seed, [&](int written) { bar.Show(written, c.count); });
  std::cout << c.count << " encounters (seed " << c.seed << ") in " << c.encountersOut.string() << "\n";
  return 0;
}

int Eval(const EvalCommands& c, const fs::path& gaugesDir) {
  EvalJob job;
  job.encounterDir = c.encounterDir;
  job.outDir = c.evalOut;
  job.shard = ParseShard(c.shard);
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  job.jobs = c.jobs > 0 ? c.jobs : static_cast<int>(cores);
  job.settings.gaugesDir = gaugesDir;
  job.settings.frameRateHz = c.frameRateHz;
  job.settings.surveillance = c.surveillance;
  job.settings.equippedIntruder = c.equippedIntruder;
  fs::create_directories(c.evalOut);
  job.settings.panelFile = c.evalOut / "eval_panel.cfg";
  WriteEvalPanel(job.settings.panelFile);
  if (c.profiles) {
    job.settings.profileDir = c.evalOut / "profiles";
    fs::create_directories(job.settings.profileDir);
  }
  Bar bar("encounter pairs");
  job.onProgress = [&](const EvalProgress& p) {
    bar.Show(p.done, p.total,
             "NMAC " + std::to_string(p.nmacUnequipped) + " -> " + std::to_string(p.nmacEquipped) +
                 (p.errors ? "  failed " + std::to_string(p.errors) : ""));
  };
  const auto start = std::chrono::steady_clock::now();
  std::vector<EncounterRow> rows;
  {
    // SIGINT and SIGTERM stop the workers; the rows flown so far stay in results.csv for the next run.
    StopSignals stopSignals;
    rows = RunEvaluation(job);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  fs::remove(job.settings.panelFile);
  WriteResults(c.evalOut, rows);
  WriteReport(c.evalOut, rows, Title(c, rows, seconds, job.jobs));
  std::cout << HeadlineText(Summarise(rows)) << "results: " << (c.evalOut / "results.csv").string() << "\n"
            << "report:  " << (c.evalOut / "report.md").string() << " with report.png\n";
  int failed = 0;
  for (const EncounterRow& r : rows)
    if (!r.error.empty()) {
      std::cerr << "kvr-panel: " << r.encounter << ": " << r.error << "\n";
      ++failed;
    }
  if (failed == 0) return 0;
  std::cerr << "kvr-panel: " << failed << " of " << rows.size() << " encounters failed (see results.csv)\n";
  return 3;
}

int Merge(const EvalCommands& c) {
  const MergedResults merged = MergeResults(c.mergeInputs);
  const std::vector<EncounterRow>& rows = merged.rows;
  WriteResults(c.mergeOut, rows);
  WriteRecord(c.mergeOut, merged.record);
  std::string inputs;
  for (const fs::path& p : c.mergeInputs) inputs += (inputs.empty() ? "`" : ", `") + p.string() + "`";
  WriteReport(c.mergeOut, rows, c.mergeTitle.empty() ? "Merged from " + inputs + "." : c.mergeTitle);
  std::cout << HeadlineText(Summarise(rows)) << "results: " << (c.mergeOut / "results.csv").string() << "\n";
  return 0;
}

}  // namespace

void AddEvalCommands(CLI::App& app, EvalCommands& c, fs::path& gaugesDir) {
  c.encounters =
      app.add_subcommand("encounters", "Generate an encounter set: paired-track files from a seeded generator");
  c.encounters->add_option("--count", c.count, "Number of encounters")
      ->check(CLI::Range(1, 10000000))
      ->capture_default_str();
  c.encounters->add_option("--seed", c.seed, "Seed; the same seed gives the same set")->capture_default_str();
  c.encounters->add_option("--out", c.encountersOut, "Folder for enc_NNNNNN.txt and encounters.csv")->required();

  c.eval = app.add_subcommand(
      "eval",
      "Fly every encounter of a folder with and without advisories; results.csv and report.md.\n"
      "Run again with the same --out, it flies only what is missing. Exits with 3 when an encounter failed.");
  c.eval->add_option("encounters", c.encounterDir, "Folder of paired-track encounter files (*.txt)")
      ->check(CLI::ExistingDirectory);
  c.eval->add_option("--out", c.evalOut, "Folder for results.csv, eval_run.txt, report.md and report.png")
      ->capture_default_str();
  c.eval->add_option("--jobs,-j", c.jobs, "Worker processes (default: one per core)")->check(CLI::Range(1, 1024));
  c.eval->add_option("--shard", c.shard, "Fly only shard K of N: every N-th encounter from the K-th")
      ->capture_default_str();
  c.eval->add_option("--frame-rate", c.frameRateHz, "Simulator frames a second")
      ->check(CLI::Range(1.0, 100.0))
      ->capture_default_str();
  c.eval->add_flag("--equipped-intruder", c.equippedIntruder,
                   "The intruder flies its own coordinated collision logic too");
  c.eval->add_flag("--profiles", c.profiles, "Write profiles/<encounter>.png of every equipped flight");
  c.eval
      ->add_option("--altitude-step", c.surveillance.altitudeStepFt,
                   "Reported altitude in steps of this many feet (25 or 100)")
      ->check(CLI::Range(0.0, 1000.0));
  c.eval->add_option("--range-sigma", c.surveillance.rangeSigmaFt, "Range noise, standard deviation in feet")
      ->check(CLI::Range(0.0, 100000.0));
  c.eval->add_option("--bearing-sigma", c.surveillance.bearingSigmaDeg, "Bearing noise, standard deviation in degrees")
      ->check(CLI::Range(0.0, 180.0));
  c.eval->add_option("--reply-loss", c.surveillance.replyLossRate, "Share of replies lost, 0 to 1")
      ->check(CLI::Range(0.0, 1.0));
  c.eval->add_option("--noise-seed", c.surveillance.seed, "Seed of the surveillance noise")->capture_default_str();
  c.eval->add_option("--gauges", gaugesDir, "Folder holding <Module>.gau (default: beside kvr-panel)")
      ->check(CLI::ExistingDirectory);

  c.merge = c.eval->add_subcommand(
      "merge", "Combine the results.csv of all the shards of one run into one results.csv and report");
  c.merge->add_option("results", c.mergeInputs, "results.csv files or folders holding one")->required();
  c.merge->add_option("--out", c.mergeOut, "Folder for the merged results.csv, report.md and report.png")->required();
  c.merge->add_option("--title", c.mergeTitle, "The report's opening line (default: the files merged)");
}

int RunEvalCommands(const EvalCommands& c, const fs::path& gaugesDir) {
  if (c.encounters == nullptr) return -1;
  try {
    if (c.encounters->parsed()) return Encounters(c);
    if (c.merge->parsed()) {
      EvalCommands resolved = c;
      for (fs::path& p : resolved.mergeInputs)
        if (fs::is_directory(p)) p /= "results.csv";
      return Merge(resolved);
    }
    if (c.eval->parsed()) {
      if (c.encounterDir.empty()) {
        std::cerr << "kvr-panel eval: name the folder of encounters (see kvr-panel eval --help)\n";
        return 2;
      }
      return Eval(c, gaugesDir);
    }
  } catch (const Stopped& stopped) {
    std::cerr << "kvr-panel: " << stopped.what()
              << "; the encounters flown are kept in results.csv, and the same "
                 "command resumes from them\n";
    StopSignals::Reraise(stopped.Signal());
  } catch (const std::exception& e) {
    std::cerr << "kvr-panel: " << e.what() << "\n";
    return 1;
  }
  return -1;
}

}  // namespace kvr::host
