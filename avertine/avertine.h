// Avertine: the collision-avoidance library the module calls once per traffic frame. This header is
// shared by the library and by its callers: the four records that cross the boundary, their fixed
// layouts, the entry points with their ordinals, and the aural codes the library reports.
//
// All record fields are 32-bit words except `AdvisoryRecord::advisoryTag`, an address, which widens on
// 64-bit targets (nothing else moves but the fields after it). Units: feet, feet per minute, nautical
// miles, radians clockwise from the nose, degrees for geographic positions and heading.
//
// Threading: an instance is used from one thread at a time (the simulator's panel thread); distinct
// instances are independent. Entry points never throw and never allocate after `AvertineCreate`.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define AVERTINE_CALL __stdcall
#else
#define AVERTINE_CALL
#endif

// On POSIX only the entry points are visible; on Windows the exports come from avertine.def.
#if !defined(_WIN32) && defined(AVERTINE_BUILDING_LIBRARY)
#define AVERTINE_API __attribute__((visibility("default")))
#else
#define AVERTINE_API
#endif

namespace kvr {

// ---- Shared enumerations -------------------------------------------------------------------------------

// What the collision logic is asked to do (own-ship record) and what it is doing (advisory record).
enum class OperatingMode : int32_t { TaRa = 0, Standby = 1, TaOnly = 2 };

// Threat class of one intruder, 4 bits of `IntruderEntry::status`.
enum class ThreatClass : uint32_t {
  OtherTraffic = 0,
  ProximateTraffic = 1,
  TrafficAdvisory = 2,
  ResolutionAdvisory = 3,
};

// Aural codes reported in `AdvisoryRecord::auralCode`; the numbers are the voice table's.
enum class AuralCode : int32_t {
  None = 0,
  Climb = 1,
  Descend = 2,
  ClimbCrossing = 3,
  DescendCrossing = 4,
  AdjustVerticalSpeed = 5,
  ClimbNow = 6,
  DescendNow = 7,
  IncreaseClimb = 8,
  IncreaseDescent = 9,
  MaintainVerticalSpeed = 10,
  MaintainVerticalSpeedCrossing = 11,
  MonitorVerticalSpeed = 12,
  ClearOfConflict = 13,
  TrafficTraffic = 14,
  Traffic = 15,
};

// ---- Records -------------------------------------------------------------------------------------------

// The advisory of the latest frame (written by ordinals 8 and 3). A target equal to the lower limit asks
// for at least that rate (upward sense), equal to the upper limit for at most that rate (downward).
// ±10000 mean "no limit" / "no green arc".
struct AdvisoryRecord {
  int32_t auralCode;      // AuralCode due this frame, 0 = none; reported once, on the frame it is due
  void* advisoryTag;      // the library's: a static text naming the advisory ("CLIMB"); callers ignore it
  float vsLowerLimitFpm;  // rates below are prohibited; -10000 = no lower prohibition
  float vsUpperLimitFpm;  // rates above are prohibited; +10000 = no upper prohibition
  float vsTargetFpm;      // equal to one limit: the green arc lies on its allowed side; 10000 = none
  int32_t modeStatus;     // OperatingMode the library is in
};

inline constexpr float kNoLowerLimitFpm = -10000.0f;
inline constexpr float kNoUpperLimitFpm = 10000.0f;
inline constexpr float kNoTargetFpm = 10000.0f;

// One traffic slot of the caller's picture (filled by ordinal 13; `id` is the caller's).
struct IntruderEntry {
  float relativeAltitudeFt;  // intruder minus own, pressure-altitude basis
  uint32_t status;           // bits 0-15 priority, 16-19 vertical trend (signed), 20-23 ThreatClass
  uint8_t valid;             // non-zero when the library placed the intruder this frame
  uint8_t padding[3];
  float rangeNm;     // horizontal range
  float bearingRad;  // relative to own heading, clockwise from the nose, -pi..pi
  uint32_t id;       // traffic identifier, written by the caller; 0 = slot not in use
};

// `status` packing. Priority orders painting: smaller first (underneath).
constexpr uint32_t StatusPriority(uint32_t status) { return status & 0xFFFFu; }
constexpr int32_t StatusVerticalTrend(uint32_t status) {
  const int32_t nibble = static_cast<int32_t>((status >> 16) & 0xFu);
  return nibble >= 8 ? nibble - 16 : nibble;
}
constexpr ThreatClass StatusThreatClass(uint32_t status) { return static_cast<ThreatClass>((status >> 20) & 0xFu); }
constexpr uint32_t MakeStatus(uint32_t priority, int32_t verticalTrend, ThreatClass threatClass) {
  return (priority & 0xFFFFu) | ((static_cast<uint32_t>(verticalTrend) & 0xFu) << 16) |
         ((static_cast<uint32_t>(threatClass) & 0xFu) << 20);
}

// The own aircraft, handed to ordinal 12 each frame. The caller writes the fields marked "caller"; the
// others keep what ordinal 14 put there.
struct OwnShipRecord {
  float pressureAltitudeFt;  // caller
  float radioAltitudeFt;     // caller: height above ground
  int32_t lowHeight;         // caller: 1 when radioAltitudeFt < 3000, else 0 (radio altitude trusted)
  float groundLevelFt;       // caller: pressure minus radio altitude, the ground on the pressure basis
  float framePeriodS;        // seconds between two ordinal-12 calls; default 1.0
  int32_t reserved20[3];
  int32_t mode;  // caller: OperatingMode of this frame
  int32_t reserved36[6];
  int32_t slew;        // caller: 1 while the simulator slews (positions jump)
  float latitudeDeg;   // caller
  float longitudeDeg;  // caller
  float headingDeg;    // caller: true heading
};

// One intruder, handed to ordinal 13. The caller writes id, position, altitude and address; the other
// fields are set once after ordinal 15.
struct IntruderInputRecord {
  uint32_t id;  // traffic identifier
  float latitudeDeg;
  float longitudeDeg;
  float altitudeFt;           // on the own aircraft's pressure-altitude basis
  int32_t altitudeReporting;  // 1: altitude valid; 0: range-only traffic (TA at most, no RA)
  uint32_t address;           // the identifier again (transponder address)
  int32_t reserved24;
  int32_t transponderKind;  // 3 = Mode S (the logic treats every kind alike)
  int32_t reserved32[2];
  int32_t coordinationSense;  // the intruder's own RA sense: 0 none, 1 upward, 2 downward
};

// ---- Layout checks -------------------------------------------------------------------------------------
static_assert(sizeof(IntruderEntry) == 24);
static_assert(offsetof(IntruderEntry, status) == 4);
static_assert(offsetof(IntruderEntry, valid) == 8);
static_assert(offsetof(IntruderEntry, rangeNm) == 12);
static_assert(offsetof(IntruderEntry, bearingRad) == 16);
static_assert(offsetof(IntruderEntry, id) == 20);

static_assert(sizeof(OwnShipRecord) == 76);
static_assert(offsetof(OwnShipRecord, radioAltitudeFt) == 4);
static_assert(offsetof(OwnShipRecord, lowHeight) == 8);
static_assert(offsetof(OwnShipRecord, groundLevelFt) == 12);
static_assert(offsetof(OwnShipRecord, framePeriodS) == 16);
static_assert(offsetof(OwnShipRecord, mode) == 32);
static_assert(offsetof(OwnShipRecord, slew) == 60);
static_assert(offsetof(OwnShipRecord, latitudeDeg) == 64);
static_assert(offsetof(OwnShipRecord, longitudeDeg) == 68);
static_assert(offsetof(OwnShipRecord, headingDeg) == 72);

static_assert(sizeof(IntruderInputRecord) == 44);
static_assert(offsetof(IntruderInputRecord, latitudeDeg) == 4);
static_assert(offsetof(IntruderInputRecord, longitudeDeg) == 8);
static_assert(offsetof(IntruderInputRecord, altitudeFt) == 12);
static_assert(offsetof(IntruderInputRecord, altitudeReporting) == 16);
static_assert(offsetof(IntruderInputRecord, address) == 20);
static_assert(offsetof(IntruderInputRecord, transponderKind) == 28);
static_assert(offsetof(IntruderInputRecord, coordinationSense) == 40);

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(AdvisoryRecord) == 24);
static_assert(offsetof(AdvisoryRecord, advisoryTag) == 4);
static_assert(offsetof(AdvisoryRecord, vsLowerLimitFpm) == 8);
static_assert(offsetof(AdvisoryRecord, vsUpperLimitFpm) == 12);
static_assert(offsetof(AdvisoryRecord, vsTargetFpm) == 16);
static_assert(offsetof(AdvisoryRecord, modeStatus) == 20);
#else
// 64-bit: the tag widens to 8 bytes at offset 8; the 32-bit fields follow it in the same order.
static_assert(sizeof(AdvisoryRecord) == 32);
static_assert(offsetof(AdvisoryRecord, advisoryTag) == 8);
static_assert(offsetof(AdvisoryRecord, vsLowerLimitFpm) == 16);
static_assert(offsetof(AdvisoryRecord, vsTargetFpm) == 24);
static_assert(offsetof(AdvisoryRecord, modeStatus) == 28);
#endif

// ---- The latest advisory, for a simulated pilot (not part of the ordinal interface) --------------------

enum class AdvisorySense : int32_t { None = 0, Up = 1, Down = 2 };

enum class AdvisoryStrength : int32_t {
  None = 0,
  MonitorVerticalSpeed = 1,   // preventive: the current rate is allowed; one limit, no green arc
  AdjustVerticalSpeed = 2,    // reduce the rate to the limit (also the weakened advisory: level off)
  MaintainVerticalSpeed = 3,  // the current rate already complies: keep it
  Corrective = 4,             // climb or descend at 1500 ft/min
  Increase = 5,               // climb or descend at 2500 ft/min
};

struct LatestAdvisory {
  int32_t active;         // 1 while a resolution advisory is posted
  int32_t sense;          // AdvisorySense
  int32_t strength;       // AdvisoryStrength
  int32_t crossing;       // 1 when the advised sense crosses a threat's altitude
  int32_t reversed;       // 1 after a sense reversal
  int32_t threatCount;    // intruders the advisory resolves
  float targetRateFpm;    // the limiting rate: at least this (Up) or at most this (Down)
  float vsLowerLimitFpm;  // as in AdvisoryRecord
  float vsUpperLimitFpm;
  uint32_t changeCount;  // +1 whenever an advisory starts, changes or ends
};

// ---- Entry points --------------------------------------------------------------------------------------

struct AvertineInstance;
using AvertineHandle = AvertineInstance*;

// Ordinals under which the entry points are exported on Windows (names elsewhere).
enum AvertineOrdinal : int32_t {
  kOrdinalCreate = 1,
  kOrdinalDestroy = 2,
  kOrdinalResetAdvisory = 3,
  kOrdinalCollectAdvisory = 8,
  kOrdinalUpdateOwnShip = 12,
  kOrdinalProcessIntruder = 13,
  kOrdinalDefaultOwnShip = 14,
  kOrdinalDefaultIntruderInput = 15,
};

// Capability bits of AvertineCreate; callers pass 3.
inline constexpr int32_t kCapabilityTrafficAdvisories = 1;
inline constexpr int32_t kCapabilityResolutionAdvisories = 2;

extern "C" {

// [ordinal 1] A new instance with the given capability bits; null when out of memory.
AVERTINE_API AvertineHandle AVERTINE_CALL AvertineCreate(int32_t capabilities);
// [ordinal 2] Releases the instance; null is ignored. Returns 1 when an instance was released.
AVERTINE_API int32_t AVERTINE_CALL AvertineDestroy(AvertineHandle handle);
// [ordinal 3] Forgets every track and advisory and writes the empty advisory (mode Standby).
AVERTINE_API int32_t AVERTINE_CALL AvertineResetAdvisory(AvertineHandle handle, AdvisoryRecord* advisory,
                                                         int32_t reserved);
// [ordinal 8, last in a frame] Resolves the frame's threats and writes the advisory.
AVERTINE_API int32_t AVERTINE_CALL AvertineCollectAdvisory(AvertineHandle handle, AdvisoryRecord* advisory,
                                                           int32_t reserved);
// [ordinal 12, first in a frame] Starts a frame: own state, sensitivity level, mode. Returns 0 when the
// record is unusable (the frame then places no intruder).
AVERTINE_API int32_t AVERTINE_CALL AvertineUpdateOwnShip(AvertineHandle handle, const OwnShipRecord* ownShip);
// [ordinal 13, after 12, once per present intruder] Tracks the intruder and fills `entry` (all fields but
// `id`). Returns 1 when the entry was placed (`valid` non-zero).
AVERTINE_API int32_t AVERTINE_CALL AvertineProcessIntruder(AvertineHandle handle, const IntruderInputRecord* intruder,
                                                           IntruderEntry* entry);
// [ordinal 14, any time] Fills the own-ship record with defaults.
AVERTINE_API int32_t AVERTINE_CALL AvertineDefaultOwnShip(OwnShipRecord* ownShip);
// [ordinal 15, any time] Fills the intruder record with defaults.
AVERTINE_API int32_t AVERTINE_CALL AvertineDefaultIntruderInput(IntruderInputRecord* intruder);

// [after ordinal 8] The advisory as a pilot flies it. Returns 0 for a null argument.
AVERTINE_API int32_t AVERTINE_CALL AvertineLatestAdvisory(AvertineHandle handle, LatestAdvisory* latest);

// [any time] The sensitivity level (2 to 7) a frame with this own-ship record (caller fields) and own
// vertical rate runs at, for callers that report by level. Climbing out under level 3 from 400 ft radio
// altitude, where level 3's resolution advisories apply against traffic met above it, gives 3. Returns 0
// for a null record.
AVERTINE_API int32_t AVERTINE_CALL AvertineSensitivityLevel(const OwnShipRecord* ownShip, float verticalRateFpm);

}  // extern "C"

}  // namespace kvr
