// Predicts the vertical separation at closest approach if the own aircraft flies a given vertical rate:
// the pilot holds the current rate for the response delay, then accelerates to the advised rate, while
// the intruder keeps its tracked rate.
#pragma once

#include <algorithm>
#include <limits>
#include <span>

#include "avertine/tcas_parameters.h"
#include "avertine/threat_geometry.h"

namespace avertine {

class SeparationPredictor {
 public:
  // Vertical displacement (ft) after `timeS`, starting at `fromRateFpm` and going to `toRateFpm`.
  static double DisplacementFt(double fromRateFpm, double toRateFpm, double timeS, const ResponseModel& model);

  // Time (s) at which the separation with `threat` is judged: its closest approach, bounded.
  static double EvaluationTimeS(const ThreatGeometry& threat);

  // Separation (ft) at closest approach measured in the sense's direction (own above the intruder for
  // Up, below for Down; negative when own ends on the wrong side) if the own aircraft flies `rateFpm`
  // in sense coordinates (positive = in the sense's direction).
  // `laterByS` judges it that much after the closest approach predicted, for a prediction that may be early.
  // `maxMoveFt` is how far the own aircraft may move in the sense's direction before the advisory asks for
  // level flight at most (a descent that reaches the descend inhibit): an advised descent stops beyond it
  // by the pilot's later response, while a descent flown before the advisory goes on.
  static double SeparationFt(const ThreatGeometry& threat, Sense sense, double rateFpm, const ResponseModel& model,
                             double laterByS = 0.0, double maxMoveFt = kNoMoveLimitFt);

  // The horizontal range (NM) where the own aircraft, on the wrong side of the intruder for `sense` and
  // flying `rateFpm` in it, crosses the intruder's altitude before the separation is judged, both flying
  // straight; infinite where it does not cross by then.
  static double CrossingRangeNm(const ThreatGeometry& threat, Sense sense, double rateFpm, const ResponseModel& model);

  // The smallest such separation over all threats.
  static double MinSeparationFt(std::span<const ThreatGeometry> threats, Sense sense, double rateFpm,
                                const ResponseModel& model, double laterByS = 0.0, double maxMoveFt = kNoMoveLimitFt);

  // The same with each threat's vertical picture changed by `doubt(threat)`, which may set its altitude and
  // rate, for a prediction that doubts what the reports say of the intruder's climb or descent.
  template <typename Doubt>
  static double MinSeparationDoubtedFt(std::span<const ThreatGeometry> threats, Sense sense, double rateFpm,
                                       const ResponseModel& model, double maxMoveFt, Doubt doubt) {
    double least = std::numeric_limits<double>::infinity();
    for (ThreatGeometry threat : threats) {
      doubt(threat);
      threat.relativeRateFpm = threat.intruderRateFpm - threat.ownRateFpm;
      least = std::min(least, SeparationFt(threat, sense, rateFpm, model, 0.0, maxMoveFt));
    }
    return least;
  }

  static constexpr double kNoMoveLimitFt = 1e9;

  // Own vertical rate expressed in the sense's coordinates.
  static double SenseRateFpm(double rateFpm, Sense sense) { return sense == Sense::Down ? -rateFpm : rateFpm; }
};

}  // namespace avertine
