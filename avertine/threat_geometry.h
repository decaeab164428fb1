// The encounter with one intruder as the advisory logic reasons about it: horizontal range, closure,
// closest approach, and the vertical picture, all from the tracks at one instant.
#pragma once

#include <cstdint>

namespace avertine {

enum class Sense { None, Up, Down };

inline Sense Opposite(Sense sense) {
  return sense == Sense::Up ? Sense::Down : sense == Sense::Down ? Sense::Up : Sense::None;
}

// The sense a coordinating intruder reports in its record (0 none, 1 up, 2 down); any other value is
// no coordination, so a corrupt record cannot force a sense.
inline Sense CoordinationSenseOf(int32_t reported) {
  return reported == 1 ? Sense::Up : reported == 2 ? Sense::Down : Sense::None;
}

struct ThreatGeometry {
  double rangeNm = 0.0;
  double rangeRateNmPerS = 0.0;      // negative while closing
  double timeToCpaS = 0.0;           // time to horizontal closest approach; 0 when not closing
  double missDistanceNm = 0.0;       // predicted horizontal range at closest approach
  double relativeSpeedNmPerS = 0.0;  // horizontal speed of the intruder relative to the own aircraft
  double missUncertaintyNm = 0.0;    // how far missDistanceNm may be off
  double rangeMissFloorNm = 0.0;     // the least miss that the ranges alone make sure of (0: none)
  double closureBoundNmPerS = 0.0;   // the fastest the range can shrink, however both turn (0: unknown)
  // From the longer memory of ranges, where the intruder flew straight (see IntruderTrack):
  double straightMissFloorNm = 0.0;         // the least miss they make sure of (0: none)
  double straightClosureBoundNmPerS = 0.0;  // the fastest the range closes now (0: unknown)
  double straightTimeToCpaS = -1.0;         // the time to closest approach (negative: unknown)
  bool closing = false;
  bool altitudeKnown = false;
  double relativeAltitudeFt = 0.0;     // intruder minus own
  double relativeRateFpm = 0.0;        // rate of change of relativeAltitudeFt
  double steadyRelativeRateFpm = 0.0;  // the same, with a steady climb on rounded reports timed closer
  double intruderRateFpm = 0.0;
  double intruderRateResolutionFpm = 0.0;  // how far intruderRateFpm may be off by its reports' timing
  // Its reports, rounded to steps, have stayed on one step well past the time the last steps took: its
  // climb or descent has slowed by as much as they cannot tell, perhaps to a level-off.
  bool intruderRatePaused = false;
  // Its exact reports show its climb or descent slowing steadily: it levels off `intruderLevelOffFt` (signed,
  // up positive) from where it is now, if it keeps slowing as it did over the last reports.
  bool intruderLevelling = false;
  double intruderLevelOffFt = 0.0;
  double ownRateFpm = 0.0;
  Sense coordinationSense = Sense::None;  // the intruder's own RA sense
  double coordinationSinceS = 0.0;        // when the intruder last told us a different sense
};

}  // namespace avertine
