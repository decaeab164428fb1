// Fixed-capacity table of intruder tracks keyed by traffic identifier: an open-addressing index over a
// pool, so that finding, adding and dropping a track never allocates.
#pragma once

#include <array>
#include <cstdint>

#include "avertine/intruder_track.h"

namespace avertine {

class TrackTable {
 public:
  static constexpr int kCapacity = 256;

  TrackTable();

  IntruderTrack* Find(uint32_t id);
  // The track of `id`, started afresh when there was none; null when the table is full.
  IntruderTrack* FindOrStart(uint32_t id);
  void Remove(uint32_t id);
  void Clear();

  // Calls `visit(IntruderTrack&)` for every track in use.
  template <typename Visit>
  void ForEach(Visit&& visit) {
    for (int i = 0; i < kCapacity; ++i) {
      if (inUse_[i]) visit(pool_[i]);
    }
  }

 private:
  static constexpr int kIndexSize = 2 * kCapacity;  // power of two, at most half full
  static constexpr int16_t kEmpty = -1;

  static int Home(uint32_t id);
  int Slot(uint32_t id) const;  // index position holding `id`, or -1

  std::array<IntruderTrack, kCapacity> pool_;
  std::array<bool, kCapacity> inUse_{};
  std::array<int16_t, kIndexSize> index_;
  std::array<int16_t, kCapacity> free_;  // stack of free pool positions
  int freeCount_ = 0;
};

}  // namespace avertine
