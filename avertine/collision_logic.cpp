// The frame protocol of one collision-logic instance.
#include "avertine/collision_logic.h"

#include <cmath>
#include <span>

#include "avertine/sensitivity_selector.h"

namespace avertine {
namespace {

int VerticalTrend(const IntruderTrack& track) {
  if (!track.AltitudeRateKnown()) return 0;
  const double rateFpm = track.IntruderRateFpm();
  if (rateFpm >= kTrendArrowRateFpm) return 1;
  if (rateFpm <= -kTrendArrowRateFpm) return -1;
  return 0;
}

double WrapPi(double angleRad) {
  angleRad = std::remainder(angleRad, 2.0 * kPi);
  return angleRad <= -kPi ? angleRad + 2.0 * kPi : angleRad;
}

// A short name of the advisory, pointed to by the record's tag.
const char* AdvisoryTag(const Advisory& advisory) {
  if (!advisory.active) return "";
  const bool up = advisory.sense == Sense::Up;
  switch (advisory.strength) {
    case Strength::Monitor: return up ? "DON'T DESCEND" : "DON'T CLIMB";
    case Strength::Adjust: return up ? "LIMIT DESCENT" : "LIMIT CLIMB";
    case Strength::Maintain: return up ? "MAINTAIN CLIMB" : "MAINTAIN DESCENT";
    case Strength::Corrective: return up ? "CLIMB" : "DESCEND";
    case Strength::Increase: return up ? "INCREASE CLIMB" : "INCREASE DESCENT";
    case Strength::None: break;
  }
  return "";
}

kvr::AdvisoryStrength PublicStrength(Strength strength) {
  switch (strength) {
    case Strength::Monitor: return kvr::AdvisoryStrength::MonitorVerticalSpeed;
    case Strength::Adjust: return kvr::AdvisoryStrength::AdjustVerticalSpeed;
    case Strength::Maintain: return kvr::AdvisoryStrength::MaintainVerticalSpeed;
    case Strength::Corrective: return kvr::AdvisoryStrength::Corrective;
    case Strength::Increase: return kvr::AdvisoryStrength::Increase;
    case Strength::None: break;
  }
  return kvr::AdvisoryStrength::None;
}

}  // namespace

CollisionLogic::CollisionLogic(int32_t capabilities)
    : trafficCapable_((capabilities & kvr::kCapabilityTrafficAdvisories) != 0),
      resolutionCapable_((capabilities & kvr::kCapabilityResolutionAdvisories) != 0) {
  context_.level = &SelectSensitivityLevel(0.0, 0.0, false);
}

void CollisionLogic::DefaultOwnShip(kvr::OwnShipRecord& record) {
  record = kvr::OwnShipRecord{};
  record.framePeriodS = static_cast<float>(kDefaultFramePeriodS);
  record.mode = static_cast<int32_t>(kvr::OperatingMode::Standby);
}

void CollisionLogic::DefaultIntruderInput(kvr::IntruderInputRecord& record) {
  record = kvr::IntruderInputRecord{};
  record.altitudeReporting = 1;
  record.transponderKind = 3;
}

bool CollisionLogic::UpdateOwnShip(const kvr::OwnShipRecord& record) {
  const double periodS = record.framePeriodS;
  nowS_ += (periodS > 0.0 && periodS <= kMaxFramePeriodS) ? periodS : kDefaultFramePeriodS;
  aural_.BeginFrame();
  frameValid_ = own_.Update(record, nowS_);
  if (!frameValid_) {
    context_.trafficAdvisoriesEnabled = false;
    context_.resolutionAdvisoriesEnabled = false;
    return false;
  }
  const bool slewing = own_.Slewing();
  if (slewing) tracks_.Clear();  // positions jump: every track would see a false velocity

  const kvr::OperatingMode mode = own_.Mode();
  const bool radio = own_.RadioValid();
  // Climbing out under level 3 (or held level by an advisory given so), RAs against traffic met above it.
  const SensitivityLevel& level = SelectFrameLevel(own_.PressureAltitudeFt(), own_.RadioAltitudeFt(), radio,
                                                   own_.VerticalRateFpm(), threatsLastFrame_);
  context_.climbOut = &level == &kClimbOutLevel;
  context_.ownRadioAltitudeFt = own_.RadioAltitudeFt();
  context_.ownRateFpm = own_.VerticalRateFpm();
  context_.level = &level;
  context_.nowS = nowS_;
  context_.groundLevelFt = own_.GroundLevelFt();
  context_.trafficAdvisoriesEnabled = trafficCapable_ && mode != kvr::OperatingMode::Standby && !slewing;
  context_.resolutionAdvisoriesEnabled =
      resolutionCapable_ && mode == kvr::OperatingMode::TaRa && level.raTauS > 0.0 && !slewing;
  descendAllowed_ = !(radio && own_.RadioAltitudeFt() < kDescendInhibitBelowRadioFt);
  descendRoomFt_ = radio ? own_.RadioAltitudeFt() - kDescendInhibitBelowRadioFt : SeparationPredictor::kNoMoveLimitFt;
  increaseDescentAllowed_ = !(radio && own_.RadioAltitudeFt() < kIncreaseDescentInhibitBelowRadioFt);
  // Only low down does an intruder reporting little height above the ground under us mean traffic on the
  // ground; higher up the same report may be an aircraft just climbing out toward us.
  groundIntruderTest_ = radio && own_.RadioAltitudeFt() < kGroundIntruderTestBelowRadioFt;
  modeStatus_ = (mode == kvr::OperatingMode::TaRa && !resolutionCapable_) ? kvr::OperatingMode::TaOnly : mode;
  return true;
}

void CollisionLogic::PlaceUntracked(kvr::IntruderEntry& entry, double rangeNm, bool altitudeKnown,
                                    double relativeAltitudeFt) {
  const kvr::ThreatClass threatClass = ThreatDetector::IsProximate(rangeNm, altitudeKnown, relativeAltitudeFt)
                                           ? kvr::ThreatClass::ProximateTraffic
                                           : kvr::ThreatClass::OtherTraffic;
  ThreatGeometry g;
  g.rangeNm = rangeNm;
  entry.status = kvr::MakeStatus(ThreatDetector::Priority(threatClass, g), 0, threatClass);
  entry.valid = 1;
}

bool CollisionLogic::ProcessIntruder(const kvr::IntruderInputRecord& intruder, kvr::IntruderEntry& entry) {
  entry.valid = 0;
  entry.status = 0;
  const bool altitudeKnown = intruder.altitudeReporting != 0;
  const bool usable = frameValid_ && intruder.id != 0 && std::isfinite(intruder.latitudeDeg) &&
                      std::isfinite(intruder.longitudeDeg) && std::fabs(intruder.latitudeDeg) <= 90.0f &&
                      std::fabs(intruder.longitudeDeg) <= 360.0f &&
                      (!altitudeKnown || std::isfinite(intruder.altitudeFt));
  if (!usable) return false;

  double northNm = 0.0;
  double eastNm = 0.0;
  own_.Offset(intruder.latitudeDeg, intruder.longitudeDeg, &northNm, &eastNm);
  const double rangeNm = std::sqrt(northNm * northNm + eastNm * eastNm);
  const double relativeAltitudeFt = altitudeKnown ? intruder.altitudeFt - own_.PressureAltitudeFt() : 0.0;
  entry.rangeNm = static_cast<float>(rangeNm);
  entry.bearingRad = static_cast<float>(WrapPi(std::atan2(eastNm, northNm) - own_.HeadingRad()));
  entry.relativeAltitudeFt = static_cast<float>(relativeAltitudeFt);

  IntruderTrack* track = own_.Slewing() ? nullptr : tracks_.FindOrStart(intruder.id);
  if (track == nullptr) {
    PlaceUntracked(entry, rangeNm, altitudeKnown, relativeAltitudeFt);
    return true;
  }

  const kvr::ThreatClass before = track->threatClass;
  const Sense coordination = CoordinationSenseOf(intruder.coordinationSense);
  if (coordination != track->coordinationSense) track->coordinationSinceS = nowS_;
  track->coordinationSense = coordination;
  track->Report(nowS_, own_, northNm, eastNm, altitudeKnown, intruder.altitudeFt);
  ThreatGeometry g = track->Estimate(nowS_, own_);
  // Low down, an intruder reporting little height is on the ground, unless the own aircraft, flying, is
  // hardly higher: then both are airborne low (a traffic pattern, a low pass) and it must be shown; or
  // unless it climbs, taking off towards us.
  const double intruderHeightFt = intruder.altitudeFt - context_.groundLevelFt;
  const bool climbing = track->AltitudeRateKnown() && track->IntruderRateFpm() >= kGroundIntruderClimbFpm;
  const bool onGround =
      groundIntruderTest_ && altitudeKnown && !climbing && intruderHeightFt < kGroundIntruderBelowFt &&
      (intruderHeightFt < kGroundLevelBandFt || intruderHeightFt < own_.RadioAltitudeFt() - kGroundIntruderBelowOwnFt);
  const kvr::ThreatClass threatClass =
      ThreatDetector::Classify(*track, g, rangeNm, relativeAltitudeFt, onGround, context_);
  const bool wasAdvisory =
      before == kvr::ThreatClass::TrafficAdvisory || before == kvr::ThreatClass::ResolutionAdvisory;
  if (threatClass == kvr::ThreatClass::TrafficAdvisory && !wasAdvisory) aural_.NoteTrafficAdvisoryStart();

  g.rangeNm = rangeNm;  // order other traffic by the range shown
  entry.status = kvr::MakeStatus(ThreatDetector::Priority(threatClass, g), VerticalTrend(*track), threatClass);
  entry.valid = 1;
  return true;
}

int CollisionLogic::GatherThreats(int* trafficAdvisoriesShown) {
  int threatCount = 0;
  int expiredCount = 0;
  *trafficAdvisoriesShown = 0;
  if (!frameValid_) return 0;
  const SensitivityLevel& level = *context_.level;
  tracks_.ForEach([&](IntruderTrack& track) {
    if (!track.ReportedAt(nowS_)) {
      if (nowS_ - track.LastReportS() > kTrackCoastS) {
        expired_[expiredCount++] = track.Id();
        return;
      }
      // A threat that missed a report coasts on its extrapolated track until it is resolved or dropped.
      if (track.raThreat) {
        const ThreatGeometry g = track.Estimate(nowS_, own_);
        track.raThreat =
            context_.resolutionAdvisoriesEnabled && ThreatDetector::ThreatContinues(track, g, level, nowS_, false);
        if (track.raThreat) {
          threats_[threatCount++] = g;
        } else {
          track.raCleared = true;  // as when a reported threat ends: a renewed closure may alert again
        }
      }
      return;
    }
    if (track.raThreat) threats_[threatCount++] = track.Estimate(nowS_, own_);
    if (track.threatClass == kvr::ThreatClass::TrafficAdvisory) ++*trafficAdvisoriesShown;
  });
  for (int i = 0; i < expiredCount; ++i) tracks_.Remove(expired_[i]);
  threatsLastFrame_ = threatCount > 0;
  return threatCount;
}

void CollisionLogic::CollectAdvisory(kvr::AdvisoryRecord& advisory) {
  int trafficAdvisoriesShown = 0;
  const int threatCount = GatherThreats(&trafficAdvisoriesShown);
  GeneratorInput input;
  input.threats = std::span<const ThreatGeometry>(threats_.data(), static_cast<size_t>(threatCount));
  input.level = context_.level;
  input.ownRateFpm = own_.VerticalRateFpm();
  input.nowS = nowS_;
  input.enabled = frameValid_ && context_.resolutionAdvisoriesEnabled;
  input.descendAllowed = descendAllowed_;
  input.increaseDescentAllowed = increaseDescentAllowed_;
  input.descendRoomFt = descendRoomFt_;
  const AdvisoryEvent event = generator_.Update(input);
  if (event != AdvisoryEvent::None) ++changeCount_;

  const kvr::AuralCode code = aural_.Decide(event, generator_.Current(), trafficAdvisoriesShown_);
  aural_.BeginFrame();  // a second collection in the same frame reports nothing new
  trafficAdvisoriesShown_ = trafficAdvisoriesShown;
  FillRecord(advisory, code);
}

void CollisionLogic::ResetAdvisory(kvr::AdvisoryRecord& advisory) {
  if (generator_.Current().active) ++changeCount_;
  tracks_.Clear();
  generator_.Reset();
  own_.Reset();
  aural_.BeginFrame();
  frameValid_ = false;
  trafficAdvisoriesShown_ = 0;
  modeStatus_ = kvr::OperatingMode::Standby;
  FillRecord(advisory, kvr::AuralCode::None);
}

void CollisionLogic::FillRecord(kvr::AdvisoryRecord& advisory, kvr::AuralCode code) const {
  advisory.auralCode = static_cast<int32_t>(code);
  advisory.advisoryTag = const_cast<char*>(AdvisoryTag(generator_.Current()));
  generator_.DisplayLimits(&advisory.vsLowerLimitFpm, &advisory.vsUpperLimitFpm, &advisory.vsTargetFpm);
  advisory.modeStatus = static_cast<int32_t>(modeStatus_);
}

kvr::LatestAdvisory CollisionLogic::Latest() const {
  const Advisory& current = generator_.Current();
  kvr::LatestAdvisory latest{};
  latest.active = current.active ? 1 : 0;
  latest.sense = static_cast<int32_t>(current.sense == Sense::Up     ? kvr::AdvisorySense::Up
                                      : current.sense == Sense::Down ? kvr::AdvisorySense::Down
                                                                     : kvr::AdvisorySense::None);
  latest.strength = static_cast<int32_t>(PublicStrength(current.strength));
  latest.crossing = current.crossing ? 1 : 0;
  latest.reversed = current.reversed ? 1 : 0;
  latest.threatCount = current.threatCount;
  float target = 0.0f;
  generator_.DisplayLimits(&latest.vsLowerLimitFpm, &latest.vsUpperLimitFpm, &target);
  latest.targetRateFpm = !current.active              ? 0.0f
                         : current.sense == Sense::Up ? latest.vsLowerLimitFpm
                                                      : latest.vsUpperLimitFpm;
  latest.changeCount = changeCount_;
  return latest;
}

}  // namespace avertine
