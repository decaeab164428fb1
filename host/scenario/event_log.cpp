#include "host/scenario/event_log.h"

#include <algorithm>
#include <iomanip>
#include <ostream>
#include <sstream>

namespace kvr::host {
namespace {

constexpr const char* kAuralNames[] = {
    "",                               // 0
    "Climb",                          // 1
    "Descend",                        // 2
    "ClimbCrossing",                  // 3
    "DescendCrossing",                // 4
    "AdjustVerticalSpeed",            // 5
    "ClimbNow",                       // 6
    "DescendNow",                     // 7
    "IncreaseClimb",                  // 8
    "IncreaseDescent",                // 9
    "MaintainVerticalSpeed",          // 10
    "MaintainVerticalSpeedCrossing",  // 11
    "MonitorVerticalSpeed",           // 12
    "ClearOfConflict",                // 13
    "TrafficTraffic",                 // 14
    "Traffic",                        // 15
    "TestPass",                       // 16
    "TestFail",                       // 17
};

// The intruder an advisory row speaks of: of the entries at TA or above, those that rose this frame
// first, then the highest class, then the last (topmost) in display order.
const IntruderEntry* MainThreat(const TrafficSnapshot& picture, const std::vector<uint32_t>& risen) {
  const IntruderEntry* best = nullptr;
  bool bestRisen = false;
  for (const IntruderEntry& entry : picture.intruders) {
    const ThreatClass c = StatusThreatClass(entry.status);
    if (c < ThreatClass::TrafficAdvisory) continue;
    const bool rose = std::find(risen.begin(), risen.end(), entry.id) != risen.end();
    if (best == nullptr || rose > bestRisen || (rose == bestRisen && c >= StatusThreatClass(best->status))) {
      best = &entry;
      bestRisen = rose;
    }
  }
  return best;
}

std::string Limit(const std::optional<float>& value) {
  if (!value) return "";
  std::ostringstream s;
  s << std::fixed << std::setprecision(0) << *value;
  return s.str();
}

}  // namespace

std::string AuralName(int32_t auralCode) {
  if (auralCode <= 0 || auralCode >= static_cast<int32_t>(std::size(kAuralNames))) return "";
  return kAuralNames[auralCode];
}

void EventLog::OnTrafficFrame(double timeS, const TrafficSnapshot& picture, double radioAltitudeFt) {
  const AdvisoryReading advisory = ReadAdvisory(picture.advisory);

  // Threat changes, in display order; an intruder first seen counts as coming from other traffic.
  std::map<uint32_t, Known> now;
  std::vector<uint32_t> risen;
  for (const IntruderEntry& entry : picture.intruders) {
    const ThreatClass c = StatusThreatClass(entry.status);
    now[entry.id] = {c, entry.rangeNm, entry.relativeAltitudeFt};
    const auto was = known_.find(entry.id);
    const ThreatClass before = was == known_.end() ? ThreatClass::OtherTraffic : was->second.threatClass;
    if (c == before) continue;
    if (c == ThreatClass::TrafficAdvisory && before < ThreatClass::TrafficAdvisory) ++trafficAdvisories_;
    if (c == ThreatClass::ResolutionAdvisory) ++resolutionAdvisories_;
    if (c > before) risen.push_back(entry.id);
    rows_.push_back(
        {timeS, "threat", entry.id, entry.rangeNm, entry.relativeAltitudeFt, ThreatClassName(c), advisory, ""});
  }
  for (const auto& [id, known] : known_) {
    if (now.count(id) != 0 || known.threatClass == ThreatClass::OtherTraffic) continue;
    rows_.push_back({timeS, "threat", id, known.rangeNm, known.relativeAltitudeFt, "Lost", advisory, ""});
  }
  known_ = std::move(now);

  // The advisory and its aural message.
  const bool changed = advisory != lastAdvisory_;
  const std::string aural = AuralName(picture.advisory.auralCode);
  if (changed || !aural.empty()) {
    EventRow row{timeS, changed ? "advisory" : "aural", 0, 0, 0, "", advisory, aural};
    if (!aural.empty() && radioAltitudeFt <= kVoiceMinimumRadioAltitudeFt) row.aural += " (silent)";
    if (const IntruderEntry* threat = MainThreat(picture, risen)) {
      row.intruderId = threat->id;
      row.rangeNm = threat->rangeNm;
      row.relativeAltitudeFt = threat->relativeAltitudeFt;
      row.threatClass = ThreatClassName(StatusThreatClass(threat->status));
    }
    rows_.push_back(std::move(row));
  }
  lastAdvisory_ = advisory;
}

void EventLog::OnLinkLost(double timeS, const std::string& cause) {
  rows_.push_back({timeS, "link-lost", 0, 0, 0, "", lastAdvisory_, ""});
  outages_.push_back({timeS, cause, std::nullopt, std::nullopt});
}

void EventLog::OnServerBack(double timeS) {
  rows_.push_back({timeS, "server-back", 0, 0, 0, "", lastAdvisory_, ""});
  if (!outages_.empty()) outages_.back().serverBackS = timeS;
}

void EventLog::OnLinkBack(double timeS) {
  rows_.push_back({timeS, "link-back", 0, 0, 0, "", lastAdvisory_, ""});
  if (!outages_.empty()) outages_.back().linkBackS = timeS;
}

void EventLog::OnSeparation(double timeS, uint32_t intruderId, const std::string& callsign, double rangeNm,
                            double verticalFt) {
  auto [it, added] = closestIndex_.try_emplace(intruderId, closest_.size());
  if (added) closest_.push_back({intruderId, callsign});
  ClosestApproach& c = closest_[it->second];
  if (rangeNm < c.rangeNm) {
    c.timeS = timeS;
    c.rangeNm = rangeNm;
    c.verticalFt = verticalFt;
  }
}

void EventLog::WriteCsv(std::ostream& out) const {
  out << "timeS,event,intruderId,rangeNm,relativeAltitudeFt,threatClass,sense,advisory,vsLowerLimitFpm,"
         "vsUpperLimitFpm,vsTargetFpm,aural\n";
  out << "[s],[none],[none],[NM],[ft],[none],[none],[none],[fpm],[fpm],[fpm],[none]\n";
  for (const EventRow& r : rows_) {
    out << std::fixed << std::setprecision(2) << r.timeS << ',' << r.event << ',' << r.intruderId << ','
        << std::setprecision(2) << r.rangeNm << ',' << std::setprecision(0) << r.relativeAltitudeFt << ','
        << r.threatClass << ',' << SenseName(SenseOf(r.advisory)) << ',' << AdvisoryWords(r.advisory) << ','
        << Limit(r.advisory.lowerFpm) << ',' << Limit(r.advisory.upperFpm) << ',' << Limit(r.advisory.targetFpm) << ','
        << r.aural << '\n';
  }
}

void EventLog::WriteSummary(std::ostream& out) const {
  out << "traffic advisories: " << trafficAdvisories_ << "\n";
  out << "resolution advisories: " << resolutionAdvisories_ << "\n";
  std::string heard;
  for (const EventRow& r : rows_) {
    if (r.aural.empty()) continue;
    std::ostringstream s;
    s << std::fixed << std::setprecision(1) << r.timeS << " s " << r.aural;
    heard += (heard.empty() ? "" : "; ") + s.str();
  }
  out << "aural messages: " << (heard.empty() ? "none" : heard) << "\n";
  for (const LinkOutage& o : outages_) {
    out << std::fixed << std::setprecision(1) << "FSUIPC link lost at " << o.lostS << " s (" << o.cause << ")";
    if (o.linkBackS) out << "; back at " << *o.linkBackS << " s";
    else if (o.serverBackS)
      out << "; the server was back at " << *o.serverBackS << " s, but the module did not use the link again";
    else out << "; not back by the end of the run";
    out << "\n";
  }
  out << "closest approach (horizontal), per intruder:\n";
  for (const ClosestApproach& c : closest_) {
    out << "  " << std::setw(6) << c.intruderId << " " << std::left << std::setw(10)
        << (c.callsign.empty() ? "-" : c.callsign) << std::right << std::fixed << std::setprecision(1) << " at "
        << std::setw(7) << c.timeS << " s: " << std::setprecision(2) << std::setw(6) << c.rangeNm << " NM, "
        << std::setprecision(0) << std::showpos << c.verticalFt << std::noshowpos << " ft vertical\n";
  }
}

}  // namespace kvr::host
