// Track table: linear probing with backward-shift deletion, so no tombstones build up.
#include "avertine/track_table.h"

namespace avertine {

TrackTable::TrackTable() { Clear(); }

int TrackTable::Home(uint32_t id) {
  // Fibonacci hashing spreads sequential identifiers over the index.
  return static_cast<int>((id * 2654435769u) >> 23) & (kIndexSize - 1);
}

int TrackTable::Slot(uint32_t id) const {
  for (int probe = Home(id), n = 0; n < kIndexSize; probe = (probe + 1) & (kIndexSize - 1), ++n) {
    const int16_t entry = index_[probe];
    if (entry == kEmpty) return -1;
    if (pool_[entry].Id() == id) return probe;
  }
  return -1;
}

IntruderTrack* TrackTable::Find(uint32_t id) {
  const int slot = Slot(id);
  return slot < 0 ? nullptr : &pool_[index_[slot]];
}

IntruderTrack* TrackTable::FindOrStart(uint32_t id) {
  if (IntruderTrack* track = Find(id)) return track;
  if (freeCount_ == 0) return nullptr;
  const int16_t position = free_[--freeCount_];
  int probe = Home(id);
  while (index_[probe] != kEmpty) probe = (probe + 1) & (kIndexSize - 1);
  index_[probe] = position;
  inUse_[position] = true;
  pool_[position].Start(id);
  return &pool_[position];
}

void TrackTable::Remove(uint32_t id) {
  int hole = Slot(id);
  if (hole < 0) return;
  const int16_t position = index_[hole];
  inUse_[position] = false;
  free_[freeCount_++] = position;
  index_[hole] = kEmpty;
  // Move later members of the probe run back so that every entry stays reachable from its home.
  for (int next = (hole + 1) & (kIndexSize - 1); index_[next] != kEmpty; next = (next + 1) & (kIndexSize - 1)) {
    const int home = Home(pool_[index_[next]].Id());
    const bool homeInGap = hole <= next ? (home > hole && home <= next) : (home > hole || home <= next);
    if (!homeInGap) {
      index_[hole] = index_[next];
      index_[next] = kEmpty;
      hole = next;
    }
  }
}

void TrackTable::Clear() {
  index_.fill(kEmpty);
  inUse_.fill(false);
  for (int i = 0; i < kCapacity; ++i) free_[i] = static_cast<int16_t>(kCapacity - 1 - i);
  freeCount_ = kCapacity;
}

}  // namespace avertine
