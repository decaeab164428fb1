// Tracking of one intruder and the geometry of closest approach.
#include "avertine/intruder_track.h"

#include <algorithm>
#include <cmath>

#include "avertine/own_ship_state.h"
#include "avertine/tcas_parameters.h"

namespace avertine {
namespace {

struct RangeMiss {
  double missNm = 0.0;   // the fit's own value
  double floorNm = 0.0;  // kMissConfidence standard errors below it; 0 where not sure of a miss
};

// Fits r^2 = a t^2 + b t + c to the squared ranges (t: seconds from the newest report), which is exact
// for two aircraft flying straight: a is the squared relative speed and c - b^2 / 4a the squared miss.
// Gives no floor where the fit is not sure the two are closing on a curve at all. Range is measured far
// more precisely than bearing, so this miss is sure much earlier than the one from the tracked positions.
RangeMiss FitRangeMiss(const std::array<double, kRangeFitReports>& timesS,
                       const std::array<double, kRangeFitReports>& rangeSquares, double newestS) {
  double s[5] = {};  // sums of t^k
  double y[3] = {};  // sums of t^k r^2
  for (size_t i = 0; i < timesS.size(); ++i) {
    const double t = timesS[i] - newestS;
    double p = 1.0;
    for (int k = 0; k < 5; ++k) {
      s[k] += p;
      if (k < 3) y[k] += p * rangeSquares[i];
      p *= t;
    }
  }
  // Normal equations for (a, b, c) and the inverse of their matrix by cofactors.
  const double m[3][3] = {{s[4], s[3], s[2]}, {s[3], s[2], s[1]}, {s[2], s[1], s[0]}};
  double inv[3][3];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      inv[c][r] = m[(r + 1) % 3][(c + 1) % 3] * m[(r + 2) % 3][(c + 2) % 3] -
                  m[(r + 1) % 3][(c + 2) % 3] * m[(r + 2) % 3][(c + 1) % 3];
  const double det = m[0][0] * inv[0][0] + m[0][1] * inv[1][0] + m[0][2] * inv[2][0];
  if (!(std::fabs(det) > 1e-12)) return {};
  for (auto& row : inv)
    for (double& v : row) v /= det;
  const double rhs[3] = {y[2], y[1], y[0]};
  double q[3];
  for (int r = 0; r < 3; ++r) q[r] = inv[r][0] * rhs[0] + inv[r][1] * rhs[1] + inv[r][2] * rhs[2];
  const double a = q[0], b = q[1], c = q[2];

  double residualSquares = 0.0;
  for (size_t i = 0; i < timesS.size(); ++i) {
    const double t = timesS[i] - newestS;
    const double e = rangeSquares[i] - ((a * t + b) * t + c);
    residualSquares += e * e;
  }
  // The spread of r^2 about the fit, never less than a range error of the noise floor would give.
  const double rmsRangeNm = std::sqrt(y[0] / static_cast<double>(timesS.size()));
  const double floorSpread = 2.0 * rmsRangeNm * kPositionNoiseFloorNm;
  const double variance = std::max(residualSquares / static_cast<double>(timesS.size() - 3), floorSpread * floorSpread);
  if (a <= kMissConfidence * std::sqrt(variance * inv[0][0])) return {};  // no sure curvature

  const double missSquare = c - b * b / (4.0 * a);
  const double g[3] = {b * b / (4.0 * a * a), -b / (2.0 * a), 1.0};  // gradient of the miss square
  double missVariance = 0.0;
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 3; ++k) missVariance += g[r] * inv[r][k] * g[k];
  missVariance *= variance;
  const double low = missSquare - kMissConfidence * std::sqrt(std::max(missVariance, 0.0));
  return {std::sqrt(std::max(missSquare, 0.0)), low > 0.0 ? std::sqrt(low) : 0.0};
}

// The coarsest altitude reporting step, no coarser than `atMostFt`, that `altitudeFt` sits on; 0 for none.
// Every report of a track on one step says its altitudes are rounded to it.
double CoarsestStepOn(double altitudeFt, double atMostFt) {
  for (double stepFt : kAltitudeRoundingStepsFt)
    if (stepFt <= atMostFt && std::fabs(std::remainder(altitudeFt, stepFt)) < 1e-6) return stepFt;
  return 0.0;
}

// The miss-distance thresholds of all levels: only between them can the fit change a decision.
constexpr double SmallestMissThresholdNm() {
  double least = 1e9;
  for (const SensitivityLevel& level : kSensitivityLevels)
    if (level.hmdNm > 0.0) least = std::min(least, level.hmdNm);
  return least;
}
constexpr double LargestMissThresholdNm() {
  double most = 0.0;
  for (const SensitivityLevel& level : kSensitivityLevels) most = std::max(most, level.hmdNm);
  return most;
}
constexpr double kSmallestMissThresholdNm = SmallestMissThresholdNm();
constexpr double kLargestMissThresholdNm = LargestMissThresholdNm();

}  // namespace

void IntruderTrack::Start(uint32_t id) {
  *this = IntruderTrack{};
  id_ = id;
}

void IntruderTrack::Report(double nowS, const OwnShipState& own, double northNm, double eastNm, bool altitudeKnown,
                           double altitudeFt) {
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
                                                    kPositionNoiseFloorNm, kPositionProcessSigmaNmPerS2};
  north_.Update(northNm, dtS, kPositionAlpha, kPositionBeta, &kTurn);
  east_.Update(eastNm, dtS, kPositionAlpha, kPositionBeta, &kTurn);
  if (altitudeKnown) {
    if (!altitudeKnown_) {  // altitude (re)appears: start its filter afresh
      altitude_.Reset();
      altitudeRoundingFt_ = kAltitudeRoundingStepsFt[0];
      crossingCount_ = 0;
    }
    altitudeRoundingFt_ = CoarsestStepOn(altitudeFt, altitudeRoundingFt_);
    if (altitudeKnown_ && altitudeRoundingFt_ > 0.0 && altitudeFt != reportedAltitudeFt_) {
      crossings_[static_cast<size_t>(crossingCount_ % kStepCrossings)] =
          StepCrossing{nowS - 0.5 * dtS, 0.5 * (altitudeFt + reportedAltitudeFt_), nowS};
      if (crossingCount_ < 1000000) ++crossingCount_;
    }
    reportedAltitudeFt_ = altitudeFt;
    // Rounded reports keep the steady gains given: a level intruder's show no residuals at all, and a
    // climbing one's rounding error runs up to half a step and then jumps, which no steady gain should
    // follow, however small the noise it has learned.
    const AlphaBetaFilter::Manoeuvre vertical{kManoeuvreAltitudeAlpha, kManoeuvreAltitudeBeta, kAltitudeNoiseFloorFt,
                                              altitudeRoundingFt_ > 0.0 ? 0.0 : kAltitudeProcessSigmaFtPerS2};
    altitude_.Update(altitudeFt, dtS, kIntruderAltitudeAlpha, kIntruderAltitudeBeta, &vertical);
  }
  altitudeKnown_ = altitudeKnown;
  lastReportS_ = nowS;
  const size_t slot = static_cast<size_t>(rangeCount_ % kRangeFitReports);
  rangeSquares_[slot] = northNm * northNm + eastNm * eastNm;
  rangeTimesS_[slot] = nowS;
  if (rangeCount_ < 1000000) ++rangeCount_;
  ++reports_;
}

bool IntruderTrack::Firm() const { return reports_ >= kFirmTrackReports; }

void IntruderTrack::VerticalState(double* altitudeFt, double* ratePerS, double* resolutionPerS) const {
  if (resolutionPerS != nullptr) *resolutionPerS = 0.0;
  *altitudeFt = altitude_.Value();
  *ratePerS = altitude_.HasRate() ? altitude_.RatePerS() : 0.0;
  const double stepFt = altitudeRoundingFt_;
  if (stepFt <= 0.0 || crossingCount_ == 0 || !altitude_.HasRate()) return;
  const auto crossing = [&](int back) {
    return crossings_[static_cast<size_t>((crossingCount_ - 1 - back) % kStepCrossings)];
  };
  const StepCrossing newest = crossing(0);
  const int known = std::min(crossingCount_, kStepCrossings);
  int steady = 1;  // crossings, from the newest back, of one steady climb or descent
  const double firstS = known > 1 ? newest.timeS - crossing(1).timeS : 0.0;
  const double wayFt = known > 1 ? newest.altitudeFt - crossing(1).altitudeFt : 0.0;
  for (int k = 1; k < known; ++k) {
    const double intervalS = crossing(k - 1).timeS - crossing(k).timeS;
    const bool sameWay = (crossing(k - 1).altitudeFt - crossing(k).altitudeFt) * wayFt > 0.0;
    if (!sameWay || intervalS < kStepMinIntervalS ||
        std::fabs(intervalS - firstS) > kStepIntervalToleranceS + 0.25 * std::max(intervalS, firstS))
      break;
    steady = k + 1;
  }
  if (steady >= 3) {
    const StepCrossing oldest = crossing(steady - 1);
    const double spanS = newest.timeS - oldest.timeS;
    if (spanS >= kStepMinSpanS && lastReportS_ - newest.timeS <= spanS / (steady - 1) + kStepOverdueS) {
      *ratePerS = (newest.altitudeFt - oldest.altitudeFt) / spanS;
      // Each crossing is timed only to within half a report interval either side of its time.
      const double timingS = (newest.reportS - newest.timeS) + (oldest.reportS - oldest.timeS);
      if (resolutionPerS != nullptr) *resolutionPerS = std::fabs(*ratePerS) * timingS / spanS;
      *altitudeFt = newest.altitudeFt + *ratePerS * (lastReportS_ - newest.timeS);
    }
  }
  // Since the report that showed the newest crossing, the reports stayed on one step.
  const double sinceS = lastReportS_ - newest.reportS;
  if (sinceS > 0.0) *ratePerS = std::clamp(*ratePerS, -stepFt / sinceS, stepFt / sinceS);
  *altitudeFt = std::clamp(*altitudeFt, reportedAltitudeFt_ - 0.5 * stepFt, reportedAltitudeFt_ + 0.5 * stepFt);
}

double IntruderTrack::IntruderRateFpm() const {
  if (!AltitudeRateKnown()) return 0.0;
  double altitudeFt = 0.0;
  double ratePerS = 0.0;
  VerticalState(&altitudeFt, &ratePerS);
  return ratePerS * kSecondsPerMinute;
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
  double ownNorth = 0.0;
  double ownEast = 0.0;
  if (own.GroundVelocity(&ownNorth, &ownEast))
    g.closureBoundNmPerS = std::hypot(ownNorth, ownEast) + std::hypot(ownNorth + vn, ownEast + ve);
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
    auto axisNm = [&](const AlphaBetaFilter& f) {
      return f.ResidualSpread() * (1.0 + f.RatePerResidual() * g.timeToCpaS);
    };
    g.missUncertaintyNm = kMissConfidence * std::max(axisNm(north_), axisNm(east_));
    // The ranges of the last reports lag a turn: their miss counts only where the tracked positions,
    // within their own uncertainty, agree with it.
    const bool undecided = g.missDistanceNm > kSmallestMissThresholdNm &&
                           g.missDistanceNm - g.missUncertaintyNm <= kLargestMissThresholdNm;
    if (rangeCount_ >= kRangeFitReports && undecided) {
      const RangeMiss fit = FitRangeMiss(rangeTimesS_, rangeSquares_, lastReportS_);
      if (std::fabs(fit.missNm - g.missDistanceNm) <= g.missUncertaintyNm) g.rangeMissFloorNm = fit.floorNm;
    }
  } else {
    g.timeToCpaS = 0.0;
    g.missDistanceNm = g.rangeNm;
  }

  g.ownRateFpm = own.VerticalRateFpm();
  g.altitudeKnown = altitudeKnown_;
  if (altitudeKnown_) {
    double altitudeFt = 0.0;
    double ratePerS = 0.0;  // 0 until the altitude has a rate
    double resolutionPerS = 0.0;
    VerticalState(&altitudeFt, &ratePerS, &resolutionPerS);
    g.intruderRateFpm = ratePerS * kSecondsPerMinute;
    g.intruderRateResolutionFpm = resolutionPerS * kSecondsPerMinute;
    g.relativeAltitudeFt = altitudeFt + ratePerS * ageS - own.TrackedAltitudeFt();
    g.relativeRateFpm = g.intruderRateFpm - g.ownRateFpm;
  }
  g.coordinationSense = coordinationSense;
  g.coordinationSinceS = coordinationSinceS;
  return g;
}

}  // namespace avertine
