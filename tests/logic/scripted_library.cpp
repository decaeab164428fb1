#include "tests/logic/scripted_library.h"

#include <algorithm>

namespace kvr::scripted {

Library library;

int Library::Count(const std::string& call) const {
  return static_cast<int>(std::count_if(
      calls.begin(), calls.end(), [&](const std::string& c) { return c == call || c.rfind(call + ":", 0) == 0; }));
}

IntruderEntry Entry(uint32_t priority, float rangeNm, float relativeAltitudeFt, ThreatClass threat, bool valid) {
  IntruderEntry e{};
  e.status = MakeStatus(priority, 0, threat);
  e.rangeNm = rangeNm;
  e.relativeAltitudeFt = relativeAltitudeFt;
  e.valid = valid ? 1 : 0;
  return e;
}

}  // namespace kvr::scripted

using kvr::scripted::library;

extern "C" {

kvr::AvertineHandle AvertineCreate(int32_t capabilities) {
  library.calls.push_back("1");
  return capabilities == 3 ? reinterpret_cast<kvr::AvertineHandle>(&library) : nullptr;
}

int32_t AvertineDestroy(kvr::AvertineHandle) {
  library.calls.push_back("2");
  return 1;
}

int32_t AvertineResetAdvisory(kvr::AvertineHandle, kvr::AdvisoryRecord* advisory, int32_t) {
  library.calls.push_back("3");
  advisory->auralCode = 0;
  advisory->modeStatus = static_cast<int32_t>(kvr::OperatingMode::Standby);
  return 1;
}

int32_t AvertineCollectAdvisory(kvr::AvertineHandle, kvr::AdvisoryRecord* advisory, int32_t) {
  library.calls.push_back("8");
  advisory->auralCode = library.nextAuralCode;
  library.nextAuralCode = 0;
  return 1;
}

int32_t AvertineUpdateOwnShip(kvr::AvertineHandle, const kvr::OwnShipRecord* ownShip) {
  library.calls.push_back("12");
  library.lastOwnShip = *ownShip;
  return 1;
}

int32_t AvertineProcessIntruder(kvr::AvertineHandle, const kvr::IntruderInputRecord* intruder,
                                kvr::IntruderEntry* entry) {
  library.calls.push_back("13:" + std::to_string(intruder->id));
  library.intruders.push_back(*intruder);
  auto it = library.entries.find(intruder->id);
  if (it == library.entries.end()) return 0;
  const uint32_t id = entry->id;
  *entry = it->second;
  entry->id = id;
  return entry->valid;
}

int32_t AvertineDefaultOwnShip(kvr::OwnShipRecord* ownShip) {
  library.calls.push_back("14");
  *ownShip = {};
  ownShip->mode = library.defaultMode;
  return 1;
}

int32_t AvertineDefaultIntruderInput(kvr::IntruderInputRecord* intruder) {
  library.calls.push_back("15");
  *intruder = {};
  return 1;
}

int32_t AvertineLatestAdvisory(kvr::AvertineHandle, kvr::LatestAdvisory*) { return 0; }

}  // extern "C"
