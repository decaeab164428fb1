// Scenario files: what a good file gives, and that every bad one is refused with "FILE:LINE: reason"
// before anything runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/scenario/scenario.h"
#include "tests/gauge/module_fixture.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

class ScenarioFile : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() /
                 ("kvr_scenario_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  fs::path file = dir / "case.toml";

  void SetUp() override {
    fs::create_directories(dir);
    std::ofstream(dir / "panel.cfg") << "[Window00]\ngauge00=KVR_TCAS!Logic, 0, 0, 1, 1\n";
  }
  void TearDown() override { fs::remove_all(dir); }

  Scenario Parse(const std::string& text) { return ParseScenario(text, file); }

  // The message of the error the text gives, or "" when it parses.
  std::string ErrorOf(const std::string& text) {
    try {
      Parse(text);
    } catch (const ScenarioError& e) {
      return e.what();
    }
    return "";
  }

  // A text the reader must refuse, the line its error must name, and words its reason must contain.
  struct Refused {
    std::string text;
    int line;
    std::string reason;
  };

  // Each case is refused with "FILE:LINE: reason"; `wrap` puts the case's text into a whole scenario.
  void ExpectRefused(
      const std::vector<Refused>& cases,
      std::string (*wrap)(const std::string&) = [](const std::string& t) { return t; }) {
    for (const Refused& c : cases) {
      const std::string message = ErrorOf(wrap(c.text));
      SCOPED_TRACE(c.text);
      ASSERT_FALSE(message.empty()) << "accepted";
      EXPECT_EQ(message.rfind(file.string() + ":" + std::to_string(c.line) + ": ", 0), 0u) << message;
      EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    }
  }
};

constexpr char kOwn[] = R"(
[own]
latitudeDeg = 47.0
longitudeDeg = 8.0
pressureAltitudeFt = 8000
headingDeg = 90
groundSpeedKt = 250
)";

std::string Repeat(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

std::string WithHead(const std::string& rest) {
  return "panel = \"panel.cfg\"\ndurationS = 60\n" + std::string(kOwn) + rest;
}

TEST_F(ScenarioFile, ReadsEverySectionAndFillsTheDefaults) {
  const Scenario s = Parse(R"(name = "demo"
panel = "panel.cfg"
feed = "trafficinfo"
durationS = 30
frameRateHz = 20
transponderCode = 4721

[own]
latitudeDeg = 47.0
longitudeDeg = -8.0
pressureAltitudeFt = 8000
trueAltitudeFt = 8200
terrainElevationFt = 1400
headingDeg = 90
groundSpeedKt = 250

[[own.manoeuvre]]
timeS = 20
headingDeg = 180
turn = "left"

[[own.manoeuvre]]
timeS = 10
verticalSpeedFpm = -1000

[pilot]
initialDelayS = 4

[[intruder]]
id = 7
eastNm = 5
altitudeFt = 8000
headingDeg = 270
groundSpeedKt = 200

[[intruder]]
id = 8
callsign = "ENC"
altitudeUnreadable = true
[intruder.encounter]
cpaTimeS = 25
horizontalMissNm = -0.2
verticalMissFt = 300
approachAngleDeg = 90
groundSpeedKt = 180

[[pause]]
startS = 5
endS = 6

[[slew]]
startS = 7
endS = 9
northNm = 1

[[switch]]
timeS = 12
variable = "KVR_TCAS!IVSI.range_index"
value = 2

[[switch]]
timeS = 0
variable = "mode_index"
value = 4
)");
  EXPECT_EQ(s.name, "demo");
  EXPECT_EQ(s.panelFile, dir / "panel.cfg");
  EXPECT_EQ(s.feed, TrafficFeed::TrafficInfo);
  EXPECT_EQ(s.FrameCount(), 600);
  EXPECT_EQ(s.transponderCodeBcd, 0x4721);
  EXPECT_DOUBLE_EQ(s.own.longitudeDeg, -8.0);
  // The altimeter reads the true altitude unless told otherwise.
  EXPECT_NEAR(s.own.altimeterInHg, 30.12, 1e-9);
  ASSERT_EQ(s.own.manoeuvres.size(), 2u);
  EXPECT_EQ(s.own.manoeuvres[0].timeS, 10);  // by time
  EXPECT_EQ(s.own.manoeuvres[0].verticalAccelerationG, 0.25);
  EXPECT_EQ(s.own.manoeuvres[1].turn, TurnDirection::Left);
  ASSERT_TRUE(s.pilot.has_value());
  EXPECT_EQ(s.pilot->initialDelayS, 4);
  EXPECT_EQ(s.pilot->subsequentAccelerationG, 0.35);
  ASSERT_EQ(s.intruders.size(), 2u);
  EXPECT_EQ(s.intruders[0].eastNm, 5.0);
  EXPECT_EQ(s.intruders[0].northNm, 0.0);
  EXPECT_TRUE(s.intruders[1].altitudeUnreadable);
  ASSERT_TRUE(s.intruders[1].encounter.has_value());
  EXPECT_EQ(s.intruders[1].encounter->horizontalMissNm, -0.2);
  EXPECT_TRUE(s.Paused(5.5));
  EXPECT_FALSE(s.Paused(6.0));
  EXPECT_NE(s.SlewAt(8), nullptr);
  ASSERT_EQ(s.switches.size(), 2u);
  EXPECT_EQ(s.switches[0].variable, "KVR_TCAS!IVSI.mode_index");
  EXPECT_EQ(s.switches[1].variable, "KVR_TCAS!IVSI.range_index");
}

TEST_F(ScenarioFile, ErrorsNameTheFileTheLineAndTheReason) {
  const std::vector<Refused> cases = {
      {"panel = \"panel.cfg\"\ndurationS = \n", 2, ""},  // TOML syntax, position from the parser
      {"panel = \"panel.cfg\"\n" + std::string(kOwn), 1, "missing key 'durationS'"},
      {"panel = \"nowhere.cfg\"\ndurationS = 60\n" + std::string(kOwn), 1, "nowhere.cfg: no such file"},
      {"panel = \"/dev/zero\"\ndurationS = 60\n" + std::string(kOwn), 1, "/dev/zero: is not a regular file"},
      {"name = \"a\\u0000b\"\n" + WithHead(""), 1, "'name' holds a NUL character"},
      // Nesting the parser would follow until its stack ran out: dotted keys, headers, arrays.
      {WithHead("a" + Repeat(".a", 100) + " = 1\n"), 10, "nesting deeper than 64"},
      {WithHead("[b" + Repeat(".b", 100) + "]\n"), 10, "nesting deeper than 64"},
      {WithHead("x = [\n" + Repeat("[", 100) + Repeat("]", 100) + "]\n"), 11, "nesting deeper than 64"},
      {WithHead("x = { y = { \"a.b\".c" + Repeat(".c", 70) + " = 1 } }\n"), 10, "nesting deeper than 64"},
      // Refused at the header past the count, before the parser has built them all.
      {WithHead(Repeat("[[intruder]]\n", 10001)), 10010, "more than 10000 intruders"},
      {"panel = \"panel.cfg\"\nfeed = \"radar\"\ndurationS = 60\n" + std::string(kOwn), 2, "'feed' must be"},
      {WithHead("feed = \"fsuipc\"\n"), 10, "unknown key 'own.feed'"},  // a root key after a table
      {"panel = \"panel.cfg\"\ndurationS = \"long\"\n" + std::string(kOwn), 2, "'durationS' must be a number"},
      {"panel = \"panel.cfg\"\ndurationS = -5\n" + std::string(kOwn), 2, "'durationS' = -5 is outside"},
      {"panel = \"panel.cfg\"\ndurationS = 60\ndurationSeconds = 60\n" + std::string(kOwn), 3,
       "unknown key 'durationSeconds'"},
      {"panel = \"panel.cfg\"\ndurationS = 60\ntransponderCode = 7680\n" + std::string(kOwn), 3,
       "digits run from 0 to 7"},
      {WithHead("[[intruder]]\nid = 3\neastNm = 2\n"), 10, "missing key 'intruder.altitudeFt'"},
      {WithHead("[[intruder]]\nid = 0\n"), 11, "'intruder.id' = 0 is outside"},
      {WithHead("[[intruder]]\nid = 3\neastNm = 1\naltitudeFt = 1\nheadingDeg = 1\ngroundSpeedKt = 1\n"
                "[[intruder]]\nid = 3\neastNm = 1\naltitudeFt = 1\nheadingDeg = 1\ngroundSpeedKt = 1\n"),
       16, "intruder id 3 is used twice"},
      {WithHead("[[intruder]]\nid = 3\naltitudeFt = 1\n[intruder.encounter]\ncpaTimeS = 1\nhorizontalMissNm = 0\n"
                "verticalMissFt = 0\napproachAngleDeg = 0\ngroundSpeedKt = 1\n"),
       12, "conflicts with [intruder.encounter]"},
      {WithHead("[[intruder]]\nid = 3\n[intruder.encounter]\ncpaTimeS = 1\nhorizontalMissNm = 0\n"
                "verticalMissFt = 0\napproachAngleDeg = 0\ngroundSpeedKt = 1\nmissNm = 3\n"),
       18, "unknown key 'intruder.encounter.missNm'"},
      {WithHead("[[own.manoeuvre]]\ntimeS = 3\n"), 10, "a manoeuvre needs"},
      {WithHead("[[own.manoeuvre]]\ntimeS = 3\nheadingDeg = 10\nturn = \"up\"\n"), 13, "must be \"shortest\""},
      {WithHead("[[switch]]\ntimeS = 0\nvariable = \"mode\"\nvalue = 4\n"), 12, "is not a selector variable"},
      {WithHead("[[pause]]\nstartS = 10\nendS = 5\n"), 12, "must come after its startS"},
      {WithHead("[[pause]]\nstartS = 10\nendS = 20\n[[slew]]\nstartS = 15\nendS = 25\n"), 13, "overlaps a pause"},
      {WithHead("[pilot]\ndelayS = 3\n"), 11, "unknown key 'pilot.delayS'"},
  };
  ExpectRefused(cases);
}

TEST_F(ScenarioFile, DotsAndBracketsInTextsAndCommentsAreNoNesting) {
  const std::string deep = Repeat("a.", 100) + Repeat("[{", 100);
  EXPECT_EQ(Parse("name = \"" + deep + "\"  # " + deep + "\n" + WithHead("")).name, deep);
  EXPECT_EQ(Parse("name = '''" + deep + "'''\n" + WithHead("")).name, deep);
}

TEST_F(ScenarioFile, ClicksGoOnAnAreaOrAPointAndEveryBadOneNamesItsLine) {
  const Scenario s = Parse(WithHead(R"(
[[click]]
timeS = 4
gauge = "IVSI"
x = 140
y = 16
button = "right"

[[click]]
timeS = 2
gauge = "Transponder"
index = 1
area = 5
)"));
  ASSERT_EQ(s.clicks.size(), 2u);
  // In time order, whatever the file's order.
  EXPECT_EQ(s.clicks[0].gauge, "Transponder");
  EXPECT_EQ(s.clicks[0].index, 1);
  EXPECT_EQ(s.clicks[0].area, 5);
  EXPECT_FALSE(s.clicks[0].rightButton);  // left unless said
  EXPECT_EQ(s.clicks[0].line, 18);
  EXPECT_EQ(s.clicks[1].gauge, "IVSI");
  EXPECT_EQ(s.clicks[1].index, 0);
  EXPECT_FALSE(s.clicks[1].area.has_value());
  EXPECT_EQ(s.clicks[1].x, 140);
  EXPECT_EQ(s.clicks[1].y, 16);
  EXPECT_TRUE(s.clicks[1].rightButton);

  const std::string head = "[[click]]\ntimeS = 1\ngauge = \"IVSI\"\n";  // lines 10 to 12
  const std::vector<Refused> cases = {
      {head, 10, "a click needs x and y, or area"},
      {head + "x = 3\n", 10, "missing key 'click.y'"},
      {head + "area = 1\nx = 3\ny = 4\n", 13, "'click.area' conflicts with x and y"},
      {head + "area = -1\n", 13, "'click.area' = -1 is outside"},
      {head + "area = 1\nbutton = \"middle\"\n", 14, "'click.button' must be \"left\" or \"right\""},
      {head + "area = 1\nindex = 300\n", 14, "'click.index' = 300 is outside"},
      {head + "area = 1\nbuton = \"left\"\n", 14, "unknown key 'click.buton'"},
      {"[[click]]\ntimeS = 1\narea = 0\n", 10, "missing key 'click.gauge'"},
      {"[[click]]\ntimeS = 1\ngauge = \"\"\narea = 0\n", 12, "'click.gauge' must name a placed gauge"},
  };
  ExpectRefused(cases, WithHead);
}

TEST_F(ScenarioFile, TransponderInterrogationsAndSwitchesAreReadInTimeOrderAndCheckedLineByLine) {
  const Scenario s = Parse("panel = \"panel.cfg\"\ndurationS = 60\ninterrogationsPerS = 2.5\n" + std::string(kOwn) + R"(
[[transponder]]
timeS = 8
lit = true

[[transponder]]
timeS = 2
power = false
lit = false
)");
  EXPECT_EQ(s.interrogationsPerS, 2.5);
  ASSERT_EQ(s.transponderSwitches.size(), 2u);
  EXPECT_EQ(s.transponderSwitches[0].timeS, 2);
  EXPECT_EQ(s.transponderSwitches[0].power, std::optional<bool>(false));
  EXPECT_EQ(s.transponderSwitches[0].lit, std::optional<bool>(false));
  EXPECT_EQ(s.transponderSwitches[1].timeS, 8);
  EXPECT_FALSE(s.transponderSwitches[1].power.has_value());  // left as it is
  EXPECT_EQ(Parse(WithHead("")).interrogationsPerS, 0);

  const std::vector<Refused> cases = {
      {"panel = \"panel.cfg\"\ndurationS = 60\ninterrogationsPerS = -1\n" + std::string(kOwn), 3,
       "'interrogationsPerS' = -1 is outside"},
      {"panel = \"panel.cfg\"\ndurationS = 60\ninterrogationsPerS = \"fast\"\n" + std::string(kOwn), 3,
       "must be a number"},
      {WithHead("[[transponder]]\ntimeS = 3\n"), 10, "needs power or lit"},
      {WithHead("[[transponder]]\ntimeS = 3\npower = 1\n"), 12, "'transponder.power' must be true or false"},
      {WithHead("[[transponder]]\npower = true\n"), 10, "missing key 'transponder.timeS'"},
      {WithHead("[[transponder]]\ntimeS = 3\nlit = true\nident = true\n"), 13, "unknown key 'transponder.ident'"},
  };
  ExpectRefused(cases);
}

TEST_F(ScenarioFile, LoadNamesAFileThatCannotBeRead) {
  for (const auto& [name, reason] :
       {std::pair{"missing.toml", "no such file"}, std::pair{"", "is a folder, not a file"}}) {
    try {
      LoadScenario(dir / name);
      ADD_FAILURE() << "loaded " << name;
    } catch (const ScenarioError& e) {
      EXPECT_EQ(std::string(e.what()), (dir / name).string() + ":1: " + reason);
    }
  }
}

TEST(ShippedScenarios, EveryScenarioLoads) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(kvr::testing::SourceDir() / "scenarios")) {
    if (entry.path().extension() != ".toml") continue;
    SCOPED_TRACE(entry.path().string());
    EXPECT_NO_THROW(LoadScenario(entry.path()));
    ++count;
  }
  EXPECT_GE(count, 11);
}

}  // namespace
}  // namespace kvr::host
