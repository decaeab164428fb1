// Resolution advisory state machine.
#include "avertine/advisory_generator.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "avertine/avertine.h"

namespace avertine {
namespace {

bool Positive(Strength strength) {
  return strength == Strength::Maintain || strength == Strength::Corrective || strength == Strength::Increase;
}

// The complement of the first coordinating intruder's sense; None when none coordinates.
Sense ForcedSense(std::span<const ThreatGeometry> threats) {
  for (const ThreatGeometry& threat : threats)
    if (threat.coordinationSense != Sense::None) return Opposite(threat.coordinationSense);
  return Sense::None;
}

// When the first coordinating intruder last changed the sense it tells us.
double CoordinatedAfterS(std::span<const ThreatGeometry> threats) {
  for (const ThreatGeometry& threat : threats)
    if (threat.coordinationSense != Sense::None) return threat.coordinationSinceS;
  return 0.0;
}

// Below the descend inhibit a downward advisory stops a climb or keeps level flight, nothing more:
// "Adjust vertical speed" while the own aircraft climbs, "Monitor vertical speed" once it does not.
StrengthChoice LevelOffChoice(double ownRateFpm) {
  return StrengthChoice{SenseSelector::StrengthFor(0.0, SeparationPredictor::SenseRateFpm(ownRateFpm, Sense::Down)),
                        0.0};
}

// Whether an increase may join the response to the advisory as first posted, before the pilot has begun
// to fly it (only that advisory expects the initial response; every change expects a subsequent one), once
// its message has sounded. Committing the pilot so early is a bet on the intruder's vertical track, so it
// is made only where the advisory keeps us on our side of every threat, and none climbs or descends
// faster than the increase would have us: against such an intruder the miss depends on its rate more than
// on ours, and the increase waits for the tracks.
bool MayJoinFirstResponse(const Advisory& advisory, const ResponseModel& expected, double nowS,
                          std::span<const ThreatGeometry> threats) {
  return expected.delayS > 0.0 && expected.accelerationFtPerS2 == kInitialResponse.accelerationFtPerS2 &&
         nowS - advisory.changedS >= kJoinedIncreaseAfterS && !advisory.crossing &&
         std::all_of(threats.begin(), threats.end(), [](const ThreatGeometry& threat) {
           return std::fabs(threat.intruderRateFpm) <= kIncreaseRateFpm;
         });
}

double MinEvaluationTimeS(std::span<const ThreatGeometry> threats) {
  double least = std::numeric_limits<double>::infinity();
  for (const ThreatGeometry& threat : threats) least = std::min(least, SeparationPredictor::EvaluationTimeS(threat));
  return least;
}

}  // namespace

AdvisoryEvent AdvisoryGenerator::Update(const GeneratorInput& input) {
  if (!input.enabled) {
    if (!advisory_.active) return AdvisoryEvent::None;
    Reset();
    return AdvisoryEvent::Withdrawn;  // inhibited or switched off: removed without "clear of conflict"
  }
  if (input.threats.empty()) {
    if (!advisory_.active) return AdvisoryEvent::None;
    Reset();
    return AdvisoryEvent::Cleared;
  }
  if (!advisory_.active) return Start(input);
  advisory_.threatCount = static_cast<int>(input.threats.size());
  return Revise(input);
}

AdvisoryEvent AdvisoryGenerator::Start(const GeneratorInput& input) {
  const double alimFt = input.level->alimFt;
  const SenseConstraints constraints{input.descendAllowed, ForcedSense(input.threats), input.descendRoomFt};
  const Sense sense = SenseSelector::ChooseSense(input.threats, alimFt, constraints);
  StrengthChoice choice = SenseSelector::ChooseStrength(input.threats, sense, input.ownRateFpm, alimFt,
                                                        kInitialResponse, -std::numeric_limits<double>::infinity());
  if (sense == Sense::Down && !input.descendAllowed && choice.limitFpm > 0.0) choice = LevelOffChoice(input.ownRateFpm);
  advisory_ = Advisory{};
  advisory_.active = true;
  advisory_.sense = sense;
  advisory_.strength = choice.strength;
  advisory_.limitFpm = choice.limitFpm;
  advisory_.crossing = SenseSelector::IsCrossing(input.threats, sense);
  advisory_.threatCount = static_cast<int>(input.threats.size());
  advisory_.changedS = input.nowS;
  advisory_.senseSinceS = input.nowS;
  advisory_.response = kInitialResponse;
  return AdvisoryEvent::Started;
}

AdvisoryEvent AdvisoryGenerator::Revise(const GeneratorInput& input) {
  const double alimFt = input.level->alimFt;
  const Sense sense = advisory_.sense;
  const Strength strength = advisory_.strength;
  const double limit = advisory_.limitFpm;
  const auto threats = input.threats;

  // Descending near the ground: a descent stops, an increased descent eases back to 1500 ft/min.
  if (sense == Sense::Down && !input.descendAllowed && Positive(strength)) {
    Change(sense, Strength::Adjust, 0.0, threats, input.nowS);
    return AdvisoryEvent::Weakened;
  }
  if (sense == Sense::Down && strength == Strength::Increase && !input.increaseDescentAllowed) {
    Change(sense, Strength::Corrective, kCorrectiveRateFpm, threats, input.nowS);
    return AdvisoryEvent::Weakened;
  }

  // The response expected to the latest change, less the part of its delay already elapsed.
  ResponseModel expected = advisory_.response;
  expected.delayS = std::max(0.0, expected.delayS - (input.nowS - advisory_.changedS));
  // A descent is judged as stopping at the descend inhibit, where it will be levelled off.
  const auto room = [&](Sense s) {
    return s == Sense::Down ? input.descendRoomFt : SeparationPredictor::kNoMoveLimitFt;
  };
  const double separationFt = SeparationPredictor::MinSeparationFt(threats, sense, limit, expected, 0.0, room(sense));

  // Reversal: once per encounter, when even the strongest advisory in this sense falls short of ALIM
  // and the other sense gains clearly more; never into the sense a coordinating intruder has taken.
  // Below the descend inhibit the downward sense is a level-off, as when it is chosen first.
  const Sense other = Opposite(sense);
  const Sense forced = ForcedSense(threats);
  const bool otherAllowed = forced == Sense::None || forced == other;
  const double reversedRateFpm = other == Sense::Down && !input.descendAllowed ? 0.0 : kCorrectiveRateFpm;
  const auto reverse = [&] {
    const StrengthChoice reversed = reversedRateFpm > 0.0 ? StrengthChoice{Strength::Corrective, kCorrectiveRateFpm}
                                                          : LevelOffChoice(input.ownRateFpm);
    Change(other, reversed.strength, reversed.limitFpm, threats, input.nowS);
    advisory_.senseSinceS = input.nowS;
    advisory_.reversed = true;
    return AdvisoryEvent::Reversed;
  };
  const bool timeToReverse = MinEvaluationTimeS(threats) >= kMinReversalTimeS;
  // A coordinating intruder that took our sense after we had taken it has reversed into it: two
  // aircraft moving the same way is the worst outcome, so ours turns to the complement, even a second
  // time. When both took one sense in the same frame, neither follows the other: with no address to
  // break the tie, both would turn.
  if (forced != Sense::None && otherAllowed && timeToReverse && CoordinatedAfterS(threats) > advisory_.senseSinceS)
    return reverse();
  if (!advisory_.reversed && otherAllowed && timeToReverse) {
    const double strongestFpm = (sense == Sense::Down && !input.descendAllowed) ? 0.0
                                : IncreaseAllowed(input, sense)                 ? kIncreaseRateFpm
                                                                                : std::max(limit, kCorrectiveRateFpm);
    const double bestFt = std::max(
        separationFt,
        SeparationPredictor::MinSeparationFt(threats, sense, strongestFpm, kSubsequentResponse, 0.0, room(sense)));
    const double reversedFt =
        SeparationPredictor::MinSeparationFt(threats, other, reversedRateFpm, kSubsequentResponse, 0.0, room(other));
    const double gainFt = kReversalGainFraction * alimFt;
    // Two aircraft side by side that move slowly against each other are judged where their altitudes
    // meet, or later; a reversal that takes us through the intruder's level while it is still beside us
    // passes through the intruder, however far apart that leaves the two when judged.
    const auto throughIntruder = [&] {
      return std::any_of(threats.begin(), threats.end(), [&](const ThreatGeometry& threat) {
        return threat.relativeSpeedNmPerS * kSecondsPerHour <= kSlowRangeRateKt &&
               SeparationPredictor::CrossingRangeNm(threat, other, reversedRateFpm, kSubsequentResponse) <
                   kSideBySideNm;
      });
    };
    // Reversing into a crossing trades the present sense's shortfall for passing through the intruder's
    // level, which goes wrong where its climb or descent ends short of ours, as it often does: taken only
    // where the present sense falls well short.
    const bool crossing = SenseSelector::IsCrossing(threats, other);
    const double shortOfFt = crossing ? kCrossingReversalShortfall * alimFt : alimFt;
    // Judged also with the threats that may be levelling off taken as level: those whose reports have
    // paused on one step, where they are, and those whose exact reports show the climb or descent slowing
    // report after report, where it would stop. A reversal into a crossing must hold then too, or it may
    // take us through such a threat's level just where it stops; and where the present sense is the
    // crossing one, a reversal that holds then is taken, since that is where the crossing goes wrong.
    const auto holdsLevelled = [&] {
      const auto takenLevel = [](ThreatGeometry& threat) {
        if (threat.intruderLevelling) threat.relativeAltitudeFt += threat.intruderLevelOffFt;
        if (threat.intruderLevelling || threat.intruderRatePaused) threat.intruderRateFpm = 0.0;
      };
      const auto least = [&](Sense s, double rateFpm, const ResponseModel& model) {
        return SeparationPredictor::MinSeparationDoubtedFt(threats, s, rateFpm, model, room(s), takenLevel);
      };
      const double levelBestFt =
          std::max(least(sense, limit, expected), least(sense, strongestFpm, kSubsequentResponse));
      const double levelReversedFt = least(other, reversedRateFpm, kSubsequentResponse);
      return levelBestFt < shortOfFt && levelReversedFt >= levelBestFt + gainFt;
    };
    const bool mayLevelOff = std::any_of(threats.begin(), threats.end(), [](const ThreatGeometry& threat) {
      return threat.intruderRatePaused || threat.intruderLevelling;
    });
    const bool holds = bestFt < shortOfFt && reversedFt >= bestFt + gainFt;
    const bool reverses = !mayLevelOff ? holds
                          : crossing   ? holds && holdsLevelled()
                                       : holds || (SenseSelector::IsCrossing(threats, sense) && holdsLevelled());
    // Into a level-off near the ground only where even the strongest climb ends below the threat: a race
    // through its level already lost, as when the first sense is chosen.
    const bool levelOffAllowed = reversedRateFpm > 0.0 || bestFt < 0.0;
    if (reverses && levelOffAllowed && !throughIntruder()) return reverse();
  }

  if (separationFt < alimFt) {
    if (strength == Strength::Monitor || strength == Strength::Adjust) {
      StrengthChoice choice =
          SenseSelector::ChooseStrength(threats, sense, input.ownRateFpm, alimFt, kSubsequentResponse, limit);
      if (sense == Sense::Down && !input.descendAllowed && choice.limitFpm > 0.0) {
        // Near the ground a downward advisory may still stop a climb but never ask for a descent again;
        // otherwise the weakening above would undo it on the next frame, and so on every second.
        choice = LevelOffChoice(input.ownRateFpm);
      }
      if (choice.limitFpm > limit) {
        Change(sense, choice.strength, choice.limitFpm, threats, input.nowS);
        return AdvisoryEvent::Strengthened;
      }
    } else if (limit < kIncreaseRateFpm && IncreaseAllowed(input, sense)) {
      // An increase waits for the pilot's response to show in the tracks. Where an increase after that wait
      // would still fall short, one may join the first advisory's response before the pilot has begun to
      // fly it, and is flown from its start.
      const double waitedS = input.nowS - advisory_.changedS;
      const auto increasedFt = [&](double delayS) {
        return SeparationPredictor::MinSeparationFt(threats, sense, kIncreaseRateFpm,
                                                    ResponseModel{delayS, kSubsequentResponse.accelerationFtPerS2});
      };
      const bool waited = waitedS >= kMinIncreaseDelayS;
      const bool joins = !waited && MayJoinFirstResponse(advisory_, expected, input.nowS, threats) &&
                         increasedFt(kMinIncreaseDelayS - waitedS + kSubsequentResponse.delayS) < alimFt;
      const ResponseModel increase{std::max(kSubsequentResponse.delayS, expected.delayS),
                                   kSubsequentResponse.accelerationFtPerS2};
      if ((waited || joins) && increasedFt(increase.delayS) > separationFt) {
        Change(sense, Strength::Increase, kIncreaseRateFpm, threats, input.nowS);
        advisory_.response = increase;
        return AdvisoryEvent::Strengthened;
      }
    }
    return AdvisoryEvent::None;
  }

  // Weakening: once levelling off now still keeps ALIM with a margin, ask for level flight only.
  if (Positive(strength) && input.nowS - advisory_.changedS >= kMinWeakenDelayS) {
    // Judged also at a later closest approach: a weakening that holds only if it comes as predicted gives
    // an intruder closing on us vertically the seconds the prediction was early by.
    const double levelFt =
        std::min(SeparationPredictor::MinSeparationFt(threats, sense, 0.0, kSubsequentResponse),
                 SeparationPredictor::MinSeparationFt(threats, sense, 0.0, kSubsequentResponse, kWeakenLaterS));
    if (levelFt >= alimFt + kWeakenMarginFt) {
      Change(sense, Strength::Adjust, 0.0, threats, input.nowS);
      return AdvisoryEvent::Weakened;
    }
  }
  return AdvisoryEvent::None;
}

void AdvisoryGenerator::Change(Sense sense, Strength strength, double limitFpm, std::span<const ThreatGeometry> threats,
                               double nowS) {
  advisory_.sense = sense;
  advisory_.strength = strength;
  advisory_.limitFpm = limitFpm;
  advisory_.crossing = SenseSelector::IsCrossing(threats, sense);
  advisory_.changedS = nowS;
  advisory_.response = kSubsequentResponse;
}

bool AdvisoryGenerator::IncreaseAllowed(const GeneratorInput& input, Sense sense) const {
  return sense == Sense::Up || input.increaseDescentAllowed;
}

void AdvisoryGenerator::DisplayLimits(float* lowerFpm, float* upperFpm, float* targetFpm) const {
  *lowerFpm = kvr::kNoLowerLimitFpm;
  *upperFpm = kvr::kNoUpperLimitFpm;
  *targetFpm = kvr::kNoTargetFpm;
  if (!advisory_.active) return;
  // A preventive advisory only prohibits; every other one also shows the rate to fly (green).
  const bool green = advisory_.strength != Strength::Monitor;
  if (advisory_.sense == Sense::Up) {
    *lowerFpm = static_cast<float>(advisory_.limitFpm);
    if (green) *targetFpm = *lowerFpm;
  } else {
    *upperFpm = static_cast<float>(0.0 - advisory_.limitFpm);
    if (green) *targetFpm = *upperFpm;
  }
}

}  // namespace avertine
