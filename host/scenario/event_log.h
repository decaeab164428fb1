// What a run produced, frame by frame: one row per event (an intruder changing threat class, the advisory
// changing, an aural message), the closest approach of every intruder as the flight truly flew it, and
// their CSV and summary forms.
//
// events.csv has a header row and a units row:
//   timeS,event,intruderId,rangeNm,relativeAltitudeFt,threatClass,sense,advisory,vsLowerLimitFpm,vsUpperLimitFpm,vsTargetFpm,aural
// event is "threat" (an intruder's class changed; "Lost" when it left the picture), "advisory" (the limits
// or target changed), "aural" (a message without an advisory change), or one of the FSUIPC link's:
// "link-lost" (the server went away or refused a block), "server-back" (the server can be reached again)
// and "link-back" (blocks are served again). aural is the message's name, or
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
  double rangeNm = 1e9;   // horizontal
  double verticalFt = 0;  // intruder minus own at that time
};

// A time the FSUIPC link was down, seconds from the start.
struct LinkOutage {
  double lostS = 0;
  std::string cause;
  std::optional<double> serverBackS;  // the server could be reached again
  std::optional<double> linkBackS;    // blocks were served again
};

class EventLog {
 public:
  // The FSUIPC link as the host sees it: lost (with why), the server back, blocks served again.
  void OnLinkLost(double timeS, const std::string& cause);
  void OnServerBack(double timeS);
  void OnLinkBack(double timeS);
  const std::vector<LinkOutage>& LinkOutages() const { return outages_; }

  // One traffic frame's picture at `timeS`; `radioAltitudeFt` is the own radio altitude the frame used.
  void OnTrafficFrame(double timeS, const TrafficSnapshot& picture, double radioAltitudeFt);
  // The flight's true separation of an intruder at `timeS`, every frame.
  void OnSeparation(double timeS, uint32_t intruderId, const std::string& callsign, double rangeNm, double verticalFt);

  const std::vector<EventRow>& Rows() const { return rows_; }
  int TrafficAdvisories() const { return trafficAdvisories_; }        // intruders entering TA from below
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
  std::vector<LinkOutage> outages_;
  std::map<uint32_t, size_t> closestIndex_;
};

}  // namespace kvr::host
