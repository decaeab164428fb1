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
  //
  // `processSigma` is how much the tracked rate may change in a second unannounced (one standard
  // deviation, in units per second squared). Once the measurement noise is learned, the steady gains
  // rise to those of the steady Kalman filter for that ratio of process to measurement noise, where
  // they are quicker than the gains given: exact reports are then followed at once, noisy ones smoothed
  // as before.
  struct Manoeuvre {
    double alpha, beta;
    double noiseFloor;
    double processSigma = 0.0;
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
      const double predicted = value_ + ratePerS_ * dtS;
      const double residual = measurement - predicted;
      const double noise = manoeuvre != nullptr ? std::max(std::sqrt(noiseSquare_), manoeuvre->noiseFloor) : 0.0;
      steadyAlpha_ = alpha;
      steadyBeta_ = beta;
      if (manoeuvre != nullptr && manoeuvre->processSigma > 0.0 && reports_ >= kNoiseLearningReports) {
        const SteadyGains kalman = KalmanSteadyGains(manoeuvre->processSigma * dtS * dtS / noise);
        steadyAlpha_ = std::max(alpha, kalman.alpha);
        steadyBeta_ = std::max(beta, kalman.beta);
      }
      const double k = reports_ + 1.0;
      double gainAlpha = std::max(steadyAlpha_, 2.0 * (2.0 * k - 1.0) / (k * (k + 1.0)));
      double gainBeta = std::max(steadyBeta_, 6.0 / (k * (k + 1.0)));
      if (manoeuvre != nullptr) {
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
  // Rate error per unit of position residual at the steady gains of the last report:
  // sqrt(2 beta^2 / (alpha (4 - 2 alpha - beta))), per second of the filter's report interval.
  double RatePerResidual() const {
    return std::sqrt(2.0 * steadyBeta_ * steadyBeta_ / (steadyAlpha_ * (4.0 - 2.0 * steadyAlpha_ - steadyBeta_)));
  }

 private:
  struct SteadyGains {
    double alpha, beta;
  };
  // The steady gains of a Kalman filter on a constant-rate model, for the tracking index `lambda`:
  // process noise times the report interval squared, over the measurement noise.
  static SteadyGains KalmanSteadyGains(double lambda) {
    const double r = (4.0 + lambda - std::sqrt(8.0 * lambda + lambda * lambda)) / 4.0;
    const double alpha = 1.0 - r * r;
    return {alpha, 2.0 * (2.0 - alpha) - 4.0 * std::sqrt(1.0 - alpha)};
  }

  static constexpr double kResidualWeight = 0.2;   // about the last five reports
  static constexpr double kNoiseWeight = 0.1;      // the noise estimate: about the last ten quiet reports
  static constexpr int kNoiseLearningReports = 6;  // reports that only learn the noise
  static constexpr double kManoeuvreSigmas = 3.0;
  double residualSquare_ = 0.0;
  double noiseSquare_ = 0.0;
  int lastOutlier_ = 0;       // sign of the previous residual where it stood out from the noise, else 0
  double steadyAlpha_ = 1.0;  // the steady gains of the last report
  double steadyBeta_ = 1.0;
  int reports_ = 0;
  double value_ = 0.0;
  double ratePerS_ = 0.0;
};

}  // namespace avertine
