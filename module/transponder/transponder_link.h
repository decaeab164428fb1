// Private to the Transponder: one-byte exchanges with the outside program over the module's FSUIPC link.
// Each exchange is one queued record sent at once; without a link nothing is queued or sent.
#pragma once

#include <cstdint>

#include "module/link/fsuipc.h"

namespace kvr::transponder_link {

// True when the byte at `offset` was read into `value`.
inline bool ReadByte(uint32_t offset, uint8_t& value) {
  return IsLinked() && QueueRead(offset, 1, &value) && ProcessQueue();
}

inline void WriteByte(uint32_t offset, uint8_t value) {
  if (IsLinked() && QueueWrite(offset, 1, &value)) ProcessQueue();
}

// Read-modify-write; the write is not sent when the read could not be made. Wraps modulo 256.
inline void AddToByte(uint32_t offset, int delta) {
  uint8_t value = 0;
  if (!ReadByte(offset, value)) return;
  WriteByte(offset, static_cast<uint8_t>(value + delta));
}

}  // namespace kvr::transponder_link
