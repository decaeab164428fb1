// kvr-panel: the panel host. Loads a gauge module as the simulator does and drives its panel.
//
// The command line is a table: the commands every platform has (a panel run headless, "run") and those
// the platform adds (host/platform/<platform>/platform_commands.cpp). main parses it and runs the command
// named.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>

#include "host/cli/commands.h"
#include "host/panel_session.h"
#include "host/platform/executable_dir.h"
#include "host/render/panel_renderer.h"
#include "host/scenario/stop_signals.h"

namespace fs = std::filesystem;
using namespace kvr::host;

namespace {

// Without a command: the panel configuration loaded, run headless for some frames, optionally pictured.
struct PanelCommand {
  fs::path panelFile;
  int frames = 36;
  double fps = 18.0;
  fs::path png;
};

void AddPanelOptions(CLI::App& app, PanelCommand& panel, fs::path& gaugesDir) {
  app.add_option("panel", panel.panelFile, "Panel configuration in the panel.cfg convention")->check(CLI::ExistingFile);
  app.add_option("--gauges", gaugesDir, "Folder holding <Module>.gau (default: beside kvr-panel)")
      ->check(CLI::ExistingDirectory)
      ->capture_default_str();
  app.add_option("-n,--frames", panel.frames, "Frames to run headless")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_option("--fps", panel.fps, "Simulator frame rate")->check(CLI::Range(1.0, 1000.0))->capture_default_str();
  app.add_option("--png", panel.png, "Write the panel window as a PNG picture after the frames have run");
}

int LoadPanel(const PanelCommand& command, const fs::path& gaugesDir) {
  SessionOptions options;
  options.panelFile = command.panelFile;
  options.gaugesDir = gaugesDir;
  PanelSession session(options);
  Panel& panel = session.GetPanel();
  panel.Start();
  for (int i = 0; i < command.frames; ++i) panel.Frame(command.fps);
  session.Describe(std::cout);
  std::cout << "ran " << command.frames << " frames at " << command.fps << " frames per second: " << panel.TimeS()
            << " s simulated, tick " << panel.Ticks() << "\n";
  if (!command.png.empty()) {
    PanelRenderer renderer(session.Module(), session.Config(), panel);
    WritePng(renderer.Render(), command.png);
    for (const std::string& warning : renderer.Warnings()) std::cout << "warning: " << warning << "\n";
    std::cout << "picture: " << command.png.string() << " (" << renderer.Width() << "x" << renderer.Height() << ")\n";
  }
  return 0;
}

CLI::App* AddRunCommand(CLI::App& app, RunCommandOptions& run, fs::path& gaugesDir) {
  CLI::App* command =
      app.add_subcommand("run", "Fly a scenario (TOML) through the module and log what the panel shows");
  command->add_option("scenario", run.scenarioFile, "Scenario file")->required()->check(CLI::ExistingFile);
  command->add_option("--out", run.outDir,
                      "Folder for events.csv, summary.txt, audio.wav and the pictures: frames/, panel.gif, final.png "
                      "(default: out/<scenario name>). It must be new, empty or a previous run's output, whose files "
                      "(listed in its .kvr-panel-output) are the only ones replaced");
  command->add_option("--scale", run.scale, "Picture pixels per panel pixel in frames/, final.png and panel.gif")
      ->check(CLI::Range(1, 8))
      ->capture_default_str();
  command->add_flag("--realtime", run.realtime,
                    "Pace the frames to the wall clock instead of running as fast as possible");
  command->add_flag("--batch", run.batch, "No pictures and no audio: events.csv, tracks.csv and summary.txt only");
  command->add_flag("--every-frame", run.tracksEveryFrame, "tracks.csv with every frame instead of one row a second");
  command->add_option("--gauges", gaugesDir, "Folder holding <Module>.gau (default: beside kvr-panel)")
      ->check(CLI::ExistingDirectory);
  return command;
}

// A run stopped by a signal removes its partial output and ends by the same signal.
int RunStoppable(const RunCommandOptions& run, const fs::path& gaugesDir) {
  try {
    return RunScenario(run, gaugesDir);
  } catch (const Stopped& stopped) {
    std::cerr << "kvr-panel: " << stopped.what() << "; the partial output was removed\n";
    StopSignals::Reraise(stopped.Signal());
  }
}

// Refuses "nan", "inf" and numbers too large for a double in every floating-point option of `app` and its
// subcommands: a range check cannot do it, since NaN compares false with every bound.
void RefuseNonFiniteNumbers(CLI::App& app) {
  const CLI::Validator finite(
      [](std::string& text) -> std::string {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (end != text.c_str() && !std::isfinite(value)) return "must be a finite number, not " + text;
        return {};
      },
      "", "finite");
  for (CLI::Option* option : app.get_options())
    if (option->get_type_name().rfind("FLOAT", 0) == 0) option->check(finite);
  for (CLI::App* sub : app.get_subcommands({})) RefuseNonFiniteNumbers(*sub);
}

// The exit status when parsing ends the program: 0 after --help and --version, 2 for every usage error, as
// command-line tools do.
std::optional<int> Parse(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
    return std::nullopt;
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
}

int Main(int argc, char** argv) {
  CLI::App app{
      "kvr-panel: the panel host for the KVR_TCAS gauge module.\n"
      "Loads the module named by a panel configuration as the simulator does, serves FSUIPC and the\n"
      "panel services, and drives the gauges frame by frame." +
      PlatformHelpNote()};
  app.set_version_flag("--version", "kvr-panel " KVR_VERSION);
  fs::path gaugesDir = platform::ExecutableDir();
  PanelCommand panel;
  AddPanelOptions(app, panel, gaugesDir);
  RunCommandOptions run;
  CLI::App* runCommand = AddRunCommand(app, run, gaugesDir);
  const std::vector<PlatformCommand> platformCommands = AddPlatformCommands(app, gaugesDir);
  RefuseNonFiniteNumbers(app);
  if (const std::optional<int> status = Parse(app, argc, argv)) return *status;

  for (const PlatformCommand& command : platformCommands)
    if (!command.headless && command.chosen()) return command.run();
  PrepareHeadless();
  for (const PlatformCommand& command : platformCommands)
    if (command.chosen()) return command.run();
  if (runCommand->parsed()) return ReportFailure([&] { return RunStoppable(run, gaugesDir); });
  if (panel.panelFile.empty()) {
    std::cout << app.help();
    return 2;
  }
  return ReportFailure([&] { return LoadPanel(panel, gaugesDir); });
}

}  // namespace

// Whatever escapes a command (a folder that cannot be read while setting the defaults) ends the program
// with its reason, not with std::terminate.
int main(int argc, char** argv) {
  return ReportFailure([&] { return Main(argc, argv); });
}
