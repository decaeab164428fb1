// A scenario: the panel to load, the own aircraft and its manoeuvres, the intruders, pauses and slews,
// switch positions over time and an optional pilot, read from a TOML file:
//
//   name = "head-on"              # optional; default the file name without extension
//   panel = "panel.cfg"           # relative to the scenario file
//   feed = "fsuipc"               # or "trafficinfo": the Logic gauge reads the traffic service
//   durationS = 90
//   frameRateHz = 18              # optional; simulator frames per second
//   transponderCode = 7000        # optional; four octal digits (1200 when absent)
//   interrogationsPerS = 2        # optional; interrogations reaching the transponder each second (0)
//
//   [own]                         # latitudeDeg, longitudeDeg, pressureAltitudeFt, headingDeg, groundSpeedKt;
//                                 # optional trueAltitudeFt (= pressure), terrainElevationFt (0),
//                                 # verticalSpeedFpm (0), altimeterInHg (29.92 + (true - pressure) / 1000)
//   [[own.manoeuvre]]             # timeS and any of: verticalSpeedFpm [verticalAccelerationG 0.25],
//                                 # headingDeg [turnRateDegS 3, turn "shortest" | "left" | "right"],
//                                 # groundSpeedKt [accelerationKtS 2]
//   [pilot]                       # optional; initialDelayS 5, initialAccelerationG 0.25,
//                                 # subsequentDelayS 2.5, subsequentAccelerationG 0.35
//   pairedTracks = "enc.txt"      # optional: own aircraft and first intruder (id 1 unless an [[intruder]]
//                                 # gives it) follow a paired-track encounter (see track.h); durationS
//                                 # then defaults to the tracks' end, [own] may give latitudeDeg,
//                                 # longitudeDeg (origin, 0), terrainElevationFt, trackReturnFpm
//   [own] track = "own.csv"       # or: the own aircraft follows a track CSV (see track.h), returning to
//                                 # it after an advisory at trackReturnFpm (1500 ft/min)
//   [surveillance]                # optional, all off: altitudeStepFt (25 or 100), rangeSigmaFt,
//                                 # bearingSigmaDeg, replyLossRate (0-1), seed (1)
//   [[intruder]]                  # id (non-zero, unique), optional callsign, altitudeUnreadable,
//                                 # equipped (its own collision logic and pilot, coordinated with ours),
//     [intruder.encounter]        # cpaTimeS, horizontalMissNm, verticalMissFt, approachAngleDeg,
//                                 # groundSpeedKt, verticalSpeedFpm (0)
//     or track = "intruder.csv",
//     or latitudeDeg and longitudeDeg (or eastNm and northNm from the own start), altitudeFt (MSL),
//     headingDeg, groundSpeedKt, verticalSpeedFpm (0), with [[intruder.manoeuvre]] as for the own aircraft
//   [[pause]]  startS, endS
//   [[slew]]   startS, endS, northNm, eastNm, climbFt (own aircraft moved evenly over the interval)
//   [[switch]] timeS, variable ("mode_index" or "KVR_TCAS!IVSI.mode_index"), value
//   [[transponder]] timeS, and power and/or lit (true or false): the head's "KVR_TCAS!Transponder.power"
//              and ".lit" switched as a panel's electrical and lighting gauges would
//   [[click]]  timeS, gauge ("IVSI"), optional index (which placement of that gauge, 0 the first in the
//              panel), x and y in the gauge's design pixels or area (its mouse areas counted from 0; the
//              click lands in the area's middle), button "left" (default) or "right"
//
// Every time is scenario time from the start, in seconds; the aircraft stand still while paused. An
// encounter places the intruder so that at cpaTimeS it is horizontalMissNm from where the own aircraft's
// planned flight (manoeuvres, pauses and slews, no pilot) puts it, verticalMissFt above it (negative:
// below), flying straight on the own track at that time plus approachAngleDeg (180 head-on, 90 crossing
// from the left, 0 same direction). A positive miss passes on the own aircraft's right, a negative one on
// its left; the miss lies across the relative motion, so that cpaTimeS is the closest approach.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/scenario/track.h"

namespace kvr::host {

// The largest scenario file read: a scenario with the most intruders a run takes (kMaxIntruders), each
// with manoeuvres, stays well under it.
inline constexpr uintmax_t kMaxScenarioBytes = 4 * 1024 * 1024;
inline constexpr int kMaxIntruders = 10000;
// The deepest nesting of tables, keys and values in a scenario; real ones nest four deep.
inline constexpr int kMaxScenarioNesting = 64;

// A scenario file that cannot be flown: the message is "FILE:LINE: reason".
class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TrafficFeed { Fsuipc, TrafficInfo };
enum class TurnDirection { Shortest, Left, Right };

struct ManoeuvreSpec {
  double timeS = 0;
  std::optional<double> verticalSpeedFpm;
  double verticalAccelerationG = 0.25;
  std::optional<double> headingDeg;
  double turnRateDegS = 3.0;
  TurnDirection turn = TurnDirection::Shortest;
  std::optional<double> groundSpeedKt;
  double accelerationKtS = 2.0;
};

struct OwnSpec {
  double latitudeDeg = 0;
  double longitudeDeg = 0;
  double pressureAltitudeFt = 0;
  double trueAltitudeFt = 0;
  double terrainElevationFt = 0;
  double headingDeg = 0;
  double groundSpeedKt = 0;
  double verticalSpeedFpm = 0;
  double altimeterInHg = 29.92;
  std::vector<ManoeuvreSpec> manoeuvres;  // by time
  // Following a track instead of the start state and manoeuvres: true altitude from the track (pressure
  // altitude equal to it), and after an advisory back to the track's altitude at trackReturnFpm.
  std::shared_ptr<const Track> track;
  double trackReturnFpm = 1500;
};

struct EncounterSpec {
  double cpaTimeS = 0;
  double horizontalMissNm = 0;
  double verticalMissFt = 0;
  double approachAngleDeg = 180;
  double groundSpeedKt = 0;
  double verticalSpeedFpm = 0;
};

struct IntruderSpec {
  uint32_t id = 0;
  std::string callsign;
  bool altitudeUnreadable = false;
  std::optional<EncounterSpec> encounter;
  // Absolute start, when there is no encounter: latitude and longitude, or east and north of the own
  // aircraft's start.
  double latitudeDeg = 0;
  double longitudeDeg = 0;
  std::optional<double> eastNm;
  std::optional<double> northNm;
  double altitudeFt = 0;  // MSL
  double headingDeg = 0;
  double groundSpeedKt = 0;
  double verticalSpeedFpm = 0;
  std::vector<ManoeuvreSpec> manoeuvres;
  std::shared_ptr<const Track> track;  // follows it instead of the start state and manoeuvres
  bool equipped = false;               // flies its own collision logic, coordinated with the own aircraft's
  int line = 0;                        // of its [[intruder]] header, for messages
};

// Surveillance as a real transponder link delivers it to the collision logic; all off by default. The
// noise is drawn from a generator seeded with `seed`, so a run is repeatable.
struct SurveillanceSpec {
  double altitudeStepFt = 0;   // reported altitude rounded to this step (25 or 100); 0: exact
  double rangeSigmaFt = 0;     // standard deviation of the range error
  double bearingSigmaDeg = 0;  // standard deviation of the bearing error
  double replyLossRate = 0;    // share of replies lost, 0 to 1
  uint64_t seed = 1;
  bool Any() const { return altitudeStepFt > 0 || rangeSigmaFt > 0 || bearingSigmaDeg > 0 || replyLossRate > 0; }
};

struct Interval {
  double startS = 0;
  double endS = 0;
  bool Contains(double timeS) const { return timeS >= startS && timeS < endS; }
};

struct SlewSpec {
  Interval interval;
  double northNm = 0;
  double eastNm = 0;
  double climbFt = 0;
};

struct SwitchSpec {
  double timeS = 0;
  std::string variable;  // the published name, "KVR_TCAS!IVSI.mode_index"
  int32_t value = 0;
  int line = 0;
};

// The Transponder head's power and panel lighting switched at a time; an absent field is left as it is.
struct TransponderSwitchSpec {
  double timeS = 0;
  std::optional<bool> power;
  std::optional<bool> lit;
  int line = 0;
};

// A mouse click on a placed gauge, through the panel's mouse areas as a pilot's click would go.
struct ClickSpec {
  double timeS = 0;
  std::string gauge;        // gauge name as the panel places it ("IVSI")
  int index = 0;            // which placement of that gauge, in panel order, from 0
  std::optional<int> area;  // a mouse area of the gauge by its place in the list, from 0; else x and y
  int x = 0, y = 0;         // design pixels of the gauge
  bool rightButton = false;
  int line = 0;
};

struct PilotSpec {
  double initialDelayS = 5.0;
  double initialAccelerationG = 0.25;
  double subsequentDelayS = 2.5;
  double subsequentAccelerationG = 0.35;
};

struct Scenario {
  std::filesystem::path file;
  std::string name;
  std::filesystem::path panelFile;  // resolved against the scenario's folder
  TrafficFeed feed = TrafficFeed::Fsuipc;
  double durationS = 0;
  double frameRateHz = 18;
  std::optional<uint16_t> transponderCodeBcd;  // 7000 -> 0x7000
  double interrogationsPerS = 0;               // interrogations reaching the transponder each second
  OwnSpec own;
  std::vector<IntruderSpec> intruders;
  std::vector<Interval> pauses;
  std::vector<SlewSpec> slews;
  std::vector<SwitchSpec> switches;                        // by time
  std::vector<ClickSpec> clicks;                           // by time
  std::vector<TransponderSwitchSpec> transponderSwitches;  // by time
  std::optional<PilotSpec> pilot;
  SurveillanceSpec surveillance;

  int FrameCount() const;  // frames in durationS, rounded
  double FrameS() const { return 1.0 / frameRateHz; }
  double FrameTimeS(int frame) const { return frame / frameRateHz; }  // frame 0 is the start
  bool Paused(double timeS) const;
  const SlewSpec* SlewAt(double timeS) const;
};

// The selector variables a switch may set, by their short names ("mode_index") as the IVSI publishes them.
std::optional<std::string> SelectorVariableName(const std::string& shortOrFullName);

// Reads and checks a scenario file; throws ScenarioError naming the file, the line and the reason. The
// panel file must exist; nothing else is opened.
Scenario LoadScenario(const std::filesystem::path& file);
// The same from text; `file` names it in messages and anchors the panel path.
Scenario ParseScenario(const std::string& text, const std::filesystem::path& file);

}  // namespace kvr::host
