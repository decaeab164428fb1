// The Logic gauge: the invisible gauge that owns the traffic picture and runs the traffic frame.
#pragma once

#include <cstdint>

#include "module/gauge/panel_sdk.h"

namespace kvr {

class TrafficSource;

// The module-wide cell published as "KVR_TCAS!Logic" (type code 38): the current traffic source, or null.
extern TrafficSource* logicCell;
inline constexpr char kLogicVariableName[] = "KVR_TCAS!Logic";

// [panel thread] Callback codes, dispatched by the gauge table.
void LogicConnect(GaugeHeader* gauge);
void LogicInstall(GaugeHeader* gauge, uintptr_t moduleHandle);
void LogicUpdate(GaugeHeader* gauge);
void LogicDisconnect(GaugeHeader* gauge);

}  // namespace kvr
