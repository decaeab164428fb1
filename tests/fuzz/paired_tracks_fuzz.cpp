// The paired-track encounter over any text: two tracks whose points are finite, or a ScenarioError with
// the file and line.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/scenario/scenario.h"
#include "host/scenario/track.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const kvr::host::PairedTracks tracks = kvr::host::ParsePairedTracks(text, "fuzz.txt");
    for (const auto& track : {tracks.own, tracks.intruder}) {
      const kvr::host::TrackPoint p = track->At((track->StartS() + track->EndS()) / 2);
      if (!std::isfinite(p.altitudeFt) || !std::isfinite(p.position.eastM) || !std::isfinite(p.position.northM))
        std::abort();
    }
  } catch (const kvr::host::ScenarioError&) {
  }
  return 0;
}
