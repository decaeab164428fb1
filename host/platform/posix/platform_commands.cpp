// kvr-panel's Linux commands: the live window, the encounter evaluation, the manual's pictures; and a
// scenario run's captured audio and profile plot.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>
#include <optional>

#include "host/cli/commands.h"
#include "host/eval/eval_commands.h"
#include "host/eval/profile_plot.h"
#include "host/live/live_window.h"
#include "host/manual/manual_pictures.h"
#include "host/platform/posix/audio_capture.h"

namespace fs = std::filesystem;

namespace kvr::host {
namespace {

PlatformCommand AddLiveCommand(CLI::App& app, fs::path& gaugesDir) {
  auto options = std::make_shared<LiveOptions>();
  CLI::App* live =
      app.add_subcommand("live", "Show the panel in a window in real time: click the gauges, hear the voice");
  live->add_option("file", options->file, "Scenario (.toml) or panel configuration")
      ->required()
      ->check(CLI::ExistingFile);
  live->add_option("--scale", options->scale, "Window pixels per panel pixel (default: the largest that fits)")
      ->check(CLI::Range(1, 8));
  live->add_option("--frames", options->frames, "Quit after this many simulated frames (or at the scenario's end)")
      ->check(CLI::NonNegativeNumber);
  live->add_option("--seconds", options->seconds, "Quit after this many seconds of wall-clock time")
      ->check(CLI::NonNegativeNumber);
  live->add_option("--screenshot", options->screenshot, "Write the panel picture of the last frame as PNG at quitting");
  live->add_flag("--verbose", options->verbose, "Let the sound libraries (OpenAL, ALSA) print their own messages");
  live->add_option("--gauges", gaugesDir, "Folder holding <Module>.gau (default: beside kvr-panel)")
      ->check(CLI::ExistingDirectory);
  // Live, the voice plays through OpenAL's default device; without one the module stays silent.
  return {[live] { return live->parsed(); },
          [options, &gaugesDir] {
            options->gaugesDir = gaugesDir;
            return ReportFailure([&] { return RunLive(*options); });
          },
          /*headless=*/false};
}

PlatformCommand AddEvalCommandGroup(CLI::App& app, fs::path& gaugesDir) {
  auto commands = std::make_shared<EvalCommands>();
  AddEvalCommands(app, *commands, gaugesDir);
  return {
      [commands] { return commands->encounters->parsed() || commands->eval->parsed() || commands->merge->parsed(); },
      [commands, &gaugesDir] { return RunEvalCommands(*commands, gaugesDir); }};
}

PlatformCommand AddManualCommand(CLI::App& app, fs::path& gaugesDir) {
  auto manualDir = std::make_shared<fs::path>("docs/manual");
  CLI::App* manual =
      app.add_subcommand("manual", "Draw every picture of the user's manual (docs/manual.md) with the module");
  manual->add_option("--out", *manualDir, "Folder for the pictures; files of the same names are replaced")
      ->capture_default_str();
  manual->add_option("--gauges", gaugesDir, "Folder holding <Module>.gau (default: beside kvr-panel)")
      ->check(CLI::ExistingDirectory);
  return {[manual] { return manual->parsed(); },
          [manualDir, &gaugesDir] {
            return ReportFailure([&] {
              const auto pictures = WriteManualPictures(gaugesDir, *manualDir, [](const std::string& scene) {
                std::cerr << "manual: flying " << scene << "\n";
              });
              for (const auto& picture : pictures)
                std::cout << (*manualDir / picture.file).string() << "  " << picture.description << "\n";
              std::cout << "manual: " << pictures.size() << " pictures in " << manualDir->string() << "\n";
              return 0;
            });
          }};
}

// What the pilot heard, mixed frame by frame in simulated time and streamed to audio.wav, and the
// profile plot. A batch run has neither.
class LinuxRunExtras : public RunExtras {
 public:
  explicit LinuxRunExtras(bool batch) : batch_(batch) {
    if (!batch) audio_.emplace();
  }

  void Prepare(RunOptions& options) override {
    if (audio_) options.onFrameEnd = [this](double, double frameS) { audio_->Advance(frameS); };
  }
  void Start(const fs::path& staging) override {
    if (audio_) audio_->StreamTo(staging / "audio.wav");
  }
  void Finish(const ScenarioRun& run, const fs::path& staging, const std::string& title) override {
    if (audio_) audio_->Finish();
    if (!batch_) WriteProfile(run.Flown(), run.Events(), staging / "profile.png", title);
  }
  void Report(std::ostream& out, const fs::path& outDir) const override {
    if (!batch_) out << "profile: " << (outDir / "profile.png").string() << "\n";
    if (audio_) {
      out << "audio:  " << (outDir / "audio.wav").string() << " (" << audio_->DurationS() << " s, " << audio_->RateHz()
          << " Hz)\n";
      if (const auto warning = audio_->Warning()) out << "warning: " << *warning << "\n";
    }
  }

 private:
  bool batch_;
  std::optional<AudioCapture> audio_;
};

}  // namespace

std::vector<PlatformCommand> AddPlatformCommands(CLI::App& app, fs::path& gaugesDir) {
  std::vector<PlatformCommand> commands;
  commands.push_back(AddLiveCommand(app, gaugesDir));
  commands.push_back(AddEvalCommandGroup(app, gaugesDir));
  commands.push_back(AddManualCommand(app, gaugesDir));
  return commands;
}

std::string PlatformHelpNote() { return {}; }

void PrepareHeadless() { setenv("ALSOFT_DRIVERS", "null", /*overwrite=*/0); }

std::unique_ptr<RunExtras> RunExtras::Make(bool batch) { return std::make_unique<LinuxRunExtras>(batch); }

}  // namespace kvr::host
