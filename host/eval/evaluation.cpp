#include "host/eval/evaluation.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "avertine/avertine.h"
#include "host/eval/profile_plot.h"
#include "host/input_file.h"
#include "host/scenario/output_folder.h"
#include "host/scenario/scenario_runner.h"

namespace kvr::host {

// results.csv of ten million encounters stays under it.
constexpr uintmax_t kMaxResultsBytes = uintmax_t{4} * 1024 * 1024 * 1024;
namespace {

constexpr uint32_t kIntruderId = 1;

// One flight of an encounter, summed up from its trajectory and events.
FlightResult Summarise(const ScenarioRun& run) {
  FlightResult r;
  const Trajectory& t = run.Flown();
  const MissDistance miss = ClosestApproachOf(OwnPath(t), IntruderPath(t, 0));
  r.hmdFt = miss.horizontalFt;
  r.vmdFt = miss.verticalFt;
  r.nmac = miss.nmac;
  r.cpaTimeS = miss.timeS;
  double nearestS = 1e18;
  for (const TrajectoryFrame& f : t.Frames())
    if (std::abs(f.timeS - miss.timeS) < nearestS) {
      nearestS = std::abs(f.timeS - miss.timeS);
      r.ownAltitudeAglFt = f.ownRadioAltitudeFt;
      r.ownPressureAltitudeFt = f.ownPressureAltitudeFt;
      r.ownVerticalSpeedFpm = f.own.verticalSpeedFpm;
    }
  for (const EventRow& e : run.Events().Rows()) {
    if (e.event == "threat" && e.threatClass == "TrafficAdvisory" && !r.firstTaS) r.firstTaS = e.timeS;
    if (e.event == "threat" && e.threatClass == "ResolutionAdvisory" && !r.firstRaS) r.firstRaS = e.timeS;
    if (e.aural.find("Crossing") != std::string::npos) r.crossing = true;
    if (e.aural.rfind("ClimbNow", 0) == 0 || e.aural.rfind("DescendNow", 0) == 0) r.reversal = true;
  }
  // Advisory periods, their sense, and whether the sense pointed through the intruder's altitude.
  std::optional<double> startS;
  AdvisorySenseWord sense = AdvisorySenseWord::None;
  const auto& frames = t.Frames();
  for (size_t k = 0; k < frames.size(); ++k) {
    const TrajectoryFrame& f = frames[k];
    const bool active = f.ownAdvisory.Active();
    if (active) {
      const AdvisorySenseWord now = SenseOf(f.ownAdvisory);
      if (!startS) {
        startS = f.timeS;
        const double aboveFt = f.intruders.empty() ? 0.0 : f.intruders[0].altitudeFt - f.own.altitudeFt;
        if ((now == AdvisorySenseWord::Up && aboveFt > 0) || (now == AdvisorySenseWord::Down && aboveFt < 0))
          r.crossing = true;
      } else if (sense != AdvisorySenseWord::None && now != AdvisorySenseWord::None && now != sense) {
        r.reversal = true;
      }
      if (now != AdvisorySenseWord::None) sense = now;
    }
    if (startS && (!active || k + 1 == frames.size())) {
      r.raDurationsS.push_back(f.timeS - *startS);
      r.lastRaCut = active;
      startS.reset();
      sense = AdvisorySenseWord::None;
    }
  }
  return r;
}

FlightResult Fly(const Scenario& scenario, const EvalSettings& settings, const std::filesystem::path& profile = {}) {
  RunOptions options;
  options.gaugesDir = settings.gaugesDir;
  options.keepEveryFrame = true;  // miss distances are found between every two frames
  ScenarioRun run(scenario, options);
  run.Start();
  while (run.Step()) {
  }
  if (!profile.empty())
    WriteFileStaged(profile, [&](const std::filesystem::path& file) {
      WriteProfile(run.Flown(), run.Events(), file, scenario.name + ", pilot following the advisories");
    });
  return Summarise(run);
}

// `v` written whole however large: the text is sized by a first pass, not cut at a fixed length.
std::string Number(std::optional<double> v, const char* format = "%.1f") {
  if (!v) return "";
  const int length = std::snprintf(nullptr, 0, format, *v);
  if (length <= 0) return "";
  std::string text(static_cast<size_t>(length), '\0');
  std::snprintf(text.data(), text.size() + 1, format, *v);
  return text;
}

// Fields separated by `sep`; a field in double quotes may hold `sep`, and "" in it stands for one quote.
std::vector<std::string> Split(const std::string& line, char sep) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') out.back() += line[++i];
    else if (c == '"' && (quoted || out.back().empty())) quoted = !quoted;
    else if (c == sep && !quoted) out.emplace_back();
    else out.back() += c;
  }
  return out;
}

// Free text (an encounter's name, an error) as a results.csv field: one line always (line breaks become
// spaces), in quotes when it holds a comma or a quote, so that it reads back as written.
std::string TextField(const std::string& text) {
  std::string field;
  bool quote = false;
  for (const char c : text) {
    if (c == '\n' || c == '\r') field += ' ';
    else field += c;
    quote = quote || c == ',' || c == '"';
    if (c == '"') field += '"';
  }
  return quote ? '"' + field + '"' : field;
}

constexpr int kColumns = 18;

}  // namespace

void WriteEvalPanel(const std::filesystem::path& file) {
  std::ofstream out(file);
  // Nobody looks at this panel: the IVSI draws without anti-aliasing and composes once a second, which
  // leaves the logic's work unchanged and the drawing cheap.
  out << "// The evaluation's panel: the Logic gauge and one small IVSI, which publishes the mode selector.\n"
         "[Window00]\nsize_mm=100,100\n"
         "gauge00=KVR_TCAS!Logic, 0, 0, 1, 1\n"
         "gauge01=KVR_TCAS!IVSI, 0, 0, 100, 100, pic=n aa=n vsirate=1\n";
  out.close();
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

int SensitivityLevelFor(double pressureAltitudeFt, double radioAltitudeFt, double verticalSpeedFpm) {
  // The own-ship record as the module fills it (radio altitude trusted below 3000 ft).
  kvr::OwnShipRecord own{};
  kvr::AvertineDefaultOwnShip(&own);
  own.pressureAltitudeFt = static_cast<float>(pressureAltitudeFt);
  own.radioAltitudeFt = static_cast<float>(radioAltitudeFt);
  own.lowHeight = radioAltitudeFt < 3000 ? 1 : 0;
  own.groundLevelFt = static_cast<float>(pressureAltitudeFt - radioAltitudeFt);
  return kvr::AvertineSensitivityLevel(&own, static_cast<float>(verticalSpeedFpm));
}

Scenario EncounterScenario(const std::filesystem::path& file, const EvalSettings& settings, bool pilot) {
  const PairedTracks tracks = LoadPairedTracks(file);
  Scenario s;
  s.file = file;
  s.name = file.stem().string();
  s.panelFile = settings.panelFile;
  s.durationS = std::max(tracks.own->EndS(), tracks.intruder->EndS());
  s.frameRateHz = settings.frameRateHz;
  s.own.track = tracks.own;
  const TrackPoint start = tracks.own->At(0.0);
  s.own.pressureAltitudeFt = s.own.trueAltitudeFt = start.altitudeFt;
  s.own.headingDeg = start.trackDeg;
  s.own.groundSpeedKt = start.groundSpeedKt;
  s.own.verticalSpeedFpm = start.verticalSpeedFpm;
  IntruderSpec intruder;
  intruder.id = kIntruderId;
  intruder.callsign = "INTRUDER";
  intruder.track = tracks.intruder;
  intruder.equipped = settings.equippedIntruder && pilot;
  s.intruders.push_back(intruder);
  SwitchSpec taRa;
  taRa.variable = "KVR_TCAS!IVSI.mode_index";
  taRa.value = 4;
  s.switches.push_back(taRa);
  if (pilot) s.pilot = PilotSpec{};
  s.surveillance = settings.surveillance;
  return s;
}

EncounterRow EvaluateEncounter(const std::filesystem::path& file, int index, const EvalSettings& settings) {
  EncounterRow row;
  row.index = index;
  row.encounter = file.stem().string();
  try {
    const Scenario unequippedScenario = EncounterScenario(file, settings, false);
    const FlightResult unequipped = Fly(unequippedScenario, settings);
    const Scenario equippedScenario = EncounterScenario(file, settings, true);
    const FlightResult equipped =
        Fly(equippedScenario, settings,
            settings.profileDir.empty() ? std::filesystem::path() : settings.profileDir / (row.encounter + ".png"));
    row.ownAltitudeFt = unequipped.ownAltitudeAglFt;
    row.sensitivityLevel = SensitivityLevelFor(unequipped.ownPressureAltitudeFt, unequipped.ownAltitudeAglFt,
                                               unequipped.ownVerticalSpeedFpm);
    row.hmdUnequippedFt = unequipped.hmdFt;
    row.vmdUnequippedFt = unequipped.vmdFt;
    row.nmacUnequipped = unequipped.nmac;
    row.hmdEquippedFt = equipped.hmdFt;
    row.vmdEquippedFt = equipped.vmdFt;
    row.nmacEquipped = equipped.nmac;
    row.firstTaS = equipped.firstTaS;
    row.firstRaS = equipped.firstRaS;
    row.raDurationsS = equipped.raDurationsS;
    row.lastRaCut = equipped.lastRaCut;
    row.crossing = equipped.crossing;
    row.reversal = equipped.reversal;
  } catch (const std::exception& e) {
    row.error = e.what();
  }
  return row;
}

void WriteResultsHeader(std::ostream& out) {
  out << "index,encounter,ownAltitudeFt,sensitivityLevel,hmdUnequippedFt,vmdUnequippedFt,nmacUnequipped,"
         "hmdEquippedFt,vmdEquippedFt,nmacEquipped,firstTaS,firstRaS,raCount,raDurationsS,crossing,reversal,"
         "error\n";
}

std::string ResultLine(const EncounterRow& r) {
  std::ostringstream s;
  std::string error = r.error;
  for (char& c : error)
    if (c == ',') c = ';';
  s << r.index << ',' << TextField(r.encounter) << ',';
  if (!r.error.empty()) {
    s << ",,,,,,,,,,,,,," << TextField(error);
    return s.str();
  }
  std::string durations;
  for (double d : r.raDurationsS) {
    if (!durations.empty()) durations += ';';
    durations += Number(d);
  }
  if (r.lastRaCut && !r.raDurationsS.empty()) durations += '+';
  s << Number(r.ownAltitudeFt, "%.0f") << ',' << r.sensitivityLevel << ',' << Number(r.hmdUnequippedFt) << ','
    << Number(r.vmdUnequippedFt) << ',' << int(r.nmacUnequipped) << ',' << Number(r.hmdEquippedFt) << ','
    << Number(r.vmdEquippedFt) << ',' << int(r.nmacEquipped) << ',' << Number(r.firstTaS) << ',' << Number(r.firstRaS)
    << ',' << r.RaCount() << ',' << durations << ',' << int(r.crossing) << ',' << int(r.reversal) << ',';
  return s.str();
}

void WriteResultRow(std::ostream& out, const EncounterRow& row) { out << ResultLine(row) << '\n'; }

EncounterRow ParseResultLine(const std::string& line, const std::string& where) {
  const std::vector<std::string> f = Split(line, ',');
  if (static_cast<int>(f.size()) != kColumns - 1)
    throw std::runtime_error(where + ": has " + std::to_string(f.size()) + " fields, not " +
                             std::to_string(kColumns - 1));
  const auto number = [&](size_t i, const char* name) {
    char* end = nullptr;
    const double v = std::strtod(f[i].c_str(), &end);
    if (f[i].empty() || end != f[i].c_str() + f[i].size() || !std::isfinite(v))
      throw std::runtime_error(where + ": " + name + " \"" + f[i] + "\" is not a number");
    return v;
  };
  const auto optional = [&](size_t i, const char* name) -> std::optional<double> {
    if (f[i].empty()) return std::nullopt;
    return number(i, name);
  };
  const auto flag = [&](size_t i, const char* name) {
    if (f[i] != "0" && f[i] != "1")
      throw std::runtime_error(where + ": " + name + " must be 0 or 1, not \"" + f[i] + "\"");
    return f[i] == "1";
  };
  EncounterRow r;
  const double index = number(0, "index");
  if (index < 0 || index != std::floor(index) || index > 1e9)
    throw std::runtime_error(where + ": index must be a whole number");
  r.index = static_cast<int>(index);
  r.encounter = f[1];
  if (r.encounter.empty()) throw std::runtime_error(where + ": the encounter has no name");
  r.error = f[16];
  if (!r.error.empty()) return r;
  r.ownAltitudeFt = number(2, "ownAltitudeFt");
  const double level = number(3, "sensitivityLevel");
  if (level < 2 || level > 7 || level != std::floor(level))
    throw std::runtime_error(where + ": sensitivityLevel must be a whole number from 2 to 7, not \"" + f[3] + "\"");
  r.sensitivityLevel = static_cast<int>(level);
  r.hmdUnequippedFt = number(4, "hmdUnequippedFt");
  r.vmdUnequippedFt = number(5, "vmdUnequippedFt");
  r.nmacUnequipped = flag(6, "nmacUnequipped");
  r.hmdEquippedFt = number(7, "hmdEquippedFt");
  r.vmdEquippedFt = number(8, "vmdEquippedFt");
  r.nmacEquipped = flag(9, "nmacEquipped");
  r.firstTaS = optional(10, "firstTaS");
  r.firstRaS = optional(11, "firstRaS");
  const double count = number(12, "raCount");
  if (!f[13].empty()) {
    std::string list = f[13];
    r.lastRaCut = list.back() == '+';  // only the last advisory can run into the recording's end
    if (r.lastRaCut) list.pop_back();
    for (const std::string& d : Split(list, ';')) {
      char* end = nullptr;
      const double v = std::strtod(d.c_str(), &end);
      if (d.empty() || end != d.c_str() + d.size() || !std::isfinite(v) || v < 0)
        throw std::runtime_error(where + ": raDurationsS \"" + f[13] + "\" is not a list of durations");
      r.raDurationsS.push_back(v);
    }
  }
  if (count != r.RaCount()) throw std::runtime_error(where + ": raCount does not match the durations listed");
  r.crossing = flag(14, "crossing");
  r.reversal = flag(15, "reversal");
  return r;
}

std::vector<EncounterRow> ReadResults(const std::filesystem::path& file) {
  try {
    CheckInputFile(file, kMaxResultsBytes);
  } catch (const InputFileError& e) {
    throw std::runtime_error(file.string() + ":1: " + e.what());
  }
  std::ifstream in(file);
  if (!in) throw std::runtime_error(file.string() + ":1: cannot be read");
  std::vector<EncounterRow> rows;
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (lineNo == 1) {
      if (line.rfind("index,encounter,", 0) != 0)
        throw std::runtime_error(file.string() + ":1: not a results.csv header");
      continue;
    }
    if (line.empty()) continue;
    rows.push_back(ParseResultLine(line, file.string() + ":" + std::to_string(lineNo)));
  }
  if (lineNo == 0) throw std::runtime_error(file.string() + ":1: empty, not a results.csv");
  return rows;
}

}  // namespace kvr::host
