// An intruder that carries its own collision logic: a second Avertine instance in the host, fed once a
// second with the intruder as its own aircraft and our own aircraft as its traffic, and a pilot of its own
// who flies its advisories with the standard response. The instance is told the sense of our own
// aircraft's advisory as a coordinating system hears it, so it chooses the other sense.
//
// Coordination runs one way only: the module's intruder records carry no coordination sense (the module
// sets that field to 0), so our own logic does not hear the intruder's choice.
#pragma once

#include <optional>

#include "avertine/avertine.h"
#include "host/scenario/flight_model.h"
#include "host/scenario/pilot.h"
#include "host/traffic/geo.h"
#include "host/traffic/traffic_picture.h"

namespace kvr::host {

class EquippedIntruder {
 public:
  EquippedIntruder(const PilotSpec& pilot, double terrainElevationFt, double pressureOffsetFt);
  ~EquippedIntruder();
  EquippedIntruder(const EquippedIntruder&) = delete;
  EquippedIntruder& operator=(const EquippedIntruder&) = delete;

  // The pilot's vertical command for the next step (before the flight advances).
  std::optional<VerticalCommand> Command(double timeS, const AircraftModel& self);
  // After the own aircraft's traffic frame: runs this intruder's logic when a second has passed.
  void AfterFrame(double timeS, const AircraftState& self, const LocalFrame& frame, const AircraftState& own,
                  const AdvisoryReading& ownAdvisory);
  AdvisoryReading Advisory() const { return ReadAdvisory(advisory_); }

 private:
  AvertineHandle logic_ = nullptr;
  OwnShipRecord ownRecord_{};
  IntruderInputRecord intruderRecord_{};
  IntruderEntry entry_{};
  AdvisoryRecord advisory_{};
  Pilot pilot_;
  double terrainElevationFt_;
  double pressureOffsetFt_;
  double lastFrameS_ = -1e9;
};

}  // namespace kvr::host
