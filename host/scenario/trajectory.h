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
  std::vector<std::optional<ThreatClass>> shown;       // per intruder; nothing: not on the display
  std::vector<std::optional<AdvisoryReading>> intruderAdvisories;  // per intruder; nothing: unequipped
};

struct TrajectoryAircraft {
  uint32_t id = 0;
  std::string callsign;
};

class Trajectory {
 public:
  void SetAircraft(std::vector<TrajectoryAircraft> intruders) { intruders_ = std::move(intruders); }
  void Add(TrajectoryFrame frame) { frames_.push_back(std::move(frame)); }

  const std::vector<TrajectoryFrame>& Frames() const { return frames_; }
  const std::vector<TrajectoryAircraft>& Intruders() const { return intruders_; }

  // Every frame, or only the first frame of every whole second (and the last frame).
  void WriteCsv(std::ostream& out, const LocalFrame& frame, bool everyFrame) const;

 private:
  std::vector<TrajectoryAircraft> intruders_;
  std::vector<TrajectoryFrame> frames_;
};

// The closest approach of two aircraft along their sampled paths, linear between frames, and whether
// they came within the near-mid-air-collision cylinder (horizontally under 500 ft and vertically under
// 100 ft at the same moment) anywhere on the way.
struct MissDistance {
  double timeS = 0;           // of the least horizontal separation
  double horizontalFt = 1e12; // least horizontal separation
  double verticalFt = 0;      // |vertical separation| at that moment
  bool nmac = false;
  double nmacTimeS = 0;       // first moment inside the cylinder
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
