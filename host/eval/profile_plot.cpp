#include "host/eval/profile_plot.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/eval/chart.h"
#include "host/traffic/geo.h"

namespace kvr::host {
namespace {

constexpr uint32_t kOwnColour = 0x1F5FA8;
constexpr uint32_t kIntruderColours[] = {0xD06000, 0x7A3FA0, 0x2A8A4A, 0x8A6A20, 0x208A8A};
constexpr uint32_t kTaColour = 0xE0A000;
constexpr uint32_t kRaColour = 0xC02020;
constexpr double kFtPerNm = kMetresPerNm / kMetresPerFoot;

uint32_t IntruderColour(size_t i) { return kIntruderColours[i % std::size(kIntruderColours)]; }

// Niceish step for about `count` ticks over `span`.
double Step(double span, int count) {
  const double raw = span / count;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
    if (raw <= m * power) return m * power;
  return 10 * power;
}

struct Period {
  double startS, endS;
};

// Runs of frames where `in` holds, as time spans.
template <class Pred>
std::vector<Period> Periods(const std::vector<TrajectoryFrame>& frames, Pred in) {
  std::vector<Period> out;
  for (size_t k = 0; k < frames.size(); ++k) {
    if (!in(frames[k])) continue;
    if (!out.empty() && k > 0 && in(frames[k - 1])) out.back().endS = frames[k].timeS;
    else out.push_back({frames[k].timeS, frames[k].timeS});
  }
  return out;
}

}  // namespace

void WriteProfile(const Trajectory& trajectory, const EventLog& events, const std::filesystem::path& png,
                  const std::string& title) {
  const auto& frames = trajectory.Frames();
  Canvas canvas(1240, 720);
  canvas.Text(20, 26, title, 16, 0x000000, 0, true);
  if (frames.empty()) {
    canvas.Text(20, 60, "no frames were flown", 12);
    canvas.WritePng(png);
    return;
  }
  const double t0 = frames.front().timeS, t1 = frames.back().timeS;
  double altLo = std::numeric_limits<double>::max(), altHi = -altLo, rangeHi = 0.5;
  double eLo = altLo, eHi = -altLo, nLo = altLo, nHi = -altLo;
  const auto widen = [&](const AircraftState& s) {
    altLo = std::min(altLo, s.altitudeFt), altHi = std::max(altHi, s.altitudeFt);
    const double e = s.position.eastM / kMetresPerNm, n = s.position.northM / kMetresPerNm;
    eLo = std::min(eLo, e), eHi = std::max(eHi, e), nLo = std::min(nLo, n), nHi = std::max(nHi, n);
  };
  for (const TrajectoryFrame& f : frames) {
    widen(f.own);
    for (const AircraftState& s : f.intruders) {
      widen(s);
      rangeHi = std::max(
          rangeHi, std::hypot(s.position.eastM - f.own.position.eastM, s.position.northM - f.own.position.northM) /
                       kMetresPerNm);
    }
  }
  altLo -= 300, altHi += 300;
  const double timeStep = Step(t1 - t0, 8);

  // Altitude against time.
  Plot alt(canvas, 90, 70, 640, 330, t0, t1, altLo, altHi);
  Plot range(canvas, 90, 470, 640, 190, t0, t1, 0, std::min(rangeHi, 20.0) * 1.05);
  const auto ta = Periods(frames, [](const TrajectoryFrame& f) {
    return std::any_of(f.shown.begin(), f.shown.end(),
                       [](const auto& c) { return c && *c == ThreatClass::TrafficAdvisory; });
  });
  const auto ra = Periods(frames, [](const TrajectoryFrame& f) { return f.ownAdvisory.Active(); });
  for (Plot* p : {&alt, &range}) {
    for (const Period& q : ta) p->SpanX(q.startS, q.endS, kTaColour, 0.18);
    for (const Period& q : ra) p->SpanX(q.startS, q.endS, kRaColour, 0.18);
  }
  alt.Frame("Altitude", "", "feet", timeStep, Step(altHi - altLo, 6));
  range.Frame("Range", "time, s", "NM", timeStep, Step(std::min(rangeHi, 20.0) * 1.05, 4));

  // The messages spoken, along the top of the altitude plot: each starts at its moment (or ends at the
  // plot's right edge) and takes the highest lane where it overlaps no other, so that messages close
  // together in time stack instead of covering each other.
  {
    constexpr double kLabelSize = 9, kLaneHeightPx = 12;
    const double plotRight = alt.X(t1);
    std::vector<const EventRow*> spoken;
    std::vector<std::pair<double, double>> spans;
    for (const EventRow& r : events.Rows()) {
      if (r.aural.empty()) continue;
      const double width = canvas.TextWidth(r.aural, kLabelSize);
      const double left = std::max(alt.X(t0), std::min(alt.X(r.timeS) + 2, plotRight - 2 - width));
      spoken.push_back(&r);
      spans.push_back({left, left + width});
    }
    const std::vector<int> lanes = StackLabels(spans, 4, /*maxLanes=*/20);
    for (size_t k = 0; k < spoken.size(); ++k) {
      const bool resolution = spoken[k]->aural.find("Traffic") == std::string::npos;
      canvas.Text(spans[k].first, 84 + kLaneHeightPx * lanes[k], spoken[k]->aural, kLabelSize,
                  resolution ? kRaColour : 0x8A6A00);
    }
  }

  // The NMAC cylinder: ±100 ft about an intruder while it is within 500 ft horizontally.
  for (size_t i = 0; i < trajectory.Intruders().size(); ++i) {
    for (const TrajectoryFrame& f : frames) {
      if (i >= f.intruders.size()) continue;
      const AircraftState& s = f.intruders[i];
      const double hFt =
          std::hypot(s.position.eastM - f.own.position.eastM, s.position.northM - f.own.position.northM) /
          kMetresPerFoot;
      if (hFt < kNmacHorizontalFt)
        alt.Box(f.timeS - 0.05, f.timeS + 0.05, s.altitudeFt - kNmacVerticalFt, s.altitudeFt + kNmacVerticalFt,
                0x000000, 0.25);
    }
  }
  range.Line({t0, t1}, {kNmacHorizontalFt / kFtPerNm, kNmacHorizontalFt / kFtPerNm}, 0x000000, 1, true);
  range.Label(t0 + 0.93 * (t1 - t0), kNmacHorizontalFt / kFtPerNm + 0.02 * rangeHi, "NMAC 500 ft", 0x000000, 9);

  std::vector<double> times, own;
  for (const TrajectoryFrame& f : frames) times.push_back(f.timeS), own.push_back(f.own.altitudeFt);
  alt.Line(times, own, kOwnColour, 2);
  std::vector<std::pair<std::string, uint32_t>> legend = {{"own aircraft", kOwnColour}};
  for (size_t i = 0; i < trajectory.Intruders().size(); ++i) {
    std::vector<double> ts, a, r;
    for (const TrajectoryFrame& f : frames) {
      if (i >= f.intruders.size()) continue;
      const AircraftState& s = f.intruders[i];
      ts.push_back(f.timeS);
      a.push_back(s.altitudeFt);
      r.push_back(std::hypot(s.position.eastM - f.own.position.eastM, s.position.northM - f.own.position.northM) /
                  kMetresPerNm);
    }
    alt.Line(ts, a, IntruderColour(i), 1.5);
    range.Line(ts, r, IntruderColour(i), 1.5);
    const TrajectoryAircraft& who = trajectory.Intruders()[i];
    legend.push_back({who.callsign.empty() ? "intruder " + std::to_string(who.id) : who.callsign, IntruderColour(i)});
  }
  // As many intruders as the column beneath the plan view holds, then how many more there are.
  constexpr size_t kLegendRows = 13;
  if (legend.size() + 2 > kLegendRows) {
    const size_t more = legend.size() - (kLegendRows - 3);
    legend.resize(kLegendRows - 3);
    legend.push_back({"and " + std::to_string(more) + " more intruders", 0xFFFFFF});
  }
  legend.push_back({"traffic advisory", kTaColour});
  legend.push_back({"resolution advisory", kRaColour});
  // The key beside the plots, under the plan view, where it hides no label.
  canvas.Legend(820, 520, legend);

  // Plan view, square, north up.
  const double span = std::max({eHi - eLo, nHi - nLo, 1.0}) * 1.08;
  const double ce = 0.5 * (eLo + eHi), cn = 0.5 * (nLo + nHi);
  Plot plan(canvas, 820, 70, 380, 380, ce - span / 2, ce + span / 2, cn - span / 2, cn + span / 2);
  plan.Frame("Plan view (north up)", "east, NM", "north, NM", Step(span, 5), Step(span, 5));
  const auto path = [&](auto get, uint32_t colour) {
    std::vector<double> e, n;
    for (const TrajectoryFrame& f : frames)
      if (const AircraftState* s = get(f))
        e.push_back(s->position.eastM / kMetresPerNm), n.push_back(s->position.northM / kMetresPerNm);
    plan.Line(e, n, colour, 1.5);
    if (!e.empty()) plan.Point(e.front(), n.front(), colour, 4);
  };
  path([](const TrajectoryFrame& f) { return &f.own; }, kOwnColour);
  for (size_t i = 0; i < trajectory.Intruders().size(); ++i)
    path([i](const TrajectoryFrame& f) { return i < f.intruders.size() ? &f.intruders[i] : nullptr; },
         IntruderColour(i));
  canvas.Text(820, 500, "dots: where each aircraft started", 10, 0x555555);
  canvas.WritePng(png);
}

}  // namespace kvr::host
