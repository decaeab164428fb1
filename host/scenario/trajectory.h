// Every aircraft's flown state frame by frame, with what the panel showed: the own aircraft's advisory,
// each intruder's threat class on the own display and, for an equipped intruder, its own advisory. It is
// what tracks.csv, the profile picture and the encounter evaluation are made from.
//
// tracks.csv has a header row and a units row, then per kept frame one row for the own aircraft and one
// per intruder:
//   timeS,aircraft,id,latitudeDeg,longitudeDeg,eastNm,northNm,altitudeFt,groundSpeedKt,trackDeg,
//   verticalSpeedFpm,threatClass,advisory
// aircraft is "own" or the intruder's callsign ("intruder" without one); threatClass is how the own
// display shows that intruder (empty for the own aircraft and for intruders not shown); advisory is the
// advisory in force for that aircraft in a pilot's words ("climb", "none"; empty for an unequipped
// intruder).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "host/scenario/flight_model.h"
#include "host/traffic/geo.h"
#include "host/traffic/traffic_picture.h"

namespace kvr::host {

struct TrajectoryFrame {
  double timeS = 0;
  AircraftState own;
  double ownRadioAltitudeFt = 0;
  double ownPressureAltitudeFt = 0;
  AdvisoryReading ownAdvisory;
  std::vector<AircraftState> intruders;
  std::vector<std::optional<ThreatClass>> shown;                   // per intruder; nothing: not on the display
  std::vector<std::optional<AdvisoryReading>> intruderAdvisories;  // per intruder; nothing: unequipped
};

struct TrajectoryAircraft {
  uint32_t id = 0;
  std::string callsign;
};

// Keeps every frame, or (the default) a bounded summary for the profile picture: the first frame of every
// interval and the latest frame, the interval starting at one second and doubling whenever more than
// kMaxSummaryFrames would be kept, so a run of any length holds at most that many frames.
class Trajectory {
 public:
  static constexpr size_t kMaxSummaryFrames = 512;

  void SetAircraft(std::vector<TrajectoryAircraft> intruders) { intruders_ = std::move(intruders); }
  void KeepEveryFrame(bool every) { everyFrame_ = every; }
  void Add(TrajectoryFrame frame);

  const std::vector<TrajectoryFrame>& Frames() const { return frames_; }
  const std::vector<TrajectoryAircraft>& Intruders() const { return intruders_; }
  // Seconds between the frames the summary keeps (1 until the summary first fills up).
  double SummaryIntervalS() const { return intervalS_; }

  // tracks.csv of the frames kept: every one, or only the first frame of every whole second (and the last).
  void WriteCsv(std::ostream& out, const LocalFrame& frame, bool everyFrame) const;

 private:
  long Bucket(const TrajectoryFrame& f) const;
  void Thin();

  std::vector<TrajectoryAircraft> intruders_;
  std::vector<TrajectoryFrame> frames_;
  bool everyFrame_ = false;
  double intervalS_ = 1.0;
};

// tracks.csv written as the run goes: a frame is written when it opens a whole second (or every frame),
// and the latest frame is held back until Finish, which writes it unless it was written already. Numbers
// are written whole, however large.
class TracksCsv {
 public:
  TracksCsv(std::ostream& out, const LocalFrame& frame, std::vector<TrajectoryAircraft> intruders, bool everyFrame);
  void Add(const TrajectoryFrame& f);
  void Finish();

 private:
  void Write(const TrajectoryFrame& f);
  void Row(double timeS, const std::string& name, uint32_t id, const AircraftState& s, const char* threat,
           const std::string& advisory);

  std::ostream& out_;
  LocalFrame frame_;
  std::vector<TrajectoryAircraft> intruders_;
  bool everyFrame_;
  long lastSecond_ = -1;
  std::optional<TrajectoryFrame> pending_;  // the latest frame, not yet written
  std::string row_;
};

// The closest approach of two aircraft along their sampled paths, linear between frames, and whether
// they came within the near-mid-air-collision cylinder (horizontally under 500 ft and vertically under
// 100 ft at the same moment) anywhere on the way.
struct MissDistance {
  double timeS = 0;            // of the least horizontal separation
  double horizontalFt = 1e12;  // least horizontal separation
  double verticalFt = 0;       // |vertical separation| at that moment
  bool nmac = false;
  double nmacTimeS = 0;  // first moment inside the cylinder
};
inline constexpr double kNmacHorizontalFt = 500.0;
inline constexpr double kNmacVerticalFt = 100.0;

struct PathPoint {
  double timeS, eastM, northM, altitudeFt;
};
MissDistance ClosestApproachOf(const std::vector<PathPoint>& a, const std::vector<PathPoint>& b);

// The own aircraft and intruder `i` of a trajectory as paths.
std::vector<PathPoint> OwnPath(const Trajectory& t);
std::vector<PathPoint> IntruderPath(const Trajectory& t, size_t i);

}  // namespace kvr::host
