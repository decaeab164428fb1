// Every number the collision logic decides by, in one place. The first blocks hold published TCAS II
// values, each with the public document it comes from; the last block the choices of this
// implementation (tracking, hysteresis, timing), each with the reason for its value.
//
// Sources named below:
//   [FAA 7.1]  FAA, "Introduction to TCAS II Version 7.1", 2011 (the pilot and controller booklet).
//   [FAA 7.0]  FAA, "Introduction to TCAS II Version 7", 2000 (the same booklet for version 7.0).
//   [NASA RA]  C. Munoz, A. Narkawicz, J. Chamberlain, "A TCAS-II Resolution Advisory Detection
//              Algorithm", AIAA Guidance, Navigation, and Control Conference, 2013 (NASA Langley).
#pragma once

#include <cstddef>

namespace avertine {

// ---- Units ----------------------------------------------------------------------------------------------
inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kRadPerDeg = kPi / 180.0;
inline constexpr double kNmPerDegLatitude = 60.0;  // flat-earth scale, good within 40 NM
inline constexpr double kSecondsPerHour = 3600.0;
inline constexpr double kSecondsPerMinute = 60.0;
inline constexpr double kGravityFtPerS2 = 32.174;

// ---- Sensitivity levels ----------------------------------------------------------------------------------
// Level 2 gives traffic advisories only. Level 7 has a second row above the high-altitude boundary.
// Columns tau, DMOD, ZTHR and ALIM, and the level boundaries: the sensitivity level table of [FAA 7.1];
// the RA columns are also those of [NASA RA].
// Column hmdNm: the horizontal miss-distance threshold of [NASA RA], which equals the RA DMOD of each
// level; [FAA 7.1] describes the filter without its numbers. Measured on straight-line encounters
// against those criteria, larger thresholds started resolution advisories up to tens of seconds early
// whenever the predicted miss lay between the two.
struct SensitivityLevel {
  int level;
  double taTauS;    // traffic advisory: time to closest approach
  double raTauS;    // resolution advisory: time to closest approach (0: no RA at this level)
  double taDmodNm;  // TA: range inside which the range test passes whatever the closure
  double raDmodNm;  // RA: the same
  double taZthrFt;  // TA: relative altitude inside which the altitude test passes
  double raZthrFt;  // RA: the same
  double alimFt;    // RA: vertical separation an advisory aims for at closest approach
  double hmdNm;     // RA: predicted horizontal miss distance above which no RA is posted
};

inline constexpr SensitivityLevel kSensitivityLevels[] = {
    //  level taTauS raTauS taDmodNm raDmodNm taZthrFt raZthrFt alimFt hmdNm
    {2, 20.0, 0.0, 0.30, 0.00, 850.0, 0.0, 0.0, 0.00},        // below 1000 ft radio
    {3, 25.0, 15.0, 0.33, 0.20, 850.0, 600.0, 300.0, 0.20},   // 1000-2350 ft radio
    {4, 30.0, 20.0, 0.48, 0.35, 850.0, 600.0, 300.0, 0.35},   // 2350 ft radio - 5000 ft
    {5, 40.0, 25.0, 0.75, 0.55, 850.0, 600.0, 350.0, 0.55},   // 5000-10000 ft
    {6, 45.0, 30.0, 1.00, 0.80, 850.0, 600.0, 400.0, 0.80},   // 10000-20000 ft
    {7, 48.0, 35.0, 1.30, 1.10, 850.0, 700.0, 600.0, 1.10},   // 20000-42000 ft
    {7, 48.0, 35.0, 1.30, 1.10, 1200.0, 800.0, 700.0, 1.10},  // above 42000 ft
};

// Level boundaries: radio altitude near the ground, pressure altitude above [FAA 7.1].
inline constexpr double kLevel3MinRadioFt = 1000.0;
inline constexpr double kLevel4MinRadioFt = 2350.0;
inline constexpr double kLevel5MinPressureFt = 5000.0;
inline constexpr double kLevel6MinPressureFt = 10000.0;
inline constexpr double kLevel7MinPressureFt = 20000.0;
inline constexpr double kHighLevel7MinPressureFt = 42000.0;

// Climbing out below the level-3 boundary, an own aircraft may meet traffic that it reaches only above
// it: level 2 would give no RA although the closest approach lies where level 3 applies, and an RA
// first posted when the boundary is crossed comes seconds before the closest approach, too late to act.
// From this radio altitude up, a climbing own aircraft gets level 3's RA against traffic whose closest
// approach it will reach above the boundary, with level 2's traffic advisories; descents stay inhibited
// there, so its advisories only level off or climb. Our own value: a climb at the 2500 ft/min increase
// rate reaches the boundary within level 3's 15 s RA tau from 375 ft, and below that the allowance
// never needs to look; lower still an advisory would come in the first seconds after takeoff.
inline constexpr double kClimbOutMinRadioFt = 400.0;
// Level 2 climbing out: its traffic advisory columns, level 3's resolution advisory columns.
inline constexpr SensitivityLevel kClimbOutLevel = {2, 20.0, 15.0, 0.30, 0.20, 850.0, 600.0, 300.0, 0.20};

// ---- Traffic classes and inhibits -------------------------------------------------------------------------
// Proximate traffic (6 NM, 1200 ft), the descend and increase-descent inhibits, the own height below
// which intruders may be declared on the ground, the 10000 ft/min limit on threats and the 500 ft/min
// trend arrow: [FAA 7.1]. The intruder height that counts as on the ground is our own value: it takes a
// ground-level intruder's reported altitude with its 100 ft reporting steps and altimetry error, and no
// more, so that traffic in the traffic pattern still counts as airborne. An intruder counts as on the
// ground only when it is also 200 ft below the own aircraft, or reports less than 100 ft (one reporting
// step): two aircraft flying low together both get a traffic advisory, while ground traffic stays quiet
// during the approach and, at the 100 ft band, in the flare. These two heights are our own.
inline constexpr double kProximateRangeNm = 6.0;
inline constexpr double kProximateAltitudeFt = 1200.0;
inline constexpr double kDescendInhibitBelowRadioFt = 1100.0;  // no descend RA below
inline constexpr double kIncreaseDescentInhibitBelowRadioFt = 1450.0;
inline constexpr double kGroundIntruderBelowFt = 360.0;            // intruder height: on the ground
inline constexpr double kGroundIntruderTestBelowRadioFt = 1750.0;  // own height: the test above applies
inline constexpr double kGroundIntruderBelowOwnFt = 200.0;         // ...and this much below the own height
inline constexpr double kGroundLevelBandFt = 100.0;                // ...or reporting no more than this
// An intruder climbing faster than this has left the ground, however low it still is: its traffic
// advisory comes as it climbs towards us, not only once it passes kGroundIntruderBelowFt. Our own value:
// twice the trend arrow's rate, above the 900 ft/min that a single 100 ft altitude step gives the track
// for a moment.
inline constexpr double kGroundIntruderClimbFpm = 1000.0;
inline constexpr double kMaxThreatVerticalRateFpm = 10000.0;  // faster intruders are not threats
inline constexpr double kTrendArrowRateFpm = 500.0;           // display arrow threshold

// ---- Advisory rates and the pilot response they assume ----------------------------------------------------
// Corrective and increase rates, and the two pilot responses (5 s at 0.25 g to a first advisory, 2.5 s at
// 0.35 g to a later change): [FAA 7.1]. The vertical speed limits of the negative advisories (limit
// climb or descent to 2000, 1000 or 500 ft/min, or level off): the negative RAs of [FAA 7.0]; the
// display gauge shows them as red sectors. The largest rate a "maintain" advisory keeps, 4400 ft/min, is
// our own: the top of the vertical speed scale the advisory is drawn on.
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
// Tracking: alpha-beta filters on relative position and on both altitudes, one report per frame. The own
// altitude is exact and its filter quick, so that the pilot's response shows at once. An intruder's
// position carries the surveillance's bearing error, which grows with range, and its altitude comes in
// 100 ft steps: their filters smooth harder (the gains start high and fall to these within a few
// reports). Measured on encounters with 100 ft steps and 3 degree bearing noise, the quick gains had
// turned the noise into false rates, flickering advisories and induced collisions. The miss-distance
// filter trusts the predicted miss only beyond twice the spread of the position residuals, carried to
// the closest approach by the velocity error they imply. Its vertical twin holds back an RA where the
// straight-line miss at closest approach is at least twice ALIM and at least 1200 ft, and the two are
// within ZTHR of each other's level only while surely farther apart than the TA DMOD: a fast climb or
// descent through the other's level miles away. 1200 ft is the vertical miss beyond which the
// encounter evaluation counts an RA as a nuisance; under it, at the low levels where twice ALIM is less,
// the published criteria's RAs are kept. Measured on straight-line encounters against those criteria,
// these margins keep 99.9 % of RA onsets within 2 s (twice ALIM alone 99.1 %; the RA DMOD without the
// vertical condition 97.8 %). Three reports give the first velocity that rests on more than one
// difference; a track survives three missed frames (about 3 s) and a half.
inline constexpr double kTrackAlpha = 0.85;  // own altitude
inline constexpr double kTrackBeta = 0.7;
inline constexpr double kPositionAlpha = 0.3;  // intruder north and east
inline constexpr double kPositionBeta = 0.05;
inline constexpr double kIntruderAltitudeAlpha = 0.5;
inline constexpr double kIntruderAltitudeBeta = 0.15;
// While an intruder manoeuvres (two successive residuals beyond three times the measurement noise, on
// the same side) its filters take quicker gains, so that a turn or a change of vertical rate shows in
// the tracks within a few reports. The noise floors keep exact surveillance, whose residuals are only
// rounding, from seeing a manoeuvre in every report: a metre, and a tenth of a reporting step.
// Measured on the evaluation's development set against the published alerting criteria, onsets within
// 2 s rose from 96.7 to 98.5 % (TA) and 94.0 to 95.9 % (RA); the noisy figures did not move.
inline constexpr double kManoeuvrePositionAlpha = 0.7;
inline constexpr double kManoeuvrePositionBeta = 0.4;
inline constexpr double kPositionNoiseFloorNm = 0.0005;
inline constexpr double kManoeuvreAltitudeAlpha = 0.7;
inline constexpr double kManoeuvreAltitudeBeta = 0.4;
inline constexpr double kAltitudeNoiseFloorFt = 10.0;
// How much a tracked rate may change in a second, one standard deviation: a turn's lateral acceleration
// (1.2 ft/s^2, that of a 2 degree bank: larger turns show as manoeuvres) and a change of vertical rate
// (10 ft/s^2, 0.3 g).
// Against these the filters weigh the measurement noise they learn: exact reports raise the steady gains
// towards following each report, while noisy ones (3 degrees of bearing, 100 ft altitude steps) keep
// the steady gains above. For exact reports the noise floors bound them: 0.59 and 0.26 for positions,
// 0.75 and 0.5 for altitude. Measured on the development set's recorded tracks against the published
// alerting criteria, onsets within 2 s rose from 98.9 to 99.8 % (TA) and 97.0 to 98.1 % (RA) with the
// position floor halved from 0.001 NM; no other figure of the development set moved.
inline constexpr double kPositionProcessSigmaNmPerS2 = 0.0002;
inline constexpr double kAltitudeProcessSigmaFtPerS2 = 10.0;
// Altitude reporting steps, coarsest first: a track whose reports all sit on one is taken as rounded to it.
inline constexpr double kAltitudeRoundingStepsFt[] = {100.0, 25.0};
// Rounded altitudes jump a whole step at a time, and the altitude filter shows each jump as a rate for
// seconds: a 470 ft/min climb on 100 ft steps read as 1170 ft/min, enough to choose a crossing. Where the
// reports pass from one step to the next, the altitude halfway between the two was crossed, half a
// report interval before the second; a steady climb or descent crosses the steps at alike intervals, on
// its own path. Its rate is taken from the crossings where at least three come the same way, at
// intervals within a report and a quarter of each other and no shorter than kStepMinIntervalS (quicker
// crossings are timed too coarsely by the reports, and the filter follows them well), spanning
// kStepMinSpanS or more, with the next crossing not yet overdue. Since the last crossing the altitude
// moved less than a step, which bounds the rate whichever way it was found: a level-off shows within a
// few reports. Measured on the evaluation's development seed with 5000 encounters and 100 ft steps, NMACs
// fell from 38 to 36 (intruder unequipped) and from 25 to 23 (equipped); the exact-report figures did not
// move.
//
// Each crossing is timed only to within half a report, so the span of the crossings is what times the
// rate. The altitude filter, which climbs quicker than kStepMinIntervalS are left to, and four crossings
// of slower ones, read a steady rate a tenth or more off either way: the vertical miss filter, which
// needs 1200 ft at level 7, saw passes 1300 ft apart at 2100 to 4500 ft/min as 1200 ft or less in 7 to
// 10 of 10 noise draws. For that filter alone, a steady climb or descent is timed over more crossings:
// past the newest kStepNowCrossings, older ones until they span kStepSteadySpanS, quicker ones too. The
// advisories keep the rate of the newest crossings, which shows a change of rate sooner: taken for them
// as well, it moved NMACs both ways. Measured on the same 5000 encounters, noisy RAs on wide misses fell
// from 155 to 144 (of 1259); no NMAC moved, and the exact-report flights did not either.
inline constexpr int kStepCrossings = 12;    // crossings remembered
inline constexpr int kStepNowCrossings = 4;  // crossings the advisories' rate is taken over, at most
inline constexpr double kStepMinIntervalS = 3.0;
inline constexpr double kStepMinSpanS = 8.0;
inline constexpr double kStepSteadySpanS = 12.0;
inline constexpr double kStepSteadyMinSpanS = 6.0;
inline constexpr double kStepIntervalToleranceS = 1.25;  // plus a quarter of the longer interval
inline constexpr double kStepOverdueS = 1.5;             // beyond the mean interval
inline constexpr int kStepOverdueCrossings = 3;          // the newest crossings whose intervals a pause outlasts
// Exact altitude reports show a climb or descent that ends: the tracked rate falls report after report.
// Falling by at least this much a second over the last two reports, it is taken to be levelling off.
inline constexpr double kLevellingSlowingFpmPerS = 100.0;

inline constexpr double kMissConfidence = 2.0;  // miss uncertainty in residual spreads
// The miss from range alone: a parabola fitted to the squared ranges of the last reports, exact for two
// aircraft flying straight. Range comes without the bearing error, so the miss is sure much sooner than
// from the positions; it counts only where the tracked positions agree with it, since its window lags a
// turn. Measured on the evaluation's development set with 3 degree bearing noise, the wide-miss RA rate
// fell from 27.5 % to 24.5, 22.3 and 21.9 % with windows of 16, 24 and 32 reports, the risk figures
// unchanged; 24 keeps most of the gain with a shorter lag.
inline constexpr int kRangeFitReports = 24;
// The same fit over a longer memory, for a miss sure enough at levels 6 and 7, where the RA tau falls 7
// to 9 NM out and 3 degrees of bearing scatter the positions' miss of a 0.45 NM threat and of a 1.7 NM
// pass alike: its error falls about as the window's span to the power 2.5, and 48 reports hold the two
// four standard errors apart where 24 hold them one and a half. The ranges are first straightened: each
// is taken as if the own aircraft had flown straight on at its present ground velocity, so that its
// changes of speed, which the ranges alone would show as curvature, drop out (a turn of many miles off
// the straight way does not: the relative positions this needs carry the bearing error). What such a long
// window lags is a turn of the intruder, which shows first in the newest ranges: where the newest 10
// stray, on average, by more than three standard errors from the curve through the older ones, the fit
// says nothing. Its miss only holds a new RA back, at levels 6 and 7, beyond the DMOD; it clears none.
// Its range rate, and its time to closest approach where bearing leaves the positions' miss open, also
// serve the vertical miss filter. Measured on the evaluation's extended development set (5000 encounters of
// seed 1) with 3 degree bearing noise, the wide-miss RA rate fell from 19.8 to 14.5 % over the raw ranges,
// 14.0 % straightened, 13.5 % with the miss's floor at 1.5 rather than 2 standard errors, and 12.3 % with
// the vertical miss filter's use; no NMAC moved, and the vertical miss of unresolved threats changed by
// under 2 ft on average. A fit weighted by the accuracy of r^2 did worse (15.2 % against 14.5 %).
// Both checks run at every report, some twenty times on the way in, and one report without the fit is
// enough for an RA to be posted: held to two standard errors, noise alone now and then made the newest
// ranges stray on straight wide misses, or the positions' miss part from the fit's. So the fit is
// refused only beyond three standard errors; between two and three its miss must be sure to three
// standard errors rather than 1.5; and the positions need agree with it only within 1.25 times their
// uncertainty. In 720 noisy flights of straight passes 1.5 to 1.9 NM apart at level 7, RAs fell from 197
// to 110. On the evaluation's extended development set, noisy wide-miss RAs fell from 10.7 % to 10.0 %
// with the fit refused beyond three, 10.1 % with the surer miss between two and three (which keeps the
// RA of the turn test's intruder, turning at right angles to the line of sight, 20 s before the closest
// approach), and 9.6 % with the agreement; no NMAC moved, and the vertical miss of unresolved threats
// changed by about 1 ft on average. A surer miss of four standard errors, or agreement within 1.5 times,
// did no better.
inline constexpr int kLongRangeFitReports = 48;
inline constexpr std::size_t kRecentRangeReports = 10;
inline constexpr double kRecentRangeStraySpreads = 3.0;
inline constexpr double kRecentRangeDoubtSpreads = 2.0;
inline constexpr double kStraightMissConfidence = 1.5;
inline constexpr double kStraightMissDoubtConfidence = 3.0;
inline constexpr double kStraightMissAgreement = 1.25;
inline constexpr double kStraightMissMinRaTauS = 30.0;
inline constexpr double kVerticalMissFilterAlims = 2.0;     // vertical miss filter: predicted miss in ALIMs
inline constexpr double kVerticalMissFilterMinFt = 1200.0;  // ...and in feet at least
inline constexpr int kFirmTrackReports = 3;                 // reports before a track may raise an advisory
inline constexpr double kTrackCoastS = 3.5;                 // a track unreported for longer is dropped
inline constexpr double kDefaultFramePeriodS = 1.0;
inline constexpr double kMaxFramePeriodS = 10.0;        // longer gaps are taken as one default frame
inline constexpr double kMaxOwnGroundSpeedKt = 1200.0;  // faster moves of the own position are jumps

// Advisory timing and margins. The 4 s TA hold keeps a symbol from blinking when a test flickers across
// its threshold. The 5 s RA hold keeps an advisory up for as long as the pilot takes to begin flying it,
// so that it is never cancelled in the breath after it was given; none is first given after the closest
// approach, when it can no longer change the miss. The 60 s look-ahead is beyond every tau; the 5 kt and
// 30 kt range rates separate diverging and nearly parallel traffic from closing traffic with some margin
// for track noise; the crossing margin, sense tie and rate tolerance absorb altimetry and rate-tracking
// error; a forced crossing must promise clearly more than staying, since the pilot's delay eats into it;
// the increase, weakening and reversal delays and margins let the pilot's response show in the tracks
// before the advisory is changed again. A weakening must also hold 10 s after the predicted closest
// approach: with bearing noise and a slow closure the prediction can be that early, and an intruder
// closing vertically then comes down (or up) onto a levelled-off aircraft; measured on the evaluation's
// development set with 10 degree bearing noise, this removed its one induced NMAC and moved nothing else.
inline constexpr double kTaMinDurationS = 4.0;      // a TA stays at least this long
inline constexpr double kMinThreatDurationS = 5.0;  // an RA threat stays declared at least this long
// A sure miss ends an RA threat once it has held for this many reports in a row. With 3 degree bearing
// noise, one report's errors cleared a climb 1.5 NM from an intruder met head-on at 540 kt; told to
// climb again a second later, the pilot was still in the delay of a new advisory at the crossing, and
// the two passed 82 ft apart (extended development set, enc_008204). Three reports removed that NMAC,
// made none, took 177 of 5830 noisy RAs away (the clears and the advisories that followed them), and
// grew the vertical miss of the noisy flights passing within 0.5 NM and 600 ft unresolved by 0.9 to
// 1.7 ft on average.
inline constexpr int kSureMissClearReports = 3;
inline constexpr double kMinNewAdvisoryLeadS = 1.0;     // no new RA closer to closest approach
inline constexpr double kMaxLookaheadS = 60.0;          // cap on the time to closest approach evaluated
inline constexpr double kDivergingRangeRateKt = 5.0;    // opening faster than this: diverging
inline constexpr double kSlowRangeRateKt = 30.0;        // slower: judged at co-altitude, not range CPA
inline constexpr double kCrossingMarginFt = 100.0;      // closer than this, no side is "crossing"
inline constexpr double kCrossingPreferenceFt = 150.0;  // a forced crossing must beat staying by this
inline constexpr double kSenseTieFt = 1.0;              // separations this close count as equal
inline constexpr double kRateToleranceFpm = 100.0;      // own rate counts as complying within this
inline constexpr double kMinIncreaseDelayS = 5.0;       // an increase waits for the pilot to respond
inline constexpr double kMinWeakenDelayS = 10.0;        // a positive advisory stands this long at least
inline constexpr double kWeakenMarginFt = 100.0;        // weaken only with this much above ALIM
inline constexpr double kWeakenLaterS = 10.0;           // ...also were the closest approach this much later
inline constexpr double kMinReversalTimeS = 4.0;        // no reversal closer to closest approach
inline constexpr double kReversalGainFraction = 0.5;    // reversal must gain this share of ALIM
// An increase may join the first advisory's response before the pilot has begun to fly it, from this
// long after the advisory: its message has sounded once by then (all but the 2.6 s "maintain vertical
// speed, crossing maintain"), and an increase given by 2.5 s is flown from the first response's start.
inline constexpr double kJoinedIncreaseAfterS = 2.0;
// Moving slowly against each other (kSlowRangeRateKt), two aircraft nearer than this when a reversal
// would take us through the intruder's level are side by side: no such reversal. On the extended
// development set (10000 encounters of seed 1) it took the reversal out of four encounters, and no longer
// made an NMAC of enc_008523 with the intruder equipped (62 ft, now 180 ft ideal and 238 ft noisy).
// Asked at every closure speed, it kept fast encounters whose reversal crosses just before the closest
// approach from reversing, and two noisy flights became NMACs.
inline constexpr double kSideBySideNm = 0.2;
// A reversal into a crossing only where the strongest advisory of the present sense keeps less than this
// share of ALIM. On the extended development set an intruder descending at 3600 ft/min levelled off 450
// ft above us 6 s after we reversed from an increased descent that kept 560 of 600 ft: we climbed
// through its level and passed 23 ft from it (enc_006619). The share removed that NMAC and one more
// (enc_005405, noisy), made none, and the vertical miss of the flights passing within 0.5 NM and 600 ft
// unresolved grew by 0.1 to 0.6 ft on average.
inline constexpr double kCrossingReversalShortfall = 0.5;
// Drawing apart slowly (kSlowRangeRateKt) but still inside the RA DMOD, a vertical closure at least this
// fast that brings the two within ALIM before they are out of it is a threat again: an aircraft clear of
// conflict that returns to its altitude towards the other. After the closest approach such a closure is
// also what advisories are judged by. The rate of the trend arrow: slower closures are rate-tracking
// error on two aircraft that hold their separation.
inline constexpr double kResumedClosureFpm = 500.0;

// Display priority resolution: steps small enough that two symbols seldom tie, within the 14 bits
// that each class has.
inline constexpr double kPriorityRangeStepNm = 0.0025;  // other/proximate: one step per this range
inline constexpr double kPriorityUrgencyStepS = 0.02;   // TA/RA: one step per this urgency
inline constexpr double kUrgencyFtPerS = 100.0;         // vertical separation counted as urgency time
inline constexpr double kDivergingUrgencyS = 120.0;     // urgency of traffic that is not closing

}  // namespace avertine
