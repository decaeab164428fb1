#include "host/scenario/flight.h"

#include <algorithm>
#include <cmath>

namespace kvr::host {
namespace {

AircraftState OwnStart(const OwnSpec& own) {
  AircraftState s;
  s.altitudeFt = own.trueAltitudeFt;
  s.headingDeg = own.headingDeg;
  s.groundSpeedKt = own.groundSpeedKt;
  s.verticalSpeedFpm = own.verticalSpeedFpm;
  return s;
}

// How far through a slew `timeS` lies, 0 before it and 1 after it.
double SlewFraction(const SlewSpec& slew, double timeS) {
  const double span = slew.interval.endS - slew.interval.startS;
  return std::clamp((timeS - slew.interval.startS) / span, 0.0, 1.0);
}

struct Velocity {
  double eastMS;
  double northMS;
};

Velocity VelocityOf(double headingDeg, double speedKt) {
  const double v = speedKt * kMetresPerSecondPerKnot;
  return {v * std::sin(Radians(headingDeg)), v * std::cos(Radians(headingDeg))};
}

AircraftModel OwnModel(const OwnSpec& own) {
  if (own.track) return AircraftModel(own.track, own.trackReturnFpm);
  return AircraftModel(OwnStart(own), own.manoeuvres);
}

}  // namespace

Flight::Flight(const Scenario& scenario)
    : scenario_(scenario),
      frame_(GeoPosition{scenario.own.latitudeDeg, scenario.own.longitudeDeg}),
      own_(OwnModel(scenario.own)),
      pressureOffsetFt_(scenario.own.trueAltitudeFt - scenario.own.pressureAltitudeFt) {
  intruders_.reserve(scenario.intruders.size());
  for (const IntruderSpec& spec : scenario.intruders) intruders_.push_back(PlaceIntruder(scenario, frame_, spec));
}

bool Flight::StepOwn(const Scenario& s, AircraftModel& own, double fromS, double toS,
                     const std::optional<VerticalCommand>& command) {
  if (toS <= fromS || s.Paused(toS)) return false;
  // Slews and pauses never overlap (the scenario reader refuses it), so each slew's share arrives whole.
  for (const SlewSpec& slew : s.slews) {
    const double share = SlewFraction(slew, toS) - SlewFraction(slew, fromS);
    if (share > 0)
      own.Displace(slew.eastNm * kMetresPerNm * share, slew.northNm * kMetresPerNm * share, slew.climbFt * share);
  }
  if (s.SlewAt(toS) != nullptr) return false;
  own.Step(fromS, toS - fromS, command);
  return true;
}

PlannedOwn Flight::PlanOwn(const Scenario& s, double timeS) {
  AircraftModel own = OwnModel(s.own);
  PlannedOwn plan;
  double t = 0;
  // The same frames as the run, then the part of a frame up to timeS.
  for (int k = 1; s.FrameTimeS(k) <= timeS + 1e-9; ++k) {
    const double next = s.FrameTimeS(k);
    if (!s.Paused(next)) plan.flownS += next - t;
    StepOwn(s, own, t, next, std::nullopt);
    t = next;
  }
  if (timeS > t + 1e-9) {
    if (!s.Paused(timeS)) plan.flownS += timeS - t;
    StepOwn(s, own, t, timeS, std::nullopt);
  }
  plan.state = own.State();
  return plan;
}

AircraftModel Flight::PlaceIntruder(const Scenario& s, const LocalFrame& frame, const IntruderSpec& spec) {
  if (spec.track) return AircraftModel(spec.track, s.own.trackReturnFpm);
  if (!spec.encounter) {
    AircraftState start;
    start.position = spec.eastNm ? LocalPosition{*spec.eastNm * kMetresPerNm, spec.northNm.value_or(0) * kMetresPerNm}
                                 : frame.ToLocal({spec.latitudeDeg, spec.longitudeDeg});
    start.altitudeFt = spec.altitudeFt;
    start.headingDeg = spec.headingDeg;
    start.groundSpeedKt = spec.groundSpeedKt;
    start.verticalSpeedFpm = spec.verticalSpeedFpm;
    return AircraftModel(start, spec.manoeuvres);
  }

  const EncounterSpec& e = *spec.encounter;
  const PlannedOwn own = PlanOwn(s, e.cpaTimeS);
  const AircraftState& o = own.state;
  const double trackDeg = NormaliseHeadingDeg(o.headingDeg + e.approachAngleDeg);
  const Velocity vo = VelocityOf(o.headingDeg, o.groundSpeedKt);
  const Velocity vi = VelocityOf(trackDeg, e.groundSpeedKt);

  // The miss lies across the relative motion, so that the intruder is closest at cpaTimeS; it is turned to
  // the own aircraft's right for a positive miss (ahead when the relative motion runs across the own track).
  const double re = vi.eastMS - vo.eastMS, rn = vi.northMS - vo.northMS;
  const double rel = std::hypot(re, rn);
  const Velocity right = VelocityOf(o.headingDeg + 90.0, 1.0 / kMetresPerSecondPerKnot);
  const Velocity ahead = VelocityOf(o.headingDeg, 1.0 / kMetresPerSecondPerKnot);
  double pe = right.eastMS, pn = right.northMS;
  if (rel > 1e-6) {
    pe = rn / rel;
    pn = -re / rel;
    double side = pe * right.eastMS + pn * right.northMS;
    if (std::abs(side) < 1e-9) side = pe * ahead.eastMS + pn * ahead.northMS;
    if (side < 0) {
      pe = -pe;
      pn = -pn;
    }
  }
  const double missM = e.horizontalMissNm * kMetresPerNm;
  AircraftState start;
  start.position.eastM = o.position.eastM + missM * pe - vi.eastMS * own.flownS;
  start.position.northM = o.position.northM + missM * pn - vi.northMS * own.flownS;
  start.altitudeFt = o.altitudeFt + e.verticalMissFt - e.verticalSpeedFpm / 60.0 * own.flownS;
  start.headingDeg = trackDeg;
  start.groundSpeedKt = e.groundSpeedKt;
  start.verticalSpeedFpm = e.verticalSpeedFpm;
  return AircraftModel(start, {});
}

void Flight::AdvanceTo(double timeS, const std::optional<VerticalCommand>& ownCommand,
                       const std::vector<std::optional<VerticalCommand>>* intruderCommands) {
  if (timeS <= timeS_) return;
  StepOwn(scenario_, own_, timeS_, timeS, ownCommand);
  if (!scenario_.Paused(timeS))
    for (size_t i = 0; i < intruders_.size(); ++i)
      intruders_[i].Step(
          timeS_, timeS - timeS_,
          intruderCommands != nullptr && i < intruderCommands->size() ? (*intruderCommands)[i] : std::nullopt);
  timeS_ = timeS;
}

OwnSimState Flight::OwnSim() const {
  const AircraftState& s = own_.State();
  OwnSimState sim;
  sim.position = frame_.ToGeo(s.position);
  sim.trueAltitudeFt = s.altitudeFt;
  sim.pressureAltitudeFt = s.altitudeFt - pressureOffsetFt_;
  sim.radioAltitudeFt = std::max(0.0, s.altitudeFt - scenario_.own.terrainElevationFt);
  sim.headingDeg = s.headingDeg;
  sim.groundSpeedKt = s.groundSpeedKt;
  sim.verticalSpeedFpm = s.verticalSpeedFpm;
  sim.altimeterInHg = scenario_.own.altimeterInHg;
  return sim;
}

Separation Flight::SeparationOf(size_t i) const {
  const AircraftState& o = own_.State();
  const AircraftState& t = intruders_[i].State();
  return {std::hypot(t.position.eastM - o.position.eastM, t.position.northM - o.position.northM) / kMetresPerNm,
          t.altitudeFt - o.altitudeFt};
}

std::vector<TrafficTarget> Flight::Traffic() const {
  std::vector<TrafficTarget> targets;
  targets.reserve(intruders_.size());
  for (size_t i = 0; i < intruders_.size(); ++i) {
    const IntruderSpec& spec = scenario_.intruders[i];
    const AircraftState& s = intruders_[i].State();
    TrafficTarget t;
    t.id = spec.id;
    t.callsign = spec.callsign;
    t.position = frame_.ToGeo(s.position);
    t.altitudeFt = s.altitudeFt;
    t.headingDeg = s.headingDeg;
    t.groundSpeedKt = s.groundSpeedKt;
    t.verticalSpeedFpm = s.verticalSpeedFpm;
    t.altitudeReadable = !spec.altitudeUnreadable;
    targets.push_back(std::move(t));
  }
  return targets;
}

}  // namespace kvr::host
