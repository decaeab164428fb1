// `kvr-panel manual` as the release runs it: every picture docs/manual.md names is drawn, the pictures
// show what their captions say, and `kvr-panel --version` gives the project's version.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "host/render/panel_renderer.h"
#include "tests/gauge/module_fixture.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

std::string Text(const fs::path& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs kvr-panel with `arguments`; its exit status, and its output in `output`.
int RunPanel(const std::string& arguments, const fs::path& output) {
  const std::string command =
      "'" + (testing::BinDir() / "kvr-panel").string() + "' " + arguments + " >'" + output.string() + "' 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The module's pure colours come out of the anti-aliasing filter a few levels off: count them by hue.
enum class Hue { Red, Yellow, Green, White };

bool IsHue(uint32_t rgb, Hue hue) {
  const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  switch (hue) {
    case Hue::Red: return r > 220 && g < 40 && b < 40;
    case Hue::Yellow: return r > 220 && g > 220 && b < 40;
    case Hue::Green: return r < 40 && g > 170 && b < 40;
    case Hue::White: return r > 240 && g > 240 && b > 240;
  }
  return false;
}

int CountHue(const Image& image, Hue hue) {
  return static_cast<int>(
      std::count_if(image.pixels.begin(), image.pixels.end(), [&](uint32_t p) { return IsHue(p, hue); }));
}

TEST(ManualPictures, EveryPictureTheManualNamesIsDrawnAndShowsItsSubject) {
  const fs::path dir = fs::temp_directory_path() / ("kvr_manual_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  ASSERT_EQ(RunPanel("manual --out '" + (dir / "pictures").string() + "'", dir / "output.txt"), 0)
      << Text(dir / "output.txt");

  // Pictures shown or linked: ](manual/NAME.png).
  const std::string manual = Text(testing::SourceDir() / "docs" / "manual.md");
  const std::regex link(R"(\]\(manual/([A-Za-z0-9_.-]+\.png)\))");
  std::set<std::string> named;
  for (auto it = std::sregex_iterator(manual.begin(), manual.end(), link); it != std::sregex_iterator(); ++it)
    named.insert((*it)[1]);
  EXPECT_GE(named.size(), 30u) << "docs/manual.md names too few pictures";
  for (const std::string& name : named) EXPECT_TRUE(fs::exists(dir / "pictures" / name)) << name;

  // What the module drew, by colours only it paints there.
  using enum Hue;
  const struct {
    const char* picture;
    Hue hue;
    bool present;
  } cases[] = {
      {"ivsi-test.png", Red, true},                                                      // the whole scale red
      {"ivsi-standby.png", Red, false},       {"traffic-advisory.png", Yellow, true},    // the circle
      {"traffic-advisory.png", Red, false},   {"resolution-advisory.png", Green, true},  // the band to fly to
      {"resolution-advisory.png", Red, true}, {"descent-advisory.png", Green, true},
      {"ivsi-failure.png", Yellow, true},                                            // the TCAS flag
      {"ivsi-failure.png", Red, false},       {"ivsi-unpowered.png", White, false},  // no dial at all
  };
  for (const auto& c : cases) {
    const Image image = ReadPng(dir / "pictures" / c.picture);
    if (c.present) EXPECT_GT(CountHue(image, c.hue), 10) << c.picture << " lacks hue " << static_cast<int>(c.hue);
    else EXPECT_EQ(CountHue(image, c.hue), 0) << c.picture << " shows hue " << static_cast<int>(c.hue);
  }
  // The modes differ: a switch that did not reach the module would leave them alike.
  const std::string modes[] = {"ivsi-standby.png", "ivsi-ta-only.png", "ivsi-ta-ra.png", "ivsi-test.png",
                               "ivsi-failure.png"};
  for (size_t i = 0; i < std::size(modes); ++i)
    for (size_t j = i + 1; j < std::size(modes); ++j)
      EXPECT_NE(ReadPng(dir / "pictures" / modes[i]).pixels, ReadPng(dir / "pictures" / modes[j]).pixels)
          << modes[i] << " and " << modes[j];
  fs::remove_all(dir);
}

TEST(ManualPictures, VersionIsTheProjectsVersion) {
  const std::string cmake = Text(testing::SourceDir() / "CMakeLists.txt");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(cmake, match, std::regex(R"(project\(KVR_TCAS VERSION ([0-9.]+))")));
  const fs::path output = fs::temp_directory_path() / ("kvr_version_" + std::to_string(::getpid()) + ".txt");
  ASSERT_EQ(RunPanel("--version", output), 0);
  EXPECT_EQ(Text(output), "kvr-panel " + match[1].str() + "\n");
  fs::remove(output);
}

}  // namespace
}  // namespace kvr::host
