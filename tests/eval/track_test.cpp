// Tracks: interpolation between samples, the files they are read from, and the own aircraft leaving its
// track for an advisory and coming back to it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "host/scenario/flight_model.h"
#include "host/scenario/scenario.h"
#include "host/scenario/track.h"
#include "host/scenario/trajectory.h"
#include "tests/gauge/module_fixture.h"

namespace kvr::host {
namespace {

// A long run keeps one frame a second and the latest; tracks.csv at one row a second is the same as from
// every frame, and nothing of the final frame is lost.
TEST(Trajectory, OneFrameASecondWritesTheSameTracksAsEveryFrame) {
  Trajectory every, thinned;
  every.KeepEveryFrame(true);
  for (Trajectory* t : {&every, &thinned}) {
    t->SetAircraft({{7, "N7"}});
    for (int frame = 0; frame <= 18 * 3 + 5; ++frame) {
      TrajectoryFrame f;
      f.timeS = frame / 18.0;
      f.own.altitudeFt = 1000 + frame;
      f.intruders.push_back(f.own);
      f.shown.push_back(std::nullopt);
      f.intruderAdvisories.push_back(std::nullopt);
      t->Add(f);
    }
  }
  EXPECT_EQ(every.Frames().size(), 60u);
  EXPECT_EQ(thinned.Frames().size(), 5u);  // 0, 1, 2, 3 s and the last frame
  EXPECT_EQ(thinned.Frames().back().own.altitudeFt, 1059);
  std::ostringstream a, b;
  every.WriteCsv(a, LocalFrame({47.0, 8.0}), false);
  thinned.WriteCsv(b, LocalFrame({47.0, 8.0}), false);
  EXPECT_EQ(a.str(), b.str());
}

// tracks.csv goes to its file as frames arrive, and a number of any size is written whole: each row keeps
// its 13 fields and its own line.
TEST(Trajectory, TracksAreWrittenAsTheRunGoesAndNoRowIsCut) {
  std::ostringstream out;
  TracksCsv csv(out, LocalFrame({47.0, 8.0}), {{7, "N7"}}, false);
  TrajectoryFrame f;
  f.own.altitudeFt = 1e300;
  f.intruders.push_back(f.own);
  f.intruders[0].position.eastM = 1e250;
  f.intruders[0].verticalSpeedFpm = -1e200;
  f.shown.push_back(std::nullopt);
  f.intruderAdvisories.push_back(std::nullopt);
  csv.Add(f);
  f.timeS = 0.5;
  csv.Add(f);  // held back: neither opens a second nor, yet, the last
  std::istringstream lines(out.str());
  std::string line;
  int rows = 0;
  while (std::getline(lines, line)) {
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 12) << line.substr(0, 80);
    ++rows;
  }
  EXPECT_EQ(rows, 2 + 2);  // header, units, own and intruder at 0 s
  // The own altitude, 1e300 ft, with all its 301 digits.
  EXPECT_NE(out.str().find(",1000000000000000052504760255204420248704468581108159154915854115511802457988908195786371"),
            std::string::npos);
  csv.Finish();
  EXPECT_NE(out.str().find("\n0.500,N7,7,"), std::string::npos);
}

// However long the run, the summary the profile is drawn from holds a bounded number of frames, spread
// over the whole run, the first and the latest among them.
TEST(Trajectory, TheSummaryOfALongRunIsBounded) {
  Trajectory t;
  const int frames = 18 * 3600;
  for (int frame = 0; frame <= frames; ++frame) {
    TrajectoryFrame f;
    f.timeS = frame / 18.0;
    t.Add(std::move(f));
  }
  ASSERT_LE(t.Frames().size(), Trajectory::kMaxSummaryFrames);
  EXPECT_GT(t.Frames().size(), Trajectory::kMaxSummaryFrames / 2);
  EXPECT_EQ(t.Frames().front().timeS, 0.0);
  EXPECT_EQ(t.Frames().back().timeS, 3600.0);
  for (size_t k = 1; k + 1 < t.Frames().size(); ++k)
    EXPECT_NEAR(t.Frames()[k].timeS - t.Frames()[k - 1].timeS, t.SummaryIntervalS(), 0.1) << k;
}

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
  // Decimal numbers in every form a writer may use: signs, exponents, points without digits on one side.
  const auto track =
      ParseTrackCsv("# a level turn\ntimeS,eastNm,northNm,altitudeFt\n0,0,0,5000\n1e1,-0.0,+1,5.0E3\n20,1.,2,+5000\n",
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
      {"timeS,eastNm,northNm,altitudeFt\n0,0,x,5000\n", "t.csv:2: northNm \"x\" is not a decimal number"},
      // Numbers strtod reads but no track writes, and values no aircraft flies.
      {"timeS,eastNm,northNm,altitudeFt\n0x10,0,0,5000\n", "t.csv:2: timeS \"0x10\" is not a decimal number"},
      {"timeS,eastNm,northNm,altitudeFt\n+-1,0,0,5000\n", "t.csv:2: timeS \"+-1\" is not a decimal number"},
      {"timeS,eastNm,northNm,altitudeFt\n0,0,0,nan\n", "t.csv:2: altitudeFt \"nan\" is not a decimal number"},
      {"timeS,eastNm,northNm,altitudeFt\n0,1e300,0,5000\n", "t.csv:2: eastNm 1e300 is outside -1000 to 1000"},
      {"timeS,eastNm,northNm,altitudeFt\n0,0,0,1e6\n", "t.csv:2: altitudeFt 1e6 is outside -2000 to 100000"},
      {"timeS,latitudeDeg,longitudeDeg,altitudeFt\n0,91,8,5000\n", "t.csv:2: latitudeDeg 91 is outside -85 to 85"},
      {"timeS,eastNm,northNm,altitudeFt,groundSpeedKt\n0,0,0,5000,9000\n",
       "t.csv:2: groundSpeedKt 9000 is outside 0 to 2000"},
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
  const std::string header =
      "NAME, east, north, alt, trk, gs, vs, time\nunitless, [ft], [ft], [ft], [rad], [ftps], [ftps], [s]\n";
  struct Case {
    std::string text;
    const char* message;
  } cases[] = {
      {"NAME, x\n", "e.txt:1: the header must be"},
      {"NAME, east, north, alt, trk, gs, vs, time\n[ft]\n", "e.txt:2: the units line must be"},
      {header + "PLANE, 0, 0, 0, 0, 0, 0, 0\n", "e.txt:3: NAME \"PLANE\" is neither OWNSHIP nor INTRUDER"},
      {header + "OWNSHIP, 0, 0, 0, 0, 0, 0\n", "e.txt:3: has 7 fields, not 8"},
      {header + "OWNSHIP, 0, 0, 0, 0, 0, 0, 0\n", "e.txt:3: no INTRUDER rows"},
      {header + "OWNSHIP, 1e300, 0, 8000, 0, 400, 0, 0\n", "e.txt:3: east 1e300 is outside"},
      {header + "OWNSHIP, 0, 0, 8000, 0, 0x10, 0, 0\n", "e.txt:3: gs \"0x10\" is not a decimal number"},
      {header + "OWNSHIP, 0, 0, 8000, 0, 400, -1e9, 0\n", "e.txt:3: vs -1e9 is outside"},
      {header + "OWNSHIP, 0, 0, 8000, 1e20, 400, 0, 0\n", "e.txt:3: trk 1e20 is outside"},
      // Distinct times that become one when counted from the intruder's far earlier start.
      {header + "INTRUDER, 0, 0, 8000, 0, 400, 0, -1e10\nOWNSHIP, 0, 0, 8000, 0, 400, 0, 9999999999.990004\n"
                "OWNSHIP, 0, 0, 8000, 0, 400, 0, 9999999999.990005\n",
       "e.txt:5: time cannot be told from the previous sample's"},
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

namespace kvr::host {
namespace {

TEST(TrackScenario, RefusesWhatConflictsWithATrack) {
  const std::filesystem::path file = kvr::testing::SourceDir() / "scenarios" / "test.toml";
  const std::string head = "panel = \"panel.cfg\"\npairedTracks = \"paired_encounter.txt\"\n";
  struct Case {
    std::string text;
    const char* reason;
  } cases[] = {
      {head + "[own]\npressureAltitudeFt = 5000\n", "'own.pressureAltitudeFt' conflicts with the own aircraft's track"},
      {"panel = \"panel.cfg\"\npairedTracks = \"missing.txt\"\n", "missing.txt:1: no such file"},
      {"panel = \"panel.cfg\"\npairedTracks = \"/dev/zero\"\n", "/dev/zero:1: is not a regular file"},
      {"panel = \"panel.cfg\"\ndurationS = 10\n[own]\ntrack = \".\"\n", "is a folder, not a file"},
      {head + "[surveillance]\nreplyLossRate = 2\n", "'surveillance.replyLossRate' = 2 is outside 0 to 1"},
      {head + "[[intruder]]\nid = 1\neastNm = 3\naltitudeFt = 5000\nheadingDeg = 0\ngroundSpeedKt = 200\n",
       "the paired intruder takes id 1"},
      {"panel = \"panel.cfg\"\ndurationS = 10\n[own]\ntrack = \"t.csv\"\nheadingDeg = 3\n", "t.csv:1: no such file"},
  };
  for (const Case& c : cases) {
    try {
      ParseScenario(c.text, file);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const ScenarioError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
  }
  // The paired file alone gives the own aircraft, the intruder (id 1) and the duration.
  const Scenario s = ParseScenario(head, file);
  ASSERT_EQ(s.intruders.size(), 1u);
  EXPECT_EQ(s.intruders[0].id, 1u);
  EXPECT_TRUE(s.own.track && s.intruders[0].track);
  EXPECT_DOUBLE_EQ(s.durationS, 110);
}

}  // namespace
}  // namespace kvr::host
