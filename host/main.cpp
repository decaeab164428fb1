// kvr-panel: the panel host. Loads a gauge module as the simulator does and drives its panel.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>

#include "host/panel_session.h"

namespace fs = std::filesystem;

namespace {

fs::path ExecutableDir() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::current_path() : self.parent_path();
}

int LoadPanel(const fs::path& panelFile, const fs::path& gaugesDir, int frames, double fps) {
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
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"kvr-panel: the panel host for the KVR_TCAS gauge module.\n"
               "Loads the module named by a panel configuration as the simulator does, serves FSUIPC and the\n"
               "panel services, and drives the gauges frame by frame."};
  app.set_version_flag("--version", "kvr-panel 0.1");

  fs::path panelFile;
  fs::path gaugesDir = ExecutableDir();
  int frames = 36;
  double fps = 18.0;
  app.add_option("panel", panelFile, "Panel configuration in the panel.cfg convention")->check(CLI::ExistingFile);
  app.add_option("--gauges", gaugesDir, "Folder holding <Module>.gau (default: beside kvr-panel)")
      ->check(CLI::ExistingDirectory)
      ->capture_default_str();
  app.add_option("-n,--frames", frames, "Frames to run headless")->check(CLI::NonNegativeNumber)->capture_default_str();
  app.add_option("--fps", fps, "Simulator frame rate")->check(CLI::Range(1.0, 1000.0))->capture_default_str();

  CLI11_PARSE(app, argc, argv);
  if (panelFile.empty()) {
    std::cout << app.help();
    return 2;
  }
  try {
    return LoadPanel(panelFile, gaugesDir, frames, fps);
  } catch (const std::exception& e) {
    std::cerr << "kvr-panel: " << e.what() << "\n";
    return 1;
  }
}
