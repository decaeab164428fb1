// panel.cfg reading: placements as a panel author writes them, and errors that name the file and line.
#include <gtest/gtest.h>

#include "host/panel_config.h"

namespace kvr::host {
namespace {

TEST(PanelConfig, ReadsGaugesOfWindowSectionsWithOptionalSizeAndParameters) {
  const PanelConfig config = ParsePanelConfig(
      "// comment\n"
      "[Window Titles]\n"
      "Window00=Main\n"
      "\n"
      "[Window00]\n"
      "size_mm=440,180\n"
      "gauge00=KVR_TCAS!Logic, 0, 0\n"
      "gauge01=KVR_TCAS!IVSI,  8, 8, 158, 158, pic=n aa=1, more=2 ; note\r\n"
      "gauge02=KVR_TCAS!Transponder, 184, 40, 300\n"
      "[VIEWS]\n"
      "VIEW_FORWARD_WINDOWS=MAIN_PANEL\n",
      "panel.cfg");
  ASSERT_EQ(config.windows.size(), 1u);
  const PanelWindow& w = config.windows[0];
  EXPECT_EQ(w.name, "Window00");
  EXPECT_EQ(w.widthPx, 440);
  EXPECT_EQ(w.heightPx, 180);
  ASSERT_EQ(w.gauges.size(), 3u);
  EXPECT_EQ(w.gauges[0].module, "KVR_TCAS");
  EXPECT_EQ(w.gauges[0].gauge, "Logic");
  EXPECT_EQ(w.gauges[0].width, 0);
  EXPECT_EQ(w.gauges[1].gauge, "IVSI");
  EXPECT_EQ(w.gauges[1].x, 8);
  EXPECT_EQ(w.gauges[1].height, 158);
  EXPECT_EQ(w.gauges[1].parameters, "pic=n aa=1, more=2");  // the rest of the line after the fifth comma
  EXPECT_EQ(w.gauges[1].line, 8);
  EXPECT_EQ(w.gauges[2].width, 300);
  EXPECT_EQ(w.gauges[2].height, 0);
}

TEST(PanelConfig, BadLinesNameFileLineAndReason) {
  const std::pair<const char*, const char*> cases[] = {
      {"[Window00]\ngauge00=KVR_TCAS!IVSI, 8, x\n", "panel.cfg:2: y is not a whole number: \"x\""},
      {"[Window00]\ngauge00=KVR_TCAS IVSI, 8, 8\n", "panel.cfg:2: gauge name must be Module!Gauge"},
      {"[Window00]\ngauge00=KVR_TCAS!IVSI, 8\n", "panel.cfg:2: gauge needs at least a name, x and y"},
      {"[Window00]\n\njust words\n", "panel.cfg:3: expected key=value or [Section]"},
      {"[Window00\n", "panel.cfg:1: section header must be [Name]"},
      {"[Window00]\ngaugeX=KVR_TCAS!IVSI, 1, 1\n", "panel.cfg:2: gauge key must be gaugeNN"},
      {"[Window00]\ngauge00=KVR_TCAS!IVSI, 1, 1, -5\n", "panel.cfg:2: width and height cannot be negative"},
      {"[Window00]\ngauge00=KVR_TCAS!IVSI, 1, 1, 12abc\n", "panel.cfg:2: width is not a whole number"},
      // Positions and sizes whose sums would overflow, or make a picture of gigabytes.
      {"[Window00]\ngauge01=KVR_TCAS!IVSI, 2147483647, 2147483647, 158, 158\n",
       "panel.cfg:2: x 2147483647 is out of range (-4096 to 4096)"},
      {"[Window00]\ngauge01=KVR_TCAS!IVSI, 0, -99999999999999999999\n",
       "panel.cfg:2: y -99999999999999999999 is out of range"},
      {"[Window00]\ngauge01=KVR_TCAS!IVSI, 8, 8, 2147483647\n", "panel.cfg:2: width and height cannot exceed 4096"},
      {"[Window00]\nsize_mm=-440,180\n", "panel.cfg:2: size_mm width -440 is out of range (0 to 4096)"},
      {"[Window00]\nsize_mm=16384,16384\n", "panel.cfg:2: size_mm width 16384 is out of range"},
      // Modules load from the panel's gauges folder only: nothing else on disk is loaded (and run).
      {"[Window00]\ngauge00=/tmp/evil!IVSI, 0, 0\n", "panel.cfg:2: module \"/tmp/evil\" is not a name inside"},
      {"[Window00]\ngauge00=../../x!IVSI, 0, 0\n", "panel.cfg:2: module \"../../x\" is not a name inside"},
      {"[Window00]\ngauge00=sub/../..\\x!IVSI, 0, 0\n", "panel.cfg:2: module \"sub/../..\\x\" is not a name inside"},
      {"[Window00]\ngauge00=C:KVR_TCAS!IVSI, 0, 0\n", "panel.cfg:2: module \"C:KVR_TCAS\" is not a name inside"},
  };
  for (const auto& [text, message] : cases) {
    try {
      ParsePanelConfig(text, "panel.cfg");
      ADD_FAILURE() << "accepted: " << text;
    } catch (const PanelConfigError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(message, 0), 0u) << e.what();
    }
  }
}

TEST(PanelConfig, WindowsAndGaugesBeyondTheirCapsAreRefusedAtTheirLine) {
  std::string windows, gauges = "[Window00]\n";
  for (size_t i = 0; i <= kMaxPanelWindows; ++i) windows += "[Window" + std::to_string(i) + "]\n";
  for (size_t i = 0; i <= kMaxGaugesPerWindow; ++i) gauges += "gauge" + std::to_string(i) + "=KVR_TCAS!IVSI, 0, 0\n";
  const std::pair<std::string, std::string> cases[] = {
      {windows, "panel.cfg:65: more than 64 windows in one panel"},
      {gauges, "panel.cfg:258: more than 256 gauges in [Window00]"},
  };
  for (const auto& [text, message] : cases) {
    try {
      ParsePanelConfig(text, "panel.cfg");
      ADD_FAILURE() << "accepted: " << message;
    } catch (const PanelConfigError& e) {
      EXPECT_EQ(std::string(e.what()), message);
    }
  }
}

TEST(PanelConfig, MissingFileIsAnErrorNamingIt) {
  EXPECT_THROW(ReadPanelConfig("/nonexistent/panel.cfg"), PanelConfigError);
}

}  // namespace
}  // namespace kvr::host
