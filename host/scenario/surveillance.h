// Surveillance as a real transponder link delivers it: each frame the traffic list the feeds serve is
// degraded as the scenario's surveillance asks. Altitudes are rounded to the reporting step; the range and
// bearing seen from the own aircraft get Gaussian errors of the stated sigma; a reply lost drops the
// aircraft from that frame's list. The noise comes from a generator seeded by the scenario's seed and
// name, so a run is repeatable, on any machine, and two encounters of a set do not share their noise.
#pragma once

#include <string>
#include <vector>

#include "host/scenario/noise_source.h"
#include "host/scenario/scenario.h"
#include "host/traffic/geo.h"
#include "host/traffic/traffic_target.h"

namespace kvr::host {

class Surveillance {
 public:
  Surveillance(const SurveillanceSpec& spec, const std::string& scenarioName);
  // Degrades `traffic` as seen from `own`.
  void Apply(std::vector<TrafficTarget>& traffic, GeoPosition own);

 private:
  SurveillanceSpec spec_;
  NoiseSource random_;
};

}  // namespace kvr::host
