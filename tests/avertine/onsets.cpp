#include "tests/avertine/onsets.h"

#include <cmath>

namespace avertine_test {

namespace {
constexpr double kPi = 3.14159265358979323846;
double NorthRate(const Aircraft& a) { return a.groundSpeedKt / 3600.0 * std::cos(a.trackDeg * kPi / 180.0); }
double EastRate(const Aircraft& a) { return a.groundSpeedKt / 3600.0 * std::sin(a.trackDeg * kPi / 180.0); }
}  // namespace

RelativeState Relative(const Aircraft& own, const Aircraft& intruder) {
  return {intruder.northNm - own.northNm,       intruder.eastNm - own.eastNm,
          NorthRate(intruder) - NorthRate(own), EastRate(intruder) - EastRate(own),
          intruder.altitudeFt - own.altitudeFt, (intruder.verticalRateFpm - own.verticalRateFpm) / 60.0};
}

Onsets LibraryOnsets(const std::vector<FrameLog>& frames, double untilS) {
  Onsets onsets;
  for (const FrameLog& frame : frames) {
    if (!frame.intruderValid || frame.timeS > untilS) continue;
    const bool ra = frame.intruderClass == kvr::ThreatClass::ResolutionAdvisory;
    if (!onsets.traffic && (ra || frame.intruderClass == kvr::ThreatClass::TrafficAdvisory)) {
      onsets.traffic = frame.timeS;
    }
    if (!onsets.resolution && ra) onsets.resolution = frame.timeS;
  }
  return onsets;
}

Onsets OracleOnsets(const std::vector<FrameLog>& frames, double groundFt, double untilS) {
  Onsets onsets;
  for (const FrameLog& frame : frames) {
    if (frame.timeS > untilS) continue;
    const OracleAlert alert =
        EvaluateOracle(Relative(frame.own, frame.intruder), frame.own.altitudeFt, frame.own.altitudeFt - groundFt);
    if (!onsets.traffic && alert.traffic) onsets.traffic = frame.timeS;
    if (!onsets.resolution && alert.resolution) onsets.resolution = frame.timeS;
  }
  return onsets;
}

bool OnsetsAgree(const std::optional<double>& a, const std::optional<double>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || std::fabs(*a - *b) <= 2.0;
}

}  // namespace avertine_test
