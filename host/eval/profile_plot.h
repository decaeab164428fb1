// profile.png of one run: altitude against time for the own aircraft and each intruder, range against time
// beneath it, and a plan view beside them. Traffic-advisory periods are shaded amber and resolution-
// advisory periods red, each labelled with the messages spoken; the NMAC cylinder shows as the box of
// ±100 ft around an intruder's altitude while it is within 500 ft horizontally, and as the 500 ft line on
// the range plot.
#pragma once

#include <filesystem>
#include <string>

#include "host/scenario/event_log.h"
#include "host/scenario/trajectory.h"

namespace kvr::host {

// Throws std::runtime_error when the picture cannot be written.
void WriteProfile(const Trajectory& trajectory, const EventLog& events, const std::filesystem::path& png,
                  const std::string& title);

}  // namespace kvr::host
