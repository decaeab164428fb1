#include "host/eval/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "host/eval/chart.h"
#include "host/scenario/output_folder.h"
#include "host/traffic/geo.h"

namespace kvr::host {
namespace {

constexpr double kFtPerNm = kMetresPerNm / kMetresPerFoot;
constexpr double kNuisanceHorizontalNm = 1.5;
constexpr double kNuisanceVerticalFt = 1200.0;
// Unequipped horizontal miss bins, NM, for the alert rates.
constexpr double kMissBinsNm[] = {0, 0.25, 0.5, 1.0, 1.5, 2.0};
constexpr int kMissBinCount = 6;  // the last bin is "2 NM and more"
constexpr double kDurationBinS = 5.0;

std::string Fixed(double v, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", digits, v);
  return text;
}

std::string Percent(int part, int whole) {
  if (whole == 0) return "–";
  return Fixed(100.0 * part / whole, 1) + " %";
}

std::string RatioText(const RiskRatio& r) {
  if (!r.ratio) return "– (no NMAC unequipped)";
  return Fixed(*r.ratio, 3) + " (95 % CI " + Fixed(*r.low, 3) + " – " + Fixed(*r.high, 3) + ")";
}

int MissBin(double hmdFt) {
  const double nm = hmdFt / kFtPerNm;
  for (int b = kMissBinCount - 1; b >= 0; --b)
    if (nm >= kMissBinsNm[b]) return b;
  return 0;
}

std::string MissBinName(int b) {
  if (b == kMissBinCount - 1) return "≥ " + Fixed(kMissBinsNm[b], 2) + " NM";
  return Fixed(kMissBinsNm[b], 2) + "–" + Fixed(kMissBinsNm[b + 1], 2) + " NM";
}

std::vector<const EncounterRow*> Valid(const std::vector<EncounterRow>& rows) {
  std::vector<const EncounterRow*> out;
  for (const EncounterRow& r : rows)
    if (r.error.empty()) out.push_back(&r);
  return out;
}

struct AlertCounts {
  int encounters = 0, ta = 0, ra = 0;
};

void DrawReport(const std::filesystem::path& file, const std::vector<const EncounterRow*>& rows,
                const ReportSummary& s) {
  Canvas canvas(1200, 860);
  canvas.Text(20, 28, "Encounter evaluation: " + std::to_string(s.encounters) + " encounters", 18, 0x000000, 0, true);

  // 1. Risk ratio by sensitivity level, overall and above 1000 ft.
  std::vector<std::pair<std::string, RiskRatio>> groups = {{"all", s.overall}, {">=1000ft", s.above1000Ft}};
  for (int level = 2; level <= 7; ++level) {
    std::vector<const EncounterRow*> sub;
    for (const EncounterRow* r : rows)
      if (r->sensitivityLevel == level) sub.push_back(r);
    groups.push_back({"SL" + std::to_string(level), ComputeRiskRatio(sub)});
  }
  double top = 1.0;
  for (const auto& [name, r] : groups)
    if (r.high) top = std::max(top, std::min(*r.high, 3.0));
  Plot rr(canvas, 80, 80, 480, 300, -0.5, groups.size() - 0.5, 0, top * 1.1);
  rr.Frame("Risk ratio with 95 % interval", "", "risk ratio", 0, top > 2 ? 0.5 : 0.2);
  rr.Line({-0.5, groups.size() - 0.5}, {1.0, 1.0}, 0x999999, 1, true);
  for (size_t g = 0; g < groups.size(); ++g) {
    const RiskRatio& r = groups[g].second;
    rr.Label(g, -0.06 * top * 1.1, groups[g].first, 0x333333);
    if (!r.ratio) {
      rr.Label(g, 0.05 * top, "n/a", 0x999999);
      continue;
    }
    rr.Bar(g - 0.3, g + 0.3, *r.ratio, g < 2 ? 0x1F5FA8 : 0x6C9BD2);
    const double barTop = std::min(*r.high, top * 1.1);
    rr.ErrorBar(g, *r.low, barTop, 0x000000);
    // The value over the error bar's top cap, or, where the cap meets the frame, beside the bar's top,
    // clear of the cap's half width.
    if (rr.Y(barTop) - 16 > rr.Y(top * 1.1))
      canvas.Text(rr.X(g), rr.Y(barTop) - 5, Fixed(*r.ratio, 2), 10, 0x000000, 0.5);
    else canvas.Text(rr.X(g) + 7, rr.Y(*r.ratio) - 3, Fixed(*r.ratio, 2), 10, 0x000000, 0.0);
  }

  // 2. TA and RA rates by unequipped horizontal miss.
  std::vector<AlertCounts> bins(kMissBinCount);
  for (const EncounterRow* r : rows) {
    AlertCounts& b = bins[static_cast<size_t>(MissBin(r->hmdUnequippedFt))];
    ++b.encounters;
    b.ta += r->firstTaS.has_value();
    b.ra += r->firstRaS.has_value();
  }
  // Up to 112 % so that a full bar keeps its count inside the frame.
  Plot rates(canvas, 660, 80, 500, 300, -0.5, kMissBinCount - 0.5, 0, 112);
  rates.Frame("Alert rate by unequipped horizontal miss", "", "% of encounters", 0, 20);
  for (int b = 0; b < kMissBinCount; ++b) {
    const AlertCounts& c = bins[static_cast<size_t>(b)];
    canvas.Text(rates.X(b), rates.Y(0) + 14, MissBinName(b), 9, 0x333333, 0.5);
    canvas.Text(rates.X(b), rates.Y(0) + 26, "of " + std::to_string(c.encounters), 9, 0x666666, 0.5);
    if (c.encounters == 0) continue;
    // Each bar with its count of encounters over it.
    const double taPercent = 100.0 * c.ta / c.encounters, raPercent = 100.0 * c.ra / c.encounters;
    rates.Bar(b - 0.35, b, taPercent, 0xE0A000);
    rates.Bar(b, b + 0.35, raPercent, 0xC02020);
    canvas.Text(rates.X(b - 0.175), rates.Y(taPercent) - 3, std::to_string(c.ta), 9, 0x6A4A00, 0.5);
    canvas.Text(rates.X(b + 0.175), rates.Y(raPercent) - 3, std::to_string(c.ra), 9, 0x801010, 0.5);
  }
  canvas.Legend(660, rates.Y(0) + 36, {{"traffic advisory", 0xE0A000}, {"resolution advisory", 0xC02020}},
                /*row=*/true);

  // 3. RA durations.
  std::map<int, int> histogram;
  int most = 1, longest = 6;
  for (const EncounterRow* r : rows)
    for (double d : r->raDurationsS) {
      const int bin = static_cast<int>(d / kDurationBinS);
      most = std::max(most, ++histogram[bin]);
      longest = std::max(longest, bin + 1);
    }
  Plot durations(canvas, 80, 480, 480, 300, 0, longest * kDurationBinS, 0, most * 1.1);
  double countStep = 1;
  for (int k = 0; most / countStep > 8; ++k) countStep *= k % 3 == 1 ? 2.5 : 2;  // 1, 2, 5, 10, 20, 50, ...
  durations.Frame("Resolution advisory durations", "seconds", "advisories", 10, countStep);
  for (const auto& [bin, count] : histogram)
    durations.Bar(bin * kDurationBinS + 0.3, (bin + 1) * kDurationBinS - 0.3, count, 0xC02020);

  // 4. Miss distances: vertical at the closest approach, unequipped against equipped, for encounters
  // with an RA.
  Plot miss(canvas, 660, 480, 500, 300, 0, 1500, 0, 1500);
  miss.Frame("Vertical miss at closest approach (encounters with an RA)", "unequipped, ft", "equipped, ft", 250, 250);
  miss.Line({0, 1500}, {0, 1500}, 0x999999, 1, true);
  miss.Box(0, 1500, 0, 100, 0xC02020, 0.08);  // under 100 ft: inside the NMAC height
  for (const EncounterRow* r : rows) {
    if (!r->firstRaS) continue;
    const uint32_t colour = r->nmacEquipped ? 0xC02020 : r->nmacUnequipped ? 0x20A040 : 0x1F5FA8;
    miss.Point(std::min(r->vmdUnequippedFt, 1500.0), std::min(r->vmdEquippedFt, 1500.0), colour, 2.5);
  }
  // The key under the chart, where it hides no point.
  canvas.Legend(660, miss.Y(0) + 38, {{"NMAC resolved", 0x20A040}, {"NMAC equipped", 0xC02020}, {"other", 0x1F5FA8}},
                /*row=*/true);
  canvas.WritePng(file);
}

}  // namespace

RiskRatio ComputeRiskRatio(const std::vector<const EncounterRow*>& rows) {
  RiskRatio r;
  for (const EncounterRow* row : rows) {
    ++r.encounters;
    if (row->nmacEquipped && row->nmacUnequipped) ++r.nmacBoth;
    else if (row->nmacEquipped) ++r.induced;
    else if (row->nmacUnequipped) ++r.resolved;
  }
  if (r.NmacUnequipped() == 0) return r;
  r.ratio = static_cast<double>(r.NmacEquipped()) / r.NmacUnequipped();
  double a = r.nmacBoth, b = r.induced, c = r.resolved;
  if (a + b == 0 || a + c == 0 || b + c == 0) a += 0.5, b += 0.5, c += 0.5;
  const double centre = std::log((a + b) / (a + c));
  const double half = 1.96 * std::sqrt((b + c) / ((a + b) * (a + c)));
  r.low = std::exp(centre - half);
  r.high = std::exp(centre + half);
  // With no equipped NMAC the ratio is 0 and the interval starts there.
  if (r.NmacEquipped() == 0) r.low = 0.0;
  return r;
}

bool NuisanceGeometry(const EncounterRow& row) {
  return row.hmdUnequippedFt > kNuisanceHorizontalNm * kFtPerNm || row.vmdUnequippedFt > kNuisanceVerticalFt;
}

ReportSummary Summarise(const std::vector<EncounterRow>& rows) {
  ReportSummary s;
  const std::vector<const EncounterRow*> valid = Valid(rows);
  s.encounters = static_cast<int>(valid.size());
  s.errors = static_cast<int>(rows.size() - valid.size());
  s.overall = ComputeRiskRatio(valid);
  std::vector<const EncounterRow*> high;
  for (const EncounterRow* r : valid) {
    if (r->ownAltitudeFt >= 1000.0) high.push_back(r);
    if (r->nmacEquipped && !r->nmacUnequipped) s.induced.push_back(r->encounter);
    if (r->nmacEquipped && r->nmacUnequipped) s.unresolved.push_back(r->encounter);
    if (NuisanceGeometry(*r)) {
      ++s.nuisanceEncounters;
      s.nuisanceRas += r->firstRaS.has_value();
    }
  }
  s.above1000Ft = ComputeRiskRatio(high);
  return s;
}

std::string HeadlineText(const ReportSummary& s) {
  std::ostringstream out;
  out << s.encounters << " encounters flown" << (s.errors ? ", " + std::to_string(s.errors) + " failed" : "") << "\n"
      << "risk ratio:                 " << RatioText(s.overall) << "\n"
      << "risk ratio above 1000 ft:   " << RatioText(s.above1000Ft) << "\n"
      << "NMACs unequipped/equipped:  " << s.overall.NmacUnequipped() << " / " << s.overall.NmacEquipped()
      << " (induced " << s.induced.size() << ", unresolved " << s.unresolved.size() << ")\n"
      << "nuisance RA rate:           " << Percent(s.nuisanceRas, s.nuisanceEncounters) << " of "
      << s.nuisanceEncounters << " encounters\n";
  return out.str();
}

namespace {

void WriteReportPage(const std::filesystem::path& file, const std::string& title, const ReportSummary& s,
                     const std::vector<const EncounterRow*>& valid) {
  std::ofstream md(file);
  md << "# Encounter evaluation\n\n"
     << title << "\n\n"
     << "Each encounter was flown twice through the module: with a pilot who follows the resolution advisories "
        "(equipped) and with the advisories ignored (unequipped). An NMAC is a moment with the aircraft under "
        "500 ft apart horizontally and under 100 ft vertically, found on the flown trajectories.\n\n"
     << "![plots](report.png)\n\n"
     << "## Headline\n\n"
     << "| figure | value |\n|---|---|\n"
     << "| encounters flown | " << s.encounters << (s.errors ? " (" + std::to_string(s.errors) + " failed)" : "")
     << " |\n"
     << "| NMACs unequipped / equipped | " << s.overall.NmacUnequipped() << " / " << s.overall.NmacEquipped() << " |\n"
     << "| risk ratio | " << RatioText(s.overall) << " |\n"
     << "| risk ratio, own aircraft at or above 1000 ft AGL (" << s.above1000Ft.encounters << " encounters) | "
     << RatioText(s.above1000Ft) << " |\n"
     << "| induced NMACs (equipped only) | " << s.induced.size() << " |\n"
     << "| unresolved NMACs (both) | " << s.unresolved.size() << " |\n"
     << "| nuisance RA rate (unequipped miss > 1.5 NM or > 1200 ft) | " << Percent(s.nuisanceRas, s.nuisanceEncounters)
     << " (" << s.nuisanceRas << " of " << s.nuisanceEncounters << ") |\n\n"
     << "Below 1000 ft above ground the logic gives traffic advisories only, except to an own aircraft climbing "
        "out from 400 ft towards traffic it will meet above 1000 ft, which may be told to level off or climb; the "
        "second risk ratio counts only the encounters whose closest approach lies at or above 1000 ft.\n\n";
  const auto names = [&](const std::vector<std::string>& list) {
    if (list.empty()) return std::string("none");
    std::string text;
    for (const std::string& n : list) text += (text.empty() ? "" : ", ") + n;
    return text;
  };
  md << "Induced NMACs: " << names(s.induced) << "\n\nUnresolved NMACs: " << names(s.unresolved) << "\n\n";

  md << "## Alerts by unequipped horizontal miss\n\n| miss | encounters | TA | RA |\n|---|---|---|---|\n";
  std::vector<AlertCounts> bins(kMissBinCount);
  for (const EncounterRow* r : valid) {
    AlertCounts& b = bins[static_cast<size_t>(MissBin(r->hmdUnequippedFt))];
    ++b.encounters;
    b.ta += r->firstTaS.has_value();
    b.ra += r->firstRaS.has_value();
  }
  for (int b = 0; b < kMissBinCount; ++b) {
    const AlertCounts& c = bins[static_cast<size_t>(b)];
    md << "| " << MissBinName(b) << " | " << c.encounters << " | " << Percent(c.ta, c.encounters) << " | "
       << Percent(c.ra, c.encounters) << " |\n";
  }

  md << "\n## By sensitivity level at closest approach\n\n"
     << "| level | encounters | NMAC unequipped | NMAC equipped | risk ratio | induced | TA rate | RA rate | nuisance "
        "RA rate |"
        "\n|---|---|---|---|---|---|---|---|---|\n";
  for (int level = 2; level <= 7; ++level) {
    std::vector<const EncounterRow*> sub;
    int ta = 0, ra = 0, nuisance = 0, nuisanceRa = 0;
    for (const EncounterRow* r : valid)
      if (r->sensitivityLevel == level) {
        sub.push_back(r);
        ta += r->firstTaS.has_value();
        ra += r->firstRaS.has_value();
        if (NuisanceGeometry(*r)) {
          ++nuisance;
          nuisanceRa += r->firstRaS.has_value();
        }
      }
    const RiskRatio rr = ComputeRiskRatio(sub);
    const int n = static_cast<int>(sub.size());
    md << "| " << level << " | " << n << " | " << rr.NmacUnequipped() << " | " << rr.NmacEquipped() << " | "
       << RatioText(rr) << " | " << rr.induced << " | " << Percent(ta, n) << " | " << Percent(ra, n) << " | "
       << Percent(nuisanceRa, nuisance) << " |\n";
  }

  md << "\n## Resolution advisories\n\n";
  int advisories = 0, crossing = 0, reversal = 0;
  double total = 0;
  std::map<int, int> histogram;
  for (const EncounterRow* r : valid) {
    advisories += r->RaCount();
    crossing += r->crossing;
    reversal += r->reversal;
    for (double d : r->raDurationsS) {
      total += d;
      ++histogram[static_cast<int>(d / kDurationBinS)];
    }
  }
  md << advisories << " advisories, mean duration " << (advisories ? Fixed(total / advisories, 1) : "–") << " s; "
     << crossing << " encounters with a crossing advisory, " << reversal << " with a reversal.\n\n"
     << "| duration | advisories |\n|---|---|\n";
  for (const auto& [bin, count] : histogram)
    md << "| " << Fixed(bin * kDurationBinS, 0) << "–" << Fixed((bin + 1) * kDurationBinS, 0) << " s | " << count
       << " |\n";
  md << "\nRisk-ratio interval: matched pairs, ln(RR) ± 1.96·sqrt((b + c) / ((a + b)(a + c))), with a the encounters "
        "with an NMAC both ways, b only equipped, c only unequipped; 0.5 is added to a, b and c when a term is zero.\n";
  md.close();
  if (!md) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace

void WriteReport(const std::filesystem::path& dir, const std::vector<EncounterRow>& rows, const std::string& title) {
  std::filesystem::create_directories(dir);
  const ReportSummary s = Summarise(rows);
  const std::vector<const EncounterRow*> valid = Valid(rows);
  // Each file is staged and renamed into place, so that a full disk leaves no picture or page cut short.
  WriteFileStaged(dir / "report.png", [&](const std::filesystem::path& file) { DrawReport(file, valid, s); });
  WriteFileStaged(dir / "report.md",
                  [&](const std::filesystem::path& file) { WriteReportPage(file, title, s, valid); });
}

}  // namespace kvr::host
