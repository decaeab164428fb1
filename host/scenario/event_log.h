// What a run produced, frame by frame: one row per event (an intruder changing threat class, the advisory
// changing, an aural message), the closest approach of every intruder as the flight truly flew it, and
// their CSV and summary forms.
//
// events.csv has a header row and a units row:
//   timeS,event,intruderId,rangeNm,relativeAltitudeFt,threatClass,sense,advisory,vsLowerLimitFpm,vsUpperLimitFpm,vsTargetFpm,aural
// event is "threat" (an intruder's class changed; "Lost" when it left the picture), "advisory" (the limits
// or target changed) or "aural" (a message without an advisory change). aural is the message's name, or
// "<name> (silent)" when the module withheld it because the radio altitude was 500 ft or less.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/traffic/traffic_picture.h"

namespace kvr::host {

struct EventRow {
  double timeS = 0;
  std::string event;
  uint32_t intruderId = 0;  // 0 when no intruder is concerned
  float rangeNm = 0;
  float relativeAltitudeFt = 0;
  std::string threatClass;
  AdvisoryReading advisory;
  std::string aural;  // empty: none
};

// The name of an aural code as the voice table lists it ("Climb", "ClearOfConflict"); empty for 0 and
// unknown codes.
std::string AuralName(int32_t auralCode);

// The module starts a message only above this radio altitude, feet.
inline constexpr double kVoiceMinimumRadioAltitudeFt = 500.0;

struct ClosestApproach {
  uint32_t intruderId = 0;
  std::string callsign;
  double timeS = 0;
  double rangeNm = 1e9;     // horizontal
  double verticalFt = 0;    // intruder minus own at that time
};

class EventLog {
 public:
  // One traffic frame's picture at `timeS`; `radioAltitudeFt` is the own radio altitude the frame used.
  void OnTrafficFrame(double timeS, const TrafficSnapshot& picture, double radioAltitudeFt);
  // The flight's true separation of an intruder at `timeS`, every frame.
  void OnSeparation(double timeS, uint32_t intruderId, const std::string& callsign, double rangeNm, double verticalFt);

  const std::vector<EventRow>& Rows() const { return rows_; }
  int TrafficAdvisories() const { return trafficAdvisories_; }      // intruders entering TA from below
  int ResolutionAdvisories() const { return resolutionAdvisories_; }  // intruders entering RA
  const std::vector<ClosestApproach>& Closest() const { return closest_; }

  void WriteCsv(std::ostream& out) const;
  void WriteSummary(std::ostream& out) const;

 private:
  struct Known {
    ThreatClass threatClass;
    float rangeNm;
    float relativeAltitudeFt;
  };

  std::vector<EventRow> rows_;
  std::map<uint32_t, Known> known_;  // intruders of the last frame by id
  AdvisoryReading lastAdvisory_;
  int trafficAdvisories_ = 0;
  int resolutionAdvisories_ = 0;
  std::vector<ClosestApproach> closest_;
  std::map<uint32_t, size_t> closestIndex_;
};

}  // namespace kvr::host
