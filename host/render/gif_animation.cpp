#include "host/render/gif_animation.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#if KVR_HAVE_GIFLIB
#include <gif_lib.h>
#endif

namespace kvr::host {

#if KVR_HAVE_GIFLIB

namespace {

constexpr int kPaletteSize = 256;

struct Palette {
  std::array<GifColorType, kPaletteSize> colours{};
  std::vector<uint8_t> nearest;  // palette index for each 15-bit colour (5 bits a channel)

  Palette() {
    int n = 0;
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b) colours[n++] = {GifByteType(r * 51), GifByteType(g * 51), GifByteType(b * 51)};
    // Greys between the cube's six, for shaded metal and dark faces.
    for (int i = 1; n < kPaletteSize; ++i) {
      const auto level = GifByteType((i * 255) / 41);
      colours[n++] = {level, level, level};
    }
    nearest.resize(32 * 32 * 32);
    for (int key = 0; key < 32 * 32 * 32; ++key) {
      const int r = ((key >> 10) & 31) * 255 / 31, g = ((key >> 5) & 31) * 255 / 31, b = (key & 31) * 255 / 31;
      int best = 0, bestDistance = 1 << 30;
      for (int i = 0; i < kPaletteSize; ++i) {
        // Green weighs most, as the eye sees it.
        const int dr = r - colours[i].Red, dg = g - colours[i].Green, db = b - colours[i].Blue;
        const int distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (distance < bestDistance) bestDistance = distance, best = i;
      }
      nearest[key] = uint8_t(best);
    }
  }

  uint8_t IndexOf(uint32_t rgb) const {
    const uint32_t key = ((rgb >> 19) & 31) << 10 | ((rgb >> 11) & 31) << 5 | ((rgb >> 3) & 31);
    return nearest[key];
  }
};

const Palette& FixedPalette() {
  static const Palette palette;
  return palette;
}

GifFileType* File(void* gif) { return static_cast<GifFileType*>(gif); }

[[noreturn]] void Fail(const std::filesystem::path& file, const std::string& what, int error) {
  const char* reason = GifErrorString(error);
  throw std::runtime_error(file.string() + ": " + what + ": " + (reason != nullptr ? reason : "giflib error"));
}

struct SlurpedGif {
  GifFileType* gif = nullptr;
  ~SlurpedGif() {
    int error = 0;
    if (gif != nullptr) DGifCloseFile(gif, &error);
  }
};

void Slurp(const std::filesystem::path& file, SlurpedGif& out) {
  int error = 0;
  out.gif = DGifOpenFileName(file.string().c_str(), &error);
  if (out.gif == nullptr) Fail(file, "cannot open the GIF", error);
  if (DGifSlurp(out.gif) != GIF_OK) Fail(file, "cannot read the GIF", out.gif->Error);
}

}  // namespace

bool GifSupported() { return true; }

GifAnimation::GifAnimation(const std::filesystem::path& file, int32_t width, int32_t height, int frameDelayCs)
    : file_(file), width_(width), height_(height), delayCs_(frameDelayCs) {
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535)
    throw std::runtime_error(file.string() + ": a GIF frame cannot be " + std::to_string(width) + "x" +
                             std::to_string(height));
  // Made first as any other output file is, so that it gets the usual permissions (giflib creates new
  // files readable by their owner only); giflib then opens it for writing.
  if (!std::ofstream(file, std::ios::binary | std::ios::trunc))
    throw std::runtime_error(file.string() + ": cannot create the GIF");
  int error = 0;
  GifFileType* gif = EGifOpenFileName(file.string().c_str(), false, &error);
  if (gif == nullptr) Fail(file, "cannot create the GIF", error);
  gif_ = gif;
  EGifSetGifVersion(gif, true);  // GIF89a: frame delays and the loop block
  ColorMapObject* map = GifMakeMapObject(kPaletteSize, FixedPalette().colours.data());
  const int described = EGifPutScreenDesc(gif, width, height, 8, 0, map);
  GifFreeMapObject(map);
  if (described != GIF_OK) Fail(file, "cannot write the screen descriptor", gif->Error);
  // Loop forever (the application block browsers read).
  static const char kNetscape[] = "NETSCAPE2.0";
  const unsigned char loop[3] = {1, 0, 0};
  if (EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
      EGifPutExtensionBlock(gif, 11, kNetscape) != GIF_OK || EGifPutExtensionBlock(gif, 3, loop) != GIF_OK ||
      EGifPutExtensionTrailer(gif) != GIF_OK)
    Fail(file, "cannot write the loop block", gif->Error);
}

GifAnimation::~GifAnimation() {
  if (gif_ != nullptr) {
    int error = 0;
    EGifCloseFile(File(gif_), &error);
  }
}

void GifAnimation::AddFrame(const Image& frame) {
  if (gif_ == nullptr) throw std::runtime_error(file_.string() + ": the GIF is already closed");
  if (frame.width != width_ || frame.height != height_)
    throw std::runtime_error(file_.string() + ": a " + std::to_string(frame.width) + "x" +
                             std::to_string(frame.height) + " frame does not fit the " + std::to_string(width_) + "x" +
                             std::to_string(height_) + " animation");
  GifFileType* gif = File(gif_);
  const Palette& palette = FixedPalette();
  std::vector<GifPixelType> indices(frame.pixels.size());
  for (size_t i = 0; i < indices.size(); ++i) indices[i] = palette.IndexOf(frame.pixels[i]);
  // Every frame stays on screen under the next, so a frame stores only the rectangle that changed since
  // the one before (the first is whole): a run's needle and symbols move over a face that mostly stays.
  int32_t left = 0, top = 0, right = width_, bottom = height_;  // right and bottom exclusive
  if (!previous_.empty()) {
    left = width_, top = height_, right = 0, bottom = 0;
    for (int32_t y = 0; y < height_; ++y)
      for (int32_t x = 0; x < width_; ++x) {
        const size_t i = size_t(y) * size_t(width_) + size_t(x);
        if (indices[i] == previous_[i]) continue;
        left = std::min(left, x), right = std::max(right, x + 1);
        top = std::min(top, y), bottom = std::max(bottom, y + 1);
      }
    if (right == 0) left = top = 0, right = bottom = 1;  // nothing changed: one pixel carries the delay
  }
  GraphicsControlBlock control{};
  control.DisposalMode = DISPOSE_DO_NOT;
  control.DelayTime = delayCs_;
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType extension[4];
  const size_t length = EGifGCBToExtension(&control, extension);
  if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) != GIF_OK ||
      EGifPutImageDesc(gif, left, top, right - left, bottom - top, false, nullptr) != GIF_OK)
    Fail(file_, "cannot start frame " + std::to_string(frames_), gif->Error);
  for (int32_t y = top; y < bottom; ++y)
    if (EGifPutLine(gif, indices.data() + size_t(y) * size_t(width_) + size_t(left), right - left) != GIF_OK)
      Fail(file_, "cannot write frame " + std::to_string(frames_), gif->Error);
  previous_ = std::move(indices);
  ++frames_;
}

void GifAnimation::Close() {
  if (gif_ == nullptr) return;
  int error = 0;
  const int closed = EGifCloseFile(File(gif_), &error);  // frees the handle whatever the outcome
  gif_ = nullptr;
  if (closed != GIF_OK) Fail(file_, "cannot complete the GIF", error);
}

GifSummary ReadGifSummary(const std::filesystem::path& file) {
  SlurpedGif slurped;
  Slurp(file, slurped);
  const GifFileType* gif = slurped.gif;
  GifSummary summary;
  summary.width = gif->SWidth;
  summary.height = gif->SHeight;
  summary.frameCount = gif->ImageCount;
  // giflib files the blocks before the first frame with that frame, and those after the last with the file.
  auto findLoop = [&](int count, const ExtensionBlock* blocks) {
    for (int i = 0; i + 1 < count; ++i) {
      const ExtensionBlock& block = blocks[i];
      const ExtensionBlock& next = blocks[i + 1];
      if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
          std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0 && next.ByteCount >= 3 && next.Bytes[0] == 1)
        summary.loopCount = next.Bytes[1] | (next.Bytes[2] << 8);
    }
  };
  findLoop(gif->ExtensionBlockCount, gif->ExtensionBlocks);
  if (gif->ImageCount > 0) findLoop(gif->SavedImages[0].ExtensionBlockCount, gif->SavedImages[0].ExtensionBlocks);
  GraphicsControlBlock control{};
  if (gif->ImageCount > 0 && DGifSavedExtensionToGCB(slurped.gif, 0, &control) == GIF_OK)
    summary.firstDelayCs = control.DelayTime;
  return summary;
}

Image ReadGifFrame(const std::filesystem::path& file, int index) {
  SlurpedGif slurped;
  Slurp(file, slurped);
  GifFileType* gif = slurped.gif;
  if (index < 0 || index >= gif->ImageCount)
    throw std::runtime_error(file.string() + ": no frame " + std::to_string(index) + " of " +
                             std::to_string(gif->ImageCount));
  // The frames up to `index` laid over each other, as they stay on screen; a frame's transparent colour
  // shows what lies under it.
  Image image(gif->SWidth, gif->SHeight);
  for (int f = 0; f <= index; ++f) {
    const SavedImage& saved = gif->SavedImages[f];
    const ColorMapObject* map = saved.ImageDesc.ColorMap != nullptr ? saved.ImageDesc.ColorMap : gif->SColorMap;
    if (map == nullptr) throw std::runtime_error(file.string() + ": frame " + std::to_string(f) + " has no palette");
    GraphicsControlBlock control{};
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    DGifSavedExtensionToGCB(gif, f, &control);
    const GifImageDesc& d = saved.ImageDesc;
    for (int y = 0; y < d.Height; ++y)
      for (int x = 0; x < d.Width; ++x) {
        const int px = d.Left + x, py = d.Top + y;
        const int colour = saved.RasterBits[size_t(y) * size_t(d.Width) + size_t(x)];
        if (px < 0 || py < 0 || px >= image.width || py >= image.height || colour >= map->ColorCount ||
            colour == control.TransparentColor)
          continue;
        const GifColorType c = map->Colors[colour];
        image.At(px, py) = uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
      }
  }
  return image;
}

#else  // built without giflib

namespace {
[[noreturn]] void Unsupported(const std::filesystem::path& file) {
  throw std::runtime_error(file.string() + ": this build has no GIF support (install libgif-dev and configure again)");
}
}  // namespace

bool GifSupported() { return false; }
GifAnimation::GifAnimation(const std::filesystem::path& file, int32_t width, int32_t height, int frameDelayCs)
    : file_(file), width_(width), height_(height), delayCs_(frameDelayCs) {
  Unsupported(file);
}
GifAnimation::~GifAnimation() = default;
void GifAnimation::AddFrame(const Image&) { Unsupported(file_); }
void GifAnimation::Close() {}
GifSummary ReadGifSummary(const std::filesystem::path& file) { Unsupported(file); }
Image ReadGifFrame(const std::filesystem::path& file, int) { Unsupported(file); }

#endif

}  // namespace kvr::host
