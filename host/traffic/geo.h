// Positions around the own aircraft: a local flat-earth frame (east and north metres from an origin) and
// the unit conversions the host's simulator uses. One degree of latitude is 10001750 / 90 metres, the same
// earth the module assumes when it turns simulator variable 71 (metres north) into degrees.
#pragma once

#include <cmath>

namespace kvr::host {

inline constexpr double kMetresPerDegreeLatitude = 10001750.0 / 90.0;
inline constexpr double kMetresPerNm = 1852.0;
inline constexpr double kMetresPerFoot = 0.3048;
inline constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;
inline constexpr double kStandardGravityMS2 = 9.80665;
inline constexpr double kPi = 3.14159265358979323846;

inline double Radians(double degrees) { return degrees * kPi / 180.0; }
inline double Degrees(double radians) { return radians * 180.0 / kPi; }

// A vertical acceleration in g as a rate of change of vertical speed, feet per minute per second.
inline double FpmPerSecondFromG(double g) { return g * kStandardGravityMS2 / kMetresPerFoot * 60.0; }

// Heading in [0, 360).
inline double NormaliseHeadingDeg(double degrees) {
  double h = std::fmod(degrees, 360.0);
  if (h < 0) h += 360.0;
  return h >= 360.0 ? 0.0 : h;
}

struct GeoPosition {
  double latitudeDeg = 0;
  double longitudeDeg = 0;
};

struct LocalPosition {
  double eastM = 0;
  double northM = 0;
};

// East/north metres around an origin, meridians converging as cos(origin latitude). Good to a few metres
// over the hundred nautical miles a scenario spans away from the poles.
class LocalFrame {
 public:
  LocalFrame() = default;
  explicit LocalFrame(GeoPosition origin)
      : origin_(origin), metresPerDegreeLongitude_(kMetresPerDegreeLatitude * std::cos(Radians(origin.latitudeDeg))) {}

  const GeoPosition& Origin() const { return origin_; }

  GeoPosition ToGeo(LocalPosition p) const {
    return {origin_.latitudeDeg + p.northM / kMetresPerDegreeLatitude,
            origin_.longitudeDeg + p.eastM / metresPerDegreeLongitude_};
  }
  LocalPosition ToLocal(GeoPosition g) const {
    return {(g.longitudeDeg - origin_.longitudeDeg) * metresPerDegreeLongitude_,
            (g.latitudeDeg - origin_.latitudeDeg) * kMetresPerDegreeLatitude};
  }

 private:
  GeoPosition origin_;
  double metresPerDegreeLongitude_ = kMetresPerDegreeLatitude;
};

// Horizontal distance in metres between two nearby positions, on the same earth (equirectangular about
// their mean latitude).
inline double HorizontalDistanceM(GeoPosition a, GeoPosition b) {
  const double north = (b.latitudeDeg - a.latitudeDeg) * kMetresPerDegreeLatitude;
  const double east = (b.longitudeDeg - a.longitudeDeg) * kMetresPerDegreeLatitude *
                      std::cos(Radians(0.5 * (a.latitudeDeg + b.latitudeDeg)));
  return std::hypot(east, north);
}

}  // namespace kvr::host
