// kvr-panel live as a user meets it: on an X server (Xvfb), its window found by its title and clicked
// through the window system (xdotool), and the picture it leaves showing what the click asked for.
// Skipped, saying why, where Xvfb or xdotool is not installed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "host/live/live_simulation.h"
#include "host/render/panel_renderer.h"
#include "tests/gauge/module_fixture.h"
#include "tests/live/knob_picture.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool OnPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Polls `done` every 100 ms until it holds or `limit` has passed.
template <typename Done>
bool WaitFor(Done done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

bool Alive(const std::string& pid) {
  return !pid.empty() && std::system(("kill -0 " + pid + " 2>/dev/null").c_str()) == 0;
}

// Processes this test started, stopped by their ids when it ends however it ends.
class Started {
 public:
  void Add(std::string pid) { pids_.push_back(std::move(pid)); }
  ~Started() {
    for (const std::string& pid : pids_)
      if (Alive(pid)) std::system(("kill " + pid + " 2>/dev/null").c_str());
  }

 private:
  std::vector<std::string> pids_;
};

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

TEST(KvrPanelLive, ARightClickOnTheModeKnobThroughTheWindowSystemTurnsTheKnob) {
  if (!OnPath("Xvfb") || !OnPath("xdotool"))
    GTEST_SKIP() << "Xvfb and xdotool are needed to click a real window (tools/setup.sh installs them)";
  const fs::path dir = fs::temp_directory_path() / "kvr_live_xvfb";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path panel = kvr::testing::SourceDir() / "scenarios" / "panel.cfg";
  const fs::path bin = kvr::testing::BinDir();
  constexpr int kTransponderX = 184, kTransponderY = 40;  // its place in the panel, drawn at scale 1

  // The knob position the panel starts with, and the knob images, from the same panel run here.
  int start = -1;
  Image expected, before;
  {
    LiveSimulation sim(panel, bin);
    sim.Step();
    const auto index = kvr::testing::ModeKnobIndex(sim);
    ASSERT_TRUE(index.has_value()) << "the panel has no Transponder mode knob";
    start = static_cast<int>(*index);
    ASSERT_LT(start, 4);
    const Image* next = sim.Renderer().Bitmap(kvr::testing::kKnobFirstImage + start + 1);
    const Image* now = sim.Renderer().Bitmap(kvr::testing::kKnobFirstImage + start);
    ASSERT_TRUE(next && now);
    expected = *next;
    before = *now;
  }

  Started started;
  // The X server picks a free display number and writes it to descriptor 3.
  std::system(("Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>" + (dir / "display").string() + " 2>" +
               (dir / "xvfb.log").string() + " & echo $! >" + (dir / "xvfb.pid").string())
                  .c_str());
  started.Add(Trim(ReadText(dir / "xvfb.pid")));
  ASSERT_TRUE(WaitFor([&] { return !Trim(ReadText(dir / "display")).empty(); }, 5s))
      << "Xvfb did not start: " << ReadText(dir / "xvfb.log");
  const std::string display = "DISPLAY=:" + Trim(ReadText(dir / "display")) + " ";

  const fs::path png = dir / "last.png";
  std::system((display + (bin / "kvr-panel").string() + " live " + panel.string() + " --gauges " + bin.string() +
               " --scale 1 --seconds 12 --screenshot " + png.string() + " >" + (dir / "panel.log").string() +
               " 2>&1 & echo $! >" + (dir / "panel.pid").string())
                  .c_str());
  const std::string panelPid = Trim(ReadText(dir / "panel.pid"));
  started.Add(panelPid);

  // The window, by its title, once it is mapped.
  const std::string search =
      display + "xdotool search --onlyvisible --name 'kvr-panel live' >" + (dir / "window").string() + " 2>/dev/null";
  // A loaded machine may take seconds to start it; the panel runs 12 s, long enough to be clicked then.
  ASSERT_TRUE(WaitFor([&] { return std::system(search.c_str()) == 0; }, 8s))
      << "no kvr-panel window: " << ReadText(dir / "panel.log");
  std::string window = Trim(ReadText(dir / "window"));
  window = window.substr(0, window.find('\n'));
  std::this_thread::sleep_for(300ms);  // the window's loop is running

  const int x = kTransponderX + kvr::testing::kModeKnobAreaX, y = kTransponderY + kvr::testing::kModeKnobAreaY;
  ASSERT_EQ(std::system((display + "xdotool mousemove --window " + window + " " + std::to_string(x) + " " +
                         std::to_string(y) + " click 3")
                            .c_str()),
            0);

  ASSERT_TRUE(WaitFor([&] { return !Alive(panelPid); }, 20s)) << "kvr-panel did not quit by itself";
  ASSERT_TRUE(fs::exists(png)) << ReadText(dir / "panel.log");
  const Image last = ReadPng(png);
  const int left = kTransponderX + kvr::testing::kModeKnobX, top = kTransponderY + kvr::testing::kModeKnobY;
  EXPECT_GT(kvr::testing::ShareShown(last, expected, left, top), 0.98) << "the knob did not turn one step right";
  EXPECT_LT(kvr::testing::ShareShown(last, before, left, top), 0.98) << "the knob still shows where it started";
  fs::remove_all(dir);
}

// A machine without a sound device gets one line saying so; the sound libraries' own messages only with
// --verbose. The device is missing on any machine here: OpenAL is sent to an ALSA device that does not
// exist. The window is SDL's headless one.
TEST(KvrPanelLive, WithoutASoundDeviceSaysSoInOneLineAndTheLibrariesSpeakOnlyWhenVerbose) {
  const fs::path dir = fs::temp_directory_path() / "kvr_live_silent";
  fs::create_directories(dir);
  std::ofstream(dir / "alsoft.conf") << "[alsa]\ndevice = kvr_no_such_device\n";
  const fs::path bin = kvr::testing::BinDir();
  const std::string silentLine = "kvr-panel: no sound device: running silent\n";
  for (const bool verbose : {false, true}) {
    const fs::path log = dir / "panel.log";
    const std::string command = "env -u ALSOFT_LOGLEVEL SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=alsa ALSOFT_CONF=" +
                                (dir / "alsoft.conf").string() + " " + (bin / "kvr-panel").string() + " live " +
                                (kvr::testing::SourceDir() / "scenarios" / "panel.cfg").string() + " --gauges " +
                                bin.string() + " --frames 2" + (verbose ? " --verbose" : "") + " >" + log.string() +
                                " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadText(log);
    const std::string said = ReadText(log);
    if (verbose) {
      EXPECT_NE(said.find(silentLine), std::string::npos) << said;
      EXPECT_NE(said.find("kvr_no_such_device"), std::string::npos) << said;  // OpenAL's and ALSA's own lines
    } else {
      EXPECT_EQ(said, silentLine);
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kvr::host
