// The traffic frame shared by both feeds (private to module/logic).
#pragma once

#include "module/logic/logic.h"

namespace kvr {

template <typename FetchSlots, typename CandidateAt>
bool TrafficSource::RunFrame(float latitudeDeg, float longitudeDeg, float trueAltitudeFt, float pressureAltitudeFt,
                             float radioAltitudeFt, float headingDeg, OperatingMode mode, bool slew,
                             FetchSlots fetchSlots, CandidateAt candidate) {
  if (!BeginFrame(latitudeDeg, longitudeDeg, trueAltitudeFt, pressureAltitudeFt, radioAltitudeFt, headingDeg, mode,
                  slew))
    return true;  // Standby: nothing fed, nothing said
  fetchSlots();
  // Moves an intruder onto the own aircraft's pressure-altitude basis; kept in double precision.
  const double pressureMinusTrueFt = static_cast<double>(pressureAltitudeFt) - static_cast<double>(trueAltitudeFt);
  for (int32_t i = 0; i < intruderCount; ++i) FeedCandidate(i, candidate(i), pressureMinusTrueFt);
  FinishFrame(radioAltitudeFt);
  return true;
}

}  // namespace kvr
