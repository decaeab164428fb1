// kvr-panel: the panel host. Loads a gauge module as the simulator does and drives its panel.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <new>
#include <optional>

#include "host/panel_session.h"
#include "host/platform/executable_dir.h"
#include "host/render/panel_renderer.h"
#include "host/scenario/output_folder.h"
#include "host/scenario/scenario_runner.h"
#include "host/scenario/stop_signals.h"
#if !defined(_WIN32)  // the live window, the captured audio, the evaluation and its plots are Linux only
#include "host/audio_capture.h"
#include "host/eval/eval_commands.h"
#include "host/eval/profile_plot.h"
#include "host/live/live_window.h"
#include "host/manual/manual_pictures.h"
#define KVR_HOST_LIVE 1
#endif

namespace fs = std::filesystem;

namespace {

// What went wrong, for the user: the message, or what running out of memory means here.
std::string Reason(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr)
    return "out of memory: the input asks for more than this machine can give";
  return e.what();
}

int LoadPanel(const fs::path& panelFile, const fs::path& gaugesDir, int frames, double fps, const fs::path& png) {
  kvr::host::SessionOptions options;
  options.panelFile = panelFile;
  options.gaugesDir = gaugesDir;
  kvr::host::PanelSession session(options);
  kvr::host::Panel& panel = session.GetPanel();
  panel.Start();
  for (int i = 0; i < frames; ++i) panel.Frame(fps);
  session.Describe(std::cout);
  std::cout << "ran " << frames << " frames at " << fps << " frames per second: " << panel.TimeS()
            << " s simulated, tick " << panel.Ticks() << "\n";
  if (!png.empty()) {
    kvr::host::PanelRenderer renderer(session.Module(), session.Config(), panel);
    kvr::host::WritePng(renderer.Render(), png);
    for (const std::string& warning : renderer.Warnings()) std::cout << "warning: " << warning << "\n";
    std::cout << "picture: " << png.string() << " (" << renderer.Width() << "x" << renderer.Height() << ")\n";
  }
  return 0;
}

// Progress on stderr: one bar redrawn in place on a terminal, a plain line every tenth otherwise.
class ProgressDisplay {
 public:
  explicit ProgressDisplay(bool terminal) : terminal_(terminal) {}

  void Show(const kvr::host::RunProgress& p) {
    const int percent = p.frameCount > 0 ? p.frame * 100 / p.frameCount : 100;
    if (terminal_) {
      if (percent == shownPercent_ && p.frame != p.frameCount) return;
      constexpr int kWidth = 30;
      const int filled = percent * kWidth / 100;
      std::fprintf(stderr, "\r[%.*s%*s] %3d%%  %6.1f / %.1f s  TA %d  RA %d", filled,
                   "##############################", kWidth - filled, "", percent, p.timeS, p.durationS,
                   p.trafficAdvisories, p.resolutionAdvisories);
      if (p.frame == p.frameCount) std::fputc('\n', stderr);
    } else {
      if (percent / 10 == shownPercent_ / 10 && p.frame != p.frameCount) return;
      std::fprintf(stderr, "%3d%%  %.1f / %.1f s  TA %d  RA %d\n", percent, p.timeS, p.durationS, p.trafficAdvisories,
                   p.resolutionAdvisories);
    }
    std::fflush(stderr);
    shownPercent_ = percent;
  }

 private:
  bool terminal_;
  int shownPercent_ = -100;  // nothing shown yet
};

int RunScenario(const fs::path& scenarioFile, const fs::path& gaugesDir, fs::path outDir, bool realtime, int scale,
                bool batch = false, bool tracksEveryFrame = false) {
  const kvr::host::Scenario scenario = kvr::host::LoadScenario(scenarioFile);
  if (outDir.empty()) outDir = fs::path("out") / scenario.name;
  ProgressDisplay progress(isatty(STDERR_FILENO) != 0);
  // SIGINT and SIGTERM stop the run between frames; the staging folder then goes with `output`.
  kvr::host::StopSignals stopSignals;
  // Everything is written into a staging folder that takes the place of outDir only once it is complete.
  kvr::host::OutputFolder output(outDir);
  outDir = output.Final();
#if KVR_HOST_LIVE
  // What the pilot heard, mixed frame by frame in simulated time and streamed to its file; set up before
  // the module's sound starts. A batch run has neither pictures nor audio.
  std::optional<kvr::host::AudioCapture> audio;
  if (!batch) audio.emplace();
#endif
  kvr::host::RunOptions options;
  options.gaugesDir = gaugesDir;
  options.outDir = output.Staging();
  options.realtime = realtime;
  options.pictures = !batch;
  options.pictureScale = scale;
  options.tracksEveryFrame = tracksEveryFrame;
  options.onProgress = [&](const kvr::host::RunProgress& p) {
    kvr::host::StopSignals::ThrowIfCaught();
    progress.Show(p);
  };
#if KVR_HOST_LIVE
  if (audio) options.onFrameEnd = [&](double, double frameS) { audio->Advance(frameS); };
#endif
  std::optional<kvr::host::ScenarioRun> run;
  try {
#if KVR_HOST_LIVE
    if (audio) audio->StreamTo(output.Staging() / "audio.wav");
#endif
    run.emplace(scenario, options);
    run->RunToEnd();
#if KVR_HOST_LIVE
    if (audio) audio->Finish();
    if (!batch)
      kvr::host::WriteProfile(run->Flown(), run->Events(), output.Staging() / "profile.png", "scenario " + scenario.name);
#endif
    kvr::host::StopSignals::ThrowIfCaught();
    output.Commit();
  } catch (const kvr::host::Stopped&) {
    throw;
  } catch (const std::exception& e) {
    // The staging folder goes when `output` does; what was in outDir before stays as it was.
    throw std::runtime_error(Reason(e) + "\nkvr-panel: the partial output was removed; " +
                             outDir.string() + " is unchanged");
  }
  run->WriteSummary(std::cout);
  std::cout << "events: " << (outDir / "events.csv").string() << "\n"
            << "tracks: " << (outDir / "tracks.csv").string() << "\n";
#if KVR_HOST_LIVE
  if (!batch) std::cout << "profile: " << (outDir / "profile.png").string() << "\n";
  if (audio) {
    std::cout << "audio:  " << (outDir / "audio.wav").string() << " (" << audio->DurationS() << " s, "
              << audio->RateHz() << " Hz)\n";
    if (const auto warning = audio->Warning()) std::cout << "warning: " << *warning << "\n";
  }
#endif
  if (const kvr::host::FrameRecorder* pictures = run->Pictures()) {
    std::cout << "frames: " << (outDir / "frames").string() << " (" << pictures->FramesWritten() << " pictures)\n";
    if (pictures->GifFrames() > 0)
      std::cout << "gif:    " << (outDir / "panel.gif").string() << " (" << pictures->GifFrames() << " frames)\n";
    std::cout << "final:  " << (outDir / "final.png").string() << " (" << pictures->PictureWidth() << "x"
              << pictures->PictureHeight() << ")\n";
  }
  if (run->LinkLost()) {
    // The run is complete and says what happened, but what it shows was flown without its feed.
    std::cerr << "kvr-panel: the FSUIPC link was lost during the run (see " << (outDir / "summary.txt").string()
              << ")\n";
    return 3;
  }
  return 0;
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

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"kvr-panel: the panel host for the KVR_TCAS gauge module.\n"
               "Loads the module named by a panel configuration as the simulator does, serves FSUIPC and the\n"
               "panel services, and drives the gauges frame by frame."
#if !KVR_HOST_LIVE
               "\nOn Windows: the voice plays through DirectSound and is not captured (no audio.wav); no panel.gif,\n"
               "no profile.png, and no live, encounters or eval commands."
#endif
               };
  app.set_version_flag("--version", "kvr-panel " KVR_VERSION);

  fs::path panelFile;
  fs::path gaugesDir = kvr::host::platform::ExecutableDir();
  int frames = 36;
  double fps = 18.0;
  app.add_option("panel", panelFile, "Panel configuration in the panel.cfg convention")->check(CLI::ExistingFile);
  app.add_option("--gauges", gaugesDir, "Folder holding <Module>.gau (default: beside kvr-panel)")
      ->check(CLI::ExistingDirectory)
      ->capture_default_str();
  app.add_option("-n,--frames", frames, "Frames to run headless")->check(CLI::NonNegativeNumber)->capture_default_str();
  app.add_option("--fps", fps, "Simulator frame rate")->check(CLI::Range(1.0, 1000.0))->capture_default_str();
  fs::path png;
  app.add_option("--png", png, "Write the panel window as a PNG picture after the frames have run");

  CLI::App* run = app.add_subcommand("run", "Fly a scenario (TOML) through the module and log what the panel shows");
  fs::path scenarioFile;
  fs::path outDir;
  bool realtime = false;
  run->add_option("scenario", scenarioFile, "Scenario file")->required()->check(CLI::ExistingFile);
  run->add_option("--out", outDir,
                  "Folder for events.csv, summary.txt, audio.wav and the pictures: frames/, panel.gif, final.png "
                  "(default: out/<scenario name>). It must be new, empty or a previous run's output, whose files "
                  "(listed in its .kvr-panel-output) are the only ones replaced");
  int runScale = 2;
  run->add_option("--scale", runScale, "Picture pixels per panel pixel in frames/, final.png and panel.gif")
      ->check(CLI::Range(1, 8))
      ->capture_default_str();
  run->add_flag("--realtime", realtime, "Pace the frames to the wall clock instead of running as fast as possible");
  bool batch = false, tracksEveryFrame = false;
  run->add_flag("--batch", batch, "No pictures and no audio: events.csv, tracks.csv and summary.txt only");
  run->add_flag("--every-frame", tracksEveryFrame, "tracks.csv with every frame instead of one row a second");
  run->add_option("--gauges", gaugesDir, "Folder holding <Module>.gau (default: beside kvr-panel)")
      ->check(CLI::ExistingDirectory);

#if KVR_HOST_LIVE
  CLI::App* live = app.add_subcommand("live", "Show the panel in a window in real time: click the gauges, hear the voice");
  kvr::host::LiveOptions liveOptions;
  live->add_option("file", liveOptions.file, "Scenario (.toml) or panel configuration")->required()->check(CLI::ExistingFile);
  live->add_option("--scale", liveOptions.scale, "Window pixels per panel pixel (default: the largest that fits)")
      ->check(CLI::Range(1, 8));
  live->add_option("--frames", liveOptions.frames, "Quit after this many simulated frames (or at the scenario's end)")
      ->check(CLI::NonNegativeNumber);
  live->add_option("--seconds", liveOptions.seconds, "Quit after this many seconds of wall-clock time")
      ->check(CLI::NonNegativeNumber);
  live->add_option("--screenshot", liveOptions.screenshot, "Write the panel picture of the last frame as PNG at quitting");
  live->add_flag("--verbose", liveOptions.verbose, "Let the sound libraries (OpenAL, ALSA) print their own messages");
  live->add_option("--gauges", gaugesDir, "Folder holding <Module>.gau (default: beside kvr-panel)")
      ->check(CLI::ExistingDirectory);
  kvr::host::EvalCommands evalCommands;
  kvr::host::AddEvalCommands(app, evalCommands, gaugesDir);

  CLI::App* manual = app.add_subcommand("manual", "Draw every picture of the user's manual (docs/manual.md) with the module");
  fs::path manualDir = "docs/manual";
  manual->add_option("--out", manualDir, "Folder for the pictures; files of the same names are replaced")
      ->capture_default_str();
  manual->add_option("--gauges", gaugesDir, "Folder holding <Module>.gau (default: beside kvr-panel)")
      ->check(CLI::ExistingDirectory);
#endif

  RefuseNonFiniteNumbers(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version exit 0; every usage error exits 2, as command-line tools do.
    return app.exit(e) == 0 ? 0 : 2;
  }
#if KVR_HOST_LIVE
  if (live->parsed()) {
    // Live, the voice plays through OpenAL's default device; without one the module stays silent.
    liveOptions.gaugesDir = gaugesDir;
    try {
      return kvr::host::RunLive(liveOptions);
    } catch (const std::exception& e) {
      std::cerr << "kvr-panel: " << Reason(e) << "\n";
      return 1;
    }
  }
  // Headless: OpenAL mixes into its null backend unless the user chose a backend. Set before the module
  // first opens its sound device.
  setenv("ALSOFT_DRIVERS", "null", /*overwrite=*/0);
  if (const int status = kvr::host::RunEvalCommands(evalCommands, gaugesDir); status >= 0) return status;
  if (manual->parsed()) {
    try {
      const auto pictures = kvr::host::WriteManualPictures(
          gaugesDir, manualDir, [](const std::string& scene) { std::cerr << "manual: flying " << scene << "\n"; });
      for (const auto& picture : pictures)
        std::cout << (manualDir / picture.file).string() << "  " << picture.description << "\n";
      std::cout << "manual: " << pictures.size() << " pictures in " << manualDir.string() << "\n";
      return 0;
    } catch (const std::exception& e) {
      std::cerr << "kvr-panel: " << e.what() << "\n";
      return 1;
    }
  }
#endif
  if (run->parsed()) {
    try {
      return RunScenario(scenarioFile, gaugesDir, outDir, realtime, runScale, batch, tracksEveryFrame);
    } catch (const kvr::host::Stopped& stopped) {
      std::cerr << "kvr-panel: " << stopped.what() << "; the partial output was removed\n";
      kvr::host::StopSignals::Reraise(stopped.Signal());
    } catch (const std::exception& e) {
      std::cerr << "kvr-panel: " << Reason(e) << "\n";
      return 1;
    }
  }
  if (panelFile.empty()) {
    std::cout << app.help();
    return 2;
  }
  try {
    return LoadPanel(panelFile, gaugesDir, frames, fps, png);
  } catch (const std::exception& e) {
    std::cerr << "kvr-panel: " << Reason(e) << "\n";
    return 1;
  }
}
