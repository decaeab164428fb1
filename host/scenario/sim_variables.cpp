#include "host/scenario/sim_variables.h"

namespace kvr::host {

std::array<SimVariableValue, 8> SimVariablesFor(const OwnSimState& own) {
  // The altimeter is read back by subtracting its offset from the indicated altitude.
  const double indicatedFt = own.pressureAltitudeFt + (own.altimeterInHg - kStandardAltimeterInHg) * 1000.0;
  return {{
      {kSimLatitude, own.position.latitudeDeg / kDegreesPerMetreNorth},
      {kSimLongitude, own.position.longitudeDeg * kLongitudeUnitsPerDegree},
      {kSimAltitude, own.trueAltitudeFt * kMetresPerFoot},
      {kSimRadioAltitude, own.radioAltitudeFt * kMetresPerFoot},
      {kSimHeading, own.headingDeg},
      {kSimIndicatedAltitude, indicatedFt},
      {kSimAltimeter, own.altimeterInHg},
      {kSimVerticalSpeed, own.verticalSpeedFpm / kFpmPerVerticalSpeedUnit},
  }};
}

void WriteSimVariables(PanelServices& services, const OwnSimState& own) {
  for (const SimVariableValue& v : SimVariablesFor(own)) services.SetSimVariable(v.id, v.value);
}

}  // namespace kvr::host
