// A one-dimensional alpha-beta tracker: value and rate from successive measurements. The first report
// sets the value, the second the rate (two-point start), later reports are smoothed with gains that fall
// from those of a least-squares line through the reports so far to the steady gains given, so that a
// smooth filter still settles within a few reports. It also keeps the spread of its residuals, a
// measure of how far its estimate can be trusted (measurement noise and unmodelled manoeuvres alike).
#pragma once

#include <algorithm>
#include <cmath>

namespace avertine {

class AlphaBetaFilter {
 public:
  void Reset() { *this = AlphaBetaFilter{}; }

  // `dtS` is the time since the previous report, > 0 (ignored for the first report).
  void Update(double measurement, double dtS, double alpha, double beta) {
    if (reports_ == 0) {
      value_ = measurement;
      ratePerS_ = 0.0;
    } else if (reports_ == 1) {
      ratePerS_ = (measurement - value_) / dtS;
      value_ = measurement;
    } else {
      const double k = reports_ + 1.0;
      const double gainAlpha = std::max(alpha, 2.0 * (2.0 * k - 1.0) / (k * (k + 1.0)));
      const double gainBeta = std::max(beta, 6.0 / (k * (k + 1.0)));
      const double predicted = value_ + ratePerS_ * dtS;
      const double residual = measurement - predicted;
      value_ = predicted + gainAlpha * residual;
      ratePerS_ += gainBeta * residual / dtS;
      residualSquare_ += kResidualWeight * (residual * residual - residualSquare_);
    }
    if (reports_ < 1000000) ++reports_;
  }

  // Changes the rate by a known amount, as when the reference the measurements are taken from changed
  // its own velocity by the opposite amount: the filter need not learn it from the residuals.
  void ShiftRate(double deltaPerS) {
    if (reports_ >= 2) ratePerS_ += deltaPerS;
  }

  double Value() const { return value_; }
  double ValueAfter(double dtS) const { return value_ + ratePerS_ * dtS; }
  double RatePerS() const { return ratePerS_; }
  int Reports() const { return reports_; }
  bool HasRate() const { return reports_ >= 2; }
  double ResidualSpread() const { return std::sqrt(residualSquare_); }  // RMS of recent residuals

 private:
  static constexpr double kResidualWeight = 0.2;  // about the last five reports
  double residualSquare_ = 0.0;
  int reports_ = 0;
  double value_ = 0.0;
  double ratePerS_ = 0.0;
};

}  // namespace avertine
