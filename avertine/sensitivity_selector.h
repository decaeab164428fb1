// Chooses the sensitivity level from the own aircraft's altitudes: radio altitude near the ground,
// pressure altitude above; where both apply the lower level wins.
#pragma once

#include "avertine/tcas_parameters.h"

namespace avertine {

// `radioValid` false means the radio altitude is out of its range (high above ground) and is ignored.
const SensitivityLevel& SelectSensitivityLevel(double pressureAltitudeFt, double radioAltitudeFt, bool radioValid);

// The level a frame runs at: the level above, or the climb-out level when the own aircraft climbs (or is
// held by an advisory given so, `heldByAdvisory`) under level 3 from kClimbOutMinRadioFt up.
const SensitivityLevel& SelectFrameLevel(double pressureAltitudeFt, double radioAltitudeFt, bool radioValid,
                                         double verticalRateFpm, bool heldByAdvisory);

}  // namespace avertine
