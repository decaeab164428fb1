// A surface selected into its own context for the drawing tests, with the pixel questions they ask.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "module/platform/drawing.h"

namespace kvr::platform::testing {

inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kGreen{0, 200, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kDark{0, 0, 16};

// Inclusive extent of some pixels; empty when right < left.
struct Extent {
  int32_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
  bool empty() const { return right < left; }
  int32_t width() const { return right - left + 1; }
  int32_t height() const { return bottom - top + 1; }
};

class Canvas {
 public:
  Canvas(int32_t width, int32_t height) : width_(width), height_(height) {
    context_ = MakeCompatibleContext(nullptr);
    surface_ = MakeSurface(context_, width, height);
    EXPECT_TRUE(UseSurface(context_, surface_));
  }
  ~Canvas() {
    SelectDefaultObjects(context_);
    ReleaseSurface(surface_);
    ReleaseContext(context_);
    ReleasePen(pen_);
    ReleaseBrush(brush_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  DrawContext context() const { return context_; }
  Surface surface() const { return surface_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

  // Selects a fresh pen or brush, owned by the canvas until the next one.
  void Pen(int32_t width, Rgb colour, LineCap cap = LineCap::Square, LineJoin join = LineJoin::Mitre) {
    platform::Pen pen = MakePen(width, colour, cap, join);
    UsePen(context_, pen);
    ReleasePen(pen_);
    pen_ = pen;
  }
  void NoPen() { UsePen(context_, NullPen()); }
  void Brush(Rgb colour) {
    platform::Brush brush = MakeSolidBrush(colour);
    UseBrush(context_, brush);
    ReleaseBrush(brush_);
    brush_ = brush;
  }
  void NoBrush() { UseBrush(context_, NullBrush()); }

  uint32_t At(int32_t x, int32_t y) const {
    const PixelView view = SurfacePixels(surface_);
    return view.pixels[y * (view.strideBytes / 4) + x];
  }

  int32_t Count(Rgb colour) const { return CountWord(PixelWord(colour)); }
  int32_t CountWord(uint32_t word) const {
    int32_t count = 0;
    for (int32_t y = 0; y < height_; ++y)
      for (int32_t x = 0; x < width_; ++x) count += At(x, y) == word;
    return count;
  }

  // Extent of the pixels of one colour, or of every pixel that is not 0.
  Extent ExtentOf(Rgb colour) const {
    return ExtentWhere([&](uint32_t p) { return p == PixelWord(colour); });
  }
  Extent Ink() const {
    return ExtentWhere([](uint32_t p) { return p != 0; });
  }

  // Fails the test at the first pixel that is none of `colours` (0 counts as the untouched background):
  // this is what catches anti-aliasing and stray top bytes.
  void ExpectOnly(std::initializer_list<Rgb> colours) const {
    for (int32_t y = 0; y < height_; ++y) {
      for (int32_t x = 0; x < width_; ++x) {
        const uint32_t p = At(x, y);
        bool known = p == 0;
        for (Rgb c : colours) known = known || p == PixelWord(c);
        if (!known) {
          ADD_FAILURE() << "pixel (" << x << ", " << y << ") is 0x" << std::hex << p;
          return;
        }
      }
    }
  }

  // Keeps the picture for review beside the test programs, when the build tells where they are.
  void Save(const char* name) const {
    if (const char* dir = std::getenv("KVR_BIN_DIR")) {
      WriteSurfacePng(surface_, (std::string(dir) + "/" + name + ".png").c_str());
    }
  }

 private:
  template <typename Test>
  Extent ExtentWhere(Test test) const {
    Extent e;
    for (int32_t y = 0; y < height_; ++y) {
      for (int32_t x = 0; x < width_; ++x) {
        if (!test(At(x, y))) continue;
        e.left = std::min(e.left, x), e.right = std::max(e.right, x);
        e.top = std::min(e.top, y), e.bottom = std::max(e.bottom, y);
      }
    }
    return e;
  }
  int32_t width_, height_;
  DrawContext context_ = nullptr;
  Surface surface_ = nullptr;
  platform::Pen pen_ = nullptr;
  platform::Brush brush_ = nullptr;
};

}  // namespace kvr::platform::testing
