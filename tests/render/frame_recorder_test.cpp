// The pictures of a run: one each simulated second and one at each aural message, their index, the GIF
// of the once-a-second pictures and the final picture.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "host/panel_session.h"
#include "host/render/frame_recorder.h"
#include "tests/gauge/module_fixture.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

class Recorder : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() /
                 ("kvr_frames_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  std::unique_ptr<PanelSession> session;

  void SetUp() override {
    fs::create_directories(dir);
    std::ofstream(dir / "panel.cfg") << "[Window00]\nsize_mm=240,170\ngauge00=KVR_TCAS!IVSI, 4, 4, 158, 158, pic=n\n";
    SessionOptions options;
    options.panelFile = dir / "panel.cfg";
    options.gaugesDir = kvr::testing::BinDir();
    session = std::make_unique<PanelSession>(options);
    session->GetPanel().Start();
  }
  void TearDown() override {
    session.reset();
    fs::remove_all(dir);
  }

  static std::vector<std::string> Lines(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

TEST_F(Recorder, TakesAPictureEachSecondAndAtEachAuralMessage) {
  PanelRenderer renderer(session->Module(), session->Config(), session->GetPanel());
  const fs::path out = dir / "out";
  FrameRecorder recorder(renderer, out);
  // Frame times as a run at 18 frames a second would give them, a message at 1.5 s and one at 2.0 s.
  struct Step {
    double timeS;
    const char* aural;
  };
  for (const Step& s : {Step{1 / 18.0, ""},
                        {0.5, ""},
                        {17 / 18.0, ""},
                        {18 / 18.0 - 1e-12, ""},
                        {1.5, "Climb"},
                        {19 / 18.0 + 0.5, ""},
                        {2.0, "ClimbClimbNow"},
                        {2.5, ""}})
    recorder.AfterFrame(s.timeS, s.aural);
  recorder.Finish();

  EXPECT_EQ(recorder.FramesWritten(), 4);
  const std::vector<std::string> index = Lines(out / "frames" / "index.csv");
  ASSERT_EQ(index.size(), 5u);
  EXPECT_EQ(index[0], "frame,timeS,reason");
  EXPECT_EQ(index[1], "0,0.056,second");
  EXPECT_EQ(index[2], "1,1.000,second");  // a sum of frame lengths a hair short of 1 s still starts second 1
  EXPECT_EQ(index[3], "2,1.500,aural Climb");
  EXPECT_EQ(index[4], "3,2.000,second; aural ClimbClimbNow");
  for (const char* name : {"0000.png", "0001.png", "0002.png", "0003.png"})
    EXPECT_TRUE(fs::exists(out / "frames" / name)) << name;
  EXPECT_FALSE(fs::exists(out / "frames" / "0004.png"));

  const Image final = ReadPng(out / "final.png");
  EXPECT_EQ(final.width, 240);
  EXPECT_EQ(final.height, 170);
  EXPECT_EQ(final.pixels, renderer.Render().pixels);

  if (GifSupported()) {
    EXPECT_EQ(recorder.GifFrames(), 3);  // the three once-a-second pictures
    const GifSummary gif = ReadGifSummary(out / "panel.gif");
    EXPECT_EQ(gif.frameCount, 3);
    EXPECT_EQ(gif.width, 240);
    EXPECT_EQ(gif.firstDelayCs, 100);  // one simulated second a frame
    EXPECT_TRUE(recorder.Notes().empty());
  } else {
    EXPECT_FALSE(fs::exists(out / "panel.gif"));
    ASSERT_EQ(recorder.Notes().size(), 1u);
    EXPECT_NE(recorder.Notes()[0].find("libgif-dev"), std::string::npos);
  }
}

TEST_F(Recorder, AScaledRecorderDrawsEachPanelPixelAsASquareBlock) {
  PanelRenderer renderer(session->Module(), session->Config(), session->GetPanel());
  const fs::path out = dir / "out";
  EXPECT_THROW(FrameRecorder(renderer, out, 0), std::invalid_argument);
  FrameRecorder recorder(renderer, out, 3);
  recorder.AfterFrame(0.5, "");
  recorder.Finish();

  const Image panel = renderer.Render();
  for (const fs::path& file : {out / "final.png", out / "frames" / "0000.png"}) {
    const Image picture = ReadPng(file);
    ASSERT_EQ(picture.width, 720) << file;
    ASSERT_EQ(picture.height, 510) << file;
    int mismatches = 0;
    for (int32_t y = 0; y < picture.height; ++y)
      for (int32_t x = 0; x < picture.width; ++x) mismatches += picture.At(x, y) != panel.At(x / 3, y / 3);
    EXPECT_EQ(mismatches, 0) << file;
  }
  if (GifSupported()) {
    const GifSummary gif = ReadGifSummary(out / "panel.gif");
    EXPECT_EQ(gif.width, 720);
    EXPECT_EQ(gif.height, 510);
  }
}

}  // namespace
}  // namespace kvr::host
