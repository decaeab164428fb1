#include "host/scenario/trajectory.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace kvr::host {
namespace {

// The part of [0, 1] where a s^2 + b s + c < 0, as [lo, hi]; empty when lo > hi.
std::pair<double, double> BelowZero(double a, double b, double c) {
  if (std::abs(a) < 1e-12) {
    if (std::abs(b) < 1e-12) return c < 0 ? std::pair{0.0, 1.0} : std::pair{1.0, 0.0};
    const double root = -c / b;
    return b > 0 ? std::pair{0.0, std::min(1.0, root)} : std::pair{std::max(0.0, root), 1.0};
  }
  const double disc = b * b - 4 * a * c;
  if (disc <= 0) return {1.0, 0.0};
  const double r = std::sqrt(disc);
  return {std::max(0.0, (-b - r) / (2 * a)), std::min(1.0, (-b + r) / (2 * a))};
}

}  // namespace

void Trajectory::WriteCsv(std::ostream& out, const LocalFrame& frame, bool everyFrame) const {
  out << "timeS,aircraft,id,latitudeDeg,longitudeDeg,eastNm,northNm,altitudeFt,groundSpeedKt,trackDeg,"
         "verticalSpeedFpm,threatClass,advisory\n"
         "s,,,deg,deg,NM,NM,ft,kt,deg,ft/min,,\n";
  char line[384];
  const auto row = [&](double timeS, const std::string& name, uint32_t id, const AircraftState& s, const char* threat,
                       const std::string& advisory) {
    const GeoPosition g = frame.ToGeo(s.position);
    std::snprintf(line, sizeof line, "%.3f,%s,%u,%.7f,%.7f,%.4f,%.4f,%.1f,%.1f,%.1f,%.0f,%s,%s\n", timeS, name.c_str(), id,
                  g.latitudeDeg, g.longitudeDeg, s.position.eastM / kMetresPerNm, s.position.northM / kMetresPerNm,
                  s.altitudeFt, s.groundSpeedKt, s.headingDeg, s.verticalSpeedFpm, threat, advisory.c_str());
    out << line;
  };
  long lastSecond = -1;
  for (size_t k = 0; k < frames_.size(); ++k) {
    const TrajectoryFrame& f = frames_[k];
    const long second = static_cast<long>(std::floor(f.timeS + 1e-9));
    if (!everyFrame && second == lastSecond && k + 1 != frames_.size()) continue;
    lastSecond = second;
    row(f.timeS, "own", 0, f.own, "", AdvisoryWords(f.ownAdvisory));
    for (size_t i = 0; i < f.intruders.size() && i < intruders_.size(); ++i) {
      const std::string name = intruders_[i].callsign.empty() ? "intruder" : intruders_[i].callsign;
      const char* threat = i < f.shown.size() && f.shown[i] ? ThreatClassName(*f.shown[i]) : "";
      const std::string advisory =
          i < f.intruderAdvisories.size() && f.intruderAdvisories[i] ? AdvisoryWords(*f.intruderAdvisories[i]) : "";
      row(f.timeS, name, intruders_[i].id, f.intruders[i], threat, advisory);
    }
  }
}

std::vector<PathPoint> OwnPath(const Trajectory& t) {
  std::vector<PathPoint> path;
  path.reserve(t.Frames().size());
  for (const TrajectoryFrame& f : t.Frames()) path.push_back({f.timeS, f.own.position.eastM, f.own.position.northM, f.own.altitudeFt});
  return path;
}

std::vector<PathPoint> IntruderPath(const Trajectory& t, size_t i) {
  std::vector<PathPoint> path;
  path.reserve(t.Frames().size());
  for (const TrajectoryFrame& f : t.Frames())
    if (i < f.intruders.size())
      path.push_back({f.timeS, f.intruders[i].position.eastM, f.intruders[i].position.northM, f.intruders[i].altitudeFt});
  return path;
}

MissDistance ClosestApproachOf(const std::vector<PathPoint>& a, const std::vector<PathPoint>& b) {
  MissDistance m;
  const size_t n = std::min(a.size(), b.size());
  if (n == 0) return m;
  constexpr double kFtPerM = 1.0 / kMetresPerFoot;
  const double radiusM = kNmacHorizontalFt * kMetresPerFoot;
  bool first = true;
  for (size_t k = 0; k + 1 < n || (n == 1 && k == 0); ++k) {
    const size_t k1 = std::min(k + 1, n - 1);
    const double e0 = b[k].eastM - a[k].eastM, n0 = b[k].northM - a[k].northM;
    const double e1 = b[k1].eastM - a[k1].eastM, n1 = b[k1].northM - a[k1].northM;
    const double v0 = b[k].altitudeFt - a[k].altitudeFt, v1 = b[k1].altitudeFt - a[k1].altitudeFt;
    const double de = e1 - e0, dn = n1 - n0, dv = v1 - v0;
    const double qa = de * de + dn * dn, qb = 2 * (e0 * de + n0 * dn), qc = e0 * e0 + n0 * n0;
    const double s = qa > 1e-12 ? std::clamp(-0.5 * qb / qa, 0.0, 1.0) : 0.0;
    const double hM = std::sqrt(std::max(0.0, qa * s * s + qb * s + qc));
    const double timeS = a[k].timeS + s * (a[k1].timeS - a[k].timeS);
    if (first || hM * kFtPerM < m.horizontalFt) {
      m.horizontalFt = hM * kFtPerM;
      m.verticalFt = std::abs(v0 + s * dv);
      m.timeS = timeS;
      first = false;
    }
    if (!m.nmac) {
      const auto [hLo, hHi] = BelowZero(qa, qb, qc - radiusM * radiusM);
      // |v0 + s dv| < 100 ft  <=>  (v0 + s dv)^2 - 100^2 < 0
      const auto [vLo, vHi] = BelowZero(dv * dv, 2 * v0 * dv, v0 * v0 - kNmacVerticalFt * kNmacVerticalFt);
      const double lo = std::max(hLo, vLo), hi = std::min(hHi, vHi);
      if (lo <= hi) {
        m.nmac = true;
        m.nmacTimeS = a[k].timeS + lo * (a[k1].timeS - a[k].timeS);
      }
    }
    if (n == 1) break;
  }
  return m;
}

}  // namespace kvr::host
