// The track CSV over any text: a track whose every point between and beyond its samples is finite, or a
// ScenarioError with the file and line.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/scenario/scenario.h"
#include "host/scenario/track.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  static const kvr::host::LocalFrame frame(kvr::host::GeoPosition{47.0, 8.0});
  try {
    const auto track = kvr::host::ParseTrackCsv(text, "fuzz.csv", frame);
    for (double t :
         {track->StartS() - 10, track->StartS(), (track->StartS() + track->EndS()) / 2, track->EndS() + 10}) {
      const kvr::host::TrackPoint p = track->At(t);
      if (!std::isfinite(p.altitudeFt) || !std::isfinite(p.position.eastM) || !std::isfinite(p.position.northM))
        std::abort();
    }
  } catch (const kvr::host::ScenarioError&) {
  }
  return 0;
}
