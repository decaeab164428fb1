// Test support: the caller's side of the library and a small encounter flyer.
#include "tests/avertine/encounter_sim.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace avertine_test {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kNmPerDeg = 60.0;
constexpr double kInitialDelayS = 5.0;
constexpr double kSubsequentDelayS = 2.5;
constexpr double kFpmPerSPerG = 32.174 * 60.0;
constexpr double kSubStepS = 0.05;

uint32_t g_tagArea = 0;  // the caller's zero-filled area whose address is the initial advisory tag

// The rate a complying pilot flies under `advisory`, starting from `rateFpm`.
double DesiredRateFpm(const kvr::LatestAdvisory& advisory, double rateFpm) {
  if (!advisory.active) return rateFpm;
  if (advisory.strength == static_cast<int32_t>(kvr::AdvisoryStrength::AdjustVerticalSpeed)) {
    return advisory.targetRateFpm;  // level off / reduce to the limit itself
  }
  return std::clamp(rateFpm, static_cast<double>(advisory.vsLowerLimitFpm),
                    static_cast<double>(advisory.vsUpperLimitFpm));
}

}  // namespace

double Random::Gaussian(double sigma) {
  const double u = Uniform(1e-12, 1.0);
  const double v = Uniform(0.0, 1.0);
  return sigma * std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * kPi * v);
}

double LatitudeDeg(double northNm) { return kLatitude0Deg + northNm / kNmPerDeg; }
double LongitudeDeg(double eastNm) {
  return kLongitude0Deg + eastNm / (kNmPerDeg * std::cos(kLatitude0Deg * kPi / 180.0));
}

void Aircraft::Advance(double dtS) {
  const double distanceNm = groundSpeedKt * dtS / 3600.0;
  northNm += distanceNm * std::cos(trackDeg * kPi / 180.0);
  eastNm += distanceNm * std::sin(trackDeg * kPi / 180.0);
  altitudeFt += verticalRateFpm * dtS / 60.0;
}

LogicDriver::LogicDriver(int32_t capabilities, const Surveillance& surveillance)
    : surveillance_(surveillance), noise_(surveillance.seed) {
  handle_ = kvr::AvertineCreate(capabilities);
  kvr::AvertineDefaultOwnShip(&own_);
  kvr::AvertineDefaultIntruderInput(&intruder_);
  intruder_.altitudeReporting = 1;
  intruder_.transponderKind = 3;
  intruder_.coordinationSense = 0;
  advisory_.auralCode = 0;
  advisory_.advisoryTag = &g_tagArea;
  advisory_.vsLowerLimitFpm = -10000.0f;
  advisory_.vsUpperLimitFpm = 10000.0f;
  advisory_.vsTargetFpm = 10000.0f;
  advisory_.modeStatus = 1;
}

LogicDriver::~LogicDriver() { kvr::AvertineDestroy(handle_); }

void LogicDriver::Frame(const Aircraft& own, const std::vector<Aircraft>& intruders, double groundFt,
                        kvr::OperatingMode mode, bool slew) {
  const double radioFt = own.altitudeFt - groundFt;
  own_.pressureAltitudeFt = static_cast<float>(own.altitudeFt);
  own_.radioAltitudeFt = static_cast<float>(radioFt);
  own_.lowHeight = radioFt < 3000.0 ? 1 : 0;
  own_.groundLevelFt = static_cast<float>(own.altitudeFt - radioFt);
  own_.slew = slew ? 1 : 0;
  own_.latitudeDeg = static_cast<float>(LatitudeDeg(own.northNm));
  own_.longitudeDeg = static_cast<float>(LongitudeDeg(own.eastNm));
  own_.headingDeg = static_cast<float>(own.trackDeg);
  previousMode_ = own_.mode;
  own_.mode = static_cast<int32_t>(mode);
  if (entries_.size() < intruders.size()) entries_.resize(intruders.size());
  if (mode == kvr::OperatingMode::Standby) {
    if (previousMode_ != static_cast<int32_t>(kvr::OperatingMode::Standby)) {
      kvr::AvertineResetAdvisory(handle_, &advisory_, 0);
    }
    return;
  }
  kvr::AvertineUpdateOwnShip(handle_, &own_);
  for (size_t i = 0; i < intruders.size(); ++i) {
    kvr::IntruderEntry& entry = entries_[i];
    entry.id = 0;
    entry.valid = 0;
    const Aircraft& a = intruders[i];
    if (!a.present) continue;
    intruder_.id = a.id;
    intruder_.address = a.id;
    double northNm = a.northNm;
    double eastNm = a.eastNm;
    double altitudeFt = a.altitudeFt;
    if (surveillance_.rangeSigmaFt > 0.0 || surveillance_.bearingSigmaDeg > 0.0) {
      const double dn = a.northNm - own.northNm;
      const double de = a.eastNm - own.eastNm;
      const double rangeNm = std::max(0.0, std::hypot(dn, de) + noise_.Gaussian(surveillance_.rangeSigmaFt) / 6076.1);
      const double bearing = std::atan2(de, dn) + noise_.Gaussian(surveillance_.bearingSigmaDeg) * kPi / 180.0;
      northNm = own.northNm + rangeNm * std::cos(bearing);
      eastNm = own.eastNm + rangeNm * std::sin(bearing);
    }
    if (surveillance_.altitudeStepFt > 0.0) {
      altitudeFt = std::round(altitudeFt / surveillance_.altitudeStepFt) * surveillance_.altitudeStepFt;
    }
    intruder_.latitudeDeg = static_cast<float>(LatitudeDeg(northNm));
    intruder_.longitudeDeg = static_cast<float>(LongitudeDeg(eastNm));
    intruder_.altitudeFt = static_cast<float>(altitudeFt);
    intruder_.coordinationSense = a.coordinationSense;
    entry.id = a.id;
    kvr::AvertineProcessIntruder(handle_, &intruder_, &entry);
  }
  kvr::AvertineCollectAdvisory(handle_, &advisory_, 0);
}

kvr::LatestAdvisory LogicDriver::Latest() const {
  kvr::LatestAdvisory latest{};
  kvr::AvertineLatestAdvisory(handle_, &latest);
  return latest;
}

void BuildEncounter(const EncounterSpec& spec, Aircraft* own, Aircraft* intruder) {
  *own = Aircraft{};
  own->id = 0;
  own->altitudeFt = spec.ownAltitudeFt;
  own->groundSpeedKt = spec.ownSpeedKt;
  own->trackDeg = 0.0;
  own->verticalRateFpm = spec.ownVerticalRateFpm;

  const double course = spec.intruderCourseDeg * kPi / 180.0;
  const double vn = spec.intruderSpeedKt * std::cos(course) / 3600.0 - spec.ownSpeedKt / 3600.0;
  const double ve = spec.intruderSpeedKt * std::sin(course) / 3600.0;
  const double speed = std::hypot(vn, ve);
  // Relative position at closest approach: the miss distance, square to the relative velocity.
  const double missN = speed > 0.0 ? -ve / speed * spec.missDistanceNm : spec.missDistanceNm;
  const double missE = speed > 0.0 ? vn / speed * spec.missDistanceNm : 0.0;
  *intruder = Aircraft{};
  intruder->id = 0x00A1B2C3u;
  intruder->northNm = missN - vn * spec.timeToCpaS;
  intruder->eastNm = missE - ve * spec.timeToCpaS;
  intruder->groundSpeedKt = spec.intruderSpeedKt;
  intruder->trackDeg = spec.intruderCourseDeg;
  intruder->verticalRateFpm = spec.intruderVerticalRateFpm;
  intruder->altitudeFt = spec.ownAltitudeFt + spec.ownVerticalRateFpm * spec.timeToCpaS / 60.0 + spec.verticalMissFt -
                         spec.intruderVerticalRateFpm * spec.timeToCpaS / 60.0;
}

namespace {

// A pilot who follows the advisories of one logic with the standard response: the first advisory after
// 5 s at 0.25 g, a stronger one or a reversal after 2.5 s at 0.35 g, any other change after 2.5 s at
// 0.25 g. A change that comes before the previous one was acted on starts no earlier than it would have.
struct FollowingPilot {
  kvr::LatestAdvisory flown{};
  kvr::LatestAdvisory pending{};
  double pendingAtS = std::numeric_limits<double>::infinity();
  double pendingAccelerationG = 0.25;
  double accelerationG = 0.25;
  uint32_t seenChanges = 0;

  void See(const kvr::LatestAdvisory& latest, double timeS) {
    if (latest.changeCount == seenChanges) return;
    seenChanges = latest.changeCount;
    const bool waiting = pendingAtS != std::numeric_limits<double>::infinity();
    const kvr::LatestAdvisory& before = waiting ? pending : flown;
    const bool first = !flown.active && !(waiting && pending.active);
    const bool stronger =
        before.active && latest.active && (latest.sense != before.sense || latest.strength > before.strength);
    double startS = timeS + (first ? kInitialDelayS : kSubsequentDelayS);
    if (waiting) startS = std::max(startS, pendingAtS);
    pending = latest;
    pendingAtS = startS;
    pendingAccelerationG = stronger ? 0.35 : 0.25;
  }
  void Fly(Aircraft& aircraft, double timeS) {
    if (timeS >= pendingAtS) {
      flown = pending;
      accelerationG = pendingAccelerationG;
      pendingAtS = std::numeric_limits<double>::infinity();
    }
    const double desired = DesiredRateFpm(flown, aircraft.verticalRateFpm);
    const double step = accelerationG * kFpmPerSPerG * kSubStepS;
    aircraft.verticalRateFpm += std::clamp(desired - aircraft.verticalRateFpm, -step, step);
  }
};

int32_t CoordinationSense(const kvr::LatestAdvisory& latest) {
  if (!latest.active) return 0;
  return latest.sense == static_cast<int32_t>(kvr::AdvisorySense::Up)     ? 1
         : latest.sense == static_cast<int32_t>(kvr::AdvisorySense::Down) ? 2
                                                                          : 0;
}

}  // namespace

EncounterResult FlyEncounter(const EncounterSpec& spec, Pilot pilot, double durationS) {
  constexpr double kNmacHorizontalNm = 500.0 / 6076.1;
  constexpr double kNmacVerticalFt = 100.0;
  Aircraft own;
  Aircraft intruder;
  BuildEncounter(spec, &own, &intruder);
  LogicDriver driver(3, spec.surveillance);
  Surveillance intruderSurveillance = spec.surveillance;
  intruderSurveillance.seed = spec.surveillance.seed ^ 0x5A5A5A5Aull;
  LogicDriver intruderDriver(3, intruderSurveillance);
  EncounterResult result;
  result.cpaRangeNm = std::numeric_limits<double>::infinity();

  FollowingPilot ownPilot;
  FollowingPilot intruderPilot;
  std::vector<Aircraft> traffic(1);
  std::vector<Aircraft> intruderTraffic(1);
  const bool intruderFollows = spec.intruderEquipped && pilot == Pilot::Follows;
  const double intruderGroundFt = spec.groundFt;  // flat terrain under both
  bool wasActive = false;
  const int frames = static_cast<int>(durationS);
  for (int frame = 0; frame <= frames; ++frame) {
    const double timeS = frame;
    traffic[0] = intruder;
    if (spec.intruderEquipped) traffic[0].coordinationSense = CoordinationSense(intruderDriver.Latest());
    driver.Frame(own, traffic, spec.groundFt);
    if (spec.intruderEquipped) {
      intruderTraffic[0] = own;
      intruderTraffic[0].id = 0x00C0FFEEu;
      intruderTraffic[0].coordinationSense = CoordinationSense(driver.Latest());
      intruderDriver.Frame(intruder, intruderTraffic, intruderGroundFt);
    }
    FrameLog log;
    log.timeS = timeS;
    log.auralCode = driver.Advisory().auralCode;
    log.intruderClass = driver.ClassOf(0);
    log.intruderValid = driver.Entry(0).valid != 0;
    log.latest = driver.Latest();
    log.advisory = driver.Advisory();
    log.own = own;
    log.intruder = intruder;
    result.frames.push_back(log);
    if (log.latest.active && !wasActive) result.advisories.push_back({timeS, durationS});
    if (!log.latest.active && wasActive) result.advisories.back().endedS = timeS;
    wasActive = log.latest.active != 0;

    if (pilot == Pilot::Follows) ownPilot.See(log.latest, timeS);
    if (intruderFollows) intruderPilot.See(intruderDriver.Latest(), timeS);
    for (double t = 0.0; t < 1.0 - 1e-9; t += kSubStepS) {
      if (pilot == Pilot::Follows) ownPilot.Fly(own, timeS + t);
      if (intruderFollows) intruderPilot.Fly(intruder, timeS + t);
      own.Advance(kSubStepS);
      intruder.Advance(kSubStepS);
      const double rangeNm = std::hypot(own.northNm - intruder.northNm, own.eastNm - intruder.eastNm);
      const double verticalFt = std::fabs(own.altitudeFt - intruder.altitudeFt);
      if (rangeNm < kNmacHorizontalNm && verticalFt < kNmacVerticalFt) result.nearMidAirCollision = true;
      if (rangeNm < result.cpaRangeNm) {
        result.cpaRangeNm = rangeNm;
        result.cpaVerticalFt = verticalFt;
        result.cpaOwnHeightFt = own.altitudeFt - spec.groundFt;
        result.cpaTimeS = timeS + t + kSubStepS;
      }
    }
  }
  return result;
}

double EncounterResult::FirstAuralBeforeCpaS(int32_t code, double plannedCpaS) const {
  for (const FrameLog& frame : frames) {
    if (frame.auralCode == code) return plannedCpaS - frame.timeS;
  }
  return -1.0;
}

double EncounterResult::FirstClassBeforeCpaS(kvr::ThreatClass threatClass, double plannedCpaS) const {
  for (const FrameLog& frame : frames) {
    if (frame.intruderValid && frame.intruderClass == threatClass) return plannedCpaS - frame.timeS;
  }
  return -1.0;
}

int EncounterResult::CountAural(int32_t code) const {
  return static_cast<int>(
      std::count_if(frames.begin(), frames.end(), [code](const FrameLog& frame) { return frame.auralCode == code; }));
}

int32_t EncounterResult::FirstResolutionAural() const {
  for (const FrameLog& frame : frames) {
    if (frame.auralCode >= 1 && frame.auralCode <= 12) return frame.auralCode;
  }
  return 0;
}

}  // namespace avertine_test
