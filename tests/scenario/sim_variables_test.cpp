// The simulator variables the host sets: turned back with the module's own conversions they must give the
// aircraft's state, and a module refreshing its records through the panel table must see them.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "host/panel_services.h"
#include "host/scenario/sim_variables.h"

namespace kvr::host {
namespace {

// The module's side: each value as it arrives, times the factor it applies.
struct ModuleView {
  double latitudeDeg, longitudeDeg, trueAltitudeFt, radioAltitudeFt, headingDeg, pressureAltitudeFt, verticalSpeedFpm;
};

ModuleView AsTheModuleReadsIt(const std::map<uint32_t, double>& v) {
  return {v.at(71) * 8.998425275576774e-6,
          v.at(72) * 1.2789769243681803e-12,
          v.at(73) * 3.2808398950131235,
          v.at(614) * 3.2808398950131235,
          v.at(86),
          v.at(74) - (v.at(76) - 29.92) * 1000,
          v.at(65) * 0.76875};
}

TEST(SimVariables, TheModulesConversionsGiveBackTheAircraftState) {
  const OwnSimState states[] = {
      {{47.25, 8.5}, 8200, 8000, 6800, 90, 250, 1500, 30.12},
      {{-33.9, -151.2}, 1500, 1620, 120, 359.5, 140, -700, 29.80},  // south-west, below standard pressure
      {{0, 0}, 0, 0, 0, 0, 0, 0, 29.92},
  };
  for (const OwnSimState& own : states) {
    std::map<uint32_t, double> values;
    for (const SimVariableValue& v : SimVariablesFor(own)) values[v.id] = v.value;
    ASSERT_EQ(values.size(), 8u);
    const ModuleView m = AsTheModuleReadsIt(values);
    EXPECT_NEAR(m.latitudeDeg, own.position.latitudeDeg, 1e-9);
    EXPECT_NEAR(m.longitudeDeg, own.position.longitudeDeg, 1e-9);
    EXPECT_NEAR(m.trueAltitudeFt, own.trueAltitudeFt, 1e-6);
    EXPECT_NEAR(m.radioAltitudeFt, own.radioAltitudeFt, 1e-6);
    EXPECT_DOUBLE_EQ(m.headingDeg, own.headingDeg);
    EXPECT_NEAR(m.pressureAltitudeFt, own.pressureAltitudeFt, 1e-6);
    EXPECT_NEAR(m.verticalSpeedFpm, own.verticalSpeedFpm, 1e-9);
  }
}

TEST(SimVariables, ARecordRefreshedThroughThePanelTableSeesTheValues) {
  PanelServices services;
  OwnSimState own{{47.0, 8.0}, 8200, 8000, 6800, 90, 250, -1000, 30.12};
  WriteSimVariables(services, own);
  services.SetSimInteger(38, 0x4721);
  VariableRecord latitude = SimVariableRecord(71);
  services.Table()->RefreshVariable(&latitude);
  EXPECT_NEAR(latitude.value.f64 * 8.998425275576774e-6, 47.0, 1e-9);
  VariableRecord vs = SimVariableRecord(65);
  services.Table()->RefreshVariable(&vs);
  EXPECT_NEAR(vs.value.f64 * 0.76875, -1000, 1e-9);
  VariableRecord code = SimVariableRecord(38);
  services.Table()->InitSimVariable(&code);
  EXPECT_EQ(code.value.u32, 0x4721u);
}

}  // namespace
}  // namespace kvr::host
