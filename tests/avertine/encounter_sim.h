// Test support: drives libAvertine through its C entry points exactly as the module's traffic frame
// does (create with 3, default both records, set the fixed intruder fields; per frame ordinal 12, one
// ordinal 13 per present intruder, ordinal 8), and flies simple aircraft on a flat local grid.
#pragma once

#include <cstdint>
#include <vector>

#include "avertine/avertine.h"

namespace avertine_test {

inline constexpr double kLatitude0Deg = 45.0;  // origin of the local grid
inline constexpr double kLongitude0Deg = 7.0;

// Geographic position of a point of the local grid (NM north and east of the origin).
double LatitudeDeg(double northNm);
double LongitudeDeg(double eastNm);

// One aircraft flying straight at constant speed; its vertical rate may be commanded.
struct Aircraft {
  uint32_t id = 0;
  double northNm = 0.0;
  double eastNm = 0.0;
  double altitudeFt = 0.0;  // pressure-altitude basis
  double groundSpeedKt = 0.0;
  double trackDeg = 0.0;
  double verticalRateFpm = 0.0;
  bool present = true;
  int32_t coordinationSense = 0;  // as an intruder: the sense of its own RA, 0 none, 1 up, 2 down

  void Advance(double dtS);
};

// SplitMix64: a small generator whose sequence is the same on every platform and library.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  double Uniform(double low, double high) {
    state_ += 0x9E3779B97F4A7C15ull;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return low + (high - low) * static_cast<double>(z >> 11) / 9007199254740992.0;
  }
  double Gaussian(double sigma);  // zero mean

 private:
  uint64_t state_;
};

// Measurement errors of the surveillance that reports an intruder: Gaussian range and bearing errors
// around the own aircraft, and the altitude in whole steps as a Mode C transponder reports it.
struct Surveillance {
  double rangeSigmaFt = 0.0;
  double bearingSigmaDeg = 0.0;
  double altitudeStepFt = 0.0;  // 0: exact
  uint64_t seed = 1;
};

// The caller's side of the library for one instance: records, entries, advisory.
class LogicDriver {
 public:
  explicit LogicDriver(int32_t capabilities = 3, const Surveillance& surveillance = {});
  ~LogicDriver();
  LogicDriver(const LogicDriver&) = delete;
  LogicDriver& operator=(const LogicDriver&) = delete;

  // One traffic frame. `groundFt` is the terrain elevation under the own aircraft; the radio altitude
  // is the own altitude above it.
  void Frame(const Aircraft& own, const std::vector<Aircraft>& intruders, double groundFt,
             kvr::OperatingMode mode = kvr::OperatingMode::TaRa, bool slew = false);

  const kvr::AdvisoryRecord& Advisory() const { return advisory_; }
  const kvr::IntruderEntry& Entry(size_t i) const { return entries_[i]; }
  kvr::ThreatClass ClassOf(size_t i) const { return kvr::StatusThreatClass(entries_[i].status); }
  kvr::LatestAdvisory Latest() const;
  kvr::AvertineHandle Handle() const { return handle_; }
  kvr::OwnShipRecord& OwnRecord() { return own_; }

 private:
  kvr::AvertineHandle handle_ = nullptr;
  kvr::OwnShipRecord own_{};
  kvr::IntruderInputRecord intruder_{};
  kvr::AdvisoryRecord advisory_{};
  int32_t previousMode_ = 0;
  std::vector<kvr::IntruderEntry> entries_;
  Surveillance surveillance_;
  Random noise_;
};

// Geometry of a two-aircraft encounter, given at its closest approach if both fly straight.
struct EncounterSpec {
  double ownAltitudeFt = 8000.0;
  double ownVerticalRateFpm = 0.0;
  double ownSpeedKt = 250.0;
  double intruderSpeedKt = 250.0;
  double intruderCourseDeg = 180.0;  // relative to the own track (180 = head-on)
  double intruderVerticalRateFpm = 0.0;
  double verticalMissFt = 0.0;    // intruder minus own at closest approach, unresolved
  double missDistanceNm = 0.0;    // horizontal, at closest approach
  double timeToCpaS = 100.0;      // from the first frame
  double groundFt = 0.0;          // terrain under the own aircraft
  bool intruderEquipped = false;  // the intruder runs its own logic and follows it like the own pilot
  Surveillance surveillance;      // what both logics see of the other aircraft
};

enum class Pilot { Ignores, Follows };

// What happened in one frame.
struct FrameLog {
  double timeS = 0.0;
  int32_t auralCode = 0;
  kvr::ThreatClass intruderClass = kvr::ThreatClass::OtherTraffic;
  bool intruderValid = false;
  kvr::LatestAdvisory latest{};
  kvr::AdvisoryRecord advisory{};
  Aircraft own;  // both aircraft as the frame saw them
  Aircraft intruder;
};

struct EncounterResult {
  std::vector<FrameLog> frames;
  double cpaTimeS = 0.0;  // of the flown trajectories
  double cpaRangeNm = 0.0;
  double cpaVerticalFt = 0.0;        // |own - intruder| at the closest horizontal approach
  double cpaOwnHeightFt = 0.0;       // own height above the ground then
  bool nearMidAirCollision = false;  // at some instant within 500 ft horizontally and 100 ft vertically
  // Each resolution advisory of the own aircraft from posting to its end (the end of the flight when it
  // is still shown), in seconds of flight.
  struct Episode {
    double postedS, endedS;
  };
  std::vector<Episode> advisories;

  // Time before the planned closest approach of the first frame with this aural code (or class); -1
  // when it never occurs.
  double FirstAuralBeforeCpaS(int32_t code, double plannedCpaS) const;
  double FirstClassBeforeCpaS(kvr::ThreatClass threatClass, double plannedCpaS) const;
  int CountAural(int32_t code) const;
  int32_t FirstResolutionAural() const;  // first aural code of an RA (1..12), 0 when none
};

// Flies the encounter for `durationS` with one library frame per second. A following pilot flies each
// new or changed advisory with the standard response: the first after 5 s at 0.25 g, a stronger one or a
// reversal after 2.5 s at 0.35 g, any other change after 2.5 s at 0.25 g.
EncounterResult FlyEncounter(const EncounterSpec& spec, Pilot pilot, double durationS);

// The two aircraft of an encounter at time 0.
void BuildEncounter(const EncounterSpec& spec, Aircraft* own, Aircraft* intruder);

}  // namespace avertine_test
