// The evaluation report: figures computed from results.csv rows, written as report.md with its plots in
// report.png (Cairo).
//
// Risk ratio: the share of encounters with an NMAC when equipped over the share when unequipped, the
// same encounters flown both ways. Its 95 % interval treats the flights as matched pairs:
// ln(RR) ± 1.96 sqrt((b + c) / ((a + b)(a + c))), with a the encounters with an NMAC both ways, b those
// with one only when equipped (induced) and c those with one only when unequipped (resolved). When a count
// in that formula is zero, 0.5 is added to a, b and c for the interval alone.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/eval/evaluation.h"

namespace kvr::host {

struct RiskRatio {
  int encounters = 0;
  int nmacBoth = 0, induced = 0, resolved = 0;  // a, b, c above
  std::optional<double> ratio;                  // none without an unequipped NMAC
  std::optional<double> low, high;              // 95 % interval
  int NmacUnequipped() const { return nmacBoth + resolved; }
  int NmacEquipped() const { return nmacBoth + induced; }
};

RiskRatio ComputeRiskRatio(const std::vector<const EncounterRow*>& rows);

// Unequipped miss beyond 1.5 NM horizontally or 1200 ft vertically: an RA there is a nuisance.
bool NuisanceGeometry(const EncounterRow& row);

struct ReportSummary {
  int encounters = 0, errors = 0;
  RiskRatio overall, above1000Ft;
  std::vector<std::string> induced, unresolved;  // encounter names
  int nuisanceEncounters = 0, nuisanceRas = 0;
  double NuisanceRate() const { return nuisanceEncounters > 0 ? double(nuisanceRas) / nuisanceEncounters : 0.0; }
};

ReportSummary Summarise(const std::vector<EncounterRow>& rows);

// report.md and report.png in `dir`; `title` heads the page (the encounter folder and options).
void WriteReport(const std::filesystem::path& dir, const std::vector<EncounterRow>& rows, const std::string& title);

// The headline figures in a few lines, for the terminal.
std::string HeadlineText(const ReportSummary& s);

}  // namespace kvr::host
