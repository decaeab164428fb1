// Measures the logic on a generated encounter set and prints one Markdown table row per configuration:
// surveillance ideal or noisy, intruder unequipped or equipped (both follow their advisories). Each
// encounter is also flown with nobody manoeuvring, the reference for the risk ratio.
//   kvr_avertine_measure [-v] [SEED [COUNT]]      defaults: seed 1, 1000 encounters; -v lists failures
// With --onsets DIR it flies instead every paired-track file (*.txt) of DIR as recorded, advisories
// ignored, and counts the encounters whose first traffic and resolution advisories come within 2 s of
// the reference criteria's, up to the closest approach; -v lists the others. With --csv FILE it also
// writes one row per encounter: the closest approach of the recorded tracks (time, horizontal and
// vertical miss, own height), both onsets of each side, what either aircraft did before it, and the last
// moment the range was still shrinking (closingUntilS: a first alert after it comes once the two only
// draw apart; after the closest approach alone it may still precede a later, nearer pass).
//   kvr_avertine_measure [-v] --onsets DIR [--csv FILE]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/avertine/encounter_sim.h"
#include "tests/avertine/onsets.h"

namespace avertine_test {
namespace {

constexpr double kFlightS = 140.0;
bool g_verbose = false;  // list the encounters behind the failure figures

// Threatening encounters (small misses) mixed with wider ones that should not draw a resolution advisory,
// from 300 ft above the ground to 40000 ft, level, climbing and descending.
EncounterSpec Generate(Random& random) {
  EncounterSpec spec;
  if (random.Uniform(0.0, 1.0) < 0.3) {
    spec.groundFt = random.Uniform(0.0, 4000.0);
    spec.ownAltitudeFt = spec.groundFt + random.Uniform(300.0, 2600.0);
  } else {
    spec.ownAltitudeFt = random.Uniform(2600.0, 40000.0);
  }
  spec.ownSpeedKt = random.Uniform(120.0, 480.0);
  spec.intruderSpeedKt = random.Uniform(100.0, 480.0);
  spec.intruderCourseDeg = random.Uniform(0.0, 360.0);
  spec.ownVerticalRateFpm = random.Uniform(0.0, 1.0) < 0.5 ? 0.0 : random.Uniform(-2500.0, 2500.0);
  spec.intruderVerticalRateFpm = random.Uniform(0.0, 1.0) < 0.5 ? 0.0 : random.Uniform(-2500.0, 2500.0);
  const bool threat = random.Uniform(0.0, 1.0) < 0.6;
  spec.missDistanceNm = threat ? random.Uniform(0.0, 0.15) : random.Uniform(0.0, 2.5);
  spec.verticalMissFt = threat ? random.Uniform(-250.0, 250.0) : random.Uniform(-1600.0, 1600.0);
  spec.timeToCpaS = 100.0;
  // Keep the own aircraft above the ground over the whole flight.
  const double lowestFt = spec.ownAltitudeFt + std::min(0.0, spec.ownVerticalRateFpm) * kFlightS / 60.0;
  if (lowestFt < spec.groundFt + 300.0) spec.ownVerticalRateFpm = 0.0;
  const double intruderLowestFt =
      spec.ownAltitudeFt + spec.verticalMissFt - std::fabs(spec.intruderVerticalRateFpm) * kFlightS / 60.0;
  if (intruderLowestFt < spec.groundFt) spec.intruderVerticalRateFpm = 0.0;
  return spec;
}

struct Figures {
  int nmacReference = 0, nmac = 0, nmacReferenceHigh = 0, nmacHigh = 0, induced = 0;
  int unalerted = 0;  // reference NMACs during which the own aircraft got neither TA nor RA
  int wide = 0, wideWithRa = 0, advisories = 0, shortAdvisories = 0, lateAdvisories = 0;
};

void Measure(uint64_t seed, int count, bool noisy, bool equipped, Figures* f) {
  Random random(seed);
  for (int i = 0; i < count; ++i) {
    EncounterSpec spec = Generate(random);
    const EncounterResult reference = FlyEncounter(spec, Pilot::Ignores, kFlightS);
    spec.intruderEquipped = equipped;
    if (noisy) spec.surveillance = Surveillance{50.0, 3.0, 100.0, seed * 7919 + static_cast<uint64_t>(i)};
    const EncounterResult flown = FlyEncounter(spec, Pilot::Follows, kFlightS);
    const bool high = reference.cpaOwnHeightFt > 1000.0;
    f->nmacReference += reference.nearMidAirCollision;
    f->nmac += flown.nearMidAirCollision;
    f->nmacReferenceHigh += reference.nearMidAirCollision && high;
    f->nmacHigh += flown.nearMidAirCollision && high;
    f->induced += flown.nearMidAirCollision && !reference.nearMidAirCollision;
    bool alerted = false;
    for (const FrameLog& frame : flown.frames) {
      alerted |= frame.intruderValid && (frame.intruderClass == kvr::ThreatClass::TrafficAdvisory ||
                                         frame.intruderClass == kvr::ThreatClass::ResolutionAdvisory);
    }
    f->unalerted += reference.nearMidAirCollision && !alerted;
    if (g_verbose) {
      for (const EncounterResult::Episode& e : flown.advisories) {
        if ((e.endedS < kFlightS && e.endedS - e.postedS <= 3.0) || e.postedS > reference.cpaTimeS) {
          std::printf(
              "  #%d RA %.0f-%.0f s, CPA %.1f s: own %.0f ft (%.0f AGL) %.0f kt %.0f ft/min, intruder %.0f kt "
              "%.0f deg %+.0f ft %.0f ft/min, miss %.2f NM\n",
              i, e.postedS, e.endedS, reference.cpaTimeS, spec.ownAltitudeFt, spec.ownAltitudeFt - spec.groundFt,
              spec.ownSpeedKt, spec.ownVerticalRateFpm, spec.intruderSpeedKt, spec.intruderCourseDeg,
              spec.verticalMissFt, spec.intruderVerticalRateFpm, spec.missDistanceNm);
        }
      }
      if (flown.nearMidAirCollision || (reference.nearMidAirCollision && !alerted)) {
        std::printf(
            "  #%d %s: own %.0f ft (%.0f AGL) %.0f kt %.0f ft/min, intruder %.0f kt %.0f deg %+.0f ft %.0f ft/min, "
            "miss %.2f NM; vertical at CPA %.0f -> %.0f ft, first RA %d\n",
            i,
            !alerted                        ? "unalerted"
            : reference.nearMidAirCollision ? "unresolved"
                                            : "induced",
            spec.ownAltitudeFt, spec.ownAltitudeFt - spec.groundFt, spec.ownSpeedKt, spec.ownVerticalRateFpm,
            spec.intruderSpeedKt, spec.intruderCourseDeg, spec.verticalMissFt, spec.intruderVerticalRateFpm,
            spec.missDistanceNm, reference.cpaVerticalFt, flown.cpaVerticalFt, flown.FirstResolutionAural());
        std::printf("     CPA height %.0f ft, messages:", reference.cpaOwnHeightFt);
        for (const FrameLog& frame : flown.frames) {
          if (frame.auralCode != 0) std::printf(" %.0f:%d", frame.timeS, frame.auralCode);
        }
        std::printf("\n");
      }
    }
    if (reference.cpaRangeNm > 1.5 || reference.cpaVerticalFt > 1200.0) {
      ++f->wide;
      f->wideWithRa += !flown.advisories.empty();
    }
    for (const EncounterResult::Episode& e : flown.advisories) {
      ++f->advisories;
      f->shortAdvisories += e.endedS < kFlightS && e.endedS - e.postedS <= 3.0;  // ended, and soon
      f->lateAdvisories += e.postedS > reference.cpaTimeS;
    }
  }
}

std::string Ratio(int numerator, int denominator) {
  if (denominator == 0) return "-";
  char text[64];
  std::snprintf(text, sizeof text, "%.3f (%d/%d)", static_cast<double>(numerator) / denominator, numerator,
                denominator);
  return text;
}

// One paired-track file: "NAME, east, north, alt, trk, gs, vs, time" rows after two header lines, in ft,
// rad, ft/s and s, for OWNSHIP and INTRUDER, sampled at the same whole seconds.
struct PairedTracks {
  std::map<long, Aircraft> own, intruder;
};

bool ReadPairedTracks(const std::filesystem::path& path, PairedTracks* tracks) {
  constexpr double kFtPerNm = 6076.12;
  constexpr double kDegPerRad = 57.29577951308232;
  std::ifstream in(path);
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    if (++lineNumber <= 2 || line.find_first_not_of(" \t\r") == std::string::npos) continue;
    std::replace(line.begin(), line.end(), ',', ' ');
    std::istringstream fields(line);
    std::string name;
    double east, north, alt, trk, gs, vs, time;
    if (!(fields >> name >> east >> north >> alt >> trk >> gs >> vs >> time)) {
      std::fprintf(stderr, "%s:%d: expected NAME and seven numbers\n", path.string().c_str(), lineNumber);
      return false;
    }
    Aircraft a;
    a.northNm = north / kFtPerNm;
    a.eastNm = east / kFtPerNm;
    a.altitudeFt = alt;
    a.trackDeg = trk * kDegPerRad;
    a.groundSpeedKt = gs * 3600.0 / kFtPerNm;
    a.verticalRateFpm = vs * 60.0;
    if (std::fabs(time - std::round(time)) > 1e-6) continue;  // the logic runs once a second
    (name == "OWNSHIP" ? tracks->own : tracks->intruder)[std::lround(time)] = a;
  }
  return !tracks->own.empty() && !tracks->intruder.empty();
}

// The closest approach of two sampled tracks, the relative motion taken as straight between samples:
// its time, horizontal range and the vertical separation and own altitude at that moment.
struct ClosestApproach {
  double timeS = 0.0, rangeNm = std::numeric_limits<double>::infinity(), verticalFt = 0.0, ownAltitudeFt = 0.0;
};

ClosestApproach ClosestApproachOf(const PairedTracks& tracks) {
  ClosestApproach best;
  const Aircraft* previousOwn = nullptr;
  const Aircraft* previousIntruder = nullptr;
  long previousS = 0;
  const auto consider = [&](double timeS, const Aircraft& o0, const Aircraft& i0, const Aircraft& o1,
                            const Aircraft& i1, double f) {
    const double n = (i0.northNm - o0.northNm) * (1 - f) + (i1.northNm - o1.northNm) * f;
    const double e = (i0.eastNm - o0.eastNm) * (1 - f) + (i1.eastNm - o1.eastNm) * f;
    const double rangeNm = std::hypot(n, e);
    if (rangeNm < best.rangeNm) {
      best.rangeNm = rangeNm;
      best.timeS = timeS;
      best.verticalFt = std::fabs((i0.altitudeFt - o0.altitudeFt) * (1 - f) + (i1.altitudeFt - o1.altitudeFt) * f);
      best.ownAltitudeFt = o0.altitudeFt * (1 - f) + o1.altitudeFt * f;
    }
  };
  for (const auto& [timeS, own] : tracks.own) {
    const auto intruder = tracks.intruder.find(timeS);
    if (intruder == tracks.intruder.end()) continue;
    if (previousOwn != nullptr) {
      // The least range over the interval of a straight relative motion.
      const double n0 = previousIntruder->northNm - previousOwn->northNm;
      const double e0 = previousIntruder->eastNm - previousOwn->eastNm;
      const double dn = intruder->second.northNm - own.northNm - n0;
      const double de = intruder->second.eastNm - own.eastNm - e0;
      const double speed2 = dn * dn + de * de;
      const double f = speed2 > 0.0 ? std::clamp(-(n0 * dn + e0 * de) / speed2, 0.0, 1.0) : 0.0;
      const double dtS = static_cast<double>(timeS - previousS);
      consider(static_cast<double>(previousS) + f * dtS, *previousOwn, *previousIntruder, own, intruder->second, f);
    } else {
      consider(static_cast<double>(timeS), own, intruder->second, own, intruder->second, 0.0);
    }
    previousOwn = &own;
    previousIntruder = &intruder->second;
    previousS = timeS;
  }
  return best;
}

// What an aircraft did up to `untilS`: a turn (track change over 2 degrees in a second), a change of
// vertical rate (over 100 ft/min in a second) or of ground speed (over 0.5 kt in a second).
std::string Manoeuvres(const std::map<long, Aircraft>& track, double untilS) {
  bool turn = false, vertical = false, speed = false;
  const Aircraft* previous = nullptr;
  for (const auto& [timeS, a] : track) {
    if (timeS > untilS) break;
    if (previous != nullptr) {
      turn |= std::fabs(std::remainder(a.trackDeg - previous->trackDeg, 360.0)) > 2.0;
      vertical |= std::fabs(a.verticalRateFpm - previous->verticalRateFpm) > 100.0;
      speed |= std::fabs(a.groundSpeedKt - previous->groundSpeedKt) > 0.5;
    }
    previous = &a;
  }
  std::string text;
  if (turn) text += "turn ";
  if (vertical) text += "vertical ";
  if (speed) text += "speed ";
  if (!text.empty()) text.pop_back();
  return text.empty() ? "straight" : text;
}

std::string Seconds(const std::optional<double>& timeS) {
  if (!timeS) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", *timeS);
  return text;
}

// Flies every encounter of `folder` as recorded (terrain at sea level) and prints the onset agreement;
// with `csvPath` set, also writes the per-encounter rows described at the top of this file.
int MeasureOnsets(const std::filesystem::path& folder, const std::filesystem::path& csvPath) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == ".txt") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::ofstream csv;
  if (!csvPath.empty()) {
    csv.open(csvPath);
    if (!csv) {
      std::fprintf(stderr, "kvr_avertine_measure: cannot write %s\n", csvPath.string().c_str());
      return 1;
    }
    csv << "encounter,cpaTimeS,cpaRangeNm,cpaVerticalFt,cpaOwnAltitudeFt,libraryTaS,libraryRaS,criteriaTaS,"
           "criteriaRaS,own,intruder,closingUntilS\n";
  }
  int encounters = 0, trafficAgree = 0, resolutionAgree = 0, withResolution = 0;
  for (const std::filesystem::path& file : files) {
    PairedTracks tracks;
    if (!ReadPairedTracks(file, &tracks)) return 1;
    LogicDriver driver;
    std::vector<FrameLog> frames;
    std::vector<Aircraft> traffic(1);
    double cpaS = 0.0;
    double cpaRangeNm = std::numeric_limits<double>::infinity();
    double previousRangeNm = std::numeric_limits<double>::infinity();
    double closingUntilS = 0.0;
    for (const auto& [timeS, own] : tracks.own) {
      const auto intruder = tracks.intruder.find(timeS);
      if (intruder == tracks.intruder.end()) continue;
      traffic[0] = intruder->second;
      traffic[0].id = 0x00A1B2C3u;
      driver.Frame(own, traffic, 0.0);
      FrameLog log;
      log.timeS = static_cast<double>(timeS);
      log.intruderClass = driver.ClassOf(0);
      log.intruderValid = driver.Entry(0).valid != 0;
      log.own = own;
      log.intruder = traffic[0];
      frames.push_back(log);
      const double rangeNm = std::hypot(own.northNm - traffic[0].northNm, own.eastNm - traffic[0].eastNm);
      if (rangeNm < cpaRangeNm) {
        cpaRangeNm = rangeNm;
        cpaS = log.timeS;
      }
      if (rangeNm < previousRangeNm) closingUntilS = log.timeS;
      previousRangeNm = rangeNm;
    }
    const ClosestApproach cpa = ClosestApproachOf(tracks);
    const Onsets library = LibraryOnsets(frames, cpaS);
    const Onsets oracle = OracleOnsets(frames, 0.0, cpaS);
    if (csv.is_open()) {
      char text[160];
      std::snprintf(text, sizeof text, "%.2f,%.4f,%.1f,%.0f", cpa.timeS, cpa.rangeNm, cpa.verticalFt,
                    cpa.ownAltitudeFt);
      csv << file.stem().string() << ',' << text << ',' << Seconds(library.traffic) << ','
          << Seconds(library.resolution) << ',' << Seconds(oracle.traffic) << ',' << Seconds(oracle.resolution) << ','
          << Manoeuvres(tracks.own, cpa.timeS) << ',' << Manoeuvres(tracks.intruder, cpa.timeS) << ',' << closingUntilS
          << '\n';
    }
    const bool ta = OnsetsAgree(library.traffic, oracle.traffic);
    const bool ra = OnsetsAgree(library.resolution, oracle.resolution);
    ++encounters;
    trafficAgree += ta;
    resolutionAgree += ra;
    withResolution += oracle.resolution.has_value();
    if (g_verbose && (!ta || !ra)) {
      std::printf("  %s: TA %.0f / %.0f, RA %.0f / %.0f (library / reference, -1 none; CPA %.0f s)\n",
                  file.stem().string().c_str(), library.traffic.value_or(-1), oracle.traffic.value_or(-1),
                  library.resolution.value_or(-1), oracle.resolution.value_or(-1), cpaS);
    }
  }
  std::printf(
      "onset within 2 s of the reference criteria, %d encounters of %s: TA %s, RA %s (%d with a "
      "reference RA)\n",
      encounters, folder.string().c_str(), Ratio(trafficAgree, encounters).c_str(),
      Ratio(resolutionAgree, encounters).c_str(), withResolution);
  return 0;
}

}  // namespace
}  // namespace avertine_test

int main(int argc, char** argv) {
  using namespace avertine_test;
  if (argc > 1 && std::string(argv[1]) == "-v") {
    g_verbose = true;
    --argc;
    ++argv;
  }
  if (argc > 1 && std::string(argv[1]) == "--onsets") {
    const bool withCsv = argc == 5 && std::string(argv[3]) == "--csv";
    if (argc != 3 && !withCsv) {
      std::fprintf(stderr, "usage: kvr_avertine_measure [-v] --onsets DIR [--csv FILE]\n");
      return 2;
    }
    return MeasureOnsets(argv[2], withCsv ? argv[4] : "");
  }
  const uint64_t seed = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1;
  const int count = argc > 2 ? std::atoi(argv[2]) : 1000;
  std::printf(
      "| surveillance | intruder | risk ratio | risk ratio > 1000 ft AGL | induced NMACs | RA rate, wide misses "
      "| unalerted NMACs | RAs | RAs ending <= 3 s | RAs posted after CPA "
      "|\n|---|---|---|---|---|---|---|---|---|---|\n");
  for (const bool noisy : {false, true}) {
    for (const bool equipped : {false, true}) {
      Figures f;
      Measure(seed, count, noisy, equipped, &f);
      std::printf("| %s | %s | %s | %s | %d | %s | %d | %d | %d | %d |\n", noisy ? "noisy" : "ideal",
                  equipped ? "equipped" : "unequipped", Ratio(f.nmac, f.nmacReference).c_str(),
                  Ratio(f.nmacHigh, f.nmacReferenceHigh).c_str(), f.induced, Ratio(f.wideWithRa, f.wide).c_str(),
                  f.unalerted, f.advisories, f.shortAdvisories, f.lateAdvisories);
    }
  }
  return 0;
}
