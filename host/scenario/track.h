// A recorded or generated flight path: time-stamped positions and altitudes, optionally with ground
// speed, track angle and vertical rate, interpolated smoothly between samples (cubic Hermite on east,
// north and altitude; the slopes are the given rates where present, else centred differences of the
// neighbouring samples). Before the first and after the last sample the aircraft flies straight on at
// the end's velocity.
//
// Two file forms are read:
//  - a track CSV: a header naming the columns, then one row per sample:
//      timeS, eastNm, northNm (or latitudeDeg, longitudeDeg), altitudeFt
//      [, groundSpeedKt, trackDeg, verticalSpeedFpm]
//    in any order; lines starting with '#' are comments. Times are scenario seconds.
//  - a paired-track encounter: a header `NAME, east, north, alt, trk, gs, vs, time`, a units line
//    (`unitless, [ft], [ft], [ft], [rad], [ftps], [ftps], [s]`), then rows named OWNSHIP or INTRUDER:
//    feet east and north of a local origin, track in radians clockwise from true north, speeds in feet
//    per second. Times are shifted so that the earliest sample of either aircraft is scenario time 0.
// Both throw ScenarioError "FILE:LINE: reason" on a malformed line: a number that is not decimal ("0x10",
// "inf"), or a value outside the bounds below.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/traffic/geo.h"

namespace kvr::host {

// What an aircraft can do; a scenario or track value outside these is refused as damaged rather than flown.
inline constexpr double kMinAltitudeFt = -2000;
inline constexpr double kMaxAltitudeFt = 100000;
inline constexpr double kMaxSpeedKt = 2000;
inline constexpr double kMaxVerticalSpeedFpm = 20000;
// Bounds of a track file's other values: local positions within this of the origin, track angles within
// two turns either way, and times within this of zero (seconds since 1970 fit).
inline constexpr double kMaxTrackOffsetNm = 1000;
inline constexpr double kMaxTrackAngleDeg = 720;
inline constexpr double kMaxTrackTimeS = 1e10;

// The largest track or paired-track file read: a day of samples five times a second stays well under it.
inline constexpr uintmax_t kMaxTrackFileBytes = 64 * 1024 * 1024;

struct TrackSample {
  double timeS = 0;
  LocalPosition position;  // metres from the scenario's origin
  double altitudeFt = 0;   // true altitude, MSL
  std::optional<double> groundSpeedKt;
  std::optional<double> trackDeg;
  std::optional<double> verticalSpeedFpm;
};

struct TrackPoint {
  LocalPosition position;
  double altitudeFt = 0;
  double trackDeg = 0;  // [0, 360)
  double groundSpeedKt = 0;
  double verticalSpeedFpm = 0;
};

class Track {
 public:
  // `samples` in strictly increasing time, at least one. Throws std::invalid_argument otherwise.
  explicit Track(std::vector<TrackSample> samples);

  TrackPoint At(double timeS) const;
  double StartS() const { return samples_.front().timeS; }
  double EndS() const { return samples_.back().timeS; }
  const std::vector<TrackSample>& Samples() const { return samples_; }

 private:
  struct Slope {
    double eastMS, northMS, altitudeFtS;
  };
  std::vector<TrackSample> samples_;
  std::vector<Slope> slopes_;  // one per sample
};

// A track CSV; latitude and longitude are placed in `frame`.
std::shared_ptr<const Track> LoadTrackCsv(const std::filesystem::path& file, const LocalFrame& frame);
std::shared_ptr<const Track> ParseTrackCsv(const std::string& text, const std::filesystem::path& file,
                                           const LocalFrame& frame);

struct PairedTracks {
  std::shared_ptr<const Track> own;
  std::shared_ptr<const Track> intruder;
};
PairedTracks LoadPairedTracks(const std::filesystem::path& file);
PairedTracks ParsePairedTracks(const std::string& text, const std::filesystem::path& file);

// Writes a paired-track encounter (the form ParsePairedTracks reads), samples as given.
void WritePairedTracks(std::ostream& out, const std::vector<TrackSample>& own,
                       const std::vector<TrackSample>& intruder);

}  // namespace kvr::host
