// One aircraft flown in the local flat-earth frame at a fixed step: heading, ground speed and vertical
// speed each move toward a target at a set rate (a turn rate, a horizontal acceleration, a vertical
// acceleration), and the position follows. Manoeuvres change the targets at their times; a pilot's vertical
// command overrides the planned vertical target while it lasts.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "host/scenario/scenario.h"
#include "host/scenario/track.h"
#include "host/traffic/geo.h"

namespace kvr::host {

struct AircraftState {
  LocalPosition position;  // metres from the frame's origin
  double altitudeFt = 0;   // true altitude, above mean sea level
  double headingDeg = 0;   // true track, [0, 360)
  double groundSpeedKt = 0;
  double verticalSpeedFpm = 0;
};

// A vertical speed to reach and the acceleration to reach it with.
struct VerticalCommand {
  double targetFpm = 0;
  double accelerationG = 0.25;
};

class AircraftModel {
 public:
  // `manoeuvres` sorted by time. Starts flying its state's own rates: no turn, no speed or rate change.
  AircraftModel(const AircraftState& start, std::vector<ManoeuvreSpec> manoeuvres);

  // An aircraft that follows `track`: horizontally always; vertically unless a command takes it off the
  // track, after which, once no command is given, it returns to the track's altitude at no more than
  // `returnFpm` relative to the track's own vertical rate, and follows the track again on reaching it.
  AircraftModel(std::shared_ptr<const Track> track, double returnFpm);

  const AircraftState& State() const { return state_; }
  bool FollowsTrack() const { return track_ != nullptr; }
  bool OffTrack() const { return offTrack_; }

  // Takes the manoeuvres due at `startS`, then flies `dtS` seconds. `command`, when given, replaces the
  // planned vertical target for this step.
  void Step(double startS, double dtS, const std::optional<VerticalCommand>& command = std::nullopt);

  // Moves the aircraft without flying (slew): metres east and north, feet up.
  void Displace(double eastM, double northM, double climbFt);

  // The vertical speed the plan asks for now, and how fast it is reached.
  VerticalCommand PlannedVertical() const;

 private:
  void TakeManoeuvres(double timeS);
  void StepOnTrack(double startS, double dtS, const std::optional<VerticalCommand>& command);
  double ReturnRateFpm(double trackAltitudeFt, double trackRateFpm) const;

  AircraftState state_;
  std::vector<ManoeuvreSpec> manoeuvres_;
  size_t nextManoeuvre_ = 0;
  double vsTargetFpm_;
  double vsAccelerationG_ = 0.25;
  double headingTargetDeg_;
  double turnRateDegS_ = 3.0;
  TurnDirection turn_ = TurnDirection::Shortest;
  double speedTargetKt_;
  double accelerationKtS_ = 2.0;
  std::shared_ptr<const Track> track_;
  double returnFpm_ = 1500;
  bool offTrack_ = false;
  double timeS_ = 0;  // of the state, for a track follower
};

// A rate moved toward its target by at most maxChange, and the mean of the rate over the step (the rate
// changes evenly until it reaches the target, then holds).
struct RateStep {
  double end;
  double mean;
};
RateStep StepRate(double rate, double target, double changePerS, double dtS);

}  // namespace kvr::host
