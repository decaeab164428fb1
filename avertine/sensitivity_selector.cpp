// Sensitivity level from own radio and pressure altitude.
#include "avertine/sensitivity_selector.h"

namespace avertine {
namespace {

// Row of kSensitivityLevels for each level; level 7 high is the last row.
constexpr int kRowLevel2 = 0;
constexpr int kRowLevel3 = 1;
constexpr int kRowLevel4 = 2;
constexpr int kRowLevel5 = 3;
constexpr int kRowLevel6 = 4;
constexpr int kRowLevel7 = 5;
constexpr int kRowLevel7High = 6;

int RowByPressure(double pressureAltitudeFt) {
  if (pressureAltitudeFt < kLevel5MinPressureFt) return kRowLevel4;
  if (pressureAltitudeFt < kLevel6MinPressureFt) return kRowLevel5;
  if (pressureAltitudeFt < kLevel7MinPressureFt) return kRowLevel6;
  if (pressureAltitudeFt < kHighLevel7MinPressureFt) return kRowLevel7;
  return kRowLevel7High;
}

}  // namespace

const SensitivityLevel& SelectSensitivityLevel(double pressureAltitudeFt, double radioAltitudeFt, bool radioValid) {
  int row = RowByPressure(pressureAltitudeFt);
  if (radioValid) {
    if (radioAltitudeFt < kLevel3MinRadioFt) {
      row = kRowLevel2;
    } else if (radioAltitudeFt < kLevel4MinRadioFt && row > kRowLevel3) {
      row = kRowLevel3;
    }
  }
  return kSensitivityLevels[row];
}

const SensitivityLevel& SelectFrameLevel(double pressureAltitudeFt, double radioAltitudeFt, bool radioValid,
                                         double verticalRateFpm, bool heldByAdvisory) {
  const SensitivityLevel& level = SelectSensitivityLevel(pressureAltitudeFt, radioAltitudeFt, radioValid);
  const bool climbOut = level.raTauS <= 0.0 && radioValid && radioAltitudeFt >= kClimbOutMinRadioFt &&
                        (verticalRateFpm > 0.0 || heldByAdvisory);
  return climbOut ? kClimbOutLevel : level;
}

}  // namespace avertine
