// Chooses the sensitivity level from the own aircraft's altitudes: radio altitude near the ground,
// pressure altitude above; where both apply the lower level wins.
#pragma once

#include "avertine/tcas_parameters.h"

namespace avertine {

// `radioValid` false means the radio altitude is out of its range (high above ground) and is ignored.
const SensitivityLevel& SelectSensitivityLevel(double pressureAltitudeFt, double radioAltitudeFt,
                                               bool radioValid);

}  // namespace avertine
