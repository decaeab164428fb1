// Every number the collision logic decides by, in one place. The first block holds the published TCAS II
// values; the second the choices of this implementation (tracking, hysteresis, timing).
#pragma once

namespace avertine {

// ---- Units ----------------------------------------------------------------------------------------------
inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kRadPerDeg = kPi / 180.0;
inline constexpr double kNmPerDegLatitude = 60.0;         // flat-earth scale, good within 40 NM
inline constexpr double kSecondsPerHour = 3600.0;
inline constexpr double kSecondsPerMinute = 60.0;
inline constexpr double kGravityFtPerS2 = 32.174;

// ---- Sensitivity levels ----------------------------------------------------------------------------------
// Level 2 gives traffic advisories only. Level 7 has a second row above the high-altitude boundary.
struct SensitivityLevel {
  int level;
  double taTauS;     // traffic advisory: time to closest approach
  double raTauS;     // resolution advisory: time to closest approach (0: no RA at this level)
  double taDmodNm;   // TA: range inside which the range test passes whatever the closure
  double raDmodNm;   // RA: the same
  double taZthrFt;   // TA: relative altitude inside which the altitude test passes
  double raZthrFt;   // RA: the same
  double alimFt;     // RA: vertical separation an advisory aims for at closest approach
  double hmdNm;      // RA: predicted horizontal miss distance above which no RA is posted
};

inline constexpr SensitivityLevel kSensitivityLevels[] = {
    //  level taTauS raTauS taDmodNm raDmodNm taZthrFt raZthrFt alimFt hmdNm
    {2, 20.0, 0.0, 0.30, 0.00, 850.0, 0.0, 0.0, 0.00},        // below 1000 ft radio
    {3, 25.0, 15.0, 0.33, 0.20, 850.0, 600.0, 300.0, 0.40},   // 1000-2350 ft radio
    {4, 30.0, 20.0, 0.48, 0.35, 850.0, 600.0, 300.0, 0.57},   // 2350 ft radio - 5000 ft
    {5, 40.0, 25.0, 0.75, 0.55, 850.0, 600.0, 350.0, 0.74},   // 5000-10000 ft
    {6, 45.0, 30.0, 1.00, 0.80, 850.0, 600.0, 400.0, 0.82},   // 10000-20000 ft
    {7, 48.0, 35.0, 1.30, 1.10, 850.0, 700.0, 600.0, 0.98},   // 20000-42000 ft
    {7, 48.0, 35.0, 1.30, 1.10, 1200.0, 800.0, 700.0, 0.98},  // above 42000 ft
};

// Level boundaries: radio altitude near the ground, pressure altitude above.
inline constexpr double kLevel3MinRadioFt = 1000.0;
inline constexpr double kLevel4MinRadioFt = 2350.0;
inline constexpr double kLevel5MinPressureFt = 5000.0;
inline constexpr double kLevel6MinPressureFt = 10000.0;
inline constexpr double kLevel7MinPressureFt = 20000.0;
inline constexpr double kHighLevel7MinPressureFt = 42000.0;

// ---- Traffic classes and inhibits -------------------------------------------------------------------------
inline constexpr double kProximateRangeNm = 6.0;
inline constexpr double kProximateAltitudeFt = 1200.0;
inline constexpr double kDescendInhibitBelowRadioFt = 1100.0;       // no descend RA below
inline constexpr double kIncreaseDescentInhibitBelowRadioFt = 1450.0;
inline constexpr double kGroundIntruderBelowFt = 360.0;             // intruder height: on the ground
inline constexpr double kGroundIntruderTestBelowRadioFt = 1750.0;   // own height: the test above applies
inline constexpr double kMaxThreatVerticalRateFpm = 10000.0;        // faster intruders are not threats
inline constexpr double kTrendArrowRateFpm = 500.0;                 // display arrow threshold

// ---- Advisory rates and the pilot response they assume ----------------------------------------------------
inline constexpr double kCorrectiveRateFpm = 1500.0;
inline constexpr double kIncreaseRateFpm = 2500.0;
inline constexpr double kMaxMaintainRateFpm = 4400.0;
// Vertical speed limits of the negative advisories, sense coordinates (negative: against the sense).
inline constexpr double kVerticalSpeedLimitsFpm[] = {-2000.0, -1000.0, -500.0, 0.0};

struct ResponseModel {
  double delayS;
  double accelerationFtPerS2;
};
inline constexpr ResponseModel kInitialResponse{5.0, 0.25 * kGravityFtPerS2};
inline constexpr ResponseModel kSubsequentResponse{2.5, 0.35 * kGravityFtPerS2};

// ---- Choices of this implementation -------------------------------------------------------------------------
// Tracking: alpha-beta filters on relative position and on both altitudes, one report per frame.
inline constexpr double kTrackAlpha = 0.85;
inline constexpr double kTrackBeta = 0.7;
inline constexpr int kFirmTrackReports = 3;       // reports before a track may raise an advisory
inline constexpr double kTrackCoastS = 3.5;       // a track unreported for longer is dropped
inline constexpr double kDefaultFramePeriodS = 1.0;
inline constexpr double kMaxFramePeriodS = 10.0;

// Advisory timing and margins.
inline constexpr double kTaMinDurationS = 4.0;         // a TA stays at least this long
inline constexpr double kMaxLookaheadS = 60.0;         // cap on the time to closest approach evaluated
inline constexpr double kDivergingRangeRateKt = 5.0;   // opening faster than this: diverging
inline constexpr double kSlowRangeRateKt = 30.0;       // slower: judged at co-altitude, not range CPA
inline constexpr double kCrossingMarginFt = 100.0;     // closer than this, no side is "crossing"
inline constexpr double kSenseTieFt = 1.0;             // separations this close count as equal
inline constexpr double kRateToleranceFpm = 100.0;     // own rate counts as complying within this
inline constexpr double kMinIncreaseDelayS = 5.0;      // an increase waits for the pilot to respond
inline constexpr double kMinWeakenDelayS = 10.0;       // a positive advisory stands this long at least
inline constexpr double kWeakenMarginFt = 100.0;       // weaken only with this much above ALIM
inline constexpr double kMinReversalTimeS = 4.0;       // no reversal closer to closest approach
inline constexpr double kReversalGainFraction = 0.5;   // reversal must gain this share of ALIM

// Display priority resolution.
inline constexpr double kPriorityRangeStepNm = 0.0025;  // other/proximate: one step per this range
inline constexpr double kPriorityUrgencyStepS = 0.02;   // TA/RA: one step per this urgency
inline constexpr double kUrgencyFtPerS = 100.0;         // vertical separation counted as urgency time
inline constexpr double kDivergingUrgencyS = 120.0;     // urgency of traffic that is not closing

}  // namespace avertine
