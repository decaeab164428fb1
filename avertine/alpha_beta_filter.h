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

  // Where two successive residuals stand out on the same side from the filter's measurement noise (or
  // `noiseFloor`, whichever is larger) by more than kManoeuvreSigmas, the tracked object is taken to
  // manoeuvre: the report is smoothed with the quicker gains given and left out of the noise estimate.
  // Noise alone seldom stands out twice in a row on the same side.
  struct Manoeuvre {
    double alpha, beta;
    double noiseFloor;
  };

  // `dtS` is the time since the previous report, > 0 (ignored for the first report).
  void Update(double measurement, double dtS, double alpha, double beta, const Manoeuvre* manoeuvre = nullptr) {
    if (reports_ == 0) {
      value_ = measurement;
      ratePerS_ = 0.0;
    } else if (reports_ == 1) {
      ratePerS_ = (measurement - value_) / dtS;
      value_ = measurement;
    } else {
      const double k = reports_ + 1.0;
      double gainAlpha = std::max(alpha, 2.0 * (2.0 * k - 1.0) / (k * (k + 1.0)));
      double gainBeta = std::max(beta, 6.0 / (k * (k + 1.0)));
      const double predicted = value_ + ratePerS_ * dtS;
      const double residual = measurement - predicted;
      if (manoeuvre != nullptr) {
        const double noise = std::max(std::sqrt(noiseSquare_), manoeuvre->noiseFloor);
        const int outlier = std::fabs(residual) <= kManoeuvreSigmas * noise ? 0 : residual > 0.0 ? 1 : -1;
        if (reports_ >= kNoiseLearningReports && outlier != 0 && outlier == lastOutlier_) {
          gainAlpha = std::max(gainAlpha, manoeuvre->alpha);
          gainBeta = std::max(gainBeta, manoeuvre->beta);
        } else {
          noiseSquare_ += kNoiseWeight * (residual * residual - noiseSquare_);
        }
        lastOutlier_ = outlier;
      }
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
  static constexpr double kResidualWeight = 0.2;   // about the last five reports
  static constexpr double kNoiseWeight = 0.1;      // the noise estimate: about the last ten quiet reports
  static constexpr int kNoiseLearningReports = 6;  // reports that only learn the noise
  static constexpr double kManoeuvreSigmas = 3.0;
  double residualSquare_ = 0.0;
  double noiseSquare_ = 0.0;
  int lastOutlier_ = 0;  // sign of the previous residual where it stood out from the noise, else 0
  int reports_ = 0;
  double value_ = 0.0;
  double ratePerS_ = 0.0;
};

}  // namespace avertine
