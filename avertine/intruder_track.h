// The track of one traffic identifier: relative position (north/east) and intruder altitude, each
// smoothed by an alpha-beta filter from successive reports, plus what the threat logic remembers about
// the intruder between frames.
#pragma once

#include <array>
#include <cstdint>

#include "avertine/alpha_beta_filter.h"
#include "avertine/avertine.h"
#include "avertine/tcas_parameters.h"
#include "avertine/threat_geometry.h"

namespace avertine {

class OwnShipState;

class IntruderTrack {
 public:
  void Start(uint32_t id);

  // One report at logic time `nowS`, relative to the own aircraft `own`; a second report in the same
  // frame is ignored. `altitudeFt` is ignored when `altitudeKnown` is false.
  void Report(double nowS, const OwnShipState& own, double northNm, double eastNm, bool altitudeKnown,
              double altitudeFt);

  // Geometry at `nowS` (extrapolated when the last report is older) against the own aircraft.
  ThreatGeometry Estimate(double nowS, const OwnShipState& own) const;

  uint32_t Id() const { return id_; }
  bool Firm() const;
  bool ReportedAt(double nowS) const { return reports_ > 0 && lastReportS_ == nowS; }
  double LastReportS() const { return lastReportS_; }
  double IntruderRateFpm() const;  // 0 until the altitude has a rate
  bool AltitudeRateKnown() const { return altitudeKnown_ && altitude_.HasRate(); }

  // Memory of the threat logic.
  kvr::ThreatClass threatClass = kvr::ThreatClass::OtherTraffic;
  bool raThreat = false;
  double taSinceS = 0.0;    // when the current TA began
  double raSinceS = 0.0;    // when the current RA threat was declared
  bool raCleared = false;   // an RA threat against this intruder has ended
  int sureMissReports = 0;  // reports in a row, while an RA threat, whose miss beyond HMD was sure
  Sense coordinationSense = Sense::None;
  double coordinationSinceS = 0.0;  // when coordinationSense last changed

 private:
  uint32_t id_ = 0;
  int reports_ = 0;
  double lastReportS_ = 0.0;
  AlphaBetaFilter north_;
  AlphaBetaFilter east_;
  AlphaBetaFilter altitude_;
  bool altitudeKnown_ = false;
  double altitudeRoundingFt_ = 0.0;  // the step all altitude reports so far sit on, 0 for none
  // Where the reports are rounded: their last crossings from one step to the next, oldest overwritten.
  struct StepCrossing {
    double timeS;       // half a report interval before the report that showed it
    double altitudeFt;  // halfway between the two reports
    double reportS;     // the report that showed it
  };
  std::array<StepCrossing, kStepCrossings> crossings_{};
  int crossingCount_ = 0;
  double reportedAltitudeFt_ = 0.0;  // the last altitude report
  // The altitude filter's rate (ft/s) after each of the last reports, and their times; newest last.
  static constexpr int kRecentRates = 3;
  std::array<double, kRecentRates> recentRatesPerS_{};
  std::array<double, kRecentRates> recentRateTimesS_{};
  int recentRates_ = 0;
  // Where exact reports show the climb or descent slowing report after report: how much farther it goes
  // (ft, up positive) until it stops, if it keeps slowing as over the last report. False otherwise.
  bool LevelOff(double* furtherFt) const;
  // The intruder's altitude and vertical rate (ft/s) at its last report, and how far that rate may be off
  // by the timing of rounded reports (ft/s; 0 where it does not come from them). With `steadyRate`,
  // rounded reports give the rate of a steady climb or descent timed over a longer span.
  // With `paused`, whether the reports have stayed on one step well past the time the last steps took.
  void VerticalState(double* altitudeFt, double* ratePerS, double* resolutionPerS = nullptr, bool steadyRate = false,
                     bool* paused = nullptr) const;
  void FitStraightRanges();  // after each report
  // The last reported ranges, squared, for the miss from range alone; oldest overwritten first.
  std::array<double, kLongRangeFitReports> rangeSquares_{};
  std::array<double, kLongRangeFitReports> rangeTimesS_{};
  // With each range: the own aircraft's way flown so far (NM, its ground velocity summed over the
  // reports) and the tracked relative position, to take the own aircraft's turns and changes of speed
  // out of the ranges.
  struct OwnWay {
    double northNm, eastNm;
    double relativeNorthNm, relativeEastNm;
  };
  std::array<OwnWay, kLongRangeFitReports> ownWays_{};
  double ownWayNorthNm_ = 0.0;
  double ownWayEastNm_ = 0.0;
  int ownWayReports_ = 0;  // reports in a row with the own ground velocity known
  // The ranges fitted over the whole memory, straightened, where the newest of them do not stray from
  // the curve through the older ones (no turn of the intruder shows).
  struct StraightRanges {
    bool known = false;
    double missNm = 0.0;
    double floorNm = 0.0;
    double closureBoundNmPerS = 0.0;
    double timeToCpaS = -1.0;  // at the last report; negative where the ranges show no closest approach
  };
  StraightRanges straight_;
  int rangeCount_ = 0;
  // The ring slot of the k-th oldest of the newest `count` ranges.
  size_t RangeSlot(int count, int k) const {
    return static_cast<size_t>(rangeCount_ - count + k) % kLongRangeFitReports;
  }
  bool ownVelocityKnown_ = false;  // own ground velocity at the last report
  double ownNorthNmPerS_ = 0.0;
  double ownEastNmPerS_ = 0.0;
};

}  // namespace avertine
