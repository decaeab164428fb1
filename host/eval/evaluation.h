// One encounter flown twice through the real module, pictures and audio off: once with a pilot who follows
// the advisories ("equipped") and once with the advisories ignored ("unequipped"); and the row of
// results.csv that sums the two up.
//
// results.csv: a header row, then one row per encounter in encounter order:
//   index             place of the encounter in the set (from 0), which keeps shards in order
//   encounter         its file name without extension
//   ownAltitudeFt     own altitude above ground at the unequipped closest approach
//   sensitivityLevel  the logic's sensitivity level for that altitude (2 to 7)
//   hmdUnequippedFt, vmdUnequippedFt, nmacUnequipped   horizontal miss, vertical separation at that moment,
//   hmdEquippedFt, vmdEquippedFt, nmacEquipped          and NMAC flag (0/1) of each flight
//   firstTaS, firstRaS   first traffic and resolution advisory in the equipped flight (empty: none)
//   raCount              resolution advisories posted (equipped flight)
//   raDurationsS         their durations, separated by ';'; the last ends in '+' when that advisory was
//                        still posted at the final frame: the recording's end cut it, it did not end
//   crossing, reversal   an advisory crossed the intruder's altitude / reversed its sense (0/1)
//   error                why the encounter could not be flown (then the other fields are empty)
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "host/scenario/scenario.h"

namespace kvr::host {

struct FlightResult {
  double hmdFt = 0, vmdFt = 0;
  bool nmac = false;
  double cpaTimeS = 0;
  double ownAltitudeAglFt = 0;  // at the closest approach
  double ownPressureAltitudeFt = 0;
  double ownVerticalSpeedFpm = 0;
  std::optional<double> firstTaS, firstRaS;
  std::vector<double> raDurationsS;
  bool lastRaCut = false;  // the last advisory was still posted at the final frame: its duration is a least
  bool crossing = false, reversal = false;
};

struct EncounterRow {
  int index = 0;
  std::string encounter;
  double ownAltitudeFt = 0;
  int sensitivityLevel = 0;
  double hmdUnequippedFt = 0, vmdUnequippedFt = 0;
  bool nmacUnequipped = false;
  double hmdEquippedFt = 0, vmdEquippedFt = 0;
  bool nmacEquipped = false;
  std::optional<double> firstTaS, firstRaS;
  std::vector<double> raDurationsS;
  bool lastRaCut = false;  // as in FlightResult
  bool crossing = false, reversal = false;
  std::string error;

  int RaCount() const { return static_cast<int>(raDurationsS.size()); }
};

struct EvalSettings {
  std::filesystem::path gaugesDir;
  std::filesystem::path panelFile;  // a panel with a Logic and an IVSI gauge (see WriteEvalPanel)
  double frameRateHz = 18;          // simulator frames a second; the logic runs once a second at any rate
  SurveillanceSpec surveillance;
  bool equippedIntruder = false;     // the intruder flies its own collision logic too
  std::filesystem::path profileDir;  // when set: <encounter>.png, the equipped flight's profile
};

// The smallest panel that runs the logic: the Logic gauge and one IVSI, which publishes the mode selector.
void WriteEvalPanel(const std::filesystem::path& file);

// The sensitivity level the collision library runs at for an own pressure altitude, height above ground
// and vertical speed (climbing out under 1000 ft counts as level 3), as the library reports it.
int SensitivityLevelFor(double pressureAltitudeFt, double radioAltitudeFt, double verticalSpeedFpm);

// A scenario of a paired-track file as the evaluation flies it.
Scenario EncounterScenario(const std::filesystem::path& file, const EvalSettings& settings, bool pilot);

// Flies the encounter both ways; a file that cannot be read or flown gives a row with its error.
EncounterRow EvaluateEncounter(const std::filesystem::path& file, int index, const EvalSettings& settings);

// results.csv, header included; Read throws std::runtime_error "FILE:LINE: reason".
void WriteResultsHeader(std::ostream& out);
void WriteResultRow(std::ostream& out, const EncounterRow& row);
std::string ResultLine(const EncounterRow& row);  // one row without its newline
EncounterRow ParseResultLine(const std::string& line, const std::string& where);
std::vector<EncounterRow> ReadResults(const std::filesystem::path& file);

}  // namespace kvr::host
