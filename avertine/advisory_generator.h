// The resolution advisory over time: posts one when threats appear, then each frame strengthens it
// (negative to positive, corrective to increase), reverses its sense, weakens it once ALIM is assured,
// and ends it when no threat remains. Reports what happened so the aural message can follow.
#pragma once

#include <span>

#include "avertine/sense_selector.h"
#include "avertine/tcas_parameters.h"
#include "avertine/threat_geometry.h"

namespace avertine {

struct Advisory {
  bool active = false;
  Sense sense = Sense::None;
  Strength strength = Strength::None;
  double limitFpm = 0.0;  // sense coordinates
  bool crossing = false;
  bool reversed = false;
  int threatCount = 0;
  double changedS = 0.0;                      // when sense, strength or limit last changed
  double senseSinceS = 0.0;                   // when the sense was taken
  ResponseModel response = kInitialResponse;  // response expected to the latest change
};

enum class AdvisoryEvent { None, Started, Strengthened, Weakened, Reversed, Cleared, Withdrawn };

struct GeneratorInput {
  std::span<const ThreatGeometry> threats;
  const SensitivityLevel* level = nullptr;
  double ownRateFpm = 0.0;
  double nowS = 0.0;
  bool enabled = false;  // RAs allowed this frame (mode, level, capability, slew)
  bool descendAllowed = true;
  bool increaseDescentAllowed = true;
  double descendRoomFt = SeparationPredictor::kNoMoveLimitFt;  // own descent left above the descend inhibit
};

class AdvisoryGenerator {
 public:
  AdvisoryEvent Update(const GeneratorInput& input);
  void Reset() { advisory_ = Advisory{}; }
  const Advisory& Current() const { return advisory_; }

  // Vertical speed limits and target as the display takes them (ft/min, ±10000 = none).
  void DisplayLimits(float* lowerFpm, float* upperFpm, float* targetFpm) const;

 private:
  AdvisoryEvent Start(const GeneratorInput& input);
  AdvisoryEvent Revise(const GeneratorInput& input);
  void Change(Sense sense, Strength strength, double limitFpm, std::span<const ThreatGeometry> threats, double nowS);
  bool IncreaseAllowed(const GeneratorInput& input, Sense sense) const;

  Advisory advisory_;
};

}  // namespace avertine
