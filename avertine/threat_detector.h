// Classifies one intruder per frame: other traffic, proximate traffic, traffic advisory or resolution
// advisory threat, with the range (modified tau, DMOD), altitude (ZTHR, vertical tau) and horizontal
// miss-distance tests of the current sensitivity level; and gives its display priority.
#pragma once

#include <cstdint>

#include "avertine/avertine.h"
#include "avertine/tcas_parameters.h"
#include "avertine/threat_geometry.h"

namespace avertine {

class IntruderTrack;

// What the frame allows, decided once per frame from the own aircraft and the mode.
struct DetectionContext {
  const SensitivityLevel* level = nullptr;
  bool trafficAdvisoriesEnabled = false;
  bool resolutionAdvisoriesEnabled = false;
  double groundLevelFt = 0.0;  // ground under the own aircraft, pressure-altitude basis
  double nowS = 0.0;
  // Climbing out under the level-3 boundary: a new RA threat only where the own aircraft, climbing on,
  // is above the boundary at the closest approach.
  bool climbOut = false;
  double ownRadioAltitudeFt = 0.0;
  double ownRateFpm = 0.0;
};

class ThreatDetector {
 public:
  // Range test: inside `dmodNm`, or closing with a modified tau of at most `tauS`.
  static bool RangeTest(const ThreatGeometry& g, double tauS, double dmodNm);
  // Altitude test: inside `zthrFt`, or converging with a vertical tau of at most `tauS`.
  static bool AltitudeTest(const ThreatGeometry& g, double tauS, double zthrFt);
  static bool IsProximate(double rangeNm, bool altitudeKnown, double relativeAltitudeFt);

  static bool TrafficAdvisoryTest(const ThreatGeometry& g, const SensitivityLevel& level);
  // Threat declaration for a resolution advisory, with the miss-distance filter.
  static bool ResolutionAdvisoryTest(const ThreatGeometry& g, const SensitivityLevel& level);
  // Whether a declared threat goes on. It ends when the aircraft diverge, or once the miss-distance
  // filter has been sure, for kSureMissClearReports reports in a row, that the horizontal miss will be
  // large; never sooner than kMinThreatDurationS after it was declared, so that a pilot never hears an
  // advisory and its end back to back. `reported`: this frame brought a report (else the track coasts
  // over a missed reply, and only drawing apart can end the threat).
  static bool ThreatContinues(IntruderTrack& track, const ThreatGeometry& g, const SensitivityLevel& level, double nowS,
                              bool reported);

  // Updates the track's class and threat flag for this frame and returns the class. `onGround` marks
  // an intruder reporting an altitude too close to the ground for any advisory.
  static kvr::ThreatClass Classify(IntruderTrack& track, const ThreatGeometry& g, double rawRangeNm,
                                   double rawRelativeAltitudeFt, bool onGround, const DetectionContext& context);

  // Paint order: class first, then nearer (other/proximate) or more urgent (TA/RA) on top.
  static uint16_t Priority(kvr::ThreatClass threatClass, const ThreatGeometry& g);
};

}  // namespace avertine
