// The flight model and the encounter geometry: aircraft change rates at the rates asked, and an encounter
// intruder really is where it was asked to be at its closest approach.
#include <gtest/gtest.h>

#include <cmath>

#include "host/scenario/flight.h"
#include "host/scenario/flight_model.h"

namespace kvr::host {
namespace {

Scenario BaseScenario() {
  Scenario s;
  s.file = "test.toml";
  s.durationS = 120;
  s.frameRateHz = 18;
  s.own.latitudeDeg = 47.0;
  s.own.longitudeDeg = 8.0;
  s.own.pressureAltitudeFt = 8000;
  s.own.trueAltitudeFt = 8200;
  s.own.headingDeg = 90;
  s.own.groundSpeedKt = 250;
  return s;
}

IntruderSpec EncounterIntruder(EncounterSpec e) {
  IntruderSpec in;
  in.id = 1;
  in.encounter = e;
  return in;
}

struct Sample {
  double timeS;
  Separation separation;
  double ownNorthM, intruderNorthM, ownEastM, intruderEastM;
};

// Flies the scenario frame by frame as the run does and samples every frame.
std::vector<Sample> Fly(const Scenario& s) {
  Flight flight(s);
  std::vector<Sample> samples;
  for (int k = 1; k <= s.FrameCount(); ++k) {
    flight.AdvanceTo(s.FrameTimeS(k));
    const auto& o = flight.Own().State().position;
    const auto& i = flight.Intruder(0).State().position;
    samples.push_back({s.FrameTimeS(k), flight.SeparationOf(0), o.northM, i.northM, o.eastM, i.eastM});
  }
  return samples;
}

const Sample& At(const std::vector<Sample>& samples, double timeS) {
  for (const Sample& s : samples)
    if (std::abs(s.timeS - timeS) < 1e-6) return s;
  throw std::runtime_error("no frame at that time");
}

TEST(Encounter, IntruderReachesTheAskedMissDistancesAtTheAskedTime) {
  struct Case {
    const char* what;
    EncounterSpec e;
  };
  const Case cases[] = {
      {"head-on", {60, 0.0, 0, 180, 250, 0}},
      {"head-on, 300 ft above, 0.3 NM right", {60, 0.3, 300, 180, 250, 0}},
      {"crossing from the left, below, climbing", {45, -0.5, -200, 90, 200, 1500}},
      {"overtaking from behind", {70, 0.2, 0, 0, 350, 0}},
      {"shallow converging, descending", {30, 1.0, -500, 30, 180, -800}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scenario s = BaseScenario();
    s.intruders.push_back(EncounterIntruder(c.e));
    const auto samples = Fly(s);
    const Sample& cpa = At(samples, c.e.cpaTimeS);
    EXPECT_NEAR(cpa.separation.rangeNm, std::abs(c.e.horizontalMissNm), 2.0 / kMetresPerNm);
    EXPECT_NEAR(cpa.separation.verticalFt, c.e.verticalMissFt, 0.5);
    // ... and that is the closest it comes: every other frame is farther.
    for (const Sample& other : samples)
      if (std::abs(other.timeS - c.e.cpaTimeS) > 1e-6) {
        EXPECT_GE(other.separation.rangeNm, cpa.separation.rangeNm - 1e-9) << other.timeS;
      }
  }
}

TEST(Encounter, PositiveMissPassesOnTheOwnRightNegativeOnTheLeft) {
  for (double miss : {0.5, -0.5}) {
    Scenario s = BaseScenario();  // heading east: right is south
    s.intruders.push_back(EncounterIntruder({40, miss, 0, 180, 250, 0}));
    const Sample cpa = At(Fly(s), 40);
    if (miss > 0) {
      EXPECT_LT(cpa.intruderNorthM, cpa.ownNorthM - 900);
    } else {
      EXPECT_GT(cpa.intruderNorthM, cpa.ownNorthM + 900);
    }
  }
}

TEST(Encounter, FollowsTheOwnPlannedManoeuvresPausesAndSlews) {
  Scenario s = BaseScenario();
  ManoeuvreSpec turn;
  turn.timeS = 10;
  turn.headingDeg = 0;
  turn.turn = TurnDirection::Left;
  ManoeuvreSpec climb;
  climb.timeS = 20;
  climb.verticalSpeedFpm = 1000;
  s.own.manoeuvres = {turn, climb};
  s.pauses.push_back({25, 35});
  s.slews.push_back({{40, 44}, 1.0, 0.5, 500});
  s.intruders.push_back(EncounterIntruder({70, 0.4, -250, 120, 220, 300}));
  const Sample cpa = At(Fly(s), 70);
  EXPECT_NEAR(cpa.separation.rangeNm, 0.4, 2.0 / kMetresPerNm);
  EXPECT_NEAR(cpa.separation.verticalFt, -250, 0.5);
}

TEST(FlightModel, VerticalSpeedChangesAtTheGivenAccelerationAndAltitudeFollows) {
  ManoeuvreSpec climb;
  climb.timeS = 0;
  climb.verticalSpeedFpm = 1500;
  climb.verticalAccelerationG = 0.25;
  AircraftState start;
  start.altitudeFt = 5000;
  AircraftModel model(start, {climb});
  const double rate = FpmPerSecondFromG(0.25);  // about 482.6 ft/min per second
  EXPECT_NEAR(rate, 482.6, 0.1);
  const double reachS = 1500 / rate;
  const double dt = 1.0 / 18;
  double t = 0;
  for (; t + dt <= reachS; t += dt) model.Step(t, dt);
  EXPECT_NEAR(model.State().verticalSpeedFpm, rate * t, 1e-6);  // still accelerating
  EXPECT_LT(model.State().verticalSpeedFpm, 1500);
  for (; t < 10 - 1e-9; t += dt) model.Step(t, dt);
  EXPECT_DOUBLE_EQ(model.State().verticalSpeedFpm, 1500);
  // Altitude: the ramp's mean rate up to reachS, then the full rate.
  const double expectedFt = 5000 + (0.5 * 1500 * reachS + 1500 * (10 - reachS)) / 60;
  EXPECT_NEAR(model.State().altitudeFt, expectedFt, 1e-6);
}

TEST(FlightModel, TurnsAtTheTurnRateTheWayAskedAndStopsOnTheHeading) {
  struct Case {
    double from, to;
    TurnDirection turn;
    double after1sDeg;
  };
  const Case cases[] = {
      {350, 20, TurnDirection::Shortest, 353},  // through north
      {20, 350, TurnDirection::Shortest, 17},
      {90, 80, TurnDirection::Right, 93},  // the long way round
  };
  for (const Case& c : cases) {
    ManoeuvreSpec m;
    m.headingDeg = c.to;
    m.turn = c.turn;
    AircraftState start;
    start.headingDeg = c.from;
    start.groundSpeedKt = 200;
    AircraftModel model(start, {m});
    for (int i = 0; i < 18; ++i) model.Step(i / 18.0, 1 / 18.0);
    EXPECT_NEAR(model.State().headingDeg, c.after1sDeg, 1e-6);
    for (int i = 18; i < 18 * 200; ++i) model.Step(i / 18.0, 1 / 18.0);
    EXPECT_DOUBLE_EQ(model.State().headingDeg, NormaliseHeadingDeg(c.to));
  }
}

TEST(Flight, PauseFreezesEveryAircraftAndSlewCarriesOnlyTheOwn) {
  Scenario s = BaseScenario();
  s.pauses.push_back({10, 20});
  s.slews.push_back({{30, 34}, 2.0, -1.0, 1000});
  IntruderSpec in;
  in.id = 5;
  in.eastNm = 10;
  in.northNm = 0;
  in.altitudeFt = 9000;
  in.headingDeg = 0;
  in.groundSpeedKt = 180;
  s.intruders.push_back(in);
  Flight flight(s);
  int frame = 0;
  auto advance = [&](double t) {
    while (s.FrameTimeS(frame + 1) <= t + 1e-9) flight.AdvanceTo(s.FrameTimeS(++frame));
  };

  advance(10.0 - 1.0 / 18);  // the last frame before the pause
  const AircraftState ownBefore = flight.Own().State(), intruderBefore = flight.Intruder(0).State();
  advance(19.99);
  EXPECT_EQ(flight.Own().State().position.eastM, ownBefore.position.eastM);
  EXPECT_EQ(flight.Intruder(0).State().position.northM, intruderBefore.position.northM);

  advance(30);
  const AircraftState ownAtSlew = flight.Own().State();
  const double intruderNorthAtSlew = flight.Intruder(0).State().position.northM;
  advance(34);
  // Moved by the slew, and flown (east) only over the frame that ends it; the intruder flew its 4 s.
  const double oneFrameM = 250 * kMetresPerSecondPerKnot / 18;
  EXPECT_NEAR(flight.Own().State().position.northM - ownAtSlew.position.northM, 2.0 * kMetresPerNm, 1e-6);
  EXPECT_NEAR(flight.Own().State().position.eastM - ownAtSlew.position.eastM, -1.0 * kMetresPerNm + oneFrameM, 1e-6);
  EXPECT_NEAR(flight.Own().State().altitudeFt - ownAtSlew.altitudeFt, 1000, 1e-6);
  EXPECT_NEAR(flight.Intruder(0).State().position.northM - intruderNorthAtSlew, 4 * 180 * kMetresPerSecondPerKnot,
              1e-6);
}

TEST(Flight, OwnSimStateKeepsThePressureOffsetAndTheGroundBelow) {
  Scenario s = BaseScenario();
  s.own.terrainElevationFt = 1500;
  s.own.verticalSpeedFpm = -600;
  Flight flight(s);
  flight.AdvanceTo(60);
  const OwnSimState own = flight.OwnSim();
  EXPECT_NEAR(own.trueAltitudeFt, 7600, 1e-6);
  EXPECT_NEAR(own.pressureAltitudeFt, 7400, 1e-6);
  EXPECT_NEAR(own.radioAltitudeFt, 6100, 1e-6);
  // 60 s east at 250 kt, back in degrees on the same earth.
  const double eastM = 250 * kMetresPerSecondPerKnot * 60;
  EXPECT_NEAR(own.position.longitudeDeg - 8.0, eastM / (kMetresPerDegreeLatitude * std::cos(Radians(47.0))), 1e-9);
  EXPECT_NEAR(own.position.latitudeDeg, 47.0, 1e-9);
}

}  // namespace
}  // namespace kvr::host
