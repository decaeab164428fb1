// The live window's loop, driven by the events a user makes, on SDL's dummy video driver (no display
// needed): clicks reach the gauges through their mouse areas and show in the next picture, keys pause,
// change the speed, restart, hide the legend and quit, and the frame limit ends the run with a picture.
#include "host/live/live_window.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "host/render/panel_renderer.h"
#include "tests/gauge/module_fixture.h"
#include "tests/live/knob_picture.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;
using kvr::testing::kKnobFirstImage;

class LiveWindowTest : public ::testing::Test {
 protected:
  static constexpr int kScale = 2;
  static constexpr int kTransponderX = 184, kTransponderY = 40;  // its place in scenarios/panel.cfg

  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", /*overwrite=*/1);
    options.file = kvr::testing::SourceDir() / "scenarios" / "panel.cfg";
    options.gaugesDir = kvr::testing::BinDir();
    options.scale = kScale;
  }

  LiveWindow& Open() {
    window = std::make_unique<LiveWindow>(options);
    return *window;
  }

  void Push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError(); }
  void Key(SDL_Keycode key) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = key;
    Push(e);
    window->Turn(0);
  }
  // A press of `button` at the window point over design pixel (x, y) of the Transponder.
  void ClickTransponder(int x, int y, uint8_t button) {
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = button;
    e.button.x = (kTransponderX + x) * kScale + 1;
    e.button.y = (kTransponderY + y) * kScale + 1;
    Push(e);
  }
  int32_t ModeVariable() {
    const PublishedVariable* v = window->Simulation().Session().Services().Find("KVR_TCAS!IVSI.mode_index");
    return v != nullptr && v->address != nullptr ? *static_cast<int32_t*>(v->address) : -1;
  }
  // Whether the last picture shows knob image `index` at the mode knob.
  bool KnobShows(int index) {
    const Image* bitmap = window->Simulation().Renderer().Bitmap(kKnobFirstImage + index);
    return bitmap != nullptr &&
           kvr::testing::ShareShown(window->LastPicture(), *bitmap, kTransponderX + kvr::testing::kModeKnobX,
                                    kTransponderY + kvr::testing::kModeKnobY) > 0.98;
  }
  static constexpr double kOneFrameS = 1.0 / 18 + 1e-6;

  LiveOptions options;
  std::unique_ptr<LiveWindow> window;
};

TEST_F(LiveWindowTest, ClicksTurnTheModeKnobAndTheNextPictureShowsIt) {
  Open();
  window->Turn(kOneFrameS);
  const int start = ModeVariable();
  ASSERT_GE(start, 0) << "the IVSI publishes no mode_index";
  ASSERT_LT(start, 4);
  ASSERT_TRUE(KnobShows(start));

  ClickTransponder(kvr::testing::kModeKnobAreaX, kvr::testing::kModeKnobAreaY, SDL_BUTTON_RIGHT);
  window->Turn(kOneFrameS);
  EXPECT_EQ(ModeVariable(), start + 1);
  EXPECT_EQ(kvr::testing::ModeKnobIndex(window->Simulation()), std::optional<double>(start + 1));
  EXPECT_TRUE(KnobShows(start + 1));
  EXPECT_FALSE(KnobShows(start));

  ClickTransponder(kvr::testing::kModeKnobAreaX, kvr::testing::kModeKnobAreaY, SDL_BUTTON_LEFT);
  window->Turn(kOneFrameS);
  EXPECT_EQ(ModeVariable(), start);
  EXPECT_TRUE(KnobShows(start));

  // The middle button and clicks beside the gauges change nothing.
  ClickTransponder(kvr::testing::kModeKnobAreaX, kvr::testing::kModeKnobAreaY, SDL_BUTTON_MIDDLE);
  SDL_Event outside{};
  outside.type = SDL_MOUSEBUTTONDOWN;
  outside.button.button = SDL_BUTTON_RIGHT;
  outside.button.x = 2;
  outside.button.y = 2;
  Push(outside);
  window->Turn(kOneFrameS);
  EXPECT_EQ(ModeVariable(), start);
}

TEST_F(LiveWindowTest, TheCursorIsAHandOverTheKnobsAndAnArrowBesideThem) {
  Open();
  SDL_Event move{};
  move.type = SDL_MOUSEMOTION;
  move.motion.x = (kTransponderX + kvr::testing::kModeKnobAreaX) * kScale;
  move.motion.y = (kTransponderY + kvr::testing::kModeKnobAreaY) * kScale;
  window->Handle(move);
  EXPECT_TRUE(window->HandCursor());
  move.motion.x = 1;
  move.motion.y = 1;
  window->Handle(move);
  EXPECT_FALSE(window->HandCursor());
  EXPECT_FALSE(window->HitAtWindow(100, window->Simulation().Renderer().Height() * kScale));  // the legend
}

TEST_F(LiveWindowTest, KeysPauseChangeTheSpeedWithinItsLimitsRestartAndHideTheLegend) {
  Open();
  for (int i = 0; i < 6; ++i) Key(SDLK_PLUS);
  EXPECT_EQ(window->Speed(), LiveWindow::kMaxSpeed);
  for (int i = 0; i < 8; ++i) Key(SDLK_MINUS);
  EXPECT_EQ(window->Speed(), LiveWindow::kMinSpeed);
  Key(SDLK_EQUALS);
  EXPECT_EQ(window->Speed(), 0.5);

  // Half speed: one wall second is nine frames, half a simulated second.
  window->Turn(1.0);
  EXPECT_EQ(window->FramesRun(), 9);
  EXPECT_NEAR(window->Simulation().TimeS(), 0.5, 1e-9);

  Key(SDLK_p);
  EXPECT_TRUE(window->Paused());
  window->Turn(2.0);
  EXPECT_EQ(window->FramesRun(), 9);
  Key(SDLK_SPACE);
  EXPECT_FALSE(window->Paused());

  // Restart: time 0 and the selectors as they are at load.
  const int start = ModeVariable();
  ClickTransponder(kvr::testing::kModeKnobAreaX, kvr::testing::kModeKnobAreaY, SDL_BUTTON_RIGHT);
  window->Turn(0);
  ASSERT_EQ(ModeVariable(), start + 1);
  Key(SDLK_r);
  EXPECT_EQ(window->Simulation().TimeS(), 0);
  EXPECT_EQ(ModeVariable(), start);

  int w = 0, h = 0, hiddenH = 0;
  SDL_Window* sdl = window->Window();
  ASSERT_NE(sdl, nullptr);
  SDL_GetWindowSize(sdl, &w, &h);
  EXPECT_EQ(w, window->Simulation().Renderer().Width() * kScale);
  Key(SDLK_h);
  EXPECT_FALSE(window->LegendShown());
  SDL_GetWindowSize(sdl, &w, &hiddenH);
  EXPECT_EQ(h - hiddenH, LiveWindow::kLegendHeightPx);

  EXPECT_FALSE(window->QuitAsked());
  Key(SDLK_ESCAPE);
  EXPECT_TRUE(window->QuitAsked());
}

// The window is drawn again only when its picture may have changed: after a frame, a click, a key or a
// change of the window; pointer motion and turns of a paused panel leave it alone.
TEST_F(LiveWindowTest, ThePictureIsDrawnAgainOnlyWhenSomethingChanged) {
  Open();
  window->Turn(kOneFrameS);
  Key(SDLK_p);
  ASSERT_TRUE(window->Paused());
  long shown = window->PicturesShown();

  SDL_Event move{};
  move.type = SDL_MOUSEMOTION;
  move.motion.x = (kTransponderX + kvr::testing::kModeKnobAreaX) * kScale;
  move.motion.y = (kTransponderY + kvr::testing::kModeKnobAreaY) * kScale;
  Push(move);
  window->Turn(1.0);
  window->Turn(1.0);
  EXPECT_TRUE(window->HandCursor());
  EXPECT_EQ(window->PicturesShown(), shown) << "paused, with only the pointer moving";

  ClickTransponder(kvr::testing::kModeKnobAreaX, kvr::testing::kModeKnobAreaY, SDL_BUTTON_RIGHT);
  window->Turn(1.0);
  EXPECT_EQ(window->PicturesShown(), ++shown) << "a click";
  Key(SDLK_h);
  EXPECT_EQ(window->PicturesShown(), ++shown) << "the legend hidden";
  Key(SDLK_SPACE);
  EXPECT_EQ(window->PicturesShown(), ++shown) << "running again";
  window->Turn(0.0);
  EXPECT_EQ(window->PicturesShown(), shown) << "running, but no frame due yet";
  window->Turn(kOneFrameS);
  EXPECT_EQ(window->FramesRun(), 2);
  EXPECT_EQ(window->PicturesShown(), ++shown) << "a frame";
}

TEST_F(LiveWindowTest, AFrameLimitEndsTheRunAndLeavesTheLastPicture) {
  const fs::path png = fs::temp_directory_path() / "kvr_live_last_frame.png";
  fs::remove(png);
  options.frames = 4;
  options.screenshot = png;
  EXPECT_EQ(Open().Run(), 0);
  EXPECT_EQ(window->FramesRun(), 4);
  const Image written = ReadPng(png);
  EXPECT_EQ(written.width, window->LastPicture().width);
  EXPECT_EQ(written.height, window->LastPicture().height);
  EXPECT_EQ(written.pixels, window->LastPicture().pixels);
  fs::remove(png);
}

TEST_F(LiveWindowTest, AScenarioRunsAtItsOwnRateAndStopsAtItsEnd) {
  options.file = kvr::testing::SourceDir() / "scenarios" / "ivsi_range_clicks.toml";
  options.frames = 100000;
  Open();
  EXPECT_TRUE(window->Simulation().IsScenario());
  for (int i = 0; i < 8; ++i) window->Turn(1.0);  // 16 frames a turn at most
  EXPECT_EQ(window->FramesRun(), 8 * 16);
  for (int i = 0; i < 20; ++i) window->Turn(1.0);
  EXPECT_TRUE(window->Simulation().Ended());
  EXPECT_EQ(window->FramesRun(), 12 * 18);  // the scenario's 12 s, then nothing more
  EXPECT_EQ(window->Run(), 0);              // an ended scenario with a frame limit quits at once
}

}  // namespace
}  // namespace kvr::host
