// Our own encounter generator: pairs of aircraft tracks that meet at a chosen closest approach, drawn from
// fixed distributions with a seeded generator, written as paired-track files.
//
// Every encounter lasts 110 s with the closest approach designed at 75 s, sampled at 1 Hz. Encounter k of a
// seed depends on the seed and k only, so a larger set begins with the smaller one. Drawn, in this order:
//  - own altitude at the closest approach (terrain at sea level, so feet AGL): 25 % within ±150 ft of one
//    of 1000, 1100, 1450 and 1750 ft (the logic's low-height boundaries); 15 % at an RVSM flight level
//    FL290 to FL410; the rest uniform 500 ft to 41000 ft;
//  - ground speeds of both aircraft uniform 100 to 500 kt; own track uniform 0 to 360 degrees;
//  - approach angle (intruder track minus own track at the closest approach) uniform 0 to 360 degrees;
//  - horizontal miss: with probability 0.4 uniform 0 to 0.1 NM, else uniform 0 to 2 NM, passing left or
//    right with equal chance; vertical miss: with probability 0.4 uniform 0 to 150 ft, else uniform 0 to
//    1500 ft, intruder above or below with equal chance (above when below would be under 200 ft). Close
//    passes are over-drawn on purpose so that a set of a thousand holds about a hundred NMACs;
//  - vertical rate of each aircraft: level with probability 0.5, else uniform -4000 to +4000 ft/min; a
//    climbing or descending aircraft levels off (at 0.25 g) with probability 0.3, at a time uniform over
//    10 to 85 s;
//  - a turn with probability 0.25 for each aircraft: 1.5 to 3 deg/s either way for 10 to 30 s, starting
//    10 to 70 s into the encounter; a speed change with probability 0.2: ±10 to 50 kt at 1 kt/s from 10
//    to 70 s.
// Neither aircraft descends below 100 ft: a path that would is held level there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "host/scenario/track.h"

namespace kvr::host {

struct GeneratedEncounter {
  std::string name;  // "enc_000001"
  std::vector<TrackSample> own, intruder;
  // The design point.
  double cpaTimeS = 0;
  double ownAltitudeFt = 0;
  double horizontalMissNm = 0;
  double verticalMissFt = 0;  // intruder minus own
  double approachAngleDeg = 0;
  std::string altitudeBand;  // "low-boundary", "rvsm" or "uniform"
};

inline constexpr double kGeneratedDurationS = 110.0;
inline constexpr double kGeneratedCpaTimeS = 75.0;

// Encounter `index` (from 1) of `seed`.
GeneratedEncounter GenerateEncounter(uint64_t seed, int index);

// Writes enc_000001.txt ... and encounters.csv (the design point of each) into `dir`, which is created.
// Calls `onWritten` after each file.
void WriteEncounterSet(const std::filesystem::path& dir, int count, uint64_t seed,
                       const std::function<void(int written)>& onWritten = {});

}  // namespace kvr::host
