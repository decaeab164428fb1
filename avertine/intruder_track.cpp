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

// A least-squares fit of r^2 = a t^2 + b t + c (t: seconds from `newestS`), which is exact for two
// aircraft flying straight: a is the squared relative speed and c - b^2 / 4a the squared miss.
struct SquaredRangeFit {
  bool valid = false;
  double q[3] = {};       // a, b, c
  double inv[3][3] = {};  // inverse of the normal matrix: the coefficients' covariance per unit variance
  double variance = 0.0;  // of r^2 about the fit, never less than a range error of the noise floor gives

  // Variance of the fit's value averaged over the given times.
  double MeanValueVariance(const double* timesS, size_t count, double newestS) const {
    double h[3] = {};
    for (size_t i = 0; i < count; ++i) {
      const double t = timesS[i] - newestS;
      h[0] += t * t / static_cast<double>(count);
      h[1] += t / static_cast<double>(count);
      h[2] += 1.0 / static_cast<double>(count);
    }
    double v = 0.0;
    for (int r = 0; r < 3; ++r)
      for (int k = 0; k < 3; ++k) v += h[r] * inv[r][k] * h[k];
    return v * variance;
  }
  double ValueAt(double t) const { return (q[0] * t + q[1]) * t + q[2]; }
};

SquaredRangeFit FitSquaredRanges(const double* timesS, const double* rangeSquares, size_t count, double newestS) {
  SquaredRangeFit fit;
  if (count < 4) return fit;
  double s[5] = {};  // sums of t^k
  double y[3] = {};  // sums of t^k r^2
  for (size_t i = 0; i < count; ++i) {
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
  for (int r = 0; r < 3; ++r) fit.q[r] = fit.inv[r][0] * rhs[0] + fit.inv[r][1] * rhs[1] + fit.inv[r][2] * rhs[2];

  double residualSquares = 0.0;
  for (size_t i = 0; i < count; ++i) {
    const double e = rangeSquares[i] - fit.ValueAt(timesS[i] - newestS);
    residualSquares += e * e;
  }
  const double rmsRangeNm = std::sqrt(y[0] / static_cast<double>(count));
  const double floorSpread = 2.0 * rmsRangeNm * kPositionNoiseFloorNm;
  fit.variance = std::max(residualSquares / static_cast<double>(count - 3), floorSpread * floorSpread);
  fit.valid = true;
  return fit;
}

// The miss from the squared ranges of the oldest-first reports given. Gives no floor where the fit is
// not sure the two are closing on a curve at all, or where the newest reports stray from the curve the
// older ones describe: a turn changes the range first only in its curvature, which a fit over all of
// them would partly absorb. Range is measured far more precisely than bearing, so this miss is sure much
// earlier than the one from the tracked positions.
RangeMiss FitRangeMiss(const double* timesS, const double* rangeSquares, size_t count) {
  const double newestS = timesS[count - 1];
  const auto recent = static_cast<size_t>(kRangeFitRecentReports);
  const SquaredRangeFit older = FitSquaredRanges(timesS, rangeSquares, count - recent, newestS);
  if (!older.valid) return {};
  double recentMean = 0.0;
  for (size_t i = count - recent; i < count; ++i)
    recentMean += (rangeSquares[i] - older.ValueAt(timesS[i] - newestS)) / static_cast<double>(recent);
  const double recentVariance =
      older.variance / static_cast<double>(recent) + older.MeanValueVariance(timesS + count - recent, recent, newestS);
  if (std::fabs(recentMean) > kRangeFitStraightSpreads * std::sqrt(recentVariance)) return {};

  const SquaredRangeFit fit = FitSquaredRanges(timesS, rangeSquares, count, newestS);
  if (!fit.valid) return {};
  const double a = fit.q[0], b = fit.q[1], c = fit.q[2];
  if (a <= kMissConfidence * std::sqrt(fit.variance * fit.inv[0][0])) return {};  // no sure curvature
  const double missSquare = c - b * b / (4.0 * a);
  const double g[3] = {b * b / (4.0 * a * a), -b / (2.0 * a), 1.0};  // gradient of the miss square
  double missVariance = 0.0;
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 3; ++k) missVariance += g[r] * fit.inv[r][k] * g[k];
  missVariance *= fit.variance;
  const double low = missSquare - kMissConfidence * std::sqrt(std::max(missVariance, 0.0));
  return {std::sqrt(std::max(missSquare, 0.0)), low > 0.0 ? std::sqrt(low) : 0.0};
}

// The largest miss-distance threshold of all levels: beyond it no decision needs the ranges.
constexpr double LargestMissThresholdNm() {
  double most = 0.0;
  for (const SensitivityLevel& level : kSensitivityLevels) most = std::max(most, level.hmdNm);
  return most;
}
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
  const size_t slot = static_cast<size_t>(rangeCount_ % kRangeFitMaxReports);
  rangeSquares_[slot] = northNm * northNm + eastNm * eastNm;
  rangeTimesS_[slot] = nowS;
  // Wraps within a multiple of the window, so that the slot sequence stays continuous.
  if (++rangeCount_ >= 2 * kRangeFitMaxReports) rangeCount_ -= kRangeFitMaxReports;
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
    // The ranges alone decide wherever the positions leave the miss open; they are taken only where
    // the tracked positions, within their own uncertainty, agree with them (a turn shows there first
    // with exact surveillance).
    const bool undecided = g.missDistanceNm - g.missUncertaintyNm <= kLargestMissThresholdNm;
    if (rangeCount_ >= kRangeFitMinReports && undecided) {
      const size_t count = static_cast<size_t>(std::min(rangeCount_, kRangeFitMaxReports));
      std::array<double, kRangeFitMaxReports> timesS{};
      std::array<double, kRangeFitMaxReports> squares{};
      for (size_t i = 0; i < count; ++i) {
        const size_t slot = (static_cast<size_t>(rangeCount_) - count + i) % kRangeFitMaxReports;
        timesS[i] = rangeTimesS_[slot];
        squares[i] = rangeSquares_[slot];
      }
      const RangeMiss fit = FitRangeMiss(timesS.data(), squares.data(), count);
      if (std::fabs(fit.missNm - g.missDistanceNm) <= g.missUncertaintyNm) g.rangeMissFloorNm = fit.floorNm;
    }
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
