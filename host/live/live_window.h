// kvr-panel live: the panel in an SDL2 window in real time. The picture is PanelRenderer's, scaled by a
// whole number; a left or right click on a gauge goes to its mouse areas as the simulator passes it; the
// cursor is a hand over an area that asks for one; a legend strip under the panel shows the keys, the
// speed, the pause and the simulated time. Sound is the module's own, through OpenAL's default device.
// Leaves out: resizing, several panel windows (the first is shown), keyboard input to the gauges.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "host/live/live_simulation.h"
#include "host/render/bitmap.h"

union SDL_Event;
struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Cursor;
struct _cairo_surface;  // NOLINT(bugprone-reserved-identifier): Cairo's own tag name

namespace kvr::host {

struct LiveOptions {
  std::filesystem::path file;        // scenario (.toml) or panel configuration
  std::filesystem::path gaugesDir;   // where "<Module>.gau" is
  int scale = 0;                     // window pixels per panel pixel; 0: the largest that fits the screen
  int frames = -1;                   // quit after this many simulated frames (or a scenario's end); -1: never
  double seconds = -1;               // quit after this many seconds of wall-clock time; negative: never
  std::filesystem::path screenshot;  // the panel picture of the last frame, as PNG, at quitting; empty: none
  bool verbose = false;              // let the sound libraries print their own diagnostics
};

class LiveWindow {
 public:
  static constexpr double kMinSpeed = 0.25;
  static constexpr double kMaxSpeed = 8.0;
  static constexpr int kLegendHeightPx = 36;  // window pixels, under the panel

  // Loads the simulation and opens the window; throws std::runtime_error when SDL cannot make one.
  explicit LiveWindow(const LiveOptions& options);
  ~LiveWindow();
  LiveWindow(const LiveWindow&) = delete;
  LiveWindow& operator=(const LiveWindow&) = delete;

  // Runs until Q, Esc, closing the window, or a limit of the options; returns the exit status.
  int Run();

  // One turn of the loop: handles the pending events, runs the frames owed for `wallS` seconds of wall
  // time at the current speed (none while paused), and shows the picture again when anything that can
  // change it happened: a frame, a click on a gauge, a key, a change of the window.
  void Turn(double wallS);

  // What the loop does with one event (also for events a test pushes).
  void Handle(const SDL_Event& event);

  // A window point to the gauge under it; none outside the panel picture or any gauge.
  std::optional<GaugeHit> HitAtWindow(int windowX, int windowY) const;

  LiveSimulation& Simulation() { return *sim_; }
  SDL_Window* Window() const { return window_; }
  int Scale() const { return scale_; }
  double Speed() const { return speed_; }
  bool Paused() const { return paused_; }
  bool LegendShown() const { return legend_; }
  bool QuitAsked() const { return quit_; }
  bool HandCursor() const { return hand_; }
  long FramesRun() const { return framesRun_; }
  long PicturesShown() const { return picturesShown_; }  // times the window was brought up to date
  const Image& LastPicture() const { return picture_; }

 private:
  void Key(int keycode);
  void Show();
  void UpdateCursor(int windowX, int windowY);
  void ResizeWindow();
  int PickScale(int requested) const;

  LiveOptions options_;
  std::unique_ptr<LiveSimulation> sim_;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  SDL_Cursor* arrow_ = nullptr;
  SDL_Cursor* handCursor_ = nullptr;
  int scale_ = 1;
  int panelWidth_ = 1, panelHeight_ = 1;
  int textureWidth_ = 0, textureHeight_ = 0;
  double speed_ = 1.0;
  bool paused_ = false;
  bool legend_ = true;
  bool quit_ = false;
  bool hand_ = false;
  double owedFrames_ = 0;  // frames due at the current speed and not run yet
  long framesRun_ = 0;
  long picturesShown_ = 0;
  bool changed_ = false;  // the window's picture is out of date
  Image picture_;
  // The window's picture as last presented: its surface (kept between frames), whether it had the legend
  // and the legend's status line. A frame that changes none of them is not presented again.
  _cairo_surface* frame_ = nullptr;
  bool shownLegend_ = false;
  std::string shownStatus_;
};

// kvr-panel live: opens the window and runs it; messages go to stderr (without a sound device, one line
// saying so). Returns the exit status.
int RunLive(const LiveOptions& options);

}  // namespace kvr::host
