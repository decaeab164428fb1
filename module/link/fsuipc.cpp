// The FSUIPC client: builds request blocks in place, sends them to the server window and delivers the read
// answers. Read destinations are kept in a table on the client's side, so the returned block is only ever
// a source of answer bytes: a server that rewrites kinds, sizes or addresses in it cannot steer a copy.
#include "module/link/fsuipc.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "module/platform/platform.h"

namespace kvr {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the request block is little-endian and is built with plain copies");

constexpr uint32_t kMinBufferBytes = 32;
constexpr uint32_t kMinServerVersion = 0x19980005;
constexpr uint32_t kSimulatorMarkMask = 0xFFFF0000;
constexpr uint32_t kSimulatorMark = 0xFADE0000;
constexpr uint32_t kServerVersionOffset = 0x3304;  // u32, read
constexpr uint32_t kSimulatorOffset = 0x3308;      // u32, read
constexpr uint32_t kClientVersionOffset = 0x330A;  // u16, written
constexpr uint16_t kClientVersion = 1100;

// Every record takes at least a write header and a block keeps room for its end marker, so no block in
// the largest usable buffer holds more records than this.
constexpr uint32_t kMaxRecords = (kFsuipcMaxCapacity - kFsuipcEndMarkerBytes) / kFsuipcWriteHeaderBytes;

// One queued record as the client built it; the walk after the answer trusts this, not the block.
struct QueuedRecord {
  void* destination;  // reads: where the answer goes (may be null); writes: null
  uint32_t position;  // bytes from bufferStart to the record's kind word
  uint32_t size;      // data bytes behind the header
  uint32_t kind;      // kFsuipcReadKind or kFsuipcWriteKind
};

struct LinkState {
  platform::WindowHandle serverWindow = nullptr;
  uint8_t* bufferStart = nullptr;  // the link is open exactly when this is non-null
  uint8_t* next = nullptr;         // where the next record goes; bufferStart when nothing is queued
  uint32_t capacity = 0;           // usable bytes of the buffer
  uint32_t serverVersion = 0;
  uint32_t simulatorVersion = 0;
  bool linkUsable = false;
  uint32_t recordCount = 0;  // records queued since the last Process
  QueuedRecord records[kMaxRecords]{};
};

constinit LinkState gLink;
uint8_t gRequestBuffer[kFsuipcBufferBytes];

void SetError(uint32_t* error, uint32_t code) {
  if (error != nullptr) *error = code;
}

void StoreU32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, sizeof value); }

uint32_t LoadU32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

uint32_t QueuedBytes() { return static_cast<uint32_t>(gLink.next - gLink.bufferStart); }

// Whether a record with `headerBytes` and `size` data bytes, followed by the end marker, still fits.
// Summed in 64 bits so that a size near 2^32 cannot wrap into a small number.
bool Fits(uint32_t headerBytes, uint32_t size) {
  const uint64_t needed = uint64_t{QueuedBytes()} + headerBytes + size + kFsuipcEndMarkerBytes;
  return needed <= gLink.capacity && gLink.recordCount < kMaxRecords;
}

void RememberRecord(uint32_t kind, uint32_t size, void* destination) {
  gLink.records[gLink.recordCount++] = QueuedRecord{destination, QueuedBytes(), size, kind};
}

// Copies the answers of the `count` records just sent in a block of `length` bytes. The walk follows the
// client's own table: a record whose kind or size word the server changed ends it there (its kind word is
// zeroed, as for an unknown kind), and the records before it keep their answers.
void DeliverAnswers(uint32_t length, uint32_t count) {
  uint8_t* const block = gLink.bufferStart;
  for (uint32_t i = 0; i < count; ++i) {
    const QueuedRecord& record = gLink.records[i];
    uint8_t* const at = block + record.position;
    const uint32_t kind = LoadU32(at);
    if (kind == 0) return;
    const uint32_t headerBytes = record.kind == kFsuipcReadKind ? kFsuipcReadHeaderBytes : kFsuipcWriteHeaderBytes;
    const bool intact = kind == record.kind && LoadU32(at + 8) == record.size &&
                        uint64_t{record.position} + headerBytes + record.size <= length;
    if (!intact) {
      StoreU32(at, 0);
      return;
    }
    if (kind == kFsuipcReadKind && record.destination != nullptr && record.size != 0)
      std::memcpy(record.destination, at + kFsuipcReadHeaderBytes, record.size);
  }
}

}  // namespace

namespace fsuipc {

bool Open(uint32_t requiredSimulator, uint32_t* error, uint8_t* buffer, uint32_t bufferSize) {
  if (gLink.bufferStart != nullptr) {
    SetError(error, FsuipcErrAlreadyOpen);
    return false;
  }
  if (buffer == nullptr || bufferSize < kMinBufferBytes) {
    SetError(error, FsuipcErrBuffer);
    return false;
  }
  gLink.serverVersion = 0;
  gLink.simulatorVersion = 0;
  platform::WindowHandle window = platform::FindServerWindow(kFsuipcWindowClass);
  if (window == nullptr) {
    SetError(error, FsuipcErrNoServer);
    return false;
  }
  gLink.serverWindow = window;
  gLink.capacity = std::min(bufferSize, kFsuipcMaxCapacity);
  gLink.bufferStart = gLink.next = buffer;
  gLink.recordCount = 0;

  uint32_t step = FsuipcOk;
  const uint16_t clientVersion = kClientVersion;
  if (!Read(kServerVersionOffset, 4, &gLink.serverVersion, &step) ||
      !Read(kSimulatorOffset, 4, &gLink.simulatorVersion, &step) ||
      !Write(kClientVersionOffset, 2, &clientVersion, &step) || !Process(&step)) {
    Close();
    SetError(error, step);
    return false;
  }
  if (gLink.serverVersion < kMinServerVersion || (gLink.simulatorVersion & kSimulatorMarkMask) != kSimulatorMark) {
    Close();
    SetError(error, FsuipcErrVersion);
    return false;
  }
  gLink.simulatorVersion &= 0xFFFF;
  if (requiredSimulator != 0 && requiredSimulator != gLink.simulatorVersion) {
    Close();
    SetError(error, FsuipcErrWrongSimulator);
    return false;
  }
  SetError(error, FsuipcOk);
  return true;
}

void Close() {
  gLink.serverWindow = nullptr;
  gLink.bufferStart = nullptr;
  gLink.next = nullptr;
  gLink.recordCount = 0;
}

bool Read(uint32_t offset, uint32_t size, void* destination, uint32_t* error) {
  if (gLink.bufferStart == nullptr) {
    SetError(error, FsuipcErrNotOpen);
    return false;
  }
  if (!Fits(kFsuipcReadHeaderBytes, size)) {
    SetError(error, FsuipcErrNoRoom);
    return false;
  }
  uint8_t* const at = gLink.next;
  StoreU32(at, kFsuipcReadKind);
  StoreU32(at + 4, offset);
  StoreU32(at + 8, size);
  // Informational only: on 64-bit targets an address does not fit, and answers never come from here.
  StoreU32(at + 12, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(destination)));
  if (size > 0) std::memset(at + kFsuipcReadHeaderBytes, 0, size);
  RememberRecord(kFsuipcReadKind, size, destination);
  gLink.next += kFsuipcReadHeaderBytes + size;
  SetError(error, FsuipcOk);
  return true;
}

bool Write(uint32_t offset, uint32_t size, const void* source, uint32_t* error) {
  if (gLink.bufferStart == nullptr) {
    SetError(error, FsuipcErrNotOpen);
    return false;
  }
  // A write without its bytes cannot be built; refuse it rather than read through a null pointer.
  if (source == nullptr && size > 0) {
    SetError(error, FsuipcErrBuffer);
    return false;
  }
  if (!Fits(kFsuipcWriteHeaderBytes, size)) {
    SetError(error, FsuipcErrNoRoom);
    return false;
  }
  uint8_t* const at = gLink.next;
  StoreU32(at, kFsuipcWriteKind);
  StoreU32(at + 4, offset);
  StoreU32(at + 8, size);
  if (size > 0) std::memcpy(at + kFsuipcWriteHeaderBytes, source, size);
  RememberRecord(kFsuipcWriteKind, size, nullptr);
  gLink.next += kFsuipcWriteHeaderBytes + size;
  SetError(error, FsuipcOk);
  return true;
}

bool Process(uint32_t* error) {
  if (gLink.bufferStart == nullptr) {
    SetError(error, FsuipcErrNotOpen);
    return false;
  }
  if (gLink.next == gLink.bufferStart) {
    SetError(error, FsuipcErrNothingQueued);
    return false;
  }
  const uint32_t length = QueuedBytes();
  const uint32_t count = gLink.recordCount;
  StoreU32(gLink.next, 0);  // end marker, not counted in the length
  const uintptr_t answer = platform::SendServerMessage(gLink.serverWindow, kFsuipcMessage, length,
                                                       reinterpret_cast<intptr_t>(gLink.bufferStart));
  // The records are spent whatever the answer.
  gLink.next = gLink.bufferStart;
  gLink.recordCount = 0;
  if (answer != 1) {
    SetError(error, FsuipcErrServerRefused);
    return false;
  }
  DeliverAnswers(length, count);
  SetError(error, FsuipcOk);
  return true;
}

bool IsOpen() { return gLink.bufferStart != nullptr; }
uint32_t Capacity() { return gLink.bufferStart != nullptr ? gLink.capacity : 0; }
uint32_t ServerVersion() { return gLink.serverVersion; }
uint32_t SimulatorVersion() { return gLink.simulatorVersion; }

}  // namespace fsuipc

bool IsLinked() { return gLink.linkUsable; }

bool QueueRead(uint32_t offset, uint32_t size, void* destination) {
  if (!gLink.linkUsable) return false;
  uint32_t error;
  gLink.linkUsable = fsuipc::Read(offset, size, destination, &error);
  return gLink.linkUsable;
}

bool QueueWrite(uint32_t offset, uint32_t size, const void* source) {
  if (!gLink.linkUsable) return false;
  uint32_t error;
  gLink.linkUsable = fsuipc::Write(offset, size, source, &error);
  return gLink.linkUsable;
}

bool ProcessQueue() {
  if (!gLink.linkUsable) return false;
  uint32_t error;
  gLink.linkUsable = fsuipc::Process(&error);
  return gLink.linkUsable;
}

void OpenLinkAtLoad() {
  uint32_t error;
  gLink.linkUsable = fsuipc::Open(0, &error, gRequestBuffer, kFsuipcBufferBytes);
}

void CloseLinkAtUnload() {
  if (!gLink.linkUsable) return;
  fsuipc::Close();
  gLink.linkUsable = false;  // a closed link is not usable; later calls fail quietly instead of with 9
}

namespace fsuipc::testing {

void Reset() {
  Close();
  gLink.capacity = 0;
  gLink.serverVersion = 0;
  gLink.simulatorVersion = 0;
  gLink.linkUsable = false;
  std::memset(gRequestBuffer, 0, sizeof gRequestBuffer);
}

}  // namespace fsuipc::testing

}  // namespace kvr
