// One instance of the collision logic: the frame protocol (own ship, intruders, advisory) over the
// tracker, threat detector, advisory generator and aural sequencer. Logic time advances by the own-ship
// record's frame period at each own-ship update; nothing here reads a clock.
#pragma once

#include <array>
#include <cstdint>

#include "avertine/advisory_generator.h"
#include "avertine/aural_sequencer.h"
#include "avertine/avertine.h"
#include "avertine/own_ship_state.h"
#include "avertine/threat_detector.h"
#include "avertine/track_table.h"

namespace avertine {

class CollisionLogic {
 public:
  explicit CollisionLogic(int32_t capabilities);

  bool UpdateOwnShip(const kvr::OwnShipRecord& record);
  bool ProcessIntruder(const kvr::IntruderInputRecord& intruder, kvr::IntruderEntry& entry);
  void CollectAdvisory(kvr::AdvisoryRecord& advisory);
  void ResetAdvisory(kvr::AdvisoryRecord& advisory);
  kvr::LatestAdvisory Latest() const;

  static void DefaultOwnShip(kvr::OwnShipRecord& record);
  static void DefaultIntruderInput(kvr::IntruderInputRecord& record);

 private:
  // Fills the entry from geometry alone, for intruders without a usable track (table full, slewing).
  void PlaceUntracked(kvr::IntruderEntry& entry, double rangeNm, bool altitudeKnown, double relativeAltitudeFt);
  // Drops tracks that stopped reporting and gathers the threats the advisory must resolve.
  int GatherThreats(int* trafficAdvisoriesShown);
  void FillRecord(kvr::AdvisoryRecord& advisory, kvr::AuralCode code) const;

  bool trafficCapable_;
  bool resolutionCapable_;
  double nowS_ = 0.0;
  bool frameValid_ = false;
  OwnShipState own_;
  DetectionContext context_;
  bool descendAllowed_ = true;
  bool increaseDescentAllowed_ = true;
  double descendRoomFt_ = SeparationPredictor::kNoMoveLimitFt;
  bool groundIntruderTest_ = false;  // intruders close to the ground under us count as on the ground
  kvr::OperatingMode modeStatus_ = kvr::OperatingMode::Standby;
  int trafficAdvisoriesShown_ = 0;  // TA-class intruders at the end of the previous frame
  bool threatsLastFrame_ = false;   // an RA threat was declared at the end of the previous frame
  uint32_t changeCount_ = 0;
  TrackTable tracks_;
  AdvisoryGenerator generator_;
  AuralSequencer aural_;
  std::array<ThreatGeometry, TrackTable::kCapacity> threats_;
  std::array<uint32_t, TrackTable::kCapacity> expired_;
};

}  // namespace avertine
