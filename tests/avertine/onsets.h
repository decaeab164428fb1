// When alerting starts on a flown encounter: the library's first traffic and resolution advisories, and
// the first frames at which the reference criteria of alerting_oracle.h fire on the exact states.
#pragma once

#include <optional>
#include <vector>

#include "tests/avertine/alerting_oracle.h"
#include "tests/avertine/encounter_sim.h"

namespace avertine_test {

struct Onsets {
  std::optional<double> traffic, resolution;
};

RelativeState Relative(const Aircraft& own, const Aircraft& intruder);

// Onsets up to `untilS` only: once the aircraft diverge the library posts no new advisory, while the bare
// criteria still fire for traffic that passes inside DMOD.
Onsets LibraryOnsets(const std::vector<FrameLog>& frames, double untilS);
Onsets OracleOnsets(const std::vector<FrameLog>& frames, double groundFt, double untilS);

// Both silent, or both alerting within 2 s of each other.
bool OnsetsAgree(const std::optional<double>& a, const std::optional<double>& b);

}  // namespace avertine_test
