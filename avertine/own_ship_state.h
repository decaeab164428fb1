// The own aircraft as the logic sees it in the current frame: position, heading, altitudes, the vertical
// rate tracked from successive pressure altitudes, the requested mode and the slew state.
#pragma once

#include "avertine/alpha_beta_filter.h"
#include "avertine/avertine.h"

namespace avertine {

class OwnShipState {
 public:
  // Takes the frame's record at logic time `nowS`. Returns false (and forgets the tracked rate) when the
  // record holds a non-finite or out-of-range value.
  bool Update(const kvr::OwnShipRecord& record, double nowS);
  // Forgets the tracked vertical rate (after a jump of position or time).
  void Reset();

  bool Slewing() const { return slewing_; }
  kvr::OperatingMode Mode() const { return mode_; }

  double PressureAltitudeFt() const { return pressureAltitudeFt_; }
  // Smoothed pressure altitude (the raw one until the first report).
  double TrackedAltitudeFt() const { return altitude_.Reports() > 0 ? altitude_.Value() : pressureAltitudeFt_; }
  double VerticalRateFpm() const;  // 0 until two reports
  bool RadioValid() const { return radioValid_; }
  double RadioAltitudeFt() const { return radioAltitudeFt_; }
  double GroundLevelFt() const { return groundLevelFt_; }
  double HeadingRad() const { return headingRad_; }
  // Ground velocity over the last frame, from successive positions (NM/s); false until two frames.
  bool GroundVelocity(double* northNmPerS, double* eastNmPerS) const;

  // North and east offsets (NM) of a geographic position from the own aircraft.
  void Offset(double latitudeDeg, double longitudeDeg, double* northNm, double* eastNm) const;

 private:
  bool slewing_ = false;
  kvr::OperatingMode mode_ = kvr::OperatingMode::Standby;
  double latitudeDeg_ = 0.0;
  double longitudeDeg_ = 0.0;
  double cosLatitude_ = 1.0;
  double headingRad_ = 0.0;
  double pressureAltitudeFt_ = 0.0;
  bool radioValid_ = false;
  double radioAltitudeFt_ = 0.0;
  double groundLevelFt_ = 0.0;
  AlphaBetaFilter altitude_;
  double lastAltitudeReportS_ = 0.0;
  bool positionKnown_ = false;  // the previous frame's position, for the ground velocity
  bool velocityKnown_ = false;
  double positionS_ = 0.0;
  double northVelocityNmPerS_ = 0.0;
  double eastVelocityNmPerS_ = 0.0;
};

}  // namespace avertine
