// Reading a scenario file: toml++ parses it, and each table is then read through a `Fields` reader that
// knows which keys it has taken, so that every missing, mistyped, out-of-range or unknown key is reported
// with its own line before anything runs.
#include "host/scenario/scenario.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>

#include "host/input_file.h"
#include "host/panel_config.h"
#include "host/scenario/toml_fields.h"
#include "host/scenario/toml_prescan.h"

namespace kvr::host {
namespace {

using toml_fields::Fields;
using toml_fields::Reader;

constexpr char kSelectorPrefix[] = "KVR_TCAS!IVSI.";
constexpr const char* kSelectorNames[] = {"redraw",      "power",      "lit",         "vsi_flag",
                                          "range_index", "mode_index", "above_below", "absolute_relative"};
constexpr double kMaxDurationS = 24 * 3600.0;

std::vector<ManoeuvreSpec> ReadManoeuvres(const Reader& reader, Fields& owner, const std::string& where) {
  std::vector<ManoeuvreSpec> manoeuvres;
  for (const toml::table* table : owner.Tables("manoeuvre")) {
    Fields f(reader, *table, where + ".manoeuvre");
    ManoeuvreSpec m;
    m.timeS = f.Number("timeS", 0, kMaxDurationS);
    m.verticalSpeedFpm = f.OptionalNumber("verticalSpeedFpm", -kMaxVerticalSpeedFpm, kMaxVerticalSpeedFpm);
    m.verticalAccelerationG = f.Number("verticalAccelerationG", 0.01, 3.0, m.verticalAccelerationG);
    m.headingDeg = f.OptionalNumber("headingDeg", 0, 360);
    m.turnRateDegS = f.Number("turnRateDegS", 0.1, 30.0, m.turnRateDegS);
    if (auto turn = f.OptionalText("turn")) {
      if (*turn == "shortest") m.turn = TurnDirection::Shortest;
      else if (*turn == "left") m.turn = TurnDirection::Left;
      else if (*turn == "right") m.turn = TurnDirection::Right;
      else
        f.Fail("turn",
               "'" + where + ".manoeuvre.turn' must be \"shortest\", \"left\" or \"right\", not \"" + *turn + "\"");
    }
    m.groundSpeedKt = f.OptionalNumber("groundSpeedKt", 0, kMaxSpeedKt);
    m.accelerationKtS = f.Number("accelerationKtS", 0.1, 50.0, m.accelerationKtS);
    if (!m.verticalSpeedFpm && !m.headingDeg && !m.groundSpeedKt)
      reader.Fail(f.Line(), "a manoeuvre needs verticalSpeedFpm, headingDeg or groundSpeedKt");
    f.Finish();
    manoeuvres.push_back(m);
  }
  std::stable_sort(manoeuvres.begin(), manoeuvres.end(),
                   [](const ManoeuvreSpec& a, const ManoeuvreSpec& b) { return a.timeS < b.timeS; });
  return manoeuvres;
}

// The own aircraft on a track (its own CSV, or the paired file's): only the origin, terrain and return
// rate may be given beside it.
OwnSpec ReadOwnOnTrack(const Reader& reader, Fields& f, const std::filesystem::path& dir,
                       std::shared_ptr<const Track> pairedTrack) {
  OwnSpec own;
  own.latitudeDeg = f.Number("latitudeDeg", -85, 85, 0.0);
  own.longitudeDeg = f.Number("longitudeDeg", -180, 180, 0.0);
  if (pairedTrack) {
    if (f.Has("track"))
      f.Fail("track", "'own.track' conflicts with pairedTracks: the own aircraft follows the paired file");
    own.track = std::move(pairedTrack);
  } else {
    own.track = LoadTrackCsv(dir / f.Text("track"), LocalFrame({own.latitudeDeg, own.longitudeDeg}));
  }
  own.trackReturnFpm = f.Number("trackReturnFpm", 100, 6000, own.trackReturnFpm);
  for (const char* key : {"pressureAltitudeFt", "trueAltitudeFt", "headingDeg", "groundSpeedKt", "verticalSpeedFpm",
                          "altimeterInHg", "manoeuvre"})
    if (f.Has(key)) f.Fail(key, std::string("'own.") + key + "' conflicts with the own aircraft's track");
  const TrackPoint start = own.track->At(0.0);
  own.pressureAltitudeFt = own.trueAltitudeFt = start.altitudeFt;
  own.headingDeg = start.trackDeg;
  own.groundSpeedKt = start.groundSpeedKt;
  own.verticalSpeedFpm = start.verticalSpeedFpm;
  own.terrainElevationFt = f.Number("terrainElevationFt", -1500, 30000, 0.0);
  own.altimeterInHg = 29.92;
  (void)reader;
  f.Finish();
  return own;
}

OwnSpec ReadOwn(const Reader& reader, const toml::table& table, const std::filesystem::path& dir,
                std::shared_ptr<const Track> pairedTrack) {
  Fields f(reader, table, "own");
  if (pairedTrack || f.Has("track")) return ReadOwnOnTrack(reader, f, dir, std::move(pairedTrack));
  f.Number("trackReturnFpm", 100, 6000, 0.0);  // harmless without a track
  OwnSpec own;
  own.latitudeDeg = f.Number("latitudeDeg", -85, 85);
  own.longitudeDeg = f.Number("longitudeDeg", -180, 180);
  own.pressureAltitudeFt = f.Number("pressureAltitudeFt", kMinAltitudeFt, kMaxAltitudeFt);
  own.trueAltitudeFt = f.Number("trueAltitudeFt", kMinAltitudeFt, kMaxAltitudeFt, own.pressureAltitudeFt);
  own.terrainElevationFt = f.Number("terrainElevationFt", -1500, 30000, 0.0);
  if (own.terrainElevationFt > own.trueAltitudeFt)
    f.Fail("terrainElevationFt", "'own.terrainElevationFt' lies above the own aircraft's true altitude");
  own.headingDeg = f.Number("headingDeg", 0, 360);
  own.groundSpeedKt = f.Number("groundSpeedKt", 0, kMaxSpeedKt);
  own.verticalSpeedFpm = f.Number("verticalSpeedFpm", -kMaxVerticalSpeedFpm, kMaxVerticalSpeedFpm, 0.0);
  // By default the altimeter is set so that it reads the true altitude (a local QNH setting).
  own.altimeterInHg =
      f.Number("altimeterInHg", 25.0, 35.0, 29.92 + (own.trueAltitudeFt - own.pressureAltitudeFt) / 1000.0);
  own.manoeuvres = ReadManoeuvres(reader, f, "own");
  f.Finish();
  return own;
}

IntruderSpec ReadIntruder(const Reader& reader, const toml::table& table, const std::filesystem::path& dir,
                          const LocalFrame& frame, std::shared_ptr<const Track> pairedTrack) {
  Fields f(reader, table, "intruder");
  IntruderSpec in;
  in.line = f.Line();
  in.id = static_cast<uint32_t>(f.Integer("id", 1, INT32_MAX));  // the traffic service hands ids out as int32
  in.callsign = f.OptionalText("callsign").value_or("");
  if (in.callsign.size() > 17) f.Fail("callsign", "'intruder.callsign' is longer than 17 characters");
  in.altitudeUnreadable = f.Flag("altitudeUnreadable", false);
  in.equipped = f.Flag("equipped", false);
  const bool placed =
      f.Has("encounter") || f.Has("track") || f.Has("latitudeDeg") || f.Has("eastNm") || f.Has("northNm");
  if (pairedTrack && !placed) {
    in.track = std::move(pairedTrack);
  } else if (f.Has("track")) {
    for (const char* key : {"encounter", "latitudeDeg", "longitudeDeg", "eastNm", "northNm", "altitudeFt", "headingDeg",
                            "groundSpeedKt", "verticalSpeedFpm", "manoeuvre"})
      if (f.Has(key)) f.Fail(key, std::string("'intruder.") + key + "' conflicts with 'intruder.track'");
    in.track = LoadTrackCsv(dir / f.Text("track"), frame);
  } else if (const toml::table* e = f.OptionalTable("encounter")) {
    Fields g(reader, *e, "intruder.encounter");
    EncounterSpec enc;
    enc.cpaTimeS = g.Number("cpaTimeS", 0, kMaxDurationS);
    enc.horizontalMissNm = g.Number("horizontalMissNm", -100, 100);
    enc.verticalMissFt = g.Number("verticalMissFt", -50000, 50000);
    enc.approachAngleDeg = g.Number("approachAngleDeg", -360, 360);
    enc.groundSpeedKt = g.Number("groundSpeedKt", 0, kMaxSpeedKt);
    enc.verticalSpeedFpm = g.Number("verticalSpeedFpm", -kMaxVerticalSpeedFpm, kMaxVerticalSpeedFpm, 0.0);
    g.Finish();
    in.encounter = enc;
    for (const char* key : {"latitudeDeg", "longitudeDeg", "eastNm", "northNm", "altitudeFt", "headingDeg",
                            "groundSpeedKt", "verticalSpeedFpm", "manoeuvre"})
      if (f.Has(key))
        f.Fail(key, std::string("'intruder.") + key +
                        "' conflicts with [intruder.encounter]: an intruder starts either from an encounter or from a "
                        "position");
  } else {
    if (f.Has("eastNm") || f.Has("northNm")) {
      for (const char* key : {"latitudeDeg", "longitudeDeg"})
        if (f.Has(key))
          f.Fail(key, std::string("'intruder.") + key + "' conflicts with eastNm/northNm: give the start one way");
      in.eastNm = f.Number("eastNm", -500, 500, 0.0);
      in.northNm = f.Number("northNm", -500, 500, 0.0);
    } else {
      in.latitudeDeg = f.Number("latitudeDeg", -85, 85);
      in.longitudeDeg = f.Number("longitudeDeg", -180, 180);
    }
    in.altitudeFt = f.Number("altitudeFt", kMinAltitudeFt, kMaxAltitudeFt);
    in.headingDeg = f.Number("headingDeg", 0, 360);
    in.groundSpeedKt = f.Number("groundSpeedKt", 0, kMaxSpeedKt);
    in.verticalSpeedFpm = f.Number("verticalSpeedFpm", -kMaxVerticalSpeedFpm, kMaxVerticalSpeedFpm, 0.0);
    in.manoeuvres = ReadManoeuvres(reader, f, "intruder");
  }
  f.Finish();
  return in;
}

Interval ReadInterval(Fields& f, const char* what, double durationS) {
  Interval interval;
  interval.startS = f.Number("startS", 0, kMaxDurationS);
  interval.endS = f.Number("endS", 0, kMaxDurationS);
  if (interval.endS <= interval.startS) f.Fail("endS", std::string("'") + what + ".endS' must come after its startS");
  if (interval.startS >= durationS)
    f.Fail("startS", std::string("'") + what + ".startS' lies after the end of the scenario");
  return interval;
}

// The file's shape is checked before toml++ sees it: nesting and intruder count bound what parsing costs.
toml::table ParseToml(const Reader& reader, const std::string& text) {
  const TomlPreScan shape = PreScanToml(text, kMaxScenarioNesting, "intruder", kMaxIntruders);
  if (shape.tooDeepLine != 0)
    reader.Fail(shape.tooDeepLine, "nesting deeper than " + std::to_string(kMaxScenarioNesting));
  if (shape.tooManyLine != 0)
    reader.Fail(shape.tooManyLine, "more than " + std::to_string(kMaxIntruders) + " intruders");
  try {
    return toml::parse(text, std::string_view(reader.File().string()));
  } catch (const toml::parse_error& e) {
    reader.Fail(e.source(), std::string(e.description()));
  }
}

// The name (it names the output folder), the panel beside the file, and the traffic feed.
void ReadNameAndPanel(Fields& f, Scenario& s) {
  s.name = f.OptionalText("name").value_or(s.file.stem().string());
  if (s.name.empty() || s.name.find_first_of("/\\") != std::string::npos || s.name == "." || s.name == "..")
    f.Fail("name", "'name' must be a plain non-empty name (it names the output folder)");

  const std::string panel = f.Text("panel");
  s.panelFile = s.file.parent_path() / panel;
  try {
    CheckInputFile(s.panelFile, kMaxPanelConfigBytes);
  } catch (const InputFileError& e) {
    f.Fail("panel", "panel file " + s.panelFile.string() + ": " + e.what());
  }

  const std::string feed = f.OptionalText("feed").value_or("fsuipc");
  if (feed == "fsuipc") s.feed = TrafficFeed::Fsuipc;
  else if (feed == "trafficinfo") s.feed = TrafficFeed::TrafficInfo;
  else f.Fail("feed", "'feed' must be \"fsuipc\" or \"trafficinfo\", not \"" + feed + "\"");
}

// The paired tracks, if any, and the duration (by default as long as the paired tracks) and frame rate.
PairedTracks ReadTiming(Fields& f, Scenario& s) {
  PairedTracks paired;
  if (auto pairedFile = f.OptionalText("pairedTracks")) paired = LoadPairedTracks(s.file.parent_path() / *pairedFile);
  if (paired.own) {
    const double endS = std::max(paired.own->EndS(), paired.intruder->EndS());
    s.durationS = f.Number("durationS", 0.1, kMaxDurationS, std::clamp(endS, 0.1, kMaxDurationS));
  } else {
    s.durationS = f.Number("durationS", 0.1, kMaxDurationS);
  }
  s.frameRateHz = f.Number("frameRateHz", 1, 1000, s.frameRateHz);
  return paired;
}

// The squawk, written in octal digits and kept as the BCD the transponder variable holds, and the
// interrogation rate.
void ReadTransponder(Fields& f, Scenario& s) {
  if (auto code = f.OptionalInteger("transponderCode", 0, 7777)) {
    uint16_t bcd = 0;
    int64_t rest = *code;
    for (int digit = 0; digit < 4; ++digit, rest /= 10) {
      if (rest % 10 > 7) f.Fail("transponderCode", "'transponderCode' digits run from 0 to 7");
      bcd |= static_cast<uint16_t>((rest % 10) << (4 * digit));
    }
    s.transponderCodeBcd = bcd;
  }
  s.interrogationsPerS = f.Number("interrogationsPerS", 0, 1000, 0.0);
}

void ReadOwnAircraft(const Reader& reader, Fields& f, const PairedTracks& paired, Scenario& s) {
  const toml::table* own = f.OptionalTable("own");
  const toml::table noOwn;
  if (own == nullptr && !paired.own) f.Missing("own");
  s.own = ReadOwn(reader, own != nullptr ? *own : noOwn, s.file.parent_path(), paired.own);
}

void ReadSurveillance(const Reader& reader, Fields& f, Scenario& s) {
  const toml::table* table = f.OptionalTable("surveillance");
  if (table == nullptr) return;
  Fields p(reader, *table, "surveillance");
  SurveillanceSpec& sv = s.surveillance;
  sv.altitudeStepFt = p.Number("altitudeStepFt", 0, 1000, 0.0);
  sv.rangeSigmaFt = p.Number("rangeSigmaFt", 0, 100000, 0.0);
  sv.bearingSigmaDeg = p.Number("bearingSigmaDeg", 0, 180, 0.0);
  sv.replyLossRate = p.Number("replyLossRate", 0, 1, 0.0);
  sv.seed = static_cast<uint64_t>(p.OptionalInteger("seed", 0, INT64_MAX).value_or(1));
  p.Finish();
}

void ReadPilot(const Reader& reader, Fields& f, Scenario& s) {
  const toml::table* pilot = f.OptionalTable("pilot");
  if (pilot == nullptr) return;
  Fields p(reader, *pilot, "pilot");
  PilotSpec spec;
  spec.initialDelayS = p.Number("initialDelayS", 0, 60, spec.initialDelayS);
  spec.initialAccelerationG = p.Number("initialAccelerationG", 0.01, 3, spec.initialAccelerationG);
  spec.subsequentDelayS = p.Number("subsequentDelayS", 0, 60, spec.subsequentDelayS);
  spec.subsequentAccelerationG = p.Number("subsequentAccelerationG", 0.01, 3, spec.subsequentAccelerationG);
  p.Finish();
  s.pilot = spec;
}

// Every [[intruder]], each id once; the paired file's intruder, unless an [[intruder]] took its track,
// comes first with id 1.
void ReadIntruders(const Reader& reader, Fields& f, const PairedTracks& paired, Scenario& s) {
  const LocalFrame frame({s.own.latitudeDeg, s.own.longitudeDeg});
  std::set<uint32_t> ids;
  const auto intruders = f.Tables("intruder");
  if (intruders.size() > static_cast<size_t>(kMaxIntruders))
    f.Fail("intruder", "more than " + std::to_string(kMaxIntruders) + " intruders");
  std::shared_ptr<const Track> pairedIntruder = paired.intruder;
  for (const toml::table* table : intruders) {
    IntruderSpec intruder = ReadIntruder(reader, *table, s.file.parent_path(), frame, pairedIntruder);
    if (intruder.track == pairedIntruder) pairedIntruder.reset();
    if (!ids.insert(intruder.id).second)
      reader.Fail(intruder.line, "intruder id " + std::to_string(intruder.id) + " is used twice");
    s.intruders.push_back(std::move(intruder));
  }

  if (pairedIntruder) {
    if (!ids.insert(1).second)
      f.Fail("pairedTracks", "the paired intruder takes id 1, which an [[intruder]] already uses");
    IntruderSpec intruder;
    intruder.id = 1;
    intruder.callsign = "INTRUDER";
    intruder.track = pairedIntruder;
    s.intruders.insert(s.intruders.begin(), std::move(intruder));
  }
}

// Pauses, then slews; no two slews overlap, and no slew overlaps a pause.
void ReadPausesAndSlews(const Reader& reader, Fields& f, Scenario& s) {
  for (const toml::table* table : f.Tables("pause")) {
    Fields p(reader, *table, "pause");
    s.pauses.push_back(ReadInterval(p, "pause", s.durationS));
    p.Finish();
  }
  for (const toml::table* table : f.Tables("slew")) {
    Fields p(reader, *table, "slew");
    SlewSpec slew;
    slew.interval = ReadInterval(p, "slew", s.durationS);
    slew.northNm = p.Number("northNm", -500, 500, 0.0);
    slew.eastNm = p.Number("eastNm", -500, 500, 0.0);
    slew.climbFt = p.Number("climbFt", -50000, 50000, 0.0);
    p.Finish();
    for (const SlewSpec& other : s.slews)
      if (slew.interval.startS < other.interval.endS && other.interval.startS < slew.interval.endS)
        reader.Fail(p.Line(), "slew intervals overlap");
    for (const Interval& pause : s.pauses)
      if (slew.interval.startS < pause.endS && pause.startS < slew.interval.endS)
        reader.Fail(p.Line(), "a slew interval overlaps a pause");
    s.slews.push_back(slew);
  }
}

// The selector switches, in time order (those of one time in file order).
void ReadSwitches(const Reader& reader, Fields& f, Scenario& s) {
  for (const toml::table* table : f.Tables("switch")) {
    Fields p(reader, *table, "switch");
    SwitchSpec sw;
    sw.line = p.Line();
    sw.timeS = p.Number("timeS", 0, kMaxDurationS);
    const std::string variable = p.Text("variable");
    const auto name = SelectorVariableName(variable);
    if (!name)
      p.Fail("variable", "'switch.variable' \"" + variable +
                             "\" is not a selector variable (mode_index, range_index, above_below, absolute_relative, "
                             "power, lit, vsi_flag, redraw)");
    sw.variable = *name;
    sw.value = static_cast<int32_t>(p.Integer("value", INT32_MIN, INT32_MAX));
    p.Finish();
    s.switches.push_back(sw);
  }
  std::stable_sort(s.switches.begin(), s.switches.end(),
                   [](const SwitchSpec& a, const SwitchSpec& b) { return a.timeS < b.timeS; });
}

// The clicks, on a mouse area or at a point of a placed gauge, in time order.
void ReadClicks(const Reader& reader, Fields& f, Scenario& s) {
  for (const toml::table* table : f.Tables("click")) {
    Fields p(reader, *table, "click");
    ClickSpec click;
    click.line = p.Line();
    click.timeS = p.Number("timeS", 0, kMaxDurationS);
    click.gauge = p.Text("gauge");
    if (click.gauge.empty()) p.Fail("gauge", "'click.gauge' must name a placed gauge");
    click.index = static_cast<int>(p.OptionalInteger("index", 0, 255).value_or(0));
    const bool byArea = p.Has("area"), byPoint = p.Has("x") || p.Has("y");
    if (byArea && byPoint) p.Fail("area", "'click.area' conflicts with x and y: click on an area or at a point");
    if (byArea) {
      click.area = static_cast<int>(p.Integer("area", 0, 255));
    } else if (byPoint) {
      click.x = static_cast<int>(p.Integer("x", -10000, 10000));
      click.y = static_cast<int>(p.Integer("y", -10000, 10000));
    } else {
      reader.Fail(click.line, "a click needs x and y, or area");
    }
    const std::string button = p.OptionalText("button").value_or("left");
    if (button == "right") click.rightButton = true;
    else if (button != "left") p.Fail("button", "'click.button' must be \"left\" or \"right\", not \"" + button + "\"");
    p.Finish();
    s.clicks.push_back(click);
  }
  std::stable_sort(s.clicks.begin(), s.clicks.end(),
                   [](const ClickSpec& a, const ClickSpec& b) { return a.timeS < b.timeS; });
}

// The transponder head's power and lighting switches, in time order.
void ReadTransponderSwitches(const Reader& reader, Fields& f, Scenario& s) {
  for (const toml::table* table : f.Tables("transponder")) {
    Fields p(reader, *table, "transponder");
    TransponderSwitchSpec sw;
    sw.line = p.Line();
    sw.timeS = p.Number("timeS", 0, kMaxDurationS);
    if (p.Has("power")) sw.power = p.Flag("power", false);
    if (p.Has("lit")) sw.lit = p.Flag("lit", false);
    if (!sw.power && !sw.lit) reader.Fail(sw.line, "a transponder switch needs power or lit");
    p.Finish();
    s.transponderSwitches.push_back(sw);
  }
  std::stable_sort(s.transponderSwitches.begin(), s.transponderSwitches.end(),
                   [](const TransponderSwitchSpec& a, const TransponderSwitchSpec& b) { return a.timeS < b.timeS; });
}

}  // namespace

int Scenario::FrameCount() const { return std::max(1, static_cast<int>(std::lround(durationS * frameRateHz))); }

bool Scenario::Paused(double timeS) const {
  return std::any_of(pauses.begin(), pauses.end(), [&](const Interval& p) { return p.Contains(timeS); });
}

const SlewSpec* Scenario::SlewAt(double timeS) const {
  for (const SlewSpec& slew : slews)
    if (slew.interval.Contains(timeS)) return &slew;
  return nullptr;
}

std::optional<std::string> SelectorVariableName(const std::string& name) {
  const std::string prefix = kSelectorPrefix;
  const std::string shortName = name.rfind(prefix, 0) == 0 ? name.substr(prefix.size()) : name;
  for (const char* known : kSelectorNames)
    if (shortName == known) return prefix + known;
  return std::nullopt;
}

Scenario ParseScenario(const std::string& text, const std::filesystem::path& file) {
  const Reader reader(file);
  const toml::table root = ParseToml(reader, text);
  Fields f(reader, root, "");
  Scenario s;
  s.file = file;
  ReadNameAndPanel(f, s);
  const PairedTracks paired = ReadTiming(f, s);
  ReadTransponder(f, s);
  ReadOwnAircraft(reader, f, paired, s);
  ReadSurveillance(reader, f, s);
  ReadPilot(reader, f, s);
  ReadIntruders(reader, f, paired, s);
  ReadPausesAndSlews(reader, f, s);
  ReadSwitches(reader, f, s);
  ReadClicks(reader, f, s);
  ReadTransponderSwitches(reader, f, s);
  f.Finish();
  return s;
}

Scenario LoadScenario(const std::filesystem::path& file) {
  std::string text;
  try {
    text = ReadInputFile(file, kMaxScenarioBytes);
  } catch (const InputFileError& e) {
    throw ScenarioError(file.string() + ":1: " + e.what());
  }
  return ParseScenario(text, file);
}

}  // namespace kvr::host
