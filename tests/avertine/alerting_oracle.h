// An independent reference for when TCAS II alerting should start: the published detection criteria
// (range tau or DMOD, vertical tau or ZTHR, and for resolution advisories the horizontal miss-distance
// filter) evaluated on the exact relative state of two aircraft flying straight. Used by the tests only,
// to check the onset of the library's traffic and resolution advisories on the same trajectories.
#pragma once

namespace avertine_test {

// Thresholds of one sensitivity level. Times in seconds, distances in NM, heights in feet.
struct OracleThresholds {
  double tauS;
  double dmodNm;
  double zthrFt;
  double hmdNm;  // resolution advisories only; 0 disables the filter
};

// Exact relative state: intruder minus own. Position in NM, velocity in NM/s, height in ft, rate in ft/s.
struct RelativeState {
  double northNm, eastNm;
  double northNmPerS, eastNmPerS;
  double heightFt, heightFtPerS;
};

struct OracleAlert {
  int sensitivityLevel = 0;
  bool traffic = false;
  bool resolution = false;  // false below the level that allows resolution advisories
};

// The sensitivity level for the own aircraft's pressure altitude and height above the ground.
int OracleSensitivityLevel(double pressureAltitudeFt, double heightAboveGroundFt);
OracleThresholds OracleTrafficThresholds(int level, double pressureAltitudeFt);
OracleThresholds OracleResolutionThresholds(int level, double pressureAltitudeFt);

// True when the state meets every criterion for the given thresholds.
bool OracleDetects(const RelativeState& s, const OracleThresholds& t);

OracleAlert EvaluateOracle(const RelativeState& s, double ownPressureAltitudeFt, double ownHeightAboveGroundFt);

}  // namespace avertine_test
