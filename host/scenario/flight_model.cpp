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

namespace {

AircraftState StateOf(const TrackPoint& p) {
  AircraftState s;
  s.position = p.position;
  s.altitudeFt = p.altitudeFt;
  s.headingDeg = p.trackDeg;
  s.groundSpeedKt = p.groundSpeedKt;
  s.verticalSpeedFpm = p.verticalSpeedFpm;
  return s;
}

// Within this of the track's altitude and rate an aircraft returning to its track is back on it.
constexpr double kCaptureFt = 10.0;
constexpr double kCaptureFpm = 200.0;
// Near the track the return rate shrinks in proportion to what is left, closing it in about this time.
constexpr double kCaptureTimeS = 6.0;
// The return is flown with the standard gentle acceleration.
constexpr double kReturnAccelerationG = 0.25;

}  // namespace

AircraftModel::AircraftModel(std::shared_ptr<const Track> track, double returnFpm)
    : AircraftModel(StateOf(track->At(0.0)), {}) {
  track_ = std::move(track);
  returnFpm_ = returnFpm;
}

double AircraftModel::ReturnRateFpm(double trackAltitudeFt, double trackRateFpm) const {
  const double gapFt = trackAltitudeFt - state_.altitudeFt;
  return trackRateFpm + std::clamp(gapFt * 60.0 / kCaptureTimeS, -returnFpm_, returnFpm_);
}

VerticalCommand AircraftModel::PlannedVertical() const {
  if (!track_) return {vsTargetFpm_, vsAccelerationG_};
  const TrackPoint p = track_->At(timeS_);
  if (!offTrack_) return {p.verticalSpeedFpm, kReturnAccelerationG};
  return {ReturnRateFpm(p.altitudeFt, p.verticalSpeedFpm), kReturnAccelerationG};
}

void AircraftModel::StepOnTrack(double startS, double dtS, const std::optional<VerticalCommand>& command) {
  const double endS = startS + dtS;
  const TrackPoint p = track_->At(endS);
  const double altitudeFt = state_.altitudeFt, rateFpm = state_.verticalSpeedFpm;
  state_ = StateOf(p);
  timeS_ = endS;
  if (!command && !offTrack_) return;
  // Off the track: the vertical path is flown from the rate toward the command, or back to the track.
  state_.altitudeFt = altitudeFt;
  state_.verticalSpeedFpm = rateFpm;
  if (command) offTrack_ = true;
  const TrackPoint from = track_->At(startS);
  const VerticalCommand vertical =
      command.value_or(VerticalCommand{ReturnRateFpm(from.altitudeFt, from.verticalSpeedFpm), kReturnAccelerationG});
  const RateStep vs = StepRate(rateFpm, vertical.targetFpm, FpmPerSecondFromG(vertical.accelerationG), dtS);
  state_.verticalSpeedFpm = vs.end;
  state_.altitudeFt += vs.mean * dtS / 60.0;
  if (!command && std::abs(state_.altitudeFt - p.altitudeFt) < kCaptureFt &&
      std::abs(state_.verticalSpeedFpm - p.verticalSpeedFpm) < kCaptureFpm) {
    offTrack_ = false;
    state_.altitudeFt = p.altitudeFt;
    state_.verticalSpeedFpm = p.verticalSpeedFpm;
  }
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
  if (track_) {
    if (dtS > 0) StepOnTrack(startS, dtS, command);
    return;
  }
  TakeManoeuvres(startS);
  if (dtS <= 0) return;

  // Vertical: toward the commanded or planned rate.
  const VerticalCommand vertical = command.value_or(VerticalCommand{vsTargetFpm_, vsAccelerationG_});
  const RateStep vs =
      StepRate(state_.verticalSpeedFpm, vertical.targetFpm, FpmPerSecondFromG(vertical.accelerationG), dtS);
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
