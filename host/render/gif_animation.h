// Animated GIF files of panel pictures, written frame by frame through giflib with one fixed palette (a
// 6x6x6 colour cube and 40 greys), so that frames map colours alike and the file never flickers between
// palettes. Each frame after the first stores only the rectangle that changed and is drawn over the last. A build
// without giflib offers the same calls and refuses them with a reason.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "host/render/bitmap.h"

namespace kvr::host {

// Whether this build writes and reads GIF files (giflib was found when it was configured).
bool GifSupported();

class GifAnimation {
 public:
  // Creates `file` for frames of width x height pixels, each shown for `frameDelayCs` hundredths of a
  // second, looping forever. Throws std::runtime_error naming the file and the reason.
  GifAnimation(const std::filesystem::path& file, int32_t width, int32_t height, int frameDelayCs);
  ~GifAnimation();  // completes the file when Close was not called; errors are then dropped
  GifAnimation(const GifAnimation&) = delete;
  GifAnimation& operator=(const GifAnimation&) = delete;

  // Appends one frame; it must have the animation's size. Throws std::runtime_error.
  void AddFrame(const Image& frame);
  // Writes the trailer and closes the file. Throws std::runtime_error when it cannot be completed.
  void Close();
  int FrameCount() const { return frames_; }

 private:
  std::filesystem::path file_;
  void* gif_ = nullptr;  // GifFileType*
  int32_t width_, height_;
  int delayCs_;
  int frames_ = 0;
  std::vector<uint8_t> previous_;  // palette indices of the last frame, row by row
};

struct GifSummary {
  int32_t width = 0;
  int32_t height = 0;
  int frameCount = 0;
  int loopCount = -1;  // from the NETSCAPE2.0 block: 0 loops forever; -1 when the file has none
  int firstDelayCs = -1;
};

// Reads a GIF file back with giflib and tells its size and frames. Throws std::runtime_error.
GifSummary ReadGifSummary(const std::filesystem::path& file);
// Frame `index` of a GIF file as 0x00RRGGBB pixels, as it shows: drawn over the frames before it (frames
// that ask to be cleared after showing are not; this writer never asks). Throws std::runtime_error.
Image ReadGifFrame(const std::filesystem::path& file, int index);

}  // namespace kvr::host
