#include "host/scenario/equipped_intruder.h"

#include <algorithm>
#include <stdexcept>

namespace kvr::host {
namespace {

// The identifier under which the intruder's logic tracks our own aircraft.
constexpr uint32_t kOwnAddress = 0x00C0FFEE;

}  // namespace

EquippedIntruder::EquippedIntruder(const PilotSpec& pilot, double terrainElevationFt, double pressureOffsetFt)
    : logic_(AvertineCreate(kCapabilityTrafficAdvisories | kCapabilityResolutionAdvisories)),
      pilot_(pilot),
      terrainElevationFt_(terrainElevationFt),
      pressureOffsetFt_(pressureOffsetFt) {
  if (logic_ == nullptr) throw std::runtime_error("cannot create the equipped intruder's collision logic");
  AvertineDefaultOwnShip(&ownRecord_);
  AvertineDefaultIntruderInput(&intruderRecord_);
  advisory_.vsLowerLimitFpm = kNoLowerLimitFpm;
  advisory_.vsUpperLimitFpm = kNoUpperLimitFpm;
  advisory_.vsTargetFpm = kNoTargetFpm;
}

EquippedIntruder::~EquippedIntruder() { AvertineDestroy(logic_); }

std::optional<VerticalCommand> EquippedIntruder::Command(double timeS, const AircraftModel& self) {
  return pilot_.Command(timeS, self.PlannedVertical(), self.State().verticalSpeedFpm);
}

void EquippedIntruder::AfterFrame(double timeS, const AircraftState& self, const LocalFrame& frame,
                                  const AircraftState& own, const AdvisoryReading& ownAdvisory) {
  if (timeS - lastFrameS_ < 1.0 - 1e-6) return;
  lastFrameS_ = timeS;
  const double radioFt = std::max(0.0, self.altitudeFt - terrainElevationFt_);
  const double pressureFt = self.altitudeFt - pressureOffsetFt_;
  const GeoPosition at = frame.ToGeo(self.position);
  ownRecord_.pressureAltitudeFt = static_cast<float>(pressureFt);
  ownRecord_.radioAltitudeFt = static_cast<float>(radioFt);
  ownRecord_.lowHeight = radioFt < 3000.0 ? 1 : 0;
  ownRecord_.groundLevelFt = static_cast<float>(pressureFt - radioFt);
  ownRecord_.mode = static_cast<int32_t>(OperatingMode::TaRa);
  ownRecord_.latitudeDeg = static_cast<float>(at.latitudeDeg);
  ownRecord_.longitudeDeg = static_cast<float>(at.longitudeDeg);
  ownRecord_.headingDeg = static_cast<float>(self.headingDeg);
  AvertineUpdateOwnShip(logic_, &ownRecord_);

  const GeoPosition ownAt = frame.ToGeo(own.position);
  intruderRecord_.id = intruderRecord_.address = kOwnAddress;
  intruderRecord_.latitudeDeg = static_cast<float>(ownAt.latitudeDeg);
  intruderRecord_.longitudeDeg = static_cast<float>(ownAt.longitudeDeg);
  intruderRecord_.altitudeFt = static_cast<float>(own.altitudeFt - pressureOffsetFt_);
  intruderRecord_.altitudeReporting = 1;
  const AdvisorySenseWord sense = SenseOf(ownAdvisory);
  intruderRecord_.coordinationSense = sense == AdvisorySenseWord::Up ? 1 : sense == AdvisorySenseWord::Down ? 2 : 0;
  entry_.id = kOwnAddress;
  AvertineProcessIntruder(logic_, &intruderRecord_, &entry_);
  AvertineCollectAdvisory(logic_, &advisory_, 0);
  pilot_.Observe(timeS, ReadAdvisory(advisory_));
}

}  // namespace kvr::host
