#include "host/scenario/trajectory.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <ostream>
#include <stdexcept>

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

long Trajectory::Bucket(const TrajectoryFrame& f) const {
  return static_cast<long>(std::floor((f.timeS + 1e-9) / intervalS_));
}

void Trajectory::Add(TrajectoryFrame frame) {
  if (everyFrame_) {
    frames_.push_back(std::move(frame));
    return;
  }
  // A kept frame that neither opened its interval nor is the latest gives way to the new one.
  const size_t n = frames_.size();
  if (n >= 2 && Bucket(frames_[n - 1]) == Bucket(frames_[n - 2])) frames_[n - 1] = std::move(frame);
  else frames_.push_back(std::move(frame));
  if (frames_.size() > kMaxSummaryFrames) Thin();
}

// Doubles the interval and keeps the first frame of each new interval, and the latest.
void Trajectory::Thin() {
  intervalS_ *= 2;
  std::vector<TrajectoryFrame> kept;
  kept.reserve(kMaxSummaryFrames + 1);
  for (size_t k = 0; k < frames_.size(); ++k)
    if (kept.empty() || Bucket(frames_[k]) != Bucket(kept.back()) || k + 1 == frames_.size())
      kept.push_back(std::move(frames_[k]));
  frames_ = std::move(kept);
}

void Trajectory::WriteCsv(std::ostream& out, const LocalFrame& frame, bool everyFrame) const {
  TracksCsv csv(out, frame, intruders_, everyFrame);
  for (const TrajectoryFrame& f : frames_) csv.Add(f);
  csv.Finish();
}

TracksCsv::TracksCsv(std::ostream& out, const LocalFrame& frame, std::vector<TrajectoryAircraft> intruders,
                     bool everyFrame)
    : out_(out), frame_(frame), intruders_(std::move(intruders)), everyFrame_(everyFrame) {
  out_ << "timeS,aircraft,id,latitudeDeg,longitudeDeg,eastNm,northNm,altitudeFt,groundSpeedKt,trackDeg,"
          "verticalSpeedFpm,threatClass,advisory\n"
          "s,,,deg,deg,NM,NM,ft,kt,deg,ft/min,,\n";
}

void TracksCsv::Add(const TrajectoryFrame& f) {
  const long second = static_cast<long>(std::floor(f.timeS + 1e-9));
  if (everyFrame_ || second != lastSecond_) {
    lastSecond_ = second;
    pending_.reset();
    Write(f);
  } else {
    pending_ = f;
  }
}

void TracksCsv::Finish() {
  if (pending_) Write(*pending_);
  pending_.reset();
  out_.flush();
}

void TracksCsv::Write(const TrajectoryFrame& f) {
  Row(f.timeS, "own", 0, f.own, "", AdvisoryWords(f.ownAdvisory));
  for (size_t i = 0; i < f.intruders.size() && i < intruders_.size(); ++i) {
    const std::string name = intruders_[i].callsign.empty() ? "intruder" : intruders_[i].callsign;
    const char* threat = i < f.shown.size() && f.shown[i] ? ThreatClassName(*f.shown[i]) : "";
    const std::string advisory =
        i < f.intruderAdvisories.size() && f.intruderAdvisories[i] ? AdvisoryWords(*f.intruderAdvisories[i]) : "";
    Row(f.timeS, name, intruders_[i].id, f.intruders[i], threat, advisory);
  }
}

namespace {

// `value` with `digits` decimals, as printf's %.*f writes it; the buffer holds the longest double.
void AppendFixed(std::string& row, double value, int digits) {
  char text[std::numeric_limits<double>::max_exponent10 + 64];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, digits);
  if (error != std::errc()) throw std::runtime_error("tracks.csv: a number could not be written");
  row.append(text, end);
  row += ',';
}

}  // namespace

void TracksCsv::Row(double timeS, const std::string& name, uint32_t id, const AircraftState& s, const char* threat,
                    const std::string& advisory) {
  const GeoPosition g = frame_.ToGeo(s.position);
  row_.clear();
  AppendFixed(row_, timeS, 3);
  row_ += name;
  row_ += ',';
  row_ += std::to_string(id);
  row_ += ',';
  AppendFixed(row_, g.latitudeDeg, 7);
  AppendFixed(row_, g.longitudeDeg, 7);
  AppendFixed(row_, s.position.eastM / kMetresPerNm, 4);
  AppendFixed(row_, s.position.northM / kMetresPerNm, 4);
  AppendFixed(row_, s.altitudeFt, 1);
  AppendFixed(row_, s.groundSpeedKt, 1);
  AppendFixed(row_, s.headingDeg, 1);
  AppendFixed(row_, s.verticalSpeedFpm, 0);
  row_ += threat;
  row_ += ',';
  row_ += advisory;
  row_ += '\n';
  out_ << row_;
}

std::vector<PathPoint> OwnPath(const Trajectory& t) {
  std::vector<PathPoint> path;
  path.reserve(t.Frames().size());
  for (const TrajectoryFrame& f : t.Frames())
    path.push_back({f.timeS, f.own.position.eastM, f.own.position.northM, f.own.altitudeFt});
  return path;
}

std::vector<PathPoint> IntruderPath(const Trajectory& t, size_t i) {
  std::vector<PathPoint> path;
  path.reserve(t.Frames().size());
  for (const TrajectoryFrame& f : t.Frames())
    if (i < f.intruders.size())
      path.push_back(
          {f.timeS, f.intruders[i].position.eastM, f.intruders[i].position.northM, f.intruders[i].altitudeFt});
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
