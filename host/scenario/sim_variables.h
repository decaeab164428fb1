// The own aircraft as the simulator's panel variables carry it, in the units the module converts from:
//
//   71  latitude, metres north of the equator (degrees / 8.998425275576774e-6)
//   72  longitude, 2^48 units per 360 degrees
//   73  altitude above mean sea level, metres
//   614 height above the ground, metres
//   86  heading, degrees
//   74  indicated altitude, feet, and 76 the altimeter setting, inches of mercury: the module forms the
//       pressure altitude as 74 - (76 - 29.92) x 1000
//   65  vertical speed, raw units of 0.76875 ft/min
//
// Variable 1 (the 18 Hz tick) is the panel's; 38 (the transponder code, BCD) is an integer variable.
#pragma once

#include <array>
#include <cstdint>

#include "host/panel_services.h"
#include "host/traffic/geo.h"

namespace kvr::host {

struct OwnSimState {
  GeoPosition position;
  double trueAltitudeFt = 0;
  double pressureAltitudeFt = 0;
  double radioAltitudeFt = 0;
  double headingDeg = 0;
  double groundSpeedKt = 0;
  double verticalSpeedFpm = 0;
  double altimeterInHg = 29.92;
};

inline constexpr uint32_t kSimLatitude = 71;
inline constexpr uint32_t kSimLongitude = 72;
inline constexpr uint32_t kSimAltitude = 73;
inline constexpr uint32_t kSimIndicatedAltitude = 74;
inline constexpr uint32_t kSimAltimeter = 76;
inline constexpr uint32_t kSimHeading = 86;
inline constexpr uint32_t kSimVerticalSpeed = 65;
inline constexpr uint32_t kSimRadioAltitude = 614;
inline constexpr uint32_t kSimTransponder = 38;

inline constexpr double kDegreesPerMetreNorth = 8.998425275576774e-6;
inline constexpr double kLongitudeUnitsPerDegree = 281474976710656.0 / 360.0;  // 2^48 / 360
inline constexpr double kFpmPerVerticalSpeedUnit = 0.76875;
inline constexpr double kStandardAltimeterInHg = 29.92;

struct SimVariableValue {
  uint32_t id;
  double value;
};

// The eight floating-point variables for `own`, in the order above.
std::array<SimVariableValue, 8> SimVariablesFor(const OwnSimState& own);

void WriteSimVariables(PanelServices& services, const OwnSimState& own);

}  // namespace kvr::host
