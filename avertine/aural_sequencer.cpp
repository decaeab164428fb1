// Aural message selection.
#include "avertine/aural_sequencer.h"

namespace avertine {

kvr::AuralCode AuralSequencer::AdvisoryMessage(const Advisory& advisory) {
  using kvr::AuralCode;
  const bool up = advisory.sense == Sense::Up;
  switch (advisory.strength) {
    case Strength::Monitor: return AuralCode::MonitorVerticalSpeed;
    case Strength::Adjust: return AuralCode::AdjustVerticalSpeed;
    case Strength::Maintain:
      return advisory.crossing ? AuralCode::MaintainVerticalSpeedCrossing : AuralCode::MaintainVerticalSpeed;
    case Strength::Corrective:
      if (advisory.crossing) return up ? AuralCode::ClimbCrossing : AuralCode::DescendCrossing;
      return up ? AuralCode::Climb : AuralCode::Descend;
    case Strength::Increase: return up ? AuralCode::IncreaseClimb : AuralCode::IncreaseDescent;
    case Strength::None: break;
  }
  return AuralCode::None;
}

kvr::AuralCode AuralSequencer::Decide(AdvisoryEvent event, const Advisory& advisory,
                                      int trafficAdvisoriesBefore) const {
  using kvr::AuralCode;
  switch (event) {
    case AdvisoryEvent::Started:
    case AdvisoryEvent::Strengthened:
    case AdvisoryEvent::Weakened: return AdvisoryMessage(advisory);
    case AdvisoryEvent::Reversed:
      // Below the descend inhibit a climb reverses into a level-off, announced as the adjustment it asks.
      if (advisory.strength == Strength::Monitor || advisory.strength == Strength::Adjust)
        return AdvisoryMessage(advisory);
      return advisory.sense == Sense::Up ? AuralCode::ClimbNow : AuralCode::DescendNow;
    case AdvisoryEvent::Cleared: return AuralCode::ClearOfConflict;
    case AdvisoryEvent::Withdrawn:
    case AdvisoryEvent::None: break;
  }
  // Traffic messages only while no resolution advisory is posted.
  if (newTrafficAdvisory_ && !advisory.active) {
    return trafficAdvisoriesBefore > 0 ? AuralCode::Traffic : AuralCode::TrafficTraffic;
  }
  return AuralCode::None;
}

}  // namespace avertine
