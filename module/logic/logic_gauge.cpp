// The Logic gauge: it owns the traffic source through the published cell, gathers the own aircraft's
// state from the simulator variables and runs a traffic frame at most once per 18 ticks (about once a
// second), never while the simulator is paused; and it starts, services and stops the announcer.
#include <cmath>
#include <cstdlib>
#include <new>

#include "module/display/display.h"
#include "module/gauge/gauge.h"
#include "module/logic/logic.h"
#include "module/sound/sound.h"

namespace kvr {

constinit TrafficSource* logicCell = nullptr;

namespace {

constexpr int kFrameIntervalTicks = 18;

// Simulator variables in the units they arrive in, and their conversions.
constexpr double kMetresNorthToDeg = 90.0 / 10001750.0;
constexpr double kLongitudeUnitsToDeg = 360.0 / 281474976710656.0;  // 2^48 units per turn
constexpr double kMetresToFeet = 3.2808398950131235;
constexpr double kStandardAltimeterInHg = 29.92;

struct OwnStateRecords {
  VariableRecord tick = SimVariableRecord(1);
  VariableRecord latitude = SimVariableRecord(71);
  VariableRecord longitude = SimVariableRecord(72);
  VariableRecord altitude = SimVariableRecord(73);
  VariableRecord radioAltitude = SimVariableRecord(614);
  VariableRecord heading = SimVariableRecord(86);
  VariableRecord indicatedAltitude = SimVariableRecord(74);
  VariableRecord altimeter = SimVariableRecord(76);
};
constinit OwnStateRecords records;

// The tick counter truncated to an integer, low 16 bits kept; a value that is no number of ticks (not
// finite, or beyond a 64-bit integer, whose conversion would be undefined) gives 0.
uint16_t TickOf(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= 9.0e18) return 0;
  return static_cast<uint16_t>(static_cast<int64_t>(value));
}

void RunFrameStep(TrafficSource& source) {
  if (source.IsPaused()) return;

  RefreshVariable(&records.tick);
  const uint16_t tick = TickOf(records.tick.value.f64);
  // The two 16-bit ticks differ as plain integers, not modulo 2^16: a wrap of the counter is a large step
  // and lets the frame run.
  if (std::abs(static_cast<int>(tick) - static_cast<int>(source.lastTick)) < kFrameIntervalTicks) return;
  source.lastTick = tick;

  RefreshVariable(&records.latitude);
  RefreshVariable(&records.longitude);
  RefreshVariable(&records.altitude);
  RefreshVariable(&records.radioAltitude);
  RefreshVariable(&records.heading);
  RefreshVariable(&records.indicatedAltitude);
  RefreshVariable(&records.altimeter);
  const float latitudeDeg = static_cast<float>(records.latitude.value.f64 * kMetresNorthToDeg);
  const float longitudeDeg = static_cast<float>(records.longitude.value.f64 * kLongitudeUnitsToDeg);
  const float trueAltitudeFt = static_cast<float>(records.altitude.value.f64 * kMetresToFeet);
  const float radioAltitudeFt = static_cast<float>(records.radioAltitude.value.f64 * kMetresToFeet);
  const float headingDeg = static_cast<float>(records.heading.value.f64);
  const float pressureAltitudeFt = static_cast<float>(records.indicatedAltitude.value.f64 -
                                                      (records.altimeter.value.f64 - kStandardAltimeterInHg) * 1000.0);

  source.Update(latitudeDeg, longitudeDeg, trueAltitudeFt, pressureAltitudeFt, radioAltitudeFt, headingDeg,
                ModeFromSelectors());
  ++source.updateCount;
}

}  // namespace

LogicOptions ParseLogicOptions(const char* parameters) {
  LogicOptions options;
  options.trafficInfo = SwitchOption(parameters, "trafficinfo", false);
  options.volume = IntegerOption(parameters, "volume", -300);
  return options;
}

OperatingMode ModeFromSelectors() {
  if (selectors.power == 0) return OperatingMode::Standby;
  switch (selectors.modeIndex) {
    case kModeTaOnly: return OperatingMode::TaOnly;
    case kModeTaRa: return selectors.vsiFlag == 0 ? OperatingMode::TaRa : OperatingMode::TaOnly;
    default: return OperatingMode::Standby;
  }
}

void LogicConnect(GaugeHeader*) { PublishVariable(&logicCell, kTypeObject, kLogicVariableName); }

void LogicInstall(GaugeHeader* gauge, uintptr_t moduleHandle) {
  const LogicOptions options = ParseLogicOptions(gauge->parameters);
  // A second installation replaces the source instead of losing it; the cell stays published.
  if (TrafficSource* old = logicCell) {
    logicCell = nullptr;
    delete old;
  }
  if (options.trafficInfo) logicCell = new (std::nothrow) TrafficInfoSource;
  else logicCell = new (std::nothrow) FsuipcTrafficSource;
  InitAnnouncer(reinterpret_cast<void*>(moduleHandle), options.volume);
}

void LogicUpdate(GaugeHeader*) {
  if (logicCell == nullptr) return;
  RunFrameStep(*logicCell);
  ServiceAnnouncer();
}

void LogicDisconnect(GaugeHeader*) {
  delete logicCell;  // clears the cell and withdraws the name
  ShutdownAnnouncer();
}

}  // namespace kvr
