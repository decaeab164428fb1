// The traffic tables the host's FSUIPC server keeps in its offset space, rewritten every frame:
//
//   0xF000  header, four u16: slotSize (40), slotCapacity, slotsInUse, unused (0)
//   0xF008  120-byte block before the slots (zeros; readers fetch it with the slots and skip it)
//   0xF080  slot i at 0xF080 + 40 i, up to the end of the 64 KiB space:
//           +0 u32 identifier (0 = empty), +4 f32 latitude deg, +8 f32 longitude deg, +12 f32 altitude ft MSL,
//           +16 u16 heading deg, +18 u16 ground speed kt, +20 s16 vertical speed fpm,
//           +22 callsign, zero-padded to the end of the slot (at most 17 characters, always terminated)
//
// Targets fill the slots from the first in the order given; what does not fit is left out and counted.
#pragma once

#include <cstdint>
#include <span>

#include "host/fsuipc/fsuipc_server.h"
#include "host/traffic/traffic_target.h"

namespace kvr::host {

struct FsuipcTrafficLayout {
  static constexpr uint32_t kHeaderOffset = 0xF000;
  static constexpr uint32_t kBlockOffset = 0xF008;
  static constexpr uint32_t kBlockBytes = 120;
  static constexpr uint32_t kSlotsOffset = 0xF080;
  static constexpr uint32_t kSlotBytes = 40;
  static constexpr uint32_t kSlotCapacity = (FsuipcServer::kSpaceBytes - kSlotsOffset) / kSlotBytes;  // 99
  static constexpr uint32_t kCallsignOffset = 22;
  static constexpr uint32_t kCallsignChars = kSlotBytes - kCallsignOffset - 1;  // 17, then a zero
};

struct FsuipcTableWrite {
  uint32_t slotsInUse = 0;  // targets written, from slot 0
  uint32_t leftOut = 0;     // targets beyond the table's capacity
};

// Rewrites the header, the block and every slot (unused slots are zeroed).
FsuipcTableWrite WriteFsuipcTrafficTables(FsuipcServer& server, std::span<const TrafficTarget> targets);

}  // namespace kvr::host
