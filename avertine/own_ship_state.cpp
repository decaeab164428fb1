// Own aircraft state for one frame and its tracked vertical rate.
#include "avertine/own_ship_state.h"

#include <cmath>

#include "avertine/tcas_parameters.h"

namespace avertine {
namespace {

bool Finite(float value) { return std::isfinite(value); }

kvr::OperatingMode ModeFromRecord(int32_t mode) {
  switch (mode) {
    case static_cast<int32_t>(kvr::OperatingMode::TaRa): return kvr::OperatingMode::TaRa;
    case static_cast<int32_t>(kvr::OperatingMode::TaOnly): return kvr::OperatingMode::TaOnly;
    default: return kvr::OperatingMode::Standby;  // unknown values do nothing rather than guess
  }
}

}  // namespace

bool OwnShipState::Update(const kvr::OwnShipRecord& record, double nowS) {
  const bool usable = Finite(record.latitudeDeg) && Finite(record.longitudeDeg) && Finite(record.headingDeg) &&
                      Finite(record.pressureAltitudeFt) && Finite(record.radioAltitudeFt) &&
                      Finite(record.groundLevelFt) && std::fabs(record.latitudeDeg) <= 90.0f &&
                      std::fabs(record.longitudeDeg) <= 360.0f;
  if (!usable) {
    Reset();
    return false;
  }
  mode_ = ModeFromRecord(record.mode);
  slewing_ = record.slew != 0;
  const bool hadPosition = positionKnown_ && nowS > positionS_;
  double movedNorthNm = 0.0;
  double movedEastNm = 0.0;
  if (hadPosition) Offset(record.latitudeDeg, record.longitudeDeg, &movedNorthNm, &movedEastNm);
  latitudeDeg_ = record.latitudeDeg;
  longitudeDeg_ = record.longitudeDeg;
  cosLatitude_ = std::cos(latitudeDeg_ * kRadPerDeg);
  if (hadPosition) {
    const double dtS = nowS - positionS_;
    northVelocityNmPerS_ = movedNorthNm / dtS;
    eastVelocityNmPerS_ = movedEastNm / dtS;
    // A jump no aircraft flies (a reposition without the slew flag) gives no velocity.
    velocityKnown_ = std::hypot(northVelocityNmPerS_, eastVelocityNmPerS_) * kSecondsPerHour <= kMaxOwnGroundSpeedKt;
  }
  positionKnown_ = true;
  positionS_ = nowS;
  headingRad_ = record.headingDeg * kRadPerDeg;
  pressureAltitudeFt_ = record.pressureAltitudeFt;
  // The caller flags the radio altitude as meaningful only below 3000 ft; above it is ignored.
  radioValid_ = record.lowHeight != 0;
  radioAltitudeFt_ = record.radioAltitudeFt;
  groundLevelFt_ = record.groundLevelFt;

  if (slewing_) {
    Reset();  // a slewed aircraft jumps: no rate is meaningful until it flies again
    return true;
  }
  const double dtS = nowS - lastAltitudeReportS_;
  if (altitude_.Reports() == 0 || dtS > 0.0) {
    altitude_.Update(pressureAltitudeFt_, dtS, kTrackAlpha, kTrackBeta);
    lastAltitudeReportS_ = nowS;
  }
  return true;
}

void OwnShipState::Reset() {
  altitude_.Reset();
  positionKnown_ = false;
  velocityKnown_ = false;
}

bool OwnShipState::GroundVelocity(double* northNmPerS, double* eastNmPerS) const {
  *northNmPerS = northVelocityNmPerS_;
  *eastNmPerS = eastVelocityNmPerS_;
  return velocityKnown_;
}

double OwnShipState::VerticalRateFpm() const {
  return altitude_.HasRate() ? altitude_.RatePerS() * kSecondsPerMinute : 0.0;
}

void OwnShipState::Offset(double latitudeDeg, double longitudeDeg, double* northNm, double* eastNm) const {
  double dLonDeg = longitudeDeg - longitudeDeg_;
  if (dLonDeg > 180.0) dLonDeg -= 360.0;
  if (dLonDeg < -180.0) dLonDeg += 360.0;
  *northNm = (latitudeDeg - latitudeDeg_) * kNmPerDegLatitude;
  *eastNm = dLonDeg * kNmPerDegLatitude * cosLatitude_;
}

}  // namespace avertine
