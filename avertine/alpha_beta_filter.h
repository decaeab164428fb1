// A one-dimensional alpha-beta tracker: value and rate from successive measurements. The first report
// sets the value, the second the rate (two-point start), later reports are smoothed.
#pragma once

namespace avertine {

class AlphaBetaFilter {
 public:
  void Reset() { reports_ = 0; value_ = 0.0; ratePerS_ = 0.0; }

  // `dtS` is the time since the previous report, > 0 (ignored for the first report).
  void Update(double measurement, double dtS, double alpha, double beta) {
    if (reports_ == 0) {
      value_ = measurement;
      ratePerS_ = 0.0;
    } else if (reports_ == 1) {
      ratePerS_ = (measurement - value_) / dtS;
      value_ = measurement;
    } else {
      const double predicted = value_ + ratePerS_ * dtS;
      const double residual = measurement - predicted;
      value_ = predicted + alpha * residual;
      ratePerS_ += beta * residual / dtS;
    }
    if (reports_ < 1000000) ++reports_;
  }

  double Value() const { return value_; }
  double ValueAfter(double dtS) const { return value_ + ratePerS_ * dtS; }
  double RatePerS() const { return ratePerS_; }
  int Reports() const { return reports_; }
  bool HasRate() const { return reports_ >= 2; }

 private:
  int reports_ = 0;
  double value_ = 0.0;
  double ratePerS_ = 0.0;
};

}  // namespace avertine
