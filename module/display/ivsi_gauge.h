// The per-instance controller of an IVSI gauge, kept in its header's state slot.
#pragma once

#include <cstdint>

#include "module/gauge/panel_sdk.h"
#include "module/platform/drawing.h"

namespace kvr {

class TrafficSource;
struct IvsiDisplay;

struct IvsiOptions {
  bool useProbe = true;          // "pic": power, lit and vsi_flag from the systems probe
  bool antiAliased = true;       // "aa"
  bool bluePlane = true;         // "blueplane": own aircraft light blue, traffic white
  uint16_t refreshTicks = 1;     // "vsirate" 18 gives one composition per 18 Hz tick
  int32_t normalBand = 999;      // "other", hundreds of feet; never negative
  float fontScale = 1.0f;        // "fontscale"
  bool publishVariables = true;  // "nv"
};

IvsiOptions ParseIvsiOptions(const char* parameters);

// What the IVSI reads of the simulator each frame: one record per variable.
struct SimSnapshot {
  VariableRecord tickRecord = SimVariableRecord(kSimTickCount18Hz);
  VariableRecord verticalSpeedRecord = SimVariableRecord(65);
  uint16_t tick = 0;           // 18 Hz tick counter, low 16 bits
  float verticalSpeedFpm = 0;  // feet per minute
};

// Refreshes both records and converts them.
void FillSimSnapshot(SimSnapshot& snapshot);

struct IvsiGauge {
  GaugeHeader* gauge = nullptr;
  ElementHeader* drawingElement = nullptr;
  int32_t width = 0;  // drawing surface, pixels
  int32_t height = 0;
  platform::DrawContext templateContext = nullptr;  // compatible with the drawing element's context
  IvsiDisplay* display = nullptr;                   // owned; null without a drawing element
  SimSnapshot snapshot;
  TrafficSource** logicBinding = nullptr;  // the published cell holding the traffic source, or null
  uint32_t lastUpdateCount = 0xFFFFFFFFu;
  uint16_t lastComposeTick = 0xFC00;
  IvsiOptions options;
};

}  // namespace kvr
