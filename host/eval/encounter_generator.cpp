#include "host/eval/encounter_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <stdexcept>

namespace kvr::host {
namespace {

// SplitMix64: a small generator whose output is the same on every platform and standard library.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Uniform(double lo, double hi) { return lo + (hi - lo) * (static_cast<double>(Next() >> 11) * 0x1.0p-53); }
  bool Chance(double p) { return Uniform(0, 1) < p; }
  int Pick(int n) { return static_cast<int>(Uniform(0, n)) % n; }

 private:
  uint64_t state_;
};

constexpr double kFloorFt = 100.0;
constexpr double kLevelOffFpmPerS = 0.25 * 9.80665 / 0.3048 * 60.0;

// What one aircraft does over the encounter, drawn once.
struct Behaviour {
  double speedKt, verticalFpm;
  double levelOffS = -1;  // < 0: never
  double turnStartS = -1, turnEndS = -1, turnRateDegS = 0;
  double speedChangeStartS = -1, speedChangeKt = 0;
};

Behaviour DrawBehaviour(Random& r) {
  Behaviour b;
  b.speedKt = r.Uniform(100, 500);
  b.verticalFpm = r.Chance(0.5) ? 0.0 : r.Uniform(-4000, 4000);
  if (b.verticalFpm != 0.0 && r.Chance(0.3)) b.levelOffS = r.Uniform(10, 85);
  if (r.Chance(0.25)) {
    b.turnStartS = r.Uniform(10, 70);
    b.turnEndS = b.turnStartS + r.Uniform(10, 30);
    b.turnRateDegS = r.Uniform(1.5, 3.0) * (r.Chance(0.5) ? 1 : -1);
  }
  if (r.Chance(0.2)) {
    b.speedChangeStartS = r.Uniform(10, 70);
    b.speedChangeKt = r.Uniform(10, 50) * (r.Chance(0.5) ? 1 : -1);
  }
  return b;
}

// The path of a behaviour from the origin, heading 0 and altitude 0 at time 0, at 1 Hz, integrated in
// steps of 0.1 s.
std::vector<TrackSample> Fly(const Behaviour& b) {
  std::vector<TrackSample> samples;
  double east = 0, north = 0, alt = 0, heading = 0, speed = b.speedKt, vs = b.verticalFpm;
  const double targetSpeed = std::max(100.0, b.speedKt + b.speedChangeKt);
  constexpr double kStepS = 0.1;
  const int steps = static_cast<int>(std::lround(kGeneratedDurationS / kStepS));
  for (int k = 0; k <= steps; ++k) {
    const double t = k * kStepS;
    if (k % 10 == 0) {
      TrackSample s;
      s.timeS = t;
      s.position = {east, north};
      s.altitudeFt = alt;
      s.groundSpeedKt = speed;
      s.trackDeg = NormaliseHeadingDeg(heading);
      s.verticalSpeedFpm = vs;
      samples.push_back(s);
    }
    if (b.levelOffS >= 0 && t >= b.levelOffS)
      vs = vs > 0 ? std::max(0.0, vs - kLevelOffFpmPerS * kStepS) : std::min(0.0, vs + kLevelOffFpmPerS * kStepS);
    if (t >= b.turnStartS && t < b.turnEndS) heading += b.turnRateDegS * kStepS;
    if (b.speedChangeStartS >= 0 && t >= b.speedChangeStartS)
      speed += std::clamp(targetSpeed - speed, -1.0 * kStepS, 1.0 * kStepS);
    const double v = speed * kMetresPerSecondPerKnot;
    east += v * std::sin(Radians(heading)) * kStepS;
    north += v * std::cos(Radians(heading)) * kStepS;
    alt += vs / 60.0 * kStepS;
  }
  return samples;
}

// Turns the path by `deg` about the origin, then moves it by (east, north, up).
void Place(std::vector<TrackSample>& path, double deg, double eastM, double northM, double upFt) {
  const double c = std::cos(Radians(deg)), s = std::sin(Radians(deg));
  for (TrackSample& p : path) {
    // A clockwise turn of the compass by deg: east' = e cos + n sin, north' = -e sin + n cos.
    const double e = p.position.eastM, n = p.position.northM;
    p.position = {e * c + n * s + eastM, -e * s + n * c + northM};
    p.trackDeg = NormaliseHeadingDeg(*p.trackDeg + deg);
    p.altitudeFt += upFt;
  }
}

// Holds a path level at the floor wherever it would go below it.
void KeepAboveFloor(std::vector<TrackSample>& path) {
  for (TrackSample& p : path)
    if (p.altitudeFt < kFloorFt) {
      p.altitudeFt = kFloorFt;
      p.verticalSpeedFpm = 0.0;
    }
}

const TrackSample& At(const std::vector<TrackSample>& path, double timeS) {
  return path[static_cast<size_t>(std::lround(timeS))];  // 1 Hz from 0
}

}  // namespace

GeneratedEncounter GenerateEncounter(uint64_t seed, int index) {
  Random r(seed * 0x100000001B3ull ^ (static_cast<uint64_t>(index) * 0x9E3779B97F4A7C15ull));
  r.Next();
  GeneratedEncounter g;
  char name[32];
  std::snprintf(name, sizeof name, "enc_%06d", index);
  g.name = name;
  g.cpaTimeS = kGeneratedCpaTimeS;

  const double band = r.Uniform(0, 1);
  if (band < 0.25) {
    static constexpr double kBoundariesFt[] = {1000, 1100, 1450, 1750};
    g.ownAltitudeFt = kBoundariesFt[r.Pick(4)] + r.Uniform(-150, 150);
    g.altitudeBand = "low-boundary";
  } else if (band < 0.40) {
    g.ownAltitudeFt = 29000 + 1000 * r.Pick(13);
    g.altitudeBand = "rvsm";
  } else {
    g.ownAltitudeFt = r.Uniform(500, 41000);
    g.altitudeBand = "uniform";
  }
  const double ownTrackDeg = r.Uniform(0, 360);
  g.approachAngleDeg = r.Uniform(0, 360);
  // Close passes are drawn more often than a uniform draw would, so that a set of a thousand holds enough
  // NMACs to measure their reduction.
  g.horizontalMissNm = r.Chance(0.4) ? r.Uniform(0, 0.1) : r.Uniform(0, 2);
  const bool right = r.Chance(0.5);
  g.verticalMissFt = (r.Chance(0.4) ? r.Uniform(0, 150) : r.Uniform(0, 1500)) * (r.Chance(0.5) ? 1 : -1);
  if (g.ownAltitudeFt + g.verticalMissFt < 2 * kFloorFt) g.verticalMissFt = std::abs(g.verticalMissFt);
  const Behaviour ownB = DrawBehaviour(r), intruderB = DrawBehaviour(r);

  // Own: its track at the closest approach is ownTrackDeg, its altitude the drawn one.
  g.own = Fly(ownB);
  const TrackSample ownCpa0 = At(g.own, g.cpaTimeS);
  Place(g.own, ownTrackDeg - *ownCpa0.trackDeg, 0, 0, g.ownAltitudeFt - ownCpa0.altitudeFt);
  const TrackSample& o = At(g.own, g.cpaTimeS);

  // Intruder: turned to its track, then placed across the relative motion at the miss distance.
  g.intruder = Fly(intruderB);
  const TrackSample in0 = At(g.intruder, g.cpaTimeS);
  Place(g.intruder, ownTrackDeg + g.approachAngleDeg - *in0.trackDeg, 0, 0, 0);
  const TrackSample& i = At(g.intruder, g.cpaTimeS);
  const auto velocity = [](const TrackSample& s) {
    const double v = *s.groundSpeedKt * kMetresPerSecondPerKnot;
    return std::pair{v * std::sin(Radians(*s.trackDeg)), v * std::cos(Radians(*s.trackDeg))};
  };
  const auto [voe, von] = velocity(o);
  const auto [vie, vin] = velocity(i);
  double re = vie - voe, rn = vin - von;
  double rel = std::hypot(re, rn);
  if (rel < 1e-6) re = std::sin(Radians(ownTrackDeg)), rn = std::cos(Radians(ownTrackDeg)), rel = 1;
  // Across the relative motion: to its right for a "right" pass, to its left otherwise.
  double pe = rn / rel, pn = -re / rel;
  if (!right) pe = -pe, pn = -pn;
  const double missM = g.horizontalMissNm * kMetresPerNm;
  Place(g.intruder, 0, o.position.eastM + missM * pe - i.position.eastM,
        o.position.northM + missM * pn - i.position.northM, o.altitudeFt + g.verticalMissFt - i.altitudeFt);
  KeepAboveFloor(g.own);
  KeepAboveFloor(g.intruder);
  return g;
}

void WriteEncounterSet(const std::filesystem::path& dir, int count, uint64_t seed,
                       const std::function<void(int written)>& onWritten) {
  std::filesystem::create_directories(dir);
  std::ofstream list(dir / "encounters.csv");
  list << "encounter,altitudeBand,ownAltitudeFt,horizontalMissNm,verticalMissFt,approachAngleDeg,cpaTimeS\n";
  char row[256];
  for (int k = 1; k <= count; ++k) {
    const GeneratedEncounter g = GenerateEncounter(seed, k);
    std::ofstream out(dir / (g.name + ".txt"));
    WritePairedTracks(out, g.own, g.intruder);
    out.close();
    if (!out) throw std::runtime_error("cannot write " + (dir / (g.name + ".txt")).string());
    std::snprintf(row, sizeof row, "%s,%s,%.0f,%.3f,%.0f,%.1f,%.0f\n", g.name.c_str(), g.altitudeBand.c_str(),
                  g.ownAltitudeFt, g.horizontalMissNm, g.verticalMissFt, g.approachAngleDeg, g.cpaTimeS);
    list << row;
    if (onWritten) onWritten(k);
  }
  list.close();
  if (!list) throw std::runtime_error("cannot write " + (dir / "encounters.csv").string());
}

}  // namespace kvr::host
