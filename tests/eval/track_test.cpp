// Tracks: interpolation between samples, the files they are read from, and the own aircraft leaving its
// track for an advisory and coming back to it.
#include <gtest/gtest.h>

#include <cmath>

#include "host/scenario/flight_model.h"
#include "host/scenario/scenario.h"
#include "host/scenario/track.h"

namespace kvr::host {
namespace {

TEST(Track, HermiteFollowsTheGivenRatesBetweenSamples) {
  // A climb whose rate doubles: altitude 1000 + 10 t + t^2 ft with vertical rate (10 + 2 t) * 60 ft/min,
  // eastward at 200 kt. A cubic with exact end slopes is reproduced exactly between samples.
  std::vector<TrackSample> samples;
  const double v = 200 * kMetresPerSecondPerKnot;
  for (double t : {0.0, 4.0, 10.0}) {
    TrackSample s;
    s.timeS = t;
    s.position = {v * t, 0};
    s.altitudeFt = 1000 + 10 * t + t * t;
    s.groundSpeedKt = 200;
    s.trackDeg = 90;
    s.verticalSpeedFpm = (10 + 2 * t) * 60;
    samples.push_back(s);
  }
  const Track track(samples);
  for (double t : {0.0, 1.3, 4.0, 7.7, 10.0}) {
    const TrackPoint p = track.At(t);
    EXPECT_NEAR(p.altitudeFt, 1000 + 10 * t + t * t, 1e-6) << t;
    EXPECT_NEAR(p.verticalSpeedFpm, (10 + 2 * t) * 60, 1e-6) << t;
    EXPECT_NEAR(p.position.eastM, v * t, 1e-6) << t;
    EXPECT_NEAR(p.trackDeg, 90, 1e-9) << t;
    EXPECT_NEAR(p.groundSpeedKt, 200, 1e-6) << t;
  }
  // Beyond the end it flies straight on at the last rates.
  EXPECT_NEAR(track.At(12).altitudeFt, 1000 + 100 + 100 + 2 * 30, 1e-6);
}

TEST(Track, WithoutRatesItIsSmoothThroughTheSamples) {
  const LocalFrame frame;
  const auto track = ParseTrackCsv("# a level turn\ntimeS,eastNm,northNm,altitudeFt\n0,0,0,5000\n10,0,1,5000\n20,1,2,5000\n",
                                   "turn.csv", frame);
  EXPECT_NEAR(track->At(10).position.northM, kMetresPerNm, 1e-6);
  // The rate at the middle sample is the centred difference: 1 NM east and 2 NM north in 20 s.
  EXPECT_NEAR(track->At(10).trackDeg, Degrees(std::atan2(1.0, 2.0)), 1e-6);
  EXPECT_NEAR(track->At(10).groundSpeedKt, std::sqrt(5.0) * 180, 1e-6);
}

TEST(Track, BadFilesNameTheLineAndReason) {
  const LocalFrame frame;
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"timeS,eastNm,northNm\n0,0,0\n", "t.csv:1: the header needs a altitudeFt column"},
      {"timeS,eastNm,northNm,altitudeFt,speed\n", "t.csv:1: unknown column \"speed\""},
      {"timeS,eastNm,northNm,altitudeFt\n0,0,0,5000\n0,1,0,5000\n", "t.csv:3: time 0.000000 s does not come after"},
      {"timeS,eastNm,northNm,altitudeFt\n0,0,x,5000\n", "t.csv:2: northNm \"x\" is not a number"},
      {"timeS,eastNm,northNm,altitudeFt\n0,0,0\n", "t.csv:2: has 3 fields, the header 4"},
  };
  for (const Case& c : cases) {
    try {
      ParseTrackCsv(c.text, "t.csv", frame);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const ScenarioError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << e.what();
    }
  }
}

constexpr char kPaired[] =
    "NAME, east, north, alt, trk, gs, vs, time\n"
    "unitless, [ft], [ft], [ft], [rad], [ftps], [ftps], [s]\n"
    "OWNSHIP, 0, 0, 8000, 1.5707963, 400, 0, 100\n"
    "OWNSHIP, 4000, 0, 8000, 1.5707963, 400, 0, 110\n"
    "INTRUDER, 20000, 0, 8100, 4.712389, 400, -5, 100\n"
    "INTRUDER, 16000, 0, 8050, 4.712389, 400, -5, 110\n";

TEST(PairedTracks, ReadsFeetRadiansAndFeetPerSecondFromTimeZero) {
  const PairedTracks p = ParsePairedTracks(kPaired, "enc.txt");
  EXPECT_EQ(p.own->StartS(), 0);
  EXPECT_NEAR(p.own->At(5).position.eastM, 2000 * kMetresPerFoot, 1e-6);
  EXPECT_NEAR(p.own->At(5).trackDeg, 90, 1e-4);
  EXPECT_NEAR(p.own->At(5).groundSpeedKt, 400 * kMetresPerFoot / kMetresPerSecondPerKnot, 1e-3);
  EXPECT_NEAR(p.intruder->At(5).altitudeFt, 8075, 1e-6);
  EXPECT_NEAR(p.intruder->At(5).verticalSpeedFpm, -300, 1e-6);
}

TEST(PairedTracks, BadFilesNameTheLineAndReason) {
  const std::string header = "NAME, east, north, alt, trk, gs, vs, time\nunitless, [ft], [ft], [ft], [rad], [ftps], [ftps], [s]\n";
  struct Case {
    std::string text;
    const char* message;
  } cases[] = {
      {"NAME, x\n", "e.txt:1: the header must be"},
      {"NAME, east, north, alt, trk, gs, vs, time\n[ft]\n", "e.txt:2: the units line must be"},
      {header + "PLANE, 0, 0, 0, 0, 0, 0, 0\n", "e.txt:3: NAME \"PLANE\" is neither OWNSHIP nor INTRUDER"},
      {header + "OWNSHIP, 0, 0, 0, 0, 0, 0\n", "e.txt:3: has 7 fields, not 8"},
      {header + "OWNSHIP, 0, 0, 0, 0, 0, 0, 0\n", "e.txt:3: no INTRUDER rows"},
  };
  for (const Case& c : cases) {
    try {
      ParsePairedTracks(c.text, "e.txt");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const ScenarioError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << e.what();
    }
  }
}

TEST(TrackFollowing, LeavesTheTrackForACommandAndReturnsAtTheStatedRate) {
  std::vector<TrackSample> samples;
  for (double t = 0; t <= 200; t += 10) {
    TrackSample s;
    s.timeS = t;
    s.position = {t * 100, 0};
    s.altitudeFt = 10000;
    samples.push_back(s);
  }
  constexpr double kReturnFpm = 1000;
  AircraftModel model(std::make_shared<const Track>(samples), kReturnFpm);
  constexpr double kStepS = 1.0 / 18;
  double t = 0;
  // 30 s of a 1500 ft/min climb command, then none.
  for (; t < 30; t += kStepS) model.Step(t, kStepS, VerticalCommand{1500, 0.25});
  const double peakFt = model.State().altitudeFt;
  EXPECT_GT(peakFt, 10600);
  EXPECT_TRUE(model.OffTrack());
  double fastestFpm = 0, backS = -1;
  for (; t < 200; t += kStepS) {
    model.Step(t, kStepS);
    EXPECT_NEAR(model.State().position.eastM, (t + kStepS) * 100, 1e-6);  // horizontally on the track all along
    fastestFpm = std::min(fastestFpm, model.State().verticalSpeedFpm);
    if (backS < 0 && !model.OffTrack()) backS = t;
  }
  EXPECT_NEAR(fastestFpm, -kReturnFpm, 1.0);
  ASSERT_GT(backS, 0) << "never came back to the track";
  // About (peak - track) / return rate, plus the time to turn the climb around and to settle.
  EXPECT_NEAR(backS - 30, (peakFt - 10000) / kReturnFpm * 60 + 10, 12);
  EXPECT_DOUBLE_EQ(model.State().altitudeFt, 10000);
}

}  // namespace
}  // namespace kvr::host
