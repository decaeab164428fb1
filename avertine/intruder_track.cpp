// Tracking of one intruder and the geometry of closest approach.
#include "avertine/intruder_track.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

#include "avertine/own_ship_state.h"
#include "avertine/tcas_parameters.h"

namespace avertine {
namespace {

struct RangeMiss {
  double missNm = 0.0;   // the fit's own value
  double floorNm = 0.0;  // kMissConfidence standard errors below it; 0 where not sure of a miss
};

// r^2 = a t^2 + b t + c fitted by least squares to squared ranges (t: seconds from `newestS`), with the
// inverse of the normal equations' matrix and the spread of r^2 about the fit.
struct RangeFit {
  bool ok = false;
  double a = 0.0, b = 0.0, c = 0.0;
  double inv[3][3] = {};
  double variance = 0.0;  // of one squared range about the fit
  double Value(double t) const { return (a * t + b) * t + c; }
  double ValueVariance(const double h[3]) const {  // of the fitted sum h0 a + h1 b + h2 c
    double v = 0.0;
    for (int r = 0; r < 3; ++r)
      for (int k = 0; k < 3; ++k) v += h[r] * inv[r][k] * h[k];
    return v * variance;
  }
};

RangeFit FitRanges(std::span<const double> timesS, std::span<const double> rangeSquares, double newestS) {
  RangeFit fit;
  if (timesS.size() < 4) return fit;
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
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      fit.inv[c][r] = m[(r + 1) % 3][(c + 1) % 3] * m[(r + 2) % 3][(c + 2) % 3] -
                      m[(r + 1) % 3][(c + 2) % 3] * m[(r + 2) % 3][(c + 1) % 3];
  const double det = m[0][0] * fit.inv[0][0] + m[0][1] * fit.inv[1][0] + m[0][2] * fit.inv[2][0];
  if (!(std::fabs(det) > 1e-12)) return fit;
  for (auto& row : fit.inv)
    for (double& v : row) v /= det;
  const double rhs[3] = {y[2], y[1], y[0]};
  double q[3];
  for (int r = 0; r < 3; ++r) q[r] = fit.inv[r][0] * rhs[0] + fit.inv[r][1] * rhs[1] + fit.inv[r][2] * rhs[2];
  fit.a = q[0];
  fit.b = q[1];
  fit.c = q[2];

  double residualSquares = 0.0;
  for (size_t i = 0; i < timesS.size(); ++i) {
    const double e = rangeSquares[i] - fit.Value(timesS[i] - newestS);
    residualSquares += e * e;
  }
  // The spread of r^2 about the fit, never less than a range error of the noise floor would give.
  const double rmsRangeNm = std::sqrt(y[0] / static_cast<double>(timesS.size()));
  const double floorSpread = 2.0 * rmsRangeNm * kPositionNoiseFloorNm;
  fit.variance = std::max(residualSquares / static_cast<double>(timesS.size() - 3), floorSpread * floorSpread);
  fit.ok = true;
  return fit;
}

// The miss of two aircraft flying straight, a the squared relative speed and c - b^2 / 4a the squared
// miss. Gives no floor where the fit is not sure the two are closing on a curve at all. Range is measured
// far more precisely than bearing, so this miss is sure much earlier than the one from the tracked
// positions.
RangeMiss MissOf(const RangeFit& fit, double confidence = kMissConfidence) {
  if (!fit.ok) return {};
  const double a = fit.a, b = fit.b, c = fit.c;
  if (a <= kMissConfidence * std::sqrt(fit.variance * fit.inv[0][0])) return {};  // no sure curvature
  const double missSquare = c - b * b / (4.0 * a);
  const double g[3] = {b * b / (4.0 * a * a), -b / (2.0 * a), 1.0};  // gradient of the miss square
  const double low = missSquare - confidence * std::sqrt(std::max(fit.ValueVariance(g), 0.0));
  return {std::sqrt(std::max(missSquare, 0.0)), low > 0.0 ? std::sqrt(low) : 0.0};
}

// How far the newest `recent` ranges stray from the curve through the reports before them, in standard
// errors: a turn changes the range at first only in its curvature, which a fit over a long window follows
// late. The mean of their residuals is compared with what the older fit's error and the reports' own
// spread give. Infinite where the older reports fit no curve.
double RecentRangesStraySpreads(std::span<const double> timesS, std::span<const double> rangeSquares, double newestS,
                                size_t recent) {
  constexpr double kNoFit = std::numeric_limits<double>::infinity();
  const size_t older = timesS.size() - recent;
  const RangeFit fit = FitRanges(timesS.first(older), rangeSquares.first(older), newestS);
  if (!fit.ok) return kNoFit;
  double h[3] = {};
  double meanResidual = 0.0;
  for (size_t i = older; i < timesS.size(); ++i) {
    const double t = timesS[i] - newestS;
    h[0] += t * t / static_cast<double>(recent);
    h[1] += t / static_cast<double>(recent);
    h[2] += 1.0 / static_cast<double>(recent);
    meanResidual += (rangeSquares[i] - fit.Value(t)) / static_cast<double>(recent);
  }
  const double spread = std::sqrt(fit.ValueVariance(h) + fit.variance / static_cast<double>(recent));
  if (!(spread > 0.0)) return meanResidual == 0.0 ? 0.0 : kNoFit;
  return std::fabs(meanResidual) / spread;
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

// The count of entries written to a ring of `ringSize` slots, one more: counted on past the ring's size,
// and wrapped at a multiple of it so that the slots stay in order.
constexpr int NextRingCount(int count, int ringSize) {
  const int wrap = 20000 * ringSize;
  return count < wrap ? count + 1 : count + 1 - wrap / 2;
}

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
    ownWayNorthNm_ += 0.5 * (ownNorthNmPerS_ + ownNorth) * dtS;
    ownWayEastNm_ += 0.5 * (ownEastNmPerS_ + ownEast) * dtS;
  }
  ownWayReports_ = ownKnown ? std::min(ownWayReports_ + 1, 1000000) : 0;
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
      recentRates_ = 0;
    }
    altitudeRoundingFt_ = CoarsestStepOn(altitudeFt, altitudeRoundingFt_);
    if (altitudeKnown_ && altitudeRoundingFt_ > 0.0 && altitudeFt != reportedAltitudeFt_) {
      crossings_[static_cast<size_t>(crossingCount_ % kStepCrossings)] =
          StepCrossing{nowS - 0.5 * dtS, 0.5 * (altitudeFt + reportedAltitudeFt_), nowS};
      crossingCount_ = NextRingCount(crossingCount_, kStepCrossings);
    }
    reportedAltitudeFt_ = altitudeFt;
    // Rounded reports keep the steady gains given: a level intruder's show no residuals at all, and a
    // climbing one's rounding error runs up to half a step and then jumps, which no steady gain should
    // follow, however small the noise it has learned.
    const AlphaBetaFilter::Manoeuvre vertical{kManoeuvreAltitudeAlpha, kManoeuvreAltitudeBeta, kAltitudeNoiseFloorFt,
                                              altitudeRoundingFt_ > 0.0 ? 0.0 : kAltitudeProcessSigmaFtPerS2};
    altitude_.Update(altitudeFt, dtS, kIntruderAltitudeAlpha, kIntruderAltitudeBeta, &vertical);
    if (altitude_.HasRate()) {
      std::rotate(recentRatesPerS_.begin(), recentRatesPerS_.begin() + 1, recentRatesPerS_.end());
      std::rotate(recentRateTimesS_.begin(), recentRateTimesS_.begin() + 1, recentRateTimesS_.end());
      recentRatesPerS_.back() = altitude_.RatePerS();
      recentRateTimesS_.back() = nowS;
      recentRates_ = std::min(recentRates_ + 1, kRecentRates);
    }
  }
  altitudeKnown_ = altitudeKnown;
  lastReportS_ = nowS;
  const size_t slot = static_cast<size_t>(rangeCount_ % kLongRangeFitReports);
  rangeSquares_[slot] = northNm * northNm + eastNm * eastNm;
  rangeTimesS_[slot] = nowS;
  ownWays_[slot] = OwnWay{ownWayNorthNm_, ownWayEastNm_, north_.Value(), east_.Value()};
  rangeCount_ = NextRingCount(rangeCount_, kLongRangeFitReports);
  ++reports_;
  FitStraightRanges();
}

void IntruderTrack::FitStraightRanges() {
  straight_ = StraightRanges{};
  // Over the reports that know the own aircraft's way, where there are enough; else over the ranges as
  // they came.
  const bool straighten = ownWayReports_ >= kRangeFitReports;
  const int remembered = std::min({rangeCount_, kLongRangeFitReports, straighten ? ownWayReports_ : rangeCount_});
  if (remembered < kRangeFitReports) return;
  std::array<double, kLongRangeFitReports> timesS{};
  std::array<double, kLongRangeFitReports> squares{};
  const OwnWay& now = ownWays_[RangeSlot(1, 0)];
  for (int k = 0; k < remembered; ++k) {
    const size_t slot = RangeSlot(remembered, k);
    timesS[static_cast<size_t>(k)] = rangeTimesS_[slot];
    double square = rangeSquares_[slot];
    if (straighten) {
      // The relative position then, had the own aircraft flown straight on at its present ground
      // velocity: moved by how far the own aircraft was off that straight way.
      const OwnWay& then = ownWays_[slot];
      const double aheadS = lastReportS_ - rangeTimesS_[slot];
      const double dn = then.northNm - now.northNm + ownNorthNmPerS_ * aheadS;
      const double de = then.eastNm - now.eastNm + ownEastNmPerS_ * aheadS;
      square = std::max(square + 2.0 * (then.relativeNorthNm * dn + then.relativeEastNm * de) + dn * dn + de * de, 0.0);
    }
    squares[static_cast<size_t>(k)] = square;
  }
  const std::span<const double> t(timesS.data(), static_cast<size_t>(remembered));
  const std::span<const double> r2(squares.data(), static_cast<size_t>(remembered));
  const double stray = RecentRangesStraySpreads(t, r2, lastReportS_, kRecentRangeReports);
  if (stray > kRecentRangeStraySpreads) return;
  const RangeFit curve = FitRanges(t, r2, lastReportS_);
  if (!curve.ok || curve.c <= 0.0) return;
  straight_.known = true;
  // Straying a little, as noise alone does now and then, the miss must be surer to count.
  const RangeMiss miss =
      MissOf(curve, stray > kRecentRangeDoubtSpreads ? kStraightMissDoubtConfidence : kStraightMissConfidence);
  straight_.missNm = miss.missNm;
  straight_.floorNm = miss.floorNm;
  // d(r^2)/dt = b at the newest report: the fastest the range may be closing, and when it stops.
  const double fastestB = curve.b - kMissConfidence * std::sqrt(curve.variance * curve.inv[1][1]);
  straight_.closureBoundNmPerS = std::max(-fastestB / (2.0 * std::sqrt(curve.c)), 0.0);
  if (curve.b < 0.0 && curve.a > kMissConfidence * std::sqrt(curve.variance * curve.inv[0][0]))
    straight_.timeToCpaS = -curve.b / (2.0 * curve.a);
}

bool IntruderTrack::Firm() const { return reports_ >= kFirmTrackReports; }

void IntruderTrack::VerticalState(double* altitudeFt, double* ratePerS, double* resolutionPerS, bool steadyRate,
                                  bool* paused) const {
  if (resolutionPerS != nullptr) *resolutionPerS = 0.0;
  if (paused != nullptr) *paused = false;
  *altitudeFt = altitude_.Value();
  *ratePerS = altitude_.HasRate() ? altitude_.RatePerS() : 0.0;
  const double stepFt = altitudeRoundingFt_;
  if (stepFt <= 0.0 || crossingCount_ == 0 || !altitude_.HasRate()) return;
  const auto crossing = [&](int back) {
    return crossings_[static_cast<size_t>((crossingCount_ - 1 - back) % kStepCrossings)];
  };
  const StepCrossing newest = crossing(0);
  const int known = std::min(crossingCount_, steadyRate ? kStepCrossings : kStepNowCrossings);
  int steady = 1;  // crossings, from the newest back, of one steady climb or descent
  const double firstS = known > 1 ? newest.timeS - crossing(1).timeS : 0.0;
  const double wayFt = known > 1 ? newest.altitudeFt - crossing(1).altitudeFt : 0.0;
  for (int k = 1; k < known; ++k) {
    // The steady rate: past the newest few, older crossings until they span enough time to time it closely.
    if (steadyRate && k >= kStepNowCrossings && newest.timeS - crossing(k - 1).timeS >= kStepSteadySpanS) break;
    const double intervalS = crossing(k - 1).timeS - crossing(k).timeS;
    const bool sameWay = (crossing(k - 1).altitudeFt - crossing(k).altitudeFt) * wayFt > 0.0;
    if (!sameWay || (!steadyRate && intervalS < kStepMinIntervalS) ||
        std::fabs(intervalS - firstS) > kStepIntervalToleranceS + 0.25 * std::max(intervalS, firstS))
      break;
    steady = k + 1;
  }
  if (steady >= 3) {
    const StepCrossing oldest = crossing(steady - 1);
    const double spanS = newest.timeS - oldest.timeS;
    if (spanS >= (steadyRate ? kStepSteadyMinSpanS : kStepMinSpanS) &&
        lastReportS_ - newest.timeS <= spanS / (steady - 1) + kStepOverdueS) {
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
  // Overdue for the next crossing: on one step well past the longest interval between the last crossings,
  // the climb or descent has slowed by as much as the reports cannot tell, perhaps to level flight.
  if (paused != nullptr && known > 1) {
    double longestS = 0.0;
    for (int k = 1; k < std::min(known, kStepOverdueCrossings); ++k) {
      if ((crossing(k - 1).altitudeFt - crossing(k).altitudeFt) * wayFt <= 0.0) break;
      longestS = std::max(longestS, crossing(k - 1).timeS - crossing(k).timeS);
    }
    if (longestS > 0.0 && *ratePerS * wayFt > 0.0 && lastReportS_ - newest.timeS > longestS + kStepOverdueS)
      *paused = true;
  }
  *altitudeFt = std::clamp(*altitudeFt, reportedAltitudeFt_ - 0.5 * stepFt, reportedAltitudeFt_ + 0.5 * stepFt);
}

bool IntruderTrack::LevelOff(double* furtherFt) const {
  // Rounded reports time a rate only to their steps, too coarsely to show it slowing.
  if (altitudeRoundingFt_ > 0.0 || recentRates_ < kRecentRates) return false;
  const double newest = recentRatesPerS_.back();
  const double way = newest > 0.0 ? 1.0 : -1.0;
  const double slowestPerS2 = kLevellingSlowingFpmPerS / kSecondsPerMinute;
  double slowingPerS2 = 0.0;
  for (size_t k = 1; k < static_cast<size_t>(kRecentRates); ++k) {
    const double dtS = recentRateTimesS_[k] - recentRateTimesS_[k - 1];
    const double slowedPerS = way * (recentRatesPerS_[k - 1] - recentRatesPerS_[k]);
    if (dtS <= 0.0 || way * recentRatesPerS_[k - 1] <= 0.0 || slowedPerS < slowestPerS2 * dtS) return false;
    slowingPerS2 = slowedPerS / dtS;  // the newest slowing
  }
  *furtherFt = way * newest * newest / (2.0 * slowingPerS2);
  return true;
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
      std::array<double, kRangeFitReports> timesS{};
      std::array<double, kRangeFitReports> squares{};
      for (size_t k = 0; k < timesS.size(); ++k) {
        const size_t slot = RangeSlot(kRangeFitReports, static_cast<int>(k));
        timesS[k] = rangeTimesS_[slot];
        squares[k] = rangeSquares_[slot];
      }
      const RangeMiss fit = MissOf(FitRanges(timesS, squares, lastReportS_));
      if (std::fabs(fit.missNm - g.missDistanceNm) <= g.missUncertaintyNm) g.rangeMissFloorNm = fit.floorNm;
    }
    if (straight_.known) {
      // Asked at every report, the agreement is given the slack that the positions' noise, met now and
      // then across so many reports, needs.
      if (std::fabs(straight_.missNm - g.missDistanceNm) <= kStraightMissAgreement * g.missUncertaintyNm)
        g.straightMissFloorNm = straight_.floorNm;
      g.straightClosureBoundNmPerS = straight_.closureBoundNmPerS;
      // Where bearing leaves the positions' miss open, their time to closest approach is loose too.
      if (straight_.timeToCpaS >= ageS && g.missUncertaintyNm > kSmallestMissThresholdNm)
        g.straightTimeToCpaS = straight_.timeToCpaS - ageS;
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
    VerticalState(&altitudeFt, &ratePerS, &resolutionPerS, false, &g.intruderRatePaused);
    g.intruderRateFpm = ratePerS * kSecondsPerMinute;
    g.intruderRateResolutionFpm = resolutionPerS * kSecondsPerMinute;
    g.intruderLevelling = LevelOff(&g.intruderLevelOffFt);
    g.relativeAltitudeFt = altitudeFt + ratePerS * ageS - own.TrackedAltitudeFt();
    g.relativeRateFpm = g.intruderRateFpm - g.ownRateFpm;
    VerticalState(&altitudeFt, &ratePerS, nullptr, true);
    g.steadyRelativeRateFpm = ratePerS * kSecondsPerMinute - g.ownRateFpm;
  }
  g.coordinationSense = coordinationSense;
  g.coordinationSinceS = coordinationSinceS;
  return g;
}

}  // namespace avertine
