// Threat detection and display priority.
#include "avertine/threat_detector.h"

#include <algorithm>
#include <cmath>

#include "avertine/intruder_track.h"
#include "avertine/separation_predictor.h"

namespace avertine {

bool ThreatDetector::RangeTest(const ThreatGeometry& g, double tauS, double dmodNm) {
  if (g.rangeNm <= dmodNm) return true;
  if (g.rangeRateNmPerS >= 0.0) return false;
  // Modified tau: the time to reach DMOD rather than zero range, protecting slow closures.
  const double modifiedTauS = (dmodNm * dmodNm - g.rangeNm * g.rangeNm) / (g.rangeNm * g.rangeRateNmPerS);
  return modifiedTauS <= tauS;
}

bool ThreatDetector::AltitudeTest(const ThreatGeometry& g, double tauS, double zthrFt) {
  const double a = g.relativeAltitudeFt;
  if (std::fabs(a) <= zthrFt) return true;
  const double aDotFtPerS = g.relativeRateFpm / kSecondsPerMinute;
  if (a * aDotFtPerS >= 0.0) return false;  // level or diverging vertically
  return -a / aDotFtPerS <= tauS;
}

bool ThreatDetector::IsProximate(double rangeNm, bool altitudeKnown, double relativeAltitudeFt) {
  return rangeNm <= kProximateRangeNm && (!altitudeKnown || std::fabs(relativeAltitudeFt) <= kProximateAltitudeFt);
}

bool ThreatDetector::TrafficAdvisoryTest(const ThreatGeometry& g, const SensitivityLevel& level) {
  if (!RangeTest(g, level.taTauS, level.taDmodNm)) return false;
  return !g.altitudeKnown || AltitudeTest(g, level.taTauS, level.taZthrFt);  // range-only traffic: range
}

namespace {

// The miss-distance filter acts only where the predicted miss exceeds its threshold by more than the
// prediction may be off, or where it exceeds it and the ranges alone make a miss beyond it sure.
bool SureMissBeyond(const ThreatGeometry& g, double thresholdNm) {
  return g.missDistanceNm - g.missUncertaintyNm > thresholdNm ||
         (g.missDistanceNm > thresholdNm && g.rangeMissFloorNm > thresholdNm);
}

// The vertical twin of the miss-distance filter. Flown straight on, the two are within ZTHR of each
// other's altitude only for a while (or never). Where they end up well apart vertically, and even the
// nearest they come horizontally in that while is surely beyond the TA DMOD, as when one climbs or
// descends fast through the other's level miles away, they never meet in both planes at once.
bool SureApartWhileLevel(const ThreatGeometry& g, const SensitivityLevel& level) {
  const double a = g.relativeAltitudeFt;
  const double aDot = g.steadyRelativeRateFpm / kSecondsPerMinute;
  const double leastMissFt = std::max(kVerticalMissFilterAlims * level.alimFt, kVerticalMissFilterMinFt);
  // The ranges' time to closest approach where bearing leaves the positions' one loose.
  const double cpaS = g.straightTimeToCpaS >= 0.0 ? g.straightTimeToCpaS : g.timeToCpaS;
  if (std::fabs(a + aDot * cpaS) < leastMissFt) return false;
  const double zthrFt = level.raZthrFt;
  double fromS = 0.0;
  double untilS = kMaxLookaheadS;
  if (std::fabs(aDot) > 1e-9) {
    const double t1 = (-zthrFt - a) / aDot;
    const double t2 = (zthrFt - a) / aDot;
    fromS = std::max(fromS, std::min(t1, t2));
    untilS = std::min(untilS, std::max(t1, t2));
  } else if (std::fabs(a) > zthrFt) {
    return true;
  }
  if (fromS > untilS) return true;
  // The miss's uncertainty comes off the miss, not off the whole range: bearing error, which shows across
  // the line of sight, loosens the miss far more than how far along their paths the two are. Within ZTHR
  // only well before or after the closest approach, that distance alone may keep them beyond the TA DMOD.
  const double nearestS = std::clamp(cpaS, fromS, untilS);
  const double rangeNm =
      std::hypot(std::max(g.missDistanceNm - g.missUncertaintyNm, 0.0), g.relativeSpeedNmPerS * (nearestS - cpaS));
  if (rangeNm > level.taDmodNm) return true;
  // Without the predicted miss, which leans on bearing: flown straight, their range shrinks no faster
  // than the ranges show it shrinking now, and however the two turn, no faster than the sum of their
  // speeds. Where it cannot close to the TA DMOD before they are beyond ZTHR of each other's altitude
  // again, they never meet in both planes at once.
  if (g.straightClosureBoundNmPerS > 0.0 && g.rangeNm - g.straightClosureBoundNmPerS * untilS > level.taDmodNm)
    return true;
  return g.closureBoundNmPerS > 0.0 && g.rangeNm - g.closureBoundNmPerS * untilS > level.taDmodNm;
}

// Climbing out, an RA only against traffic met above the level-3 boundary.
bool MetAboveLevel3(const ThreatGeometry& g, const DetectionContext& context) {
  if (!context.climbOut) return true;
  const double timeS = std::min(g.timeToCpaS, kMaxLookaheadS);
  return context.ownRadioAltitudeFt + context.ownRateFpm / kSecondsPerMinute * timeS >= kLevel3MinRadioFt;
}

bool Diverging(const ThreatGeometry& g) { return g.rangeRateNmPerS * kSecondsPerHour > kDivergingRangeRateKt; }

// Drawing apart only slowly and still inside the RA DMOD, the two close vertically and come within ALIM
// of each other before they are out of the DMOD (and within the RA tau): as when one aircraft, clear of
// conflict, turns back towards its assigned altitude straight at the other. Faster apart, they are far
// off by the time they meet in altitude.
bool ClosingVerticallyInsideDmod(const ThreatGeometry& g, const SensitivityLevel& level) {
  if (g.rangeNm > level.raDmodNm || g.rangeRateNmPerS * kSecondsPerHour > kSlowRangeRateKt) return false;
  const double a = g.relativeAltitudeFt;
  const double aDot = g.relativeRateFpm / kSecondsPerMinute;
  // Closing vertically, and at a rate an aircraft flies, not one that track noise shows.
  if (a * aDot >= 0.0 || std::fabs(g.relativeRateFpm) < kResumedClosureFpm) return false;
  const double insideS = g.rangeRateNmPerS > 1e-9 ? (level.raDmodNm - g.rangeNm) / g.rangeRateNmPerS : kMaxLookaheadS;
  const double withinAlimS = (std::fabs(a) - level.alimFt) / std::fabs(aDot);
  return withinAlimS <= std::min(insideS, level.raTauS);
}

}  // namespace

bool ThreatDetector::ResolutionAdvisoryTest(const ThreatGeometry& g, const SensitivityLevel& level) {
  if (level.raTauS <= 0.0 || !g.altitudeKnown || Diverging(g)) return false;
  // Past the closest approach, or at it, a new advisory can no longer change the miss and only startles.
  // Where the aircraft move slowly against each other the time to co-altitude counts instead.
  const bool slow = g.relativeSpeedNmPerS * kSecondsPerHour <= kSlowRangeRateKt;
  const bool ahead = slow ? SeparationPredictor::EvaluationTimeS(g) >= kMinNewAdvisoryLeadS
                          : g.closing && g.timeToCpaS >= kMinNewAdvisoryLeadS;
  if (!ahead) return false;
  if (std::fabs(g.intruderRateFpm) > kMaxThreatVerticalRateFpm) return false;
  if (!RangeTest(g, level.raTauS, level.raDmodNm)) return false;
  if (g.rangeNm > level.raDmodNm && g.closing && SureMissBeyond(g, level.hmdNm)) return false;
  // At levels 6 and 7 the RA tau falls where bearing leaves the positions' miss open; a miss the longer
  // memory of ranges makes sure of holds the RA back there (it clears none).
  if (g.rangeNm > level.raDmodNm && g.closing && level.raTauS >= kStraightMissMinRaTauS &&
      g.straightMissFloorNm > level.hmdNm)
    return false;
  // The vertical filter applies inside the RA DMOD too: a slow closure may come that near long before
  // the two reach each other's level, miles apart again by then.
  if (g.closing && SureApartWhileLevel(g, level)) return false;
  return AltitudeTest(g, level.raTauS, level.raZthrFt);
}

namespace {

// Drawing apart resolves a threat once out of the RA DMOD, or inside it once beyond ZTHR of each other's
// altitude: still within ZTHR side by side, or turning about each other, the divergence may not last,
// and an aircraft cleared there that returns to its assigned altitude is on the other before a new
// advisory can move it.
bool DrawnApart(const ThreatGeometry& g, const SensitivityLevel& level) {
  return Diverging(g) && (g.rangeNm > level.raDmodNm || (std::fabs(g.relativeAltitudeFt) >= level.raZthrFt &&
                                                         !ClosingVerticallyInsideDmod(g, level)));
}

bool SureToMiss(const ThreatGeometry& g, const SensitivityLevel& level) {
  return g.closing && g.rangeNm > level.raDmodNm && SureMissBeyond(g, level.hmdNm);
}

}  // namespace

bool ThreatDetector::ThreatContinues(IntruderTrack& track, const ThreatGeometry& g, const SensitivityLevel& level,
                                     double nowS, bool reported) {
  // A sure miss ends the threat only once it has held for some reports in a row: the errors of one
  // report may show one where the two are on a collision course, and the advisory that follows such a
  // clear comes after the pilot's full delay again. A missed reply adds no report, and the track
  // extrapolated over it says no more than the last report did.
  if (reported) track.sureMissReports = SureToMiss(g, level) ? track.sureMissReports + 1 : 0;
  const bool resolved = DrawnApart(g, level) || track.sureMissReports >= kSureMissClearReports;
  return !resolved || nowS - track.raSinceS < kMinThreatDurationS;
}

kvr::ThreatClass ThreatDetector::Classify(IntruderTrack& track, const ThreatGeometry& g, double rawRangeNm,
                                          double rawRelativeAltitudeFt, bool onGround,
                                          const DetectionContext& context) {
  const SensitivityLevel& level = *context.level;
  const bool eligible = track.Firm() && !onGround;
  const bool wasThreat = track.raThreat;

  // Resolution advisory threat: declared by the RA tests, kept until resolved.
  if (!eligible || !context.resolutionAdvisoriesEnabled) {
    track.raThreat = false;
  } else if (track.raThreat) {
    track.raThreat = ThreatContinues(track, g, level, context.nowS, true);
  } else {
    // After a clear, the aircraft may still be inside the DMOD when one turns back towards the other's
    // altitude; the horizontal divergence that ended the advisory must not hold back the next one.
    const bool again = track.raCleared && g.altitudeKnown && level.raTauS > 0.0 &&
                       std::fabs(g.intruderRateFpm) <= kMaxThreatVerticalRateFpm &&
                       ClosingVerticallyInsideDmod(g, level);
    track.raThreat = (ResolutionAdvisoryTest(g, level) || again) && MetAboveLevel3(g, context);
    if (track.raThreat) {
      track.raSinceS = context.nowS;
      track.sureMissReports = 0;
    }
  }
  if (wasThreat && !track.raThreat) track.raCleared = true;

  // Traffic advisory: by its tests, held for a minimum time; a former RA threat stays at least a TA.
  bool ta = false;
  if (eligible && context.trafficAdvisoriesEnabled) {
    const bool wasTa = track.threatClass == kvr::ThreatClass::TrafficAdvisory ||
                       track.threatClass == kvr::ThreatClass::ResolutionAdvisory;
    ta = TrafficAdvisoryTest(g, level) || track.raThreat || (wasTa && context.nowS - track.taSinceS < kTaMinDurationS);
    if (ta && !wasTa) track.taSinceS = context.nowS;
  }

  kvr::ThreatClass result = kvr::ThreatClass::OtherTraffic;
  if (track.raThreat) {
    result = kvr::ThreatClass::ResolutionAdvisory;
  } else if (ta) {
    result = kvr::ThreatClass::TrafficAdvisory;
  } else if (IsProximate(rawRangeNm, g.altitudeKnown, rawRelativeAltitudeFt)) {
    result = kvr::ThreatClass::ProximateTraffic;
  }
  track.threatClass = result;
  return result;
}

uint16_t ThreatDetector::Priority(kvr::ThreatClass threatClass, const ThreatGeometry& g) {
  constexpr double kStepsPerClass = 0x3FFF;
  const double classBase = static_cast<double>(static_cast<uint32_t>(threatClass) & 0x3u) * 0x4000;
  double steps = 0.0;
  if (threatClass == kvr::ThreatClass::OtherTraffic || threatClass == kvr::ThreatClass::ProximateTraffic) {
    steps = g.rangeNm / kPriorityRangeStepNm;
  } else {
    // Urgency: seconds to closest approach plus the vertical separation counted as time.
    const double timeS = g.closing ? g.timeToCpaS : kDivergingUrgencyS;
    const double urgencyS = timeS + (g.altitudeKnown ? std::fabs(g.relativeAltitudeFt) / kUrgencyFtPerS : 0.0);
    steps = urgencyS / kPriorityUrgencyStepS;
  }
  steps = std::clamp(steps, 0.0, kStepsPerClass);
  return static_cast<uint16_t>(classBase + (kStepsPerClass - std::floor(steps)));
}

}  // namespace avertine
