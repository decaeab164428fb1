// Vertical separation at closest approach under the standard pilot response.
#include "avertine/separation_predictor.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace avertine {

double SeparationPredictor::DisplacementFt(double fromRateFpm, double toRateFpm, double timeS,
                                           const ResponseModel& model) {
  const double from = fromRateFpm / kSecondsPerMinute;  // ft/s
  const double to = toRateFpm / kSecondsPerMinute;
  if (timeS <= model.delayS) return from * timeS;
  const double afterDelayS = timeS - model.delayS;
  const double change = to - from;
  const double rampS = std::fabs(change) / model.accelerationFtPerS2;
  const double direction = change >= 0.0 ? 1.0 : -1.0;
  const double accel = direction * model.accelerationFtPerS2;
  double displacement = from * model.delayS;
  if (afterDelayS <= rampS) {
    displacement += from * afterDelayS + 0.5 * accel * afterDelayS * afterDelayS;
  } else {
    displacement += from * rampS + 0.5 * accel * rampS * rampS + to * (afterDelayS - rampS);
  }
  return displacement;
}

double SeparationPredictor::EvaluationTimeS(const ThreatGeometry& threat) {
  double timeS = threat.closing ? threat.timeToCpaS : 0.0;
  // With little horizontal closure the danger is vertical: judge at co-altitude when converging. So too
  // past the closest approach, where two aircraft still near close vertically at a rate one flies.
  const double rangeRateKt = threat.rangeRateNmPerS * kSecondsPerHour;
  const bool resumed = !threat.closing && std::fabs(threat.relativeRateFpm) >= kResumedClosureFpm;
  if (std::fabs(rangeRateKt) <= kSlowRangeRateKt || resumed) {
    const double a = threat.relativeAltitudeFt;
    const double aDot = threat.relativeRateFpm / kSecondsPerMinute;
    if (a * aDot < 0.0) timeS = std::max(timeS, -a / aDot);
  }
  return std::clamp(timeS, 0.0, kMaxLookaheadS);
}

double SeparationPredictor::SeparationFt(const ThreatGeometry& threat, Sense sense, double rateFpm,
                                         const ResponseModel& model, double laterByS, double maxMoveFt) {
  const double timeS = std::min(EvaluationTimeS(threat) + laterByS, kMaxLookaheadS);
  const double ownFrom = SenseRateFpm(threat.ownRateFpm, sense);
  // In the sense's direction; a move bounded by `maxMoveFt` stops there (never moves back).
  const double ownMove = std::min(DisplacementFt(ownFrom, rateFpm, timeS, model), std::max(maxMoveFt, 0.0));
  const double intruderMove = SenseRateFpm(threat.intruderRateFpm, sense) / kSecondsPerMinute * timeS;
  // Own minus intruder (Up) or intruder minus own (Down), now and at the evaluation time.
  const double now = sense == Sense::Down ? threat.relativeAltitudeFt : -threat.relativeAltitudeFt;
  return now + ownMove - intruderMove;
}

double SeparationPredictor::MinSeparationFt(std::span<const ThreatGeometry> threats, Sense sense, double rateFpm,
                                            const ResponseModel& model, double laterByS, double maxMoveFt) {
  double least = std::numeric_limits<double>::infinity();
  for (const ThreatGeometry& threat : threats)
    least = std::min(least, SeparationFt(threat, sense, rateFpm, model, laterByS, maxMoveFt));
  return least;
}

}  // namespace avertine
