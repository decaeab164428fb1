#include "host/live/live_window.h"

#include <SDL.h>
#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>

#include "host/live/sound_check.h"

namespace kvr::host {
namespace {

constexpr int kMaxScale = 8;
// At most this many frames are run in one turn of the loop; a machine that cannot keep up with the speed
// asked for drops the rest instead of falling ever further behind.
constexpr int kMaxFramesPerTurn = 16;
constexpr uint32_t kLegendBackgroundRgb = 0x16181B;

struct CairoSurface {
  cairo_surface_t* surface;
  ~CairoSurface() { cairo_surface_destroy(surface); }
};
struct Cairo {
  cairo_t* cr;
  ~Cairo() { cairo_destroy(cr); }
};

void SetRgb(cairo_t* cr, uint32_t rgb) {
  cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
}

std::string SpeedText(double speed) {
  char text[16];
  std::snprintf(text, sizeof text, "%gx", speed);
  return text;
}

}  // namespace

LiveWindow::LiveWindow(const LiveOptions& options) : options_(options) {
  sim_ = std::make_unique<LiveSimulation>(options_.file, options_.gaugesDir);
  for (const std::string& warning : sim_->Warnings()) std::cerr << "kvr-panel: warning: " << warning << "\n";
  panelWidth_ = sim_->Renderer().Width();
  panelHeight_ = sim_->Renderer().Height();

  // A click on a window that is not focused still reaches the gauges, as in the simulator.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  // The window's own framebuffer (shared memory on X11), not one drawn through OpenGL: on a machine
  // without a GPU that would be Mesa's software rasteriser, several times the work of the plain copy.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) throw std::runtime_error(std::string("cannot open a window: ") + SDL_GetError());
  scale_ = PickScale(options_.scale);
  const std::string title = "kvr-panel live: " + sim_->Name();
  window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, panelWidth_ * scale_,
                             panelHeight_ * scale_ + kLegendHeightPx, SDL_WINDOW_SHOWN);
  // One texture blitted per frame: SDL's software renderer does it without loading any GL driver.
  if (window_ != nullptr) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
  if (renderer_ == nullptr) {
    const std::string reason = SDL_GetError();
    if (window_ != nullptr) SDL_DestroyWindow(window_);
    SDL_Quit();
    throw std::runtime_error("cannot open a window: " + reason);
  }
  arrow_ = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
  handCursor_ = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_HAND);
  Show();
}

LiveWindow::~LiveWindow() {
  if (handCursor_ != nullptr) SDL_FreeCursor(handCursor_);
  if (arrow_ != nullptr) SDL_FreeCursor(arrow_);
  if (texture_ != nullptr) SDL_DestroyTexture(texture_);
  if (frame_ != nullptr) cairo_surface_destroy(frame_);
  SDL_DestroyRenderer(renderer_);
  SDL_DestroyWindow(window_);
  SDL_Quit();
  sim_.reset();
}

int LiveWindow::PickScale(int requested) const {
  if (requested > 0) return std::min(requested, kMaxScale);
  SDL_Rect bounds;
  if (SDL_GetDisplayUsableBounds(0, &bounds) != 0) return 1;
  int scale = 1;
  while (scale < kMaxScale && panelWidth_ * (scale + 1) <= bounds.w &&
         panelHeight_ * (scale + 1) + kLegendHeightPx <= bounds.h)
    ++scale;
  return scale;
}

std::optional<GaugeHit> LiveWindow::HitAtWindow(int windowX, int windowY) const {
  if (windowX < 0 || windowY < 0 || windowX >= panelWidth_ * scale_ || windowY >= panelHeight_ * scale_)
    return std::nullopt;
  // The middle of the panel pixel the window pixel shows.
  return sim_->Layout().HitAt((windowX + 0.5) / scale_, (windowY + 0.5) / scale_);
}

void LiveWindow::Handle(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT: quit_ = true; break;
    case SDL_KEYDOWN:
      Key(event.key.keysym.sym);
      changed_ = true;
      break;
    case SDL_MOUSEBUTTONDOWN: {
      if (event.button.button != SDL_BUTTON_LEFT && event.button.button != SDL_BUTTON_RIGHT) break;
      if (const auto hit = HitAtWindow(event.button.x, event.button.y)) {
        sim_->Click(*hit, event.button.button == SDL_BUTTON_RIGHT);
        changed_ = true;
      }
      break;
    }
    case SDL_MOUSEMOTION: UpdateCursor(event.motion.x, event.motion.y); break;
    case SDL_WINDOWEVENT:  // shown again, uncovered or resized: the window system may have lost the picture
      if (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SHOWN ||
          event.window.event == SDL_WINDOWEVENT_RESTORED || event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
        changed_ = true;
      break;
    default: break;
  }
}

void LiveWindow::Key(int keycode) {
  switch (keycode) {
    case SDLK_p:
    case SDLK_SPACE:
      paused_ = !paused_;
      owedFrames_ = 0;
      break;
    case SDLK_PLUS:
    case SDLK_KP_PLUS:
    case SDLK_EQUALS:  // "+" without shift on most layouts
      speed_ = std::min(kMaxSpeed, speed_ * 2);
      break;
    case SDLK_MINUS:
    case SDLK_KP_MINUS: speed_ = std::max(kMinSpeed, speed_ / 2); break;
    case SDLK_r: try { sim_->Restart();
      } catch (const std::exception& e) {  // the files changed under us: nothing left to show
        std::cerr << "kvr-panel: cannot start over: " << e.what() << "\n";
        quit_ = true;
        break;
      }
      owedFrames_ = 0;
      hand_ = false;
      break;
    case SDLK_h:
      legend_ = !legend_;
      ResizeWindow();
      break;
    case SDLK_q:
    case SDLK_ESCAPE: quit_ = true; break;
    default: break;
  }
}

void LiveWindow::UpdateCursor(int windowX, int windowY) {
  const auto hit = HitAtWindow(windowX, windowY);
  const bool hand = hit && PanelLayout::CursorAt(*hit) == kCursorHand;
  if (hand == hand_) return;
  hand_ = hand;
  SDL_Cursor* cursor = hand ? handCursor_ : arrow_;
  if (cursor != nullptr) SDL_SetCursor(cursor);
}

void LiveWindow::ResizeWindow() {
  SDL_SetWindowSize(window_, panelWidth_ * scale_, panelHeight_ * scale_ + (legend_ ? kLegendHeightPx : 0));
}

void LiveWindow::Turn(double wallS) {
  SDL_Event event;
  while (!quit_ && SDL_PollEvent(&event)) Handle(event);
  if (quit_) return;
  if (!paused_ && !sim_->Ended()) {
    owedFrames_ += std::max(0.0, wallS) * speed_ * sim_->FrameRateHz();
    for (int run = 0; owedFrames_ >= 1.0 && run < kMaxFramesPerTurn; ++run) {
      if (options_.frames >= 0 && framesRun_ >= options_.frames) break;
      if (!sim_->Step()) break;
      ++framesRun_;
      owedFrames_ -= 1.0;
      changed_ = true;
    }
    if (owedFrames_ > kMaxFramesPerTurn) owedFrames_ = 0;
  }
  if (changed_) Show();
}

void LiveWindow::Show() {
  changed_ = false;
  ++picturesShown_;
  Image next = sim_->Renderer().Render();
  const int width = panelWidth_ * scale_;
  const int height = panelHeight_ * scale_ + (legend_ ? kLegendHeightPx : 0);
  char status[160];
  std::snprintf(status, sizeof status, "%s  t %.1f s  speed %s  %s", sim_->Name().c_str(), sim_->TimeS(),
                SpeedText(speed_).c_str(),
                sim_->Ended() ? "ENDED"
                : paused_     ? "PAUSED"
                              : "running");
  // Most frames at the simulator's rate change nothing that the window shows.
  const bool unchanged = texture_ != nullptr && frame_ != nullptr && textureWidth_ == width &&
                         textureHeight_ == height && next.width == picture_.width && next.height == picture_.height &&
                         next.pixels == picture_.pixels && legend_ == shownLegend_ &&
                         (!legend_ || shownStatus_ == status);
  picture_ = std::move(next);
  if (unchanged) return;
  shownLegend_ = legend_;
  shownStatus_ = status;

  // The window's picture: the panel scaled by whole pixels, the legend strip under it.
  if (frame_ != nullptr &&
      (cairo_image_surface_get_width(frame_) != width || cairo_image_surface_get_height(frame_) != height)) {
    cairo_surface_destroy(frame_);
    frame_ = nullptr;
  }
  if (frame_ == nullptr) frame_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_surface_t* target = frame_;
  CairoSurface panel{cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(picture_.pixels.data()),
                                                         CAIRO_FORMAT_RGB24, picture_.width, picture_.height,
                                                         picture_.width * 4)};
  {
    Cairo c{cairo_create(target)};
    cairo_save(c.cr);
    cairo_scale(c.cr, scale_, scale_);
    cairo_set_source_surface(c.cr, panel.surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(c.cr), CAIRO_FILTER_NEAREST);
    cairo_set_operator(c.cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(c.cr);
    cairo_restore(c.cr);
    if (legend_) {
      const double top = panelHeight_ * scale_;
      SetRgb(c.cr, kLegendBackgroundRgb);
      cairo_rectangle(c.cr, 0, top, width, kLegendHeightPx);
      cairo_fill(c.cr);
      cairo_select_font_face(c.cr, "DejaVu Sans Mono", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
      cairo_set_font_size(c.cr, 12);
      SetRgb(c.cr, 0xC8CCD0);
      cairo_move_to(c.cr, 6, top + 14);
      cairo_show_text(c.cr, "P/Space pause  +/- speed  R restart  H legend  Q/Esc quit");
      SetRgb(c.cr, paused_ || sim_->Ended() ? 0xF0C040 : 0x80E080);
      cairo_move_to(c.cr, 6, top + 30);
      cairo_show_text(c.cr, status);
    }
  }
  cairo_surface_flush(target);

  if (texture_ == nullptr || textureWidth_ != width || textureHeight_ != height) {
    if (texture_ != nullptr) SDL_DestroyTexture(texture_);
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height);
    textureWidth_ = width;
    textureHeight_ = height;
  }
  if (texture_ == nullptr) return;
  SDL_UpdateTexture(texture_, nullptr, cairo_image_surface_get_data(target), cairo_image_surface_get_stride(target));
  SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
  SDL_RenderPresent(renderer_);
}

int LiveWindow::Run() {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  Clock::time_point last = start;
  while (!quit_) {
    const Clock::time_point now = Clock::now();
    Turn(std::chrono::duration<double>(now - last).count());
    last = now;
    if (options_.seconds >= 0 && std::chrono::duration<double>(now - start).count() >= options_.seconds) break;
    if (options_.frames >= 0 && (framesRun_ >= options_.frames || sim_->Ended())) break;
    // Sleep until the next frame is due, waking early for input.
    const double frameS = 1.0 / (sim_->FrameRateHz() * speed_);
    const int waitMs = paused_ ? 50 : std::clamp(static_cast<int>((1.0 - owedFrames_) * frameS * 1000), 1, 50);
    SDL_WaitEventTimeout(nullptr, waitMs);
  }
  if (!options_.screenshot.empty()) WritePng(picture_, options_.screenshot);
  return 0;
}

int RunLive(const LiveOptions& options) {
  if (!options.verbose) QuietSoundLibraries();
  if (!DefaultSoundDeviceOpens()) std::cerr << "kvr-panel: no sound device: running silent\n";
  LiveWindow window(options);
  return window.Run();
}

}  // namespace kvr::host
