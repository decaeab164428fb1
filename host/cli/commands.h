// kvr-panel's command line: the commands every platform has, and the seam where a platform adds its own
// (host/platform/<platform>/platform_commands.cpp), so that main reads the same on every platform.
#pragma once

#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/scenario/scenario_runner.h"

namespace CLI {
class App;
}

namespace kvr::host {

// What went wrong, for the user: the message, or what running out of memory means here.
std::string Reason(const std::exception& e);

// Runs `command` and turns an exception into "kvr-panel: <reason>" on stderr and exit status 1.
int ReportFailure(const std::function<int()>& command);

// One command a platform adds to kvr-panel's own.
struct PlatformCommand {
  std::function<bool()> chosen;  // whether the command line named it
  std::function<int()> run;      // carries it out; the exit status
  // Whether it runs without a sound device of its own (then OpenAL mixes into its null backend); the
  // live window plays the voice through the default device.
  bool headless = true;
};

// Adds the platform's commands to `app`. `gaugesDir` is the option every command shares; it is read when a
// command runs, after parsing.
std::vector<PlatformCommand> AddPlatformCommands(CLI::App& app, std::filesystem::path& gaugesDir);
// What `--help` says this platform lacks; empty where it lacks nothing.
std::string PlatformHelpNote();
// Readies the process for running without a window (on Linux, OpenAL's null backend unless the user chose
// one), before the module first opens its sound device.
void PrepareHeadless();

// What a scenario run writes beside the flight on this platform: what the pilot heard and the profile plot
// on Linux, nothing more on Windows. Each step is called once, in this order, the last two only for a run
// that flew to its end.
class RunExtras {
 public:
  static std::unique_ptr<RunExtras> Make(bool batch);
  virtual ~RunExtras() = default;
  // Before the run is made: hooks into the run's options.
  virtual void Prepare(RunOptions& options) { (void)options; }
  // Before the module is loaded: files that are written as the run goes start in `staging`.
  virtual void Start(const std::filesystem::path& staging) { (void)staging; }
  // After the last frame, before the staging folder is committed.
  virtual void Finish(const ScenarioRun& run, const std::filesystem::path& staging, const std::string& title) {
    (void)run, (void)staging, (void)title;
  }
  // The lines the run's report adds for the files this writes in `outDir`.
  virtual void Report(std::ostream& out, const std::filesystem::path& outDir) const { (void)out, (void)outDir; }
};

// "kvr-panel run": flies a scenario and writes its output folder; the exit status (3: the FSUIPC link was
// lost during the run). Throws on failure, Stopped when a signal stopped it.
struct RunCommandOptions {
  std::filesystem::path scenarioFile;
  std::filesystem::path outDir;  // empty: out/<scenario name>
  bool realtime = false;
  int scale = 2;
  bool batch = false;
  bool tracksEveryFrame = false;
};
int RunScenario(const RunCommandOptions& command, const std::filesystem::path& gaugesDir);

}  // namespace kvr::host
