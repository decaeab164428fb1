// One other aircraft as the simulator's two traffic feeds show it: the FSUIPC traffic tables and the
// ITrafficInfo service both serve a list of these, built from the same flight each frame.
#pragma once

#include <cstdint>
#include <string>

#include "host/traffic/geo.h"

namespace kvr::host {

struct TrafficTarget {
  uint32_t id = 0;        // non-zero; ITrafficInfo hands it out as an int32
  std::string callsign;   // at most kCallsignChars characters reach the FSUIPC slot
  GeoPosition position;   // degrees
  double altitudeFt = 0;  // above mean sea level
  double headingDeg = 0;  // true track
  double groundSpeedKt = 0;
  double verticalSpeedFpm = 0;
  bool altitudeReadable = true;  // false: ITrafficInfo cannot give its altitude (range-only traffic)
};

}  // namespace kvr::host
