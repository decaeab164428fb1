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
  // In the sense's direction. Beyond `maxMoveFt` the advisory asks for no more than level flight: what
  // the aircraft was flying of its own goes on, what was advised beyond it stops there with the response
  // to a later change (the pilot's delay, then its acceleration).
  double ownMove = DisplacementFt(ownFrom, rateFpm, timeS, model);
  if (maxMoveFt < kNoMoveLimitFt) {
    const double keptFt = ownFrom / kSecondsPerMinute * timeS;
    const double rateFtPerS = std::max(rateFpm, 0.0) / kSecondsPerMinute;
    const double overshootFt = rateFtPerS * kSubsequentResponse.delayS +
                               rateFtPerS * rateFtPerS / (2.0 * kSubsequentResponse.accelerationFtPerS2);
    ownMove = std::min(ownMove, std::max(keptFt, std::max(maxMoveFt, 0.0) + overshootFt));
  }
  const double intruderMove = SenseRateFpm(threat.intruderRateFpm, sense) / kSecondsPerMinute * timeS;
  // Own minus intruder (Up) or intruder minus own (Down), now and at the evaluation time.
  const double now = sense == Sense::Down ? threat.relativeAltitudeFt : -threat.relativeAltitudeFt;
  return now + ownMove - intruderMove;
}

double SeparationPredictor::CrossingRangeNm(const ThreatGeometry& threat, Sense sense, double rateFpm,
                                            const ResponseModel& model) {
  constexpr double kNever = std::numeric_limits<double>::infinity();
  const double now = sense == Sense::Down ? threat.relativeAltitudeFt : -threat.relativeAltitudeFt;
  if (now >= 0.0) return kNever;
  const double untilS = EvaluationTimeS(threat);
  const double ownFrom = SenseRateFpm(threat.ownRateFpm, sense);
  const double intruderFtPerS = SenseRateFpm(threat.intruderRateFpm, sense) / kSecondsPerMinute;
  constexpr double kStepS = 0.5;
  for (double t = kStepS; t <= untilS; t += kStepS) {
    if (now + DisplacementFt(ownFrom, rateFpm, t, model) - intruderFtPerS * t < 0.0) continue;
    // Flown straight, the two are nearest at the closest approach and part at their relative speed.
    const double fromCpaS = threat.closing ? threat.timeToCpaS - t : -t;
    const double nearestNm = threat.closing ? threat.missDistanceNm : threat.rangeNm;
    return std::hypot(nearestNm, threat.relativeSpeedNmPerS * fromCpaS);
  }
  return kNever;
}

double SeparationPredictor::MinSeparationFt(std::span<const ThreatGeometry> threats, Sense sense, double rateFpm,
                                            const ResponseModel& model, double laterByS, double maxMoveFt) {
  double least = std::numeric_limits<double>::infinity();
  for (const ThreatGeometry& threat : threats)
    least = std::min(least, SeparationFt(threat, sense, rateFpm, model, laterByS, maxMoveFt));
  return least;
}

}  // namespace avertine
