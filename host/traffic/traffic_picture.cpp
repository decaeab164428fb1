#include "host/traffic/traffic_picture.h"

namespace kvr::host {

namespace {
constexpr float kLimitBound = 9999.0f;
// The rates at which a climb or descent advisory becomes an increased one, ft/min.
constexpr float kIncreaseRateFpm = 2500.0f;
}  // namespace

std::optional<TrafficSnapshot> ReadTrafficPicture(const PanelServices& services) {
  const PublishedVariable* published = services.Find(kTrafficPictureName);
  if (published == nullptr || published->typeCode != kTypeObject || published->address == nullptr) return std::nullopt;
  const auto* view = *static_cast<const TrafficPictureView* const*>(published->address);
  if (view == nullptr) return std::nullopt;
  if (view->intruderCount < 0 || view->intruderCount > kMaxPicturePositions) return std::nullopt;
  if (view->intruderCount > 0 && view->intruderOrder == nullptr) return std::nullopt;

  TrafficSnapshot snapshot;
  snapshot.updateCount = view->updateCount;
  snapshot.taCount = view->taCount;
  snapshot.raCount = view->raCount;
  snapshot.advisory = view->advisory;
  snapshot.ownPressureAltitudeFt = view->ownPressureAltitudeFt;
  for (int32_t i = 0; i < view->intruderCount; ++i) {
    const IntruderEntry* entry = view->intruderOrder[i];
    if (entry == nullptr || entry->id == 0 || entry->valid == 0) continue;
    snapshot.intruders.push_back(*entry);
  }
  return snapshot;
}

AdvisoryReading ReadAdvisory(const AdvisoryRecord& advisory) {
  AdvisoryReading reading;
  const float lower = advisory.vsLowerLimitFpm;
  const float upper = advisory.vsUpperLimitFpm;
  const float target = advisory.vsTargetFpm;
  if (lower > -kLimitBound) reading.lowerFpm = lower;
  if (upper < kLimitBound) reading.upperFpm = upper;
  if (target > -kLimitBound && target < kLimitBound) reading.targetFpm = target;
  return reading;
}

AdvisorySenseWord SenseOf(const AdvisoryReading& r) {
  if (r.targetFpm) {
    if (r.lowerFpm && *r.targetFpm == *r.lowerFpm) return AdvisorySenseWord::Up;
    if (r.upperFpm && *r.targetFpm == *r.upperFpm) return AdvisorySenseWord::Down;
    return AdvisorySenseWord::None;
  }
  if (r.lowerFpm && !r.upperFpm) return AdvisorySenseWord::Up;
  if (r.upperFpm && !r.lowerFpm) return AdvisorySenseWord::Down;
  return AdvisorySenseWord::None;
}

const char* SenseName(AdvisorySenseWord sense) {
  switch (sense) {
    case AdvisorySenseWord::Up: return "up";
    case AdvisorySenseWord::Down: return "down";
    default: return "none";
  }
}

std::string AdvisoryWords(const AdvisoryReading& r) {
  if (!r.Active()) return "none";
  const AdvisorySenseWord sense = SenseOf(r);
  if (!r.targetFpm || sense == AdvisorySenseWord::None) return "monitor vertical speed";
  const float target = *r.targetFpm;
  // A target of 0 asks to fly level: a corrective level-off. A preventive "don't descend" or "don't
  // climb" shows its limit without a target and reads as "monitor vertical speed" above.
  if (target == 0) return "level off";
  if (sense == AdvisorySenseWord::Up) {
    if (target >= kIncreaseRateFpm) return "increase climb";
    if (target > 0) return "climb";
    return "limit descent";
  }
  if (target <= -kIncreaseRateFpm) return "increase descent";
  if (target < 0) return "descend";
  return "limit climb";
}

const char* ThreatClassName(ThreatClass threatClass) {
  switch (threatClass) {
    case ThreatClass::OtherTraffic: return "OtherTraffic";
    case ThreatClass::ProximateTraffic: return "ProximateTraffic";
    case ThreatClass::TrafficAdvisory: return "TrafficAdvisory";
    case ThreatClass::ResolutionAdvisory: return "ResolutionAdvisory";
  }
  return "Unknown";
}

}  // namespace kvr::host
