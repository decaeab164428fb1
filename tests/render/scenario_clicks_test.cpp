// Clicks in scenarios, through the panel's mouse areas into the real module: the selectors they turn, the
// Transponder knob pictures that follow them, what is refused or warned about, and a run's pictures.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/scenario/scenario_runner.h"
#include "tests/gauge/module_fixture.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

constexpr int kTransponderX = 184, kTransponderY = 40;  // where the shipped panel places it, at scale 1

class ScenarioClicks : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() /
                 ("kvr_clicks_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  std::optional<Scenario> scenario;
  std::unique_ptr<ScenarioRun> run;

  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override {
    run.reset();
    fs::remove_all(dir);
  }

  ScenarioRun& Prepare(const fs::path& file, RunOptions options = {}) {
    run.reset();  // one session at a time: the FSUIPC server window is process-wide
    scenario = LoadScenario(file);
    options.gaugesDir = kvr::testing::BinDir();
    run = std::make_unique<ScenarioRun>(*scenario, std::move(options));
    return *run;
  }
  static fs::path Shipped(const std::string& name) {
    return kvr::testing::SourceDir() / "scenarios" / (name + ".toml");
  }

  // A scenario on the shipped panel with `rest` from line 9 on.
  fs::path Write(const std::string& rest) {
    fs::path file = dir / "case.toml";
    std::ofstream(file) << "panel = \"" << (kvr::testing::SourceDir() / "scenarios" / "panel.cfg").string() << "\"\n"
                        << "durationS = 3\n"
                        << "[own]\nlatitudeDeg = 47\nlongitudeDeg = 8\npressureAltitudeFt = 5000\nheadingDeg = 0\n"
                        << "groundSpeedKt = 200\n"
                        << rest;
    return file;
  }
  std::string ConstructionError(const std::string& rest) {
    try {
      Prepare(Write(rest));
    } catch (const ScenarioError& e) {
      return e.what();
    }
    return "";
  }

  int32_t Selector(const char* name) {
    const PublishedVariable* v = run->Session().Services().Find(std::string("KVR_TCAS!IVSI.") + name);
    return v != nullptr ? *static_cast<const int32_t*>(v->address) : -999;
  }
  void RunUntil(double timeS) {
    while (run->TimeS() < timeS - 1e-9 && run->Step()) {
    }
  }
  // Pixels of the knob picture `image` that the panel does not show where the knob at design (x, y) of
  // the Transponder is drawn; its black corners are left out.
  int KnobMismatches(PanelRenderer& renderer, const Image& picture, uint32_t image, int x, int y) {
    const Image* knob = renderer.Bitmap(image);
    if (knob == nullptr) return -1;
    int wrong = 0;
    for (int v = 0; v < knob->height; ++v)
      for (int u = 0; u < knob->width; ++u)
        if (!IsTransparent(knob->At(u, v)) &&
            picture.At(kTransponderX + x + u, kTransponderY + y + v) != knob->At(u, v))
          ++wrong;
    return wrong;
  }
};

TEST_F(ScenarioClicks, CornerClicksTurnModeAndRangeAndTheTransponderKnobsFollow) {
  ScenarioRun& r = Prepare(Shipped("ivsi_range_clicks"));
  r.Start();
  PanelRenderer renderer(r.Session().Module(), r.Session().Config(), r.Session().GetPanel());
  struct Check {
    double timeS;
    int32_t mode, range;
  };
  // Standby at 6 NM; three right clicks top left (1, 2, 3 s); three right clicks top right (5, 6, 7 s);
  // one left click top right (9 s).
  for (const Check& c :
       {Check{0.5, 1, 0}, {1.5, 2, 0}, {3.5, 4, 0}, {5.5, 4, 1}, {7.5, 4, 3}, {9.5, 4, 2}, {12.0, 4, 2}}) {
    SCOPED_TRACE(c.timeS);
    RunUntil(c.timeS);
    EXPECT_EQ(Selector("mode_index"), c.mode);
    EXPECT_EQ(Selector("range_index"), c.range);
    const Image picture = renderer.Render();
    EXPECT_EQ(KnobMismatches(renderer, picture, 0x2300 + uint32_t(c.mode), 42, 50), 0) << "mode knob";
    EXPECT_EQ(KnobMismatches(renderer, picture, 0x2300 + uint32_t(c.range), 159, 50), 0) << "range knob";
    // And not the knob of the position before: the pictures do differ.
    const uint32_t other = 0x2300 + uint32_t(c.range == 0 ? 1 : c.range - 1);
    EXPECT_GT(KnobMismatches(renderer, picture, other, 159, 50), 0);
  }
  EXPECT_TRUE(r.Warnings().empty()) << r.Warnings()[0];
}

TEST_F(ScenarioClicks, ClicksOnWhatThePanelLacksAreRefusedWithTheirLine) {
  const std::string click = "[[click]]\ntimeS = 1\n";  // line 9 of the file
  struct Case {
    std::string rest;
    std::string reason;
  };
  for (const Case& c : std::vector<Case>{
           {click + "gauge = \"Radar\"\narea = 0\n", "places 0 \"Radar\" gauges, so there is none with index 0"},
           {click + "gauge = \"IVSI\"\nindex = 1\narea = 0\n",
            "places 1 \"IVSI\" gauge, so there is none with index 1"},
           {click + "gauge = \"IVSI\"\narea = 4\n", "gauge \"IVSI\" has 4 mouse areas, so there is no area 4"},
           {click + "gauge = \"Logic\"\narea = 0\n", "gauge \"Logic\" has 0 mouse areas"},
       }) {
    SCOPED_TRACE(c.rest);
    const std::string message = ConstructionError(c.rest);
    EXPECT_EQ(message.rfind((dir / "case.toml").string() + ":9: ", 0), 0u) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
  }
}

TEST_F(ScenarioClicks, AClickNoMouseAreaTakesIsWarnedAboutAndChangesNothing) {
  ScenarioRun& r = Prepare(
      Write("[[click]]\ntimeS = 1\ngauge = \"IVSI\"\nx = 79\ny = 79\n"                          // the middle
            "[[click]]\ntimeS = 2\ngauge = \"Transponder\"\narea = 8\nbutton = \"right\"\n"));  // IDENT: left only
  r.Start();
  const int32_t mode = Selector("mode_index"), range = Selector("range_index");
  r.RunToEnd();
  EXPECT_EQ(Selector("mode_index"), mode);
  EXPECT_EQ(Selector("range_index"), range);
  ASSERT_EQ(r.Warnings().size(), 2u);
  const std::string file = (dir / "case.toml").string();
  EXPECT_EQ(r.Warnings()[0], file + ":9: at 1 s the left click at (79, 79) on IVSI found no mouse area that takes it");
  EXPECT_EQ(r.Warnings()[1].rfind(file + ":14: at 2 s the right click at (143, 74) on Transponder", 0), 0u)
      << r.Warnings()[1];
}

TEST_F(ScenarioClicks, ARunWithPicturesWritesFramesTheAnimationAndTheFinalPicture) {
  RunOptions options;
  options.outDir = dir / "out";
  options.pictures = true;
  options.pictureScale = 2;
  ScenarioRun& r = Prepare(Shipped("ivsi_range_clicks"), options);
  r.RunToEnd();
  ASSERT_NE(r.Pictures(), nullptr);
  EXPECT_EQ(r.Pictures()->FramesWritten(), 13);  // seconds 0 to 12; the scenario plays no message
  EXPECT_TRUE(fs::exists(options.outDir / "frames" / "0012.png"));
  const Image final = ReadPng(options.outDir / "final.png");
  EXPECT_EQ(final.width, 880);  // the 440x180 panel at twice its size
  EXPECT_EQ(final.height, 360);
  if (GifSupported()) {
    const GifSummary gif = ReadGifSummary(options.outDir / "panel.gif");
    EXPECT_EQ(gif.frameCount, 13);
    EXPECT_EQ(gif.width, 880);
    EXPECT_EQ(gif.height, 360);
  }
  // Without the option, a run writes no pictures.
  RunOptions plain;
  plain.outDir = dir / "plain";
  Prepare(Shipped("ivsi_range_clicks"), plain).RunToEnd();
  EXPECT_EQ(run->Pictures(), nullptr);
  EXPECT_FALSE(fs::exists(plain.outDir / "frames"));
}

}  // namespace
}  // namespace kvr::host
