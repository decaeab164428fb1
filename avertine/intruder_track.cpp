// Tracking of one intruder and the geometry of closest approach.
#include "avertine/intruder_track.h"

#include <algorithm>
#include <cmath>

#include "avertine/own_ship_state.h"
#include "avertine/tcas_parameters.h"

namespace avertine {

void IntruderTrack::Start(uint32_t id) {
  *this = IntruderTrack{};
  id_ = id;
}

void IntruderTrack::Report(double nowS, const OwnShipState& own, double northNm, double eastNm,
                           bool altitudeKnown, double altitudeFt) {
  if (reports_ > 0 && nowS <= lastReportS_) return;  // same frame: the first report stands
  const double dtS = nowS - lastReportS_;
  // The relative velocity changes by whatever the own aircraft's ground velocity changed, in a turn or a
  // change of speed. Carried over at once, the filters follow only the intruder's manoeuvres and lag no
  // turn of the own aircraft.
  double ownNorth = 0.0;
  double ownEast = 0.0;
  const bool ownKnown = own.GroundVelocity(&ownNorth, &ownEast);
  if (ownKnown && ownVelocityKnown_) {
    north_.ShiftRate(ownNorthNmPerS_ - ownNorth);
    east_.ShiftRate(ownEastNmPerS_ - ownEast);
  }
  ownVelocityKnown_ = ownKnown;
  ownNorthNmPerS_ = ownNorth;
  ownEastNmPerS_ = ownEast;
  static constexpr AlphaBetaFilter::Manoeuvre kTurn{kManoeuvrePositionAlpha, kManoeuvrePositionBeta,
                                                   kPositionNoiseFloorNm};
  north_.Update(northNm, dtS, kPositionAlpha, kPositionBeta, &kTurn);
  east_.Update(eastNm, dtS, kPositionAlpha, kPositionBeta, &kTurn);
  if (altitudeKnown) {
    if (!altitudeKnown_) altitude_.Reset();  // altitude (re)appears: start its filter afresh
    static constexpr AlphaBetaFilter::Manoeuvre kVertical{kManoeuvreAltitudeAlpha, kManoeuvreAltitudeBeta,
                                                          kAltitudeNoiseFloorFt};
    altitude_.Update(altitudeFt, dtS, kIntruderAltitudeAlpha, kIntruderAltitudeBeta, &kVertical);
  }
  altitudeKnown_ = altitudeKnown;
  lastReportS_ = nowS;
  ++reports_;
}

bool IntruderTrack::Firm() const { return reports_ >= kFirmTrackReports; }

double IntruderTrack::IntruderRateFpm() const {
  return AltitudeRateKnown() ? altitude_.RatePerS() * kSecondsPerMinute : 0.0;
}

ThreatGeometry IntruderTrack::Estimate(double nowS, const OwnShipState& own) const {
  ThreatGeometry g;
  const double ageS = nowS - lastReportS_;
  const double n = north_.ValueAfter(ageS);
  const double e = east_.ValueAfter(ageS);
  const double vn = north_.RatePerS();
  const double ve = east_.RatePerS();
  g.rangeNm = std::sqrt(n * n + e * e);
  const double dot = n * vn + e * ve;
  g.rangeRateNmPerS = g.rangeNm > 1e-9 ? dot / g.rangeNm : 0.0;
  const double speedSq = vn * vn + ve * ve;
  g.relativeSpeedNmPerS = std::sqrt(speedSq);
  g.closing = dot < 0.0 && speedSq > 1e-12;
  if (g.closing) {
    g.timeToCpaS = -dot / speedSq;
    const double cn = n + vn * g.timeToCpaS;
    const double ce = e + ve * g.timeToCpaS;
    g.missDistanceNm = std::sqrt(cn * cn + ce * ce);
    // How far the predicted miss may be off: the position residuals, grown by the velocity error they
    // imply over the time to closest approach.
    const double spreadNm = std::max(north_.ResidualSpread(), east_.ResidualSpread());
    g.missUncertaintyNm = kMissConfidence * spreadNm * (1.0 + kPositionRatePerResidual * g.timeToCpaS);
  } else {
    g.timeToCpaS = 0.0;
    g.missDistanceNm = g.rangeNm;
  }

  g.ownRateFpm = own.VerticalRateFpm();
  g.altitudeKnown = altitudeKnown_;
  if (altitudeKnown_) {
    g.intruderRateFpm = IntruderRateFpm();
    g.relativeAltitudeFt = altitude_.ValueAfter(ageS) - own.TrackedAltitudeFt();
    g.relativeRateFpm = g.intruderRateFpm - g.ownRateFpm;
  }
  g.coordinationSense = coordinationSense;
  g.coordinationSinceS = coordinationSinceS;
  return g;
}

}  // namespace avertine
