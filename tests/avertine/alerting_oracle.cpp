// Reference alerting criteria, written from the published description of TCAS II threat detection and
// kept apart from the library on purpose: it shares no code and no constants with it.
#include "tests/avertine/alerting_oracle.h"

#include <cmath>

namespace avertine_test {
namespace {

struct Row {
  double taTauS, raTauS, taDmodNm, raDmodNm, taZthrFt, raZthrFt, raHmdNm;
};

// Levels 2 to 7; level 2 has no resolution advisories.
constexpr Row kRows[] = {
    {20, 0, 0.30, 0.00, 850, 0, 0.00},     // 2
    {25, 15, 0.33, 0.20, 850, 600, 0.20},  // 3
    {30, 20, 0.48, 0.35, 850, 600, 0.35},  // 4
    {40, 25, 0.75, 0.55, 850, 600, 0.55},  // 5
    {45, 30, 1.00, 0.80, 850, 600, 0.80},  // 6
    {48, 35, 1.30, 1.10, 850, 700, 1.10},  // 7
};

const Row& RowOf(int level) { return kRows[level < 2 ? 0 : level > 7 ? 5 : level - 2]; }

}  // namespace

int OracleSensitivityLevel(double pressureAltitudeFt, double heightAboveGroundFt) {
  if (heightAboveGroundFt < 1000.0) return 2;
  if (heightAboveGroundFt < 2350.0) return 3;
  if (pressureAltitudeFt < 5000.0) return 4;
  if (pressureAltitudeFt < 10000.0) return 5;
  if (pressureAltitudeFt < 20000.0) return 6;
  return 7;
}

OracleThresholds OracleTrafficThresholds(int level, double pressureAltitudeFt) {
  const Row& row = RowOf(level);
  return {row.taTauS, row.taDmodNm, pressureAltitudeFt > 42000.0 ? 1200.0 : row.taZthrFt, 0.0};
}

OracleThresholds OracleResolutionThresholds(int level, double pressureAltitudeFt) {
  const Row& row = RowOf(level);
  return {row.raTauS, row.raDmodNm, pressureAltitudeFt > 42000.0 ? 800.0 : row.raZthrFt, row.raHmdNm};
}

bool OracleDetects(const RelativeState& s, const OracleThresholds& t) {
  if (t.tauS <= 0.0) return false;
  // Horizontal: inside DMOD; or closing with modified tau (the time to reach DMOD) within tau and, when
  // filtered, a straight-line miss distance within HMD.
  const double rangeSq = s.northNm * s.northNm + s.eastNm * s.eastNm;
  const double dot = s.northNm * s.northNmPerS + s.eastNm * s.eastNmPerS;
  const double dmodSq = t.dmodNm * t.dmodNm;
  bool horizontal = rangeSq <= dmodSq;
  if (!horizontal && dot < 0.0) {
    const double modifiedTauS = (dmodSq - rangeSq) / dot;
    const double speedSq = s.northNmPerS * s.northNmPerS + s.eastNmPerS * s.eastNmPerS;
    const double tcpaS = -dot / speedSq;
    const double missN = s.northNm + tcpaS * s.northNmPerS;
    const double missE = s.eastNm + tcpaS * s.eastNmPerS;
    const bool missInside = t.hmdNm <= 0.0 || std::sqrt(missN * missN + missE * missE) <= t.hmdNm;
    horizontal = modifiedTauS <= t.tauS && missInside;
  }
  // Vertical: inside ZTHR, or converging to co-altitude within tau.
  bool vertical = std::fabs(s.heightFt) <= t.zthrFt;
  if (!vertical && s.heightFt * s.heightFtPerS < 0.0) vertical = -s.heightFt / s.heightFtPerS <= t.tauS;
  return horizontal && vertical;
}

OracleAlert EvaluateOracle(const RelativeState& s, double ownPressureAltitudeFt, double ownHeightAboveGroundFt) {
  OracleAlert alert;
  alert.sensitivityLevel = OracleSensitivityLevel(ownPressureAltitudeFt, ownHeightAboveGroundFt);
  alert.resolution = OracleDetects(s, OracleResolutionThresholds(alert.sensitivityLevel, ownPressureAltitudeFt));
  alert.traffic =
      alert.resolution || OracleDetects(s, OracleTrafficThresholds(alert.sensitivityLevel, ownPressureAltitudeFt));
  return alert;
}

}  // namespace avertine_test
