// Chooses the sense (up or down) and the strength of a resolution advisory against a set of threats:
// the sense by the separation each gives at closest approach with the standard response, preferring
// not to cross a threat's altitude; the strength as the weakest advisory that still reaches ALIM.
#pragma once

#include <span>

#include "avertine/separation_predictor.h"
#include "avertine/threat_geometry.h"

namespace avertine {

enum class Strength { None, Monitor, Adjust, Maintain, Corrective, Increase };

struct StrengthChoice {
  Strength strength = Strength::None;
  double limitFpm = 0.0;  // the limiting rate in sense coordinates
};

struct SenseConstraints {
  bool descendAllowed = true;
  Sense forcedSense = Sense::None;  // the complement of a coordinating intruder's sense; None: free
  // How far the own aircraft may still descend before descents are inhibited and it is told to level off.
  double descendRoomFt = SeparationPredictor::kNoMoveLimitFt;
};

class SenseSelector {
 public:
  // The sense for a new advisory.
  static Sense ChooseSense(std::span<const ThreatGeometry> threats, double alimFt, const SenseConstraints& constraints);

  // True when the sense takes the own aircraft through some threat's current altitude.
  static bool IsCrossing(std::span<const ThreatGeometry> threats, Sense sense);

  // True when some threat that `sense` crosses climbs or descends towards the own aircraft at a rate the
  // trend arrow shows.
  static bool ClosesOnUs(std::span<const ThreatGeometry> threats, Sense sense);

  // True when the own aircraft already flies in `sense` and, both holding their rates, passes through
  // the altitude of every threat that sense crosses by the closest approach: that crossing is under way.
  static bool AlreadyCrossing(std::span<const ThreatGeometry> threats, Sense sense);

  // The weakest advisory in `sense` whose limiting rate reaches `alimFt` with `model`, among the
  // negative limits stricter than `strongerThanFpm`, 1500 ft/min, and the own rate when it is steeper.
  // When none reaches ALIM the strongest of them. `ownRateFpm` is in ft/min, not sense coordinates.
  static StrengthChoice ChooseStrength(std::span<const ThreatGeometry> threats, Sense sense, double ownRateFpm,
                                       double alimFt, const ResponseModel& model, double strongerThanFpm);

  // The strength a limiting rate amounts to, given the own rate (both in sense coordinates).
  static Strength StrengthFor(double limitFpm, double ownSenseRateFpm);
};

}  // namespace avertine
