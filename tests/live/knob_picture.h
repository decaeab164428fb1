// The Transponder's mode knob in a panel picture: where it is and which of its five images it shows.
#pragma once

#include <cstdint>
#include <optional>

#include "host/live/live_simulation.h"
#include "host/render/bitmap.h"

namespace kvr::testing {

inline constexpr uint32_t kKnobFirstImage = 0x2300;
inline constexpr int kModeKnobX = 42, kModeKnobY = 50;          // design pixels, the knob's image
inline constexpr int kModeKnobAreaX = 57, kModeKnobAreaY = 63;  // design pixels, middle of its mouse area

// The mode knob's image index after the last frame (its icon element at the knob's place), if placed.
inline std::optional<double> ModeKnobIndex(host::LiveSimulation& sim) {
  for (const auto& instance : sim.GetPanel().Instances()) {
    if (instance->placement.gauge != "Transponder") continue;
    for (size_t i = 0; i < instance->elements.size(); ++i) {
      const ElementHeader* e = instance->elements[i];
      if (e->type == kElementIcon && e->imageId == kKnobFirstImage && e->x == kModeKnobX && e->y == kModeKnobY)
        return i < instance->iconValues.size() ? std::optional<double>(instance->iconValues[i]) : std::nullopt;
    }
  }
  return std::nullopt;
}

// The share of `bitmap`'s drawn (not black) pixels that `picture` shows unchanged with the bitmap's
// top-left corner at (left, top); 0 when it does not fit.
inline double ShareShown(const host::Image& picture, const host::Image& bitmap, int left, int top) {
  if (left < 0 || top < 0 || left + bitmap.width > picture.width || top + bitmap.height > picture.height) return 0;
  int drawn = 0, same = 0;
  for (int y = 0; y < bitmap.height; ++y)
    for (int x = 0; x < bitmap.width; ++x) {
      const uint32_t b = bitmap.At(x, y) & 0xFFFFFF;
      if (host::IsTransparent(b)) continue;
      ++drawn;
      same += (picture.At(left + x, top + y) & 0xFFFFFF) == b;
    }
  return drawn > 0 ? double(same) / drawn : 0;
}

}  // namespace kvr::testing
