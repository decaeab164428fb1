// The whole flight of a scenario: the own aircraft and the intruders in one local frame around the own
// start, advanced frame by frame. While the simulator is paused nothing moves; while it slews the own
// aircraft is carried along the slew's displacement instead of flying, and the intruders fly on.
#pragma once

#include <optional>
#include <vector>

#include "host/scenario/flight_model.h"
#include "host/scenario/scenario.h"
#include "host/scenario/sim_variables.h"
#include "host/traffic/traffic_target.h"

namespace kvr::host {

struct Separation {
  double rangeNm = 0;     // horizontal
  double verticalFt = 0;  // intruder minus own
};

// Where the own aircraft's planned flight (no pilot) is at a time, and how many of the seconds before it the
// aircraft were flying (not paused).
struct PlannedOwn {
  AircraftState state;
  double flownS = 0;
};

class Flight {
 public:
  // Places every intruder; an encounter is solved against the own aircraft's planned flight. Keeps a
  // reference to `scenario`, which must outlive the flight.
  explicit Flight(const Scenario& scenario);

  // Flies from the current time to `timeS`, normally the next frame's. `ownCommand` overrides the own
  // aircraft's planned vertical speed for the step; `intruderCommands`, when given, those of the intruders
  // by scenario order (the pilots of equipped intruders).
  void AdvanceTo(double timeS, const std::optional<VerticalCommand>& ownCommand = std::nullopt,
                 const std::vector<std::optional<VerticalCommand>>* intruderCommands = nullptr);
  double TimeS() const { return timeS_; }

  const LocalFrame& Frame() const { return frame_; }
  const AircraftModel& Own() const { return own_; }
  OwnSimState OwnSim() const;

  size_t IntruderCount() const { return intruders_.size(); }
  const AircraftModel& Intruder(size_t i) const { return intruders_[i]; }
  Separation SeparationOf(size_t i) const;

  // The intruders as the traffic feeds show them, in scenario order.
  std::vector<TrafficTarget> Traffic() const;

  static PlannedOwn PlanOwn(const Scenario& scenario, double timeS);

 private:
  // One step of the own aircraft under the scenario's pause and slew schedule; returns whether it flew.
  static bool StepOwn(const Scenario& s, AircraftModel& own, double fromS, double toS,
                      const std::optional<VerticalCommand>& command);
  static AircraftModel PlaceIntruder(const Scenario& s, const LocalFrame& frame, const IntruderSpec& spec);

  const Scenario& scenario_;
  LocalFrame frame_;
  AircraftModel own_;
  std::vector<AircraftModel> intruders_;
  double timeS_ = 0;
  double pressureOffsetFt_;  // true minus pressure altitude, the same for every aircraft
};

}  // namespace kvr::host
