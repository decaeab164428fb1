#include "host/render/frame_recorder.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace kvr::host {

FrameRecorder::FrameRecorder(PanelRenderer& renderer, std::filesystem::path outDir, int scale, int gifFrameDelayCs)
    : renderer_(renderer), outDir_(std::move(outDir)), scale_(scale) {
  if (scale_ < 1) throw std::invalid_argument("picture scale " + std::to_string(scale_) + " is below 1");
  std::filesystem::create_directories(outDir_ / "frames");
  index_.open(outDir_ / "frames" / "index.csv");
  if (!index_) throw std::runtime_error("cannot write " + (outDir_ / "frames" / "index.csv").string());
  index_ << "frame,timeS,reason\n";
  if (GifSupported())
    gif_ = std::make_unique<GifAnimation>(outDir_ / "panel.gif", PictureWidth(), PictureHeight(), gifFrameDelayCs);
  else
#ifdef _WIN32
    notes_.push_back("panel.gif not written: the Windows build of kvr-panel writes no GIF");
#else
    notes_.push_back("panel.gif not written: this build has no GIF support (libgif-dev)");
#endif
}

FrameRecorder::~FrameRecorder() = default;

void FrameRecorder::AfterFrame(double timeS, const std::string& aural) {
  // A frame time a hair below a whole second (from summing 1/18 s steps) still starts that second.
  const long second = static_cast<long>(std::floor(timeS + 1e-6));
  const bool newSecond = second > lastSecond_;
  if (!newSecond && aural.empty()) return;

  const Image picture = Picture();
  char name[32];
  std::snprintf(name, sizeof name, "%04d.png", frames_);
  WritePng(picture, outDir_ / "frames" / name);
  std::string reason = newSecond ? "second" : "";
  if (!aural.empty()) reason += (reason.empty() ? "aural " : "; aural ") + aural;
  char time[32];
  std::snprintf(time, sizeof time, "%.3f", timeS);
  index_ << frames_ << "," << time << "," << reason << "\n";
  ++frames_;

  if (newSecond) {
    lastSecond_ = second;
    if (gif_) gif_->AddFrame(picture);
  }
}

Image FrameRecorder::Picture() { return scale_ == 1 ? renderer_.Render() : ScaleImage(renderer_.Render(), scale_); }

void FrameRecorder::Finish() {
  if (finished_) return;
  finished_ = true;
  WritePng(Picture(), outDir_ / "final.png");
  if (gif_) {
    gifFrames_ = gif_->FrameCount();
    gif_->Close();
    gif_.reset();
  }
  index_.close();
  if (!index_) throw std::runtime_error("cannot complete " + (outDir_ / "frames" / "index.csv").string());
}

}  // namespace kvr::host
