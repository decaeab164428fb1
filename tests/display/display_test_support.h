// What the display tests share: a traffic picture whose fields the test sets, a host drawing surface the
// composed picture is copied into, pixel questions on surfaces, and the module-wide selectors put back to
// their values at load.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "module/display/display.h"
#include "module/display/ivsi_display.h"
#include "module/gauge/panel_sdk.h"
#include "module/logic/logic.h"

namespace kvr::display_test {

using platform::PixelWord;
using platform::Rgb;

// A traffic picture with no feed behind it: the test writes the advisory, the intruders and whether the
// feed is available.
class FakeSource final : public TrafficSource {
 public:
  FakeSource() {
    advisory.vsLowerLimitFpm = kNoLowerLimitFpm;
    advisory.vsUpperLimitFpm = kNoUpperLimitFpm;
    advisory.vsTargetFpm = kNoTargetFpm;
    advisory.modeStatus = static_cast<int32_t>(OperatingMode::TaRa);
  }
  ~FakeSource() override { intruderOrder = nullptr; }  // the order list is the vector's

  bool IsPaused() override { return false; }
  bool CheckAvailable(const char** missingName) override {
    if (!available) *missingName = missing;
    return available;
  }
  bool IsAvailable() override { return available; }
  bool Update(float, float, float, float, float, float, OperatingMode) override { return true; }

  void SetAdvisory(float lowerFpm, float upperFpm, float targetFpm) {
    advisory.vsLowerLimitFpm = lowerFpm;
    advisory.vsUpperLimitFpm = upperFpm;
    advisory.vsTargetFpm = targetFpm;
  }

  void Add(ThreatClass threat, float rangeNm, float bearingRad, float relativeAltitudeFt, int32_t trend = 0) {
    entries.push_back({relativeAltitudeFt,
                       MakeStatus(0, trend, threat),
                       1,
                       {},
                       rangeNm,
                       bearingRad,
                       static_cast<uint32_t>(entries.size() + 1)});
    order.clear();
    for (IntruderEntry& entry : entries) order.push_back(&entry);
    intruderOrder = order.data();
    intruderCount = static_cast<int32_t>(order.size());
    if (threat == ThreatClass::ResolutionAdvisory) ++raCount;
  }

  bool available = true;
  const char* missing = "FSUIPC";
  std::vector<IntruderEntry> entries;
  std::vector<IntruderEntry*> order;
};

// A drawing element's surface as a POSIX host hands it over, every pixel first set to `kUntouched` so
// that what a composition copied shows.
inline constexpr uint32_t kUntouched = 0x00ABCDEF;

struct HostTarget {
  HostTarget(int32_t width, int32_t height) : pixels(static_cast<size_t>(width) * height, kUntouched) {
    surface = {kHostSurfaceMagic, width, height, width * 4, pixels.data()};
  }
  void Reset() { std::fill(pixels.begin(), pixels.end(), kUntouched); }
  uint32_t At(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * surface.width + x]; }
  // Extent of the pixels a composition wrote; empty when none.
  Box Written() const {
    Box box;
    for (int32_t y = 0; y < surface.height; ++y)
      for (int32_t x = 0; x < surface.width; ++x)
        if (At(x, y) != kUntouched) box.Grow(Box{x, y, x, y});
    return box;
  }
  int32_t Count(uint32_t word) const {
    int32_t n = 0;
    for (uint32_t p : pixels) n += p == word;
    return n;
  }
  void* Context() { return &surface; }

  std::vector<uint32_t> pixels;
  HostSurface surface{};
};

inline uint32_t PixelOf(platform::Surface surface, int32_t x, int32_t y) {
  const platform::PixelView view = platform::SurfacePixels(surface);
  return view.pixels[static_cast<ptrdiff_t>(y) * (view.strideBytes / 4) + x];
}

// The pixel of the saved face at angle `angleRad` (counter-clockwise from 3 o'clock) and `radius` pixels
// from the dial centre.
inline uint32_t FaceAt(const IvsiDisplay& d, float angleRad, float radius) {
  const int32_t x = d.ringCentreX + static_cast<int32_t>(std::lround(radius * std::cos(angleRad)));
  const int32_t y = d.ringCentreY - static_cast<int32_t>(std::lround(radius * std::sin(angleRad)));
  return d.savedFace[static_cast<size_t>(y) * d.surfaceWidth + x];
}

// Pixels of one colour in the saved face's box (inclusive).
inline int32_t CountInFace(const IvsiDisplay& d, Box box, Rgb colour) {
  int32_t n = 0;
  for (int32_t y = std::max(box.top, 0); y <= std::min(box.bottom, d.surfaceHeight - 1); ++y)
    for (int32_t x = std::max(box.left, 0); x <= std::min(box.right, d.surfaceWidth - 1); ++x)
      n += d.savedFace[static_cast<size_t>(y) * d.surfaceWidth + x] == PixelWord(colour);
  return n;
}

// The module-wide selections as at load, with the mode a test wants.
inline void ResetSelectors(int32_t modeIndex = kModeTaRa) {
  selectors = SelectorVariables{};
  selectors.modeIndex = modeIndex;
  selectedRangeNm = kRangeTableNm[0];
}

// Where the review pictures go: the build's bin folder under ctest, else the temporary folder.
inline std::string PicturePath(const std::string& name) {
  const char* dir = std::getenv("KVR_BIN_DIR");
  return (dir != nullptr ? std::string(dir) : std::filesystem::temp_directory_path().string()) + "/" + name + ".png";
}

}  // namespace kvr::display_test
