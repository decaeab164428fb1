// The traffic picture's life and the parts of the traffic frame that both feeds share: the own-ship
// record, the Standby reset, one intruder fed to the library, the aural message, the counts and the
// display order.
#include <cmath>
#include <new>

#include "module/gauge/gauge.h"
#include "module/link/fsuipc.h"
#include "module/logic/traffic_frame.h"
#include "module/sound/sound.h"

namespace kvr {

namespace {

constexpr int32_t kCreateCapabilities = 3;
constexpr float kLowHeightFt = 3000.0f;   // the library is told when the radio altitude is below this
constexpr float kSilentBelowFt = 500.0f;  // no message is started at or below this radio altitude

// The intruder record's fixed fields.
constexpr int32_t kAltitudeReporting = 1;
constexpr int32_t kTransponderKind = 3;
constexpr int32_t kCoordinationSense = 0;

constexpr uint32_t kPauseOffset = 0x0264;

uint32_t Priority(const IntruderEntry* e) { return StatusPriority(e->status); }

// Paint order: lower priority first; within a priority the farther first; then the smaller height
// difference first. Entries equal on all three keep their table order (the sort is stable).
bool PaintsBefore(const IntruderEntry* a, const IntruderEntry* b) {
  if (Priority(a) != Priority(b)) return Priority(a) < Priority(b);
  if (a->rangeNm != b->rangeNm) return a->rangeNm > b->rangeNm;
  return std::fabs(a->relativeAltitudeFt) < std::fabs(b->relativeAltitudeFt);
}

// A stable insertion sort in place: the list is rebuilt in table order every frame and holds at most a few
// hundred pointers, and unlike std::stable_sort it never asks for a buffer, so a frame allocates nothing.
// An entry moves only past entries it strictly paints before, which keeps equal entries in table order.
void SortPaintOrder(IntruderEntry** order, int32_t count) {
  for (int32_t i = 1; i < count; ++i) {
    IntruderEntry* const moving = order[i];
    int32_t j = i;
    for (; j > 0 && PaintsBefore(moving, order[j - 1]); --j) order[j] = order[j - 1];
    order[j] = moving;
  }
}

}  // namespace

bool ReadFsuipcPause() {
  uint16_t pause = 0;
  if (QueueRead(kPauseOffset, sizeof pause, &pause)) ProcessQueue();
  return pause != 0;
}

TrafficSource::TrafficSource() {
  logicHandle = AvertineCreate(kCreateCapabilities);
  AvertineDefaultOwnShip(&ownShipInput);
  AvertineDefaultIntruderInput(&intruderInput);
  intruderInput.altitudeReporting = kAltitudeReporting;
  intruderInput.transponderKind = kTransponderKind;
  intruderInput.coordinationSense = kCoordinationSense;
  advisory.auralCode = 0;
  advisory.advisoryTag = &advisoryTagArea_;
  advisory.vsLowerLimitFpm = kNoLowerLimitFpm;
  advisory.vsUpperLimitFpm = kNoUpperLimitFpm;
  advisory.vsTargetFpm = kNoTargetFpm;
  advisory.modeStatus = static_cast<int32_t>(OperatingMode::Standby);
}

TrafficSource::~TrafficSource() {
  AvertineDestroy(logicHandle);
  delete[] intruderOrder;
  delete[] entries_;
  intruderOrder = nullptr;
  entries_ = nullptr;
  if (logicCell == this) {
    logicCell = nullptr;
    WithdrawVariable(kLogicVariableName);
  }
}

bool TrafficSource::AllocateTables(int32_t positions) {
  entries_ = new (std::nothrow) IntruderEntry[positions]{};
  intruderOrder = new (std::nothrow) IntruderEntry* [positions] {};
  if (entries_ == nullptr || intruderOrder == nullptr) {
    delete[] entries_;
    delete[] intruderOrder;
    entries_ = nullptr;
    intruderOrder = nullptr;
    tablePositions_ = 0;
    return false;
  }
  tablePositions_ = positions;
  return true;
}

bool TrafficSource::BeginFrame(float latitudeDeg, float longitudeDeg, float, float pressureAltitudeFt,
                               float radioAltitudeFt, float headingDeg, OperatingMode mode, bool slew) {
  ownPressureAltitudeFt = pressureAltitudeFt;
  ownShipInput.pressureAltitudeFt = pressureAltitudeFt;
  ownShipInput.radioAltitudeFt = radioAltitudeFt;
  ownShipInput.lowHeight = radioAltitudeFt < kLowHeightFt ? 1 : 0;
  ownShipInput.groundLevelFt = pressureAltitudeFt - radioAltitudeFt;
  ownShipInput.slew = slew ? 1 : 0;
  ownShipInput.latitudeDeg = latitudeDeg;
  ownShipInput.longitudeDeg = longitudeDeg;
  ownShipInput.headingDeg = headingDeg;
  const int32_t previousMode = ownShipInput.mode;
  ownShipInput.mode = static_cast<int32_t>(mode);

  if (mode == OperatingMode::Standby) {
    if (previousMode != static_cast<int32_t>(OperatingMode::Standby)) AvertineResetAdvisory(logicHandle, &advisory, 0);
    taCount = raCount = intruderCount = 0;
    return false;
  }
  AvertineUpdateOwnShip(logicHandle, &ownShipInput);
  return true;
}

void TrafficSource::FeedCandidate(int32_t position, const Candidate& candidate, double pressureMinusTrueFt) {
  IntruderEntry* entry = &entries_[position];
  intruderOrder[position] = entry;
  entry->id = 0;
  entry->valid = 0;
  if (!candidate.present) return;
  intruderInput.id = candidate.id;
  intruderInput.address = candidate.id;
  intruderInput.latitudeDeg = candidate.latitudeDeg;
  intruderInput.longitudeDeg = candidate.longitudeDeg;
  intruderInput.altitudeFt = static_cast<float>(candidate.altitudeFt + pressureMinusTrueFt);
  entry->id = candidate.id;
  AvertineProcessIntruder(logicHandle, &intruderInput, entry);
}

void TrafficSource::FinishFrame(float radioAltitudeFt) {
  AvertineCollectAdvisory(logicHandle, &advisory, 0);
  if (radioAltitudeFt > kSilentBelowFt && advisory.auralCode != 0) Announce(advisory.auralCode);

  taCount = raCount = 0;
  for (int32_t i = 0; i < intruderCount; ++i) {
    const IntruderEntry& e = entries_[i];
    if (e.id == 0 || e.valid == 0) continue;
    const ThreatClass threat = StatusThreatClass(e.status);
    if (threat == ThreatClass::ResolutionAdvisory) ++raCount;
    if (threat == ThreatClass::TrafficAdvisory) ++taCount;
  }
  SortPaintOrder(intruderOrder, intruderCount);
}

}  // namespace kvr
