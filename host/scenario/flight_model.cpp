#include "host/scenario/flight_model.h"

#include <algorithm>
#include <cmath>

namespace kvr::host {

RateStep StepRate(double rate, double target, double changePerS, double dtS) {
  const double gap = target - rate;
  const double maxChange = changePerS * dtS;
  if (std::abs(gap) <= maxChange) {
    // Reaches the target after gap / changePerS seconds, then holds it.
    const double reachS = changePerS > 0 ? std::abs(gap) / changePerS : 0.0;
    const double mean = dtS > 0 ? ((rate + target) * 0.5 * reachS + target * (dtS - reachS)) / dtS : target;
    return {target, mean};
  }
  const double end = rate + std::copysign(maxChange, gap);
  return {end, 0.5 * (rate + end)};
}

AircraftModel::AircraftModel(const AircraftState& start, std::vector<ManoeuvreSpec> manoeuvres)
    : state_(start),
      manoeuvres_(std::move(manoeuvres)),
      vsTargetFpm_(start.verticalSpeedFpm),
      headingTargetDeg_(start.headingDeg),
      speedTargetKt_(start.groundSpeedKt) {
  state_.headingDeg = NormaliseHeadingDeg(state_.headingDeg);
}

void AircraftModel::TakeManoeuvres(double timeS) {
  // A small allowance so that a manoeuvre at a frame's time is taken on that frame despite rounding.
  while (nextManoeuvre_ < manoeuvres_.size() && manoeuvres_[nextManoeuvre_].timeS <= timeS + 1e-9) {
    const ManoeuvreSpec& m = manoeuvres_[nextManoeuvre_++];
    if (m.verticalSpeedFpm) {
      vsTargetFpm_ = *m.verticalSpeedFpm;
      vsAccelerationG_ = m.verticalAccelerationG;
    }
    if (m.headingDeg) {
      headingTargetDeg_ = NormaliseHeadingDeg(*m.headingDeg);
      turnRateDegS_ = m.turnRateDegS;
      turn_ = m.turn;
    }
    if (m.groundSpeedKt) {
      speedTargetKt_ = *m.groundSpeedKt;
      accelerationKtS_ = m.accelerationKtS;
    }
  }
}

void AircraftModel::Step(double startS, double dtS, const std::optional<VerticalCommand>& command) {
  TakeManoeuvres(startS);
  if (dtS <= 0) return;

  // Vertical: toward the commanded or planned rate.
  const VerticalCommand vertical = command.value_or(VerticalCommand{vsTargetFpm_, vsAccelerationG_});
  const RateStep vs = StepRate(state_.verticalSpeedFpm, vertical.targetFpm, FpmPerSecondFromG(vertical.accelerationG), dtS);
  state_.verticalSpeedFpm = vs.end;
  state_.altitudeFt += vs.mean * dtS / 60.0;

  // Heading: the turn left to go, in the direction asked (the shorter way unless told).
  double toGo = NormaliseHeadingDeg(headingTargetDeg_ - state_.headingDeg);  // [0, 360): clockwise
  if (toGo != 0.0) {
    if (turn_ == TurnDirection::Left || (turn_ == TurnDirection::Shortest && toGo > 180.0)) toGo -= 360.0;
  }
  const double turn = std::clamp(toGo, -turnRateDegS_ * dtS, turnRateDegS_ * dtS);
  const double midHeadingDeg = state_.headingDeg + 0.5 * turn;
  state_.headingDeg = NormaliseHeadingDeg(state_.headingDeg + turn);
  if (std::abs(toGo - turn) < 1e-9) state_.headingDeg = headingTargetDeg_;

  // Speed, then position along the mean heading at the mean speed.
  const RateStep speed = StepRate(state_.groundSpeedKt, speedTargetKt_, accelerationKtS_, dtS);
  state_.groundSpeedKt = speed.end;
  const double distanceM = speed.mean * kMetresPerSecondPerKnot * dtS;
  state_.position.eastM += distanceM * std::sin(Radians(midHeadingDeg));
  state_.position.northM += distanceM * std::cos(Radians(midHeadingDeg));
}

void AircraftModel::Displace(double eastM, double northM, double climbFt) {
  state_.position.eastM += eastM;
  state_.position.northM += northM;
  state_.altitudeFt += climbFt;
}

}  // namespace kvr::host
