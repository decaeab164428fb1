// The FSUIPC feed: the traffic table header and slot records from 0xF000, the slew word at 0x05DC, the
// pause word at 0x0264, all through the module's one FSUIPC link.
#include <cstring>

#include "module/link/fsuipc.h"
#include "module/logic/traffic_frame.h"

namespace kvr {

namespace {

constexpr uint32_t kHeaderOffset = 0xF000;
constexpr uint32_t kSlotBlockOffset = 0xF008;  // the 120-byte preamble, then the slots from 0xF080
constexpr uint32_t kSlewOffset = 0x05DC;
constexpr char kMissingName[] = "FSUIPC";

struct TableHeader {
  uint16_t slotSize;      // bytes per slot record
  uint16_t slotCapacity;  // slots in the table
  uint16_t slotsInUse;    // slots to scan, from the first
  uint16_t unused;
};

template <typename T>
T LoadAt(const uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

}  // namespace

FsuipcTrafficSource::FsuipcTrafficSource() = default;
FsuipcTrafficSource::~FsuipcTrafficSource() = default;

bool FsuipcTrafficSource::IsPaused() { return ReadFsuipcPause(); }

bool FsuipcTrafficSource::CheckAvailable(const char** missingName) {
  if (IsLinked()) return true;
  if (missingName != nullptr) *missingName = kMissingName;
  return false;
}

bool FsuipcTrafficSource::IsAvailable() { return IsLinked(); }

bool FsuipcTrafficSource::Update(float latitudeDeg, float longitudeDeg, float trueAltitudeFt, float pressureAltitudeFt,
                                 float radioAltitudeFt, float headingDeg, OperatingMode mode) {
  if (!IsLinked()) return false;
  // The header and the slew word travel in one exchange.
  uint16_t slew = 0;
  if (QueueRead(kHeaderOffset, kHeaderBytes, buffer_) && QueueRead(kSlewOffset, sizeof slew, &slew)) ProcessQueue();
  const TableHeader header = LoadAt<TableHeader>(buffer_);
  if (!IsLinked() || header.slotSize == 0 || header.slotCapacity == 0) return false;
  if (TablePositions() == 0 && !AllocateTables(header.slotCapacity)) return false;

  // Positions scanned: what the server says is in use, but never more than the tables sized at the first
  // usable header hold, nor more slots than fit in the buffer behind the header and the preamble.
  const uint32_t fitInBuffer = (kBufferBytes - kHeaderBytes - kPreambleBytes) / header.slotSize;
  uint32_t positions = header.slotsInUse;
  if (positions > static_cast<uint32_t>(TablePositions())) positions = static_cast<uint32_t>(TablePositions());
  if (positions > fitInBuffer) positions = fitInBuffer;
  intruderCount = static_cast<int32_t>(positions);

  uint8_t* const slots = buffer_ + kHeaderBytes + kPreambleBytes;
  const uint32_t slotSize = header.slotSize;
  auto fetchSlots = [&] {
    // A failed exchange leaves the previous frame's slots (or zeros) in the buffer; they are used as they are.
    if (QueueRead(kSlotBlockOffset, slotSize * positions + kPreambleBytes, buffer_ + kHeaderBytes)) ProcessQueue();
  };
  auto candidateAt = [&](int32_t i) {
    Candidate c;
    const uint8_t* slot = slots + static_cast<size_t>(i) * slotSize;
    // A slot record shorter than its four fields cannot be read as one.
    c.id = slotSize >= 16 ? LoadAt<uint32_t>(slot) : 0;
    if (c.id == 0) return c;
    c.present = true;
    c.latitudeDeg = LoadAt<float>(slot + 4);
    c.longitudeDeg = LoadAt<float>(slot + 8);
    c.altitudeFt = LoadAt<float>(slot + 12);
    return c;
  };
  return RunFrame(latitudeDeg, longitudeDeg, trueAltitudeFt, pressureAltitudeFt, radioAltitudeFt, headingDeg, mode,
                  slew != 0, fetchSlots, candidateAt);
}

}  // namespace kvr
