#include "host/scenario/pilot.h"

#include <algorithm>
#include <cmath>

namespace kvr::host {
namespace {

// The least rate an upward advisory asks for, or the most a downward one allows; nothing for none.
std::optional<float> RequiredRate(const AdvisoryReading& r, AdvisorySenseWord sense) {
  if (sense == AdvisorySenseWord::Up) return r.lowerFpm;
  if (sense == AdvisorySenseWord::Down) return r.upperFpm;
  return std::nullopt;
}

}  // namespace

PilotReaction Pilot::Classify(const AdvisoryReading& before, const AdvisoryReading& after) {
  if (!after.Active()) return before.Active() ? PilotReaction::ClearOfConflict : PilotReaction::None;
  if (!before.Active()) return PilotReaction::Initial;
  const AdvisorySenseWord was = SenseOf(before), now = SenseOf(after);
  if (was != AdvisorySenseWord::None && now != AdvisorySenseWord::None && was != now) return PilotReaction::Reversal;
  const std::optional<float> oldRate = RequiredRate(before, was), newRate = RequiredRate(after, now);
  if (was == now && oldRate && newRate) {
    const bool stronger = now == AdvisorySenseWord::Up ? *newRate > *oldRate : *newRate < *oldRate;
    if (stronger) return PilotReaction::Increase;
  }
  return PilotReaction::Weakening;
}

void Pilot::Observe(double timeS, const AdvisoryReading& shown) {
  if (shown == shown_) return;
  const PilotReaction reaction = Classify(shown_, shown);
  shown_ = shown;
  lastReaction_ = reaction;
  if (reaction == PilotReaction::None) return;

  double delayS = spec_.subsequentDelayS;
  double accelerationG = spec_.initialAccelerationG;
  switch (reaction) {
    case PilotReaction::Initial: delayS = spec_.initialDelayS; break;
    case PilotReaction::Increase:
    case PilotReaction::Reversal: accelerationG = spec_.subsequentAccelerationG; break;
    default: break;
  }
  // An advisory that ends before the pilot began to fly it is simply not flown.
  if (reaction == PilotReaction::ClearOfConflict && !flying_) {
    pending_.reset();
    return;
  }
  double startS = timeS + delayS;
  if (pending_) startS = std::max(startS, pending_->startS);
  pending_ = Response{startS, shown, accelerationG};
}

std::optional<VerticalCommand> Pilot::Command(double timeS, const VerticalCommand& planned, double currentFpm) {
  if (pending_ && timeS + 1e-9 >= pending_->startS) {
    flying_ = pending_;
    pending_.reset();
  }
  if (!flying_) return std::nullopt;

  const AdvisoryReading& limits = flying_->limits;
  if (!limits.Active()) {
    // Back to the plan; once there, the plan flies again.
    if (std::abs(currentFpm - planned.targetFpm) < 1.0) {
      flying_.reset();
      return std::nullopt;
    }
    return VerticalCommand{planned.targetFpm, flying_->accelerationG};
  }
  double target = planned.targetFpm;
  if (limits.lowerFpm) target = std::max(target, static_cast<double>(*limits.lowerFpm));
  if (limits.upperFpm) target = std::min(target, static_cast<double>(*limits.upperFpm));
  return VerticalCommand{target, flying_->accelerationG};
}

}  // namespace kvr::host
