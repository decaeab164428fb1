#include "host/scenario/surveillance.h"

#include <cmath>

namespace kvr::host {

Surveillance::Surveillance(const SurveillanceSpec& spec, const std::string& scenarioName)
    : spec_(spec), random_(spec.seed ^ StableHash(scenarioName)) {}

void Surveillance::Apply(std::vector<TrafficTarget>& traffic, GeoPosition own) {
  if (!spec_.Any()) return;
  const LocalFrame frame(own);
  std::vector<TrafficTarget> kept;
  kept.reserve(traffic.size());
  for (TrafficTarget& t : traffic) {
    if (spec_.replyLossRate > 0 && random_.Uniform() < spec_.replyLossRate) continue;
    if (spec_.rangeSigmaFt > 0 || spec_.bearingSigmaDeg > 0) {
      const LocalPosition p = frame.ToLocal(t.position);
      const double rangeM = std::hypot(p.eastM, p.northM);
      const double bearing = std::atan2(p.eastM, p.northM);
      const double noisyRangeM = std::max(0.0, rangeM + random_.Gaussian() * spec_.rangeSigmaFt * kMetresPerFoot);
      const double noisyBearing = bearing + Radians(random_.Gaussian() * spec_.bearingSigmaDeg);
      t.position = frame.ToGeo({noisyRangeM * std::sin(noisyBearing), noisyRangeM * std::cos(noisyBearing)});
    }
    if (spec_.altitudeStepFt > 0) t.altitudeFt = std::round(t.altitudeFt / spec_.altitudeStepFt) * spec_.altitudeStepFt;
    kept.push_back(std::move(t));
  }
  traffic = std::move(kept);
}

}  // namespace kvr::host
