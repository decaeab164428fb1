// The pictures of a run, written into its output folder as simulated time passes:
//   frames/NNNN.png   the panel window once every simulated second and at every aural message
//   frames/index.csv  frame,timeS,reason for each of them
//   panel.gif         the once-a-second pictures as an animation, one second a frame
//   final.png         the panel as the run ended
// Each picture is the panel enlarged a whole number of times, pixel by pixel, so that tags stay readable.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host/render/gif_animation.h"
#include "host/render/panel_renderer.h"

namespace kvr::host {

class FrameRecorder {
 public:
  // Creates `outDir`/frames. `renderer` outlives the recorder; every picture is `scale` (1 or more) times
  // its size. Throws std::runtime_error when the folder cannot be made, std::invalid_argument for a scale
  // below 1. Without GIF support the animation is left out and Notes() says so.
  FrameRecorder(PanelRenderer& renderer, std::filesystem::path outDir, int scale = 1, int gifFrameDelayCs = 100);
  ~FrameRecorder();

  // After a panel frame at `timeS` (seconds from the start): a picture when a new whole second has been
  // reached since the last one, or when `aural` (the message started in this frame) is not empty.
  void AfterFrame(double timeS, const std::string& aural);
  // Writes final.png and completes panel.gif and the index. Throws std::runtime_error on a write failure.
  void Finish();

  int FramesWritten() const { return frames_; }
  int GifFrames() const { return gif_ ? gif_->FrameCount() : gifFrames_; }
  const std::filesystem::path& OutDir() const { return outDir_; }
  int Scale() const { return scale_; }
  int32_t PictureWidth() const { return renderer_.Width() * scale_; }
  int32_t PictureHeight() const { return renderer_.Height() * scale_; }
  const std::vector<std::string>& Notes() const { return notes_; }

 private:
  Image Picture();  // the panel now, at the recorder's scale

  PanelRenderer& renderer_;
  std::filesystem::path outDir_;
  int scale_;
  std::unique_ptr<GifAnimation> gif_;
  std::ofstream index_;
  long lastSecond_ = -1;
  int frames_ = 0;
  int gifFrames_ = 0;
  bool finished_ = false;
  std::vector<std::string> notes_;
};

}  // namespace kvr::host
