#include "host/scenario/track.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "host/input_file.h"
#include "host/scenario/scenario.h"

namespace kvr::host {
namespace {

constexpr double kKtPerFtS = kMetresPerFoot / kMetresPerSecondPerKnot;

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  for (std::string f; std::getline(in, f, ',');) fields.push_back(Trim(f));
  if (!line.empty() && line.back() == ',') fields.emplace_back();
  return fields;
}

[[noreturn]] void Fail(const std::filesystem::path& file, int line, const std::string& reason) {
  throw ScenarioError(file.string() + ":" + std::to_string(line) + ": " + reason);
}

// A decimal number from `min` to `max`: an optional sign, digits, point and exponent. strtod would also
// take "0x10" as 16, and "inf" or "nan", which no track writes.
double Number(const std::filesystem::path& file, int line, const std::string& name, const std::string& text, double min,
              double max) {
  const char* begin = text.data();
  const char* const end = text.data() + text.size();
  if (end - begin > 1 && *begin == '+' && begin[1] != '-') ++begin;  // from_chars takes no '+'
  double v = 0;
  const auto [stop, error] = std::from_chars(begin, end, v);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(v))
    Fail(file, line, name + " \"" + text + "\" is not a decimal number");
  if (v < min || v > max) {
    std::ostringstream s;
    s << name << " " << text << " is outside " << min << " to " << max;
    Fail(file, line, s.str());
  }
  return v;
}

std::string ReadAll(const std::filesystem::path& file) {
  try {
    return ReadInputFile(file, kMaxTrackFileBytes);
  } catch (const InputFileError& e) {
    throw ScenarioError(file.string() + ":1: " + e.what());
  }
}

// Appends a sample, refusing a time that does not move forward.
void Append(std::vector<TrackSample>& samples, const TrackSample& s, const std::filesystem::path& file, int line) {
  if (!samples.empty() && s.timeS <= samples.back().timeS)
    Fail(file, line, "time " + std::to_string(s.timeS) + " s does not come after the previous sample's");
  samples.push_back(s);
}

}  // namespace

Track::Track(std::vector<TrackSample> samples) : samples_(std::move(samples)) {
  if (samples_.empty()) throw std::invalid_argument("a track needs at least one sample");
  for (size_t i = 1; i < samples_.size(); ++i)
    if (!(samples_[i].timeS > samples_[i - 1].timeS)) throw std::invalid_argument("track times must increase");
  const size_t n = samples_.size();
  slopes_.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const TrackSample& s = samples_[i];
    // Neighbours for a difference: centred inside, one-sided at the ends.
    const size_t a = i > 0 ? i - 1 : i, b = i + 1 < n ? i + 1 : i;
    const double dt = samples_[b].timeS - samples_[a].timeS;
    Slope& m = slopes_[i];
    if (s.groundSpeedKt && s.trackDeg) {
      const double v = *s.groundSpeedKt * kMetresPerSecondPerKnot;
      m.eastMS = v * std::sin(Radians(*s.trackDeg));
      m.northMS = v * std::cos(Radians(*s.trackDeg));
    } else if (dt > 0) {
      m.eastMS = (samples_[b].position.eastM - samples_[a].position.eastM) / dt;
      m.northMS = (samples_[b].position.northM - samples_[a].position.northM) / dt;
    }
    if (s.verticalSpeedFpm) m.altitudeFtS = *s.verticalSpeedFpm / 60.0;
    else if (dt > 0) m.altitudeFtS = (samples_[b].altitudeFt - samples_[a].altitudeFt) / dt;
  }
}

TrackPoint Track::At(double timeS) const {
  double east, north, alt, vEast, vNorth, vAlt;
  const size_t n = samples_.size();
  if (n == 1 || timeS <= samples_.front().timeS || timeS >= samples_.back().timeS) {
    // Straight on from the nearer end.
    const size_t i = (n == 1 || timeS <= samples_.front().timeS) ? 0 : n - 1;
    const double d = timeS - samples_[i].timeS;
    vEast = slopes_[i].eastMS, vNorth = slopes_[i].northMS, vAlt = slopes_[i].altitudeFtS;
    east = samples_[i].position.eastM + vEast * d;
    north = samples_[i].position.northM + vNorth * d;
    alt = samples_[i].altitudeFt + vAlt * d;
  } else {
    const auto it = std::upper_bound(samples_.begin(), samples_.end(), timeS,
                                     [](double t, const TrackSample& s) { return t < s.timeS; });
    const size_t k = static_cast<size_t>(it - samples_.begin()) - 1;
    const TrackSample &p0 = samples_[k], &p1 = samples_[k + 1];
    const Slope &m0 = slopes_[k], &m1 = slopes_[k + 1];
    const double h = p1.timeS - p0.timeS, s = (timeS - p0.timeS) / h;
    const double s2 = s * s, s3 = s2 * s;
    const double h00 = 2 * s3 - 3 * s2 + 1, h10 = s3 - 2 * s2 + s, h01 = -2 * s3 + 3 * s2, h11 = s3 - s2;
    const double d00 = 6 * s2 - 6 * s, d10 = 3 * s2 - 4 * s + 1, d01 = -6 * s2 + 6 * s, d11 = 3 * s2 - 2 * s;
    const auto value = [&](double a, double ma, double b, double mb) {
      return h00 * a + h10 * h * ma + h01 * b + h11 * h * mb;
    };
    const auto rate = [&](double a, double ma, double b, double mb) {
      return (d00 * a + d10 * h * ma + d01 * b + d11 * h * mb) / h;
    };
    east = value(p0.position.eastM, m0.eastMS, p1.position.eastM, m1.eastMS);
    north = value(p0.position.northM, m0.northMS, p1.position.northM, m1.northMS);
    alt = value(p0.altitudeFt, m0.altitudeFtS, p1.altitudeFt, m1.altitudeFtS);
    vEast = rate(p0.position.eastM, m0.eastMS, p1.position.eastM, m1.eastMS);
    vNorth = rate(p0.position.northM, m0.northMS, p1.position.northM, m1.northMS);
    vAlt = rate(p0.altitudeFt, m0.altitudeFtS, p1.altitudeFt, m1.altitudeFtS);
  }
  TrackPoint p;
  p.position = {east, north};
  p.altitudeFt = alt;
  p.groundSpeedKt = std::hypot(vEast, vNorth) / kMetresPerSecondPerKnot;
  p.verticalSpeedFpm = vAlt * 60.0;
  // A hovering sample keeps the track it was given.
  const TrackSample& near = samples_[std::min(
      n - 1, static_cast<size_t>(std::lower_bound(samples_.begin(), samples_.end(), timeS,
                                                  [](const TrackSample& s, double t) { return s.timeS < t; }) -
                                 samples_.begin()))];
  p.trackDeg =
      p.groundSpeedKt > 0.1 ? NormaliseHeadingDeg(Degrees(std::atan2(vEast, vNorth))) : near.trackDeg.value_or(0.0);
  return p;
}

std::shared_ptr<const Track> ParseTrackCsv(const std::string& text, const std::filesystem::path& file,
                                           const LocalFrame& frame) {
  std::stringstream in(text);
  std::map<std::string, size_t> column;
  std::vector<TrackSample> samples;
  int lineNo = 0;
  bool geographic = false;
  for (std::string line; std::getline(in, line);) {
    ++lineNo;
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    const std::vector<std::string> fields = SplitFields(trimmed);
    if (column.empty()) {
      for (size_t i = 0; i < fields.size(); ++i) {
        static const char* const kKnown[] = {"timeS",         "eastNm",       "northNm",
                                             "latitudeDeg",   "longitudeDeg", "altitudeFt",
                                             "groundSpeedKt", "trackDeg",     "verticalSpeedFpm"};
        if (std::find_if(std::begin(kKnown), std::end(kKnown), [&](const char* k) { return fields[i] == k; }) ==
            std::end(kKnown))
          Fail(file, lineNo,
               "unknown column \"" + fields[i] +
                   "\" (timeS, eastNm, northNm or latitudeDeg, longitudeDeg, altitudeFt, "
                   "and optionally groundSpeedKt, trackDeg, verticalSpeedFpm)");
        if (!column.emplace(fields[i], i).second) Fail(file, lineNo, "column \"" + fields[i] + "\" appears twice");
      }
      geographic = column.count("latitudeDeg") != 0;
      const bool local = column.count("eastNm") != 0 || column.count("northNm") != 0;
      if (geographic == local || (geographic && column.count("longitudeDeg") == 0) ||
          (local && (column.count("eastNm") == 0 || column.count("northNm") == 0)))
        Fail(file, lineNo, "the header needs eastNm and northNm, or latitudeDeg and longitudeDeg");
      for (const char* need : {"timeS", "altitudeFt"})
        if (column.count(need) == 0) Fail(file, lineNo, std::string("the header needs a ") + need + " column");
      continue;
    }
    if (fields.size() != column.size())
      Fail(file, lineNo,
           "has " + std::to_string(fields.size()) + " fields, the header " + std::to_string(column.size()));
    const auto get = [&](const char* name, double min, double max) {
      return Number(file, lineNo, name, fields[column.at(name)], min, max);
    };
    const auto optional = [&](const char* name, double min, double max) -> std::optional<double> {
      if (column.count(name) == 0 || fields[column.at(name)].empty()) return std::nullopt;
      return get(name, min, max);
    };
    TrackSample s;
    s.timeS = get("timeS", -kMaxTrackTimeS, kMaxTrackTimeS);
    if (geographic) {
      const double lat = get("latitudeDeg", -85, 85), lon = get("longitudeDeg", -180, 180);
      s.position = frame.ToLocal({lat, lon});
    } else {
      s.position = {get("eastNm", -kMaxTrackOffsetNm, kMaxTrackOffsetNm) * kMetresPerNm,
                    get("northNm", -kMaxTrackOffsetNm, kMaxTrackOffsetNm) * kMetresPerNm};
    }
    s.altitudeFt = get("altitudeFt", kMinAltitudeFt, kMaxAltitudeFt);
    s.groundSpeedKt = optional("groundSpeedKt", 0, kMaxSpeedKt);
    s.trackDeg = optional("trackDeg", -kMaxTrackAngleDeg, kMaxTrackAngleDeg);
    s.verticalSpeedFpm = optional("verticalSpeedFpm", -kMaxVerticalSpeedFpm, kMaxVerticalSpeedFpm);
    Append(samples, s, file, lineNo);
  }
  if (column.empty()) Fail(file, std::max(lineNo, 1), "no header line");
  if (samples.empty()) Fail(file, lineNo, "no samples");
  return std::make_shared<const Track>(std::move(samples));
}

std::shared_ptr<const Track> LoadTrackCsv(const std::filesystem::path& file, const LocalFrame& frame) {
  return ParseTrackCsv(ReadAll(file), file, frame);
}

PairedTracks ParsePairedTracks(const std::string& text, const std::filesystem::path& file) {
  static const std::vector<std::string> kHeader = {"NAME", "east", "north", "alt", "trk", "gs", "vs", "time"};
  std::stringstream in(text);
  std::vector<TrackSample> own, intruder;
  std::vector<int> ownLines, intruderLines;  // each sample's line
  int lineNo = 0, meaningful = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNo;
    const std::string trimmed = Trim(line);
    if (trimmed.empty()) continue;
    const std::vector<std::string> fields = SplitFields(trimmed);
    ++meaningful;
    if (meaningful == 1) {
      if (fields != kHeader) Fail(file, lineNo, "the header must be \"NAME, east, north, alt, trk, gs, vs, time\"");
      continue;
    }
    if (meaningful == 2) {
      if (fields.size() != kHeader.size() || fields[0] != "unitless")
        Fail(file, lineNo, "the units line must be \"unitless, [ft], [ft], [ft], [rad], [ftps], [ftps], [s]\"");
      continue;
    }
    if (fields.size() != kHeader.size()) Fail(file, lineNo, "has " + std::to_string(fields.size()) + " fields, not 8");
    std::vector<TrackSample>* target = nullptr;
    if (fields[0] == "OWNSHIP") target = &own;
    else if (fields[0] == "INTRUDER") target = &intruder;
    else Fail(file, lineNo, "NAME \"" + fields[0] + "\" is neither OWNSHIP nor INTRUDER");
    // Bounds in the file's own units: feet, radians, feet per second.
    const double maxOffsetFt = kMaxTrackOffsetNm * kMetresPerNm / kMetresPerFoot;
    const double maxTrackRad = Radians(kMaxTrackAngleDeg);
    TrackSample s;
    s.position = {Number(file, lineNo, "east", fields[1], -maxOffsetFt, maxOffsetFt) * kMetresPerFoot,
                  Number(file, lineNo, "north", fields[2], -maxOffsetFt, maxOffsetFt) * kMetresPerFoot};
    s.altitudeFt = Number(file, lineNo, "alt", fields[3], kMinAltitudeFt, kMaxAltitudeFt);
    s.trackDeg = NormaliseHeadingDeg(Degrees(Number(file, lineNo, "trk", fields[4], -maxTrackRad, maxTrackRad)));
    s.groundSpeedKt = Number(file, lineNo, "gs", fields[5], 0, kMaxSpeedKt / kKtPerFtS) * kKtPerFtS;
    s.verticalSpeedFpm =
        Number(file, lineNo, "vs", fields[6], -kMaxVerticalSpeedFpm / 60, kMaxVerticalSpeedFpm / 60) * 60.0;
    s.timeS = Number(file, lineNo, "time", fields[7], -kMaxTrackTimeS, kMaxTrackTimeS);
    Append(*target, s, file, lineNo);
    (target == &own ? ownLines : intruderLines).push_back(lineNo);
  }
  if (meaningful < 2) Fail(file, std::max(lineNo, 1), "needs a header line and a units line");
  if (own.empty()) Fail(file, lineNo, "no OWNSHIP rows");
  if (intruder.empty()) Fail(file, lineNo, "no INTRUDER rows");
  const double start = std::min(own.front().timeS, intruder.front().timeS);
  // Counted from a far earlier start, two close times can round to one: refuse that rather than fly it.
  for (auto [list, lines] : {std::pair{&own, &ownLines}, std::pair{&intruder, &intruderLines}})
    for (size_t i = 0; i < list->size(); ++i) {
      (*list)[i].timeS -= start;
      if (i > 0 && (*list)[i].timeS <= (*list)[i - 1].timeS)
        Fail(file, (*lines)[i],
             "time cannot be told from the previous sample's once counted from the earliest time of the file");
    }
  return {std::make_shared<const Track>(std::move(own)), std::make_shared<const Track>(std::move(intruder))};
}

PairedTracks LoadPairedTracks(const std::filesystem::path& file) { return ParsePairedTracks(ReadAll(file), file); }

void WritePairedTracks(std::ostream& out, const std::vector<TrackSample>& own,
                       const std::vector<TrackSample>& intruder) {
  out << "NAME, east, north, alt, trk, gs, vs, time\n"
      << "unitless, [ft], [ft], [ft], [rad], [ftps], [ftps], [s]\n";
  char line[256];
  for (const auto& [name, list] : {std::pair{"OWNSHIP", &own}, std::pair{"INTRUDER", &intruder}})
    for (const TrackSample& s : *list) {
      std::snprintf(line, sizeof line, "%s, %.2f, %.2f, %.2f, %.6f, %.3f, %.3f, %.2f\n", name,
                    s.position.eastM / kMetresPerFoot, s.position.northM / kMetresPerFoot, s.altitudeFt,
                    Radians(s.trackDeg.value_or(0.0)), s.groundSpeedKt.value_or(0.0) / kKtPerFtS,
                    s.verticalSpeedFpm.value_or(0.0) / 60.0, s.timeS);
      out << line;
    }
}

}  // namespace kvr::host
