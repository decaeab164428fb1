// A scripted stand-in for the collision-avoidance library, linked into the logic tests in place of
// Avertine: it records every call in order and fills entries and advisories from a script, so that a
// test can place intruders with exact keys.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "avertine/avertine.h"

namespace kvr::scripted {

struct Library {
  std::vector<std::string> calls;             // "1", "14", "15", "12", "13:<id>", "8", "3", "2"
  std::map<uint32_t, IntruderEntry> entries;  // what ordinal 13 writes for an id (id field ignored)
  int32_t nextAuralCode = 0;                  // written by the next ordinal 8, then cleared
  OwnShipRecord lastOwnShip{};
  std::vector<IntruderInputRecord> intruders;                          // every intruder record fed, in order
  int32_t defaultMode = static_cast<int32_t>(OperatingMode::Standby);  // what ordinal 14 puts in `mode`

  int Count(const std::string& call) const;
  void Clear() { *this = Library{}; }
};

extern Library library;

// An entry as the library would fill it.
IntruderEntry Entry(uint32_t priority, float rangeNm, float relativeAltitudeFt,
                    ThreatClass threat = ThreatClass::OtherTraffic, bool valid = true);

}  // namespace kvr::scripted
