// "kvr-panel run": a scenario flown through the module into an output folder that appears only complete.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <optional>

#include "host/cli/commands.h"
#include "host/scenario/output_folder.h"
#include "host/scenario/stop_signals.h"

namespace fs = std::filesystem;

namespace kvr::host {
namespace {

// Progress on stderr: one bar redrawn in place on a terminal, a plain line every tenth otherwise.
class ProgressDisplay {
 public:
  explicit ProgressDisplay(bool terminal) : terminal_(terminal) {}

  void Show(const RunProgress& p) {
    const int percent = p.frameCount > 0 ? p.frame * 100 / p.frameCount : 100;
    if (terminal_) {
      if (percent == shownPercent_ && p.frame != p.frameCount) return;
      constexpr int kWidth = 30;
      const int filled = percent * kWidth / 100;
      std::fprintf(stderr, "\r[%.*s%*s] %3d%%  %6.1f / %.1f s  TA %d  RA %d", filled, "##############################",
                   kWidth - filled, "", percent, p.timeS, p.durationS, p.trafficAdvisories, p.resolutionAdvisories);
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

// What the run wrote, on stdout.
void ReportOutputs(const ScenarioRun& run, const RunExtras& extras, const fs::path& outDir) {
  run.WriteSummary(std::cout);
  std::cout << "events: " << (outDir / "events.csv").string() << "\n"
            << "tracks: " << (outDir / "tracks.csv").string() << "\n";
  extras.Report(std::cout, outDir);
  if (const FrameRecorder* pictures = run.Pictures()) {
    std::cout << "frames: " << (outDir / "frames").string() << " (" << pictures->FramesWritten() << " pictures)\n";
    if (pictures->GifFrames() > 0)
      std::cout << "gif:    " << (outDir / "panel.gif").string() << " (" << pictures->GifFrames() << " frames)\n";
    std::cout << "final:  " << (outDir / "final.png").string() << " (" << pictures->PictureWidth() << "x"
              << pictures->PictureHeight() << ")\n";
  }
}

}  // namespace

int RunScenario(const RunCommandOptions& command, const fs::path& gaugesDir) {
  const Scenario scenario = LoadScenario(command.scenarioFile);
  ProgressDisplay progress(isatty(STDERR_FILENO) != 0);
  // SIGINT and SIGTERM stop the run between frames; the staging folder then goes with `output`.
  StopSignals stopSignals;
  // Everything is written into a staging folder that takes the place of outDir only once it is complete.
  OutputFolder output(command.outDir.empty() ? fs::path("out") / scenario.name : command.outDir);
  const fs::path outDir = output.Final();
  // Made before the module's sound starts: what the pilot heard is captured from its first sound.
  const std::unique_ptr<RunExtras> extras = RunExtras::Make(command.batch);
  RunOptions options;
  options.gaugesDir = gaugesDir;
  options.outDir = output.Staging();
  options.realtime = command.realtime;
  options.pictures = !command.batch;
  options.pictureScale = command.scale;
  options.tracksEveryFrame = command.tracksEveryFrame;
  options.onProgress = [&](const RunProgress& p) {
    StopSignals::ThrowIfCaught();
    progress.Show(p);
  };
  extras->Prepare(options);
  std::optional<ScenarioRun> run;
  try {
    extras->Start(output.Staging());
    run.emplace(scenario, options);
    run->RunToEnd();
    extras->Finish(*run, output.Staging(), "scenario " + scenario.name);
    StopSignals::ThrowIfCaught();
    output.Commit();
  } catch (const Stopped&) {
    throw;
  } catch (const std::exception& e) {
    // The staging folder goes when `output` does; what was in outDir before stays as it was.
    throw std::runtime_error(Reason(e) + "\nkvr-panel: the partial output was removed; " + outDir.string() +
                             " is unchanged");
  }
  ReportOutputs(*run, *extras, outDir);
  if (run->LinkLost()) {
    // The run is complete and says what happened, but what it shows was flown without its feed.
    std::cerr << "kvr-panel: the FSUIPC link was lost during the run (see " << (outDir / "summary.txt").string()
              << ")\n";
    return 3;
  }
  return 0;
}

}  // namespace kvr::host
