// Where the simulator looks: the table word of every service the module calls, and every record offset
// the simulator reads or writes, for this build's word size. The Linux suite checks the 64-bit layout
// (the one the win64 twin shares); the Windows suite compiles this file for 32 bits too.
#include <gtest/gtest.h>

#include <cstddef>

#include "module/gauge/panel_sdk.h"

namespace kvr {
namespace {

constexpr bool k32Bit = sizeof(void*) == 4;

TEST(PanelSdkLayout, EachServiceSitsAtTheSimulatorsWord) {
  const struct {
    const char* service;
    size_t offset;
    int word;
  } services[] = {
      {"element query", offsetof(PanelHost, GaugeQuery), 24},
      {"element install", offsetof(PanelHost, GaugeInstall), 25},
      {"element initialise", offsetof(PanelHost, GaugeInitialise), 26},
      {"element update", offsetof(PanelHost, GaugeUpdate), 27},
      {"element generate", offsetof(PanelHost, GaugeGenerate), 28},
      {"element draw", offsetof(PanelHost, GaugeDraw), 29},
      {"element kill", offsetof(PanelHost, GaugeKill), 31},
      {"send event", offsetof(PanelHost, SendEvent), 36},
      {"publish variable", offsetof(PanelHost, PublishVariable), 37},
      {"prepare simulator variable", offsetof(PanelHost, InitSimVariable), 38},
      {"bind variable", offsetof(PanelHost, BindVariable), 39},
      {"refresh variable", offsetof(PanelHost, RefreshVariable), 40},
      {"withdraw variable", offsetof(PanelHost, WithdrawVariable), 41},
      {"named object", offsetof(PanelHost, QueryService), 77},
  };
  for (const auto& s : services) {
    // 32 bits: 4-byte words. 64 bits: a 32-byte header, then 8-byte words.
    const size_t expected = k32Bit ? 4u * s.word : 8u * s.word - 16u;
    EXPECT_EQ(s.offset, expected) << s.service << " (word " << s.word << ")";
  }
  EXPECT_EQ(offsetof(PanelHost, services6), k32Bit ? 24u : 32u);
}

TEST(PanelSdkLayout, RecordsHaveTheSimulatorsOffsets) {
  const struct {
    const char* field;
    size_t actual;
    size_t at32, at64;
  } fields[] = {
      {"ImportEntry.table", offsetof(ImportEntry, table), 4, 4},
      {"sizeof ImportTableRecord", sizeof(ImportTableRecord), 16, 24},
      {"LinkageRecord.version", offsetof(LinkageRecord, version), 20, 28},
      {"LinkageRecord.gauges", offsetof(LinkageRecord, gauges), 24, 32},
      {"GaugeHeader.elementList", offsetof(GaugeHeader, elementList), 8, 12},
      {"GaugeHeader.query", offsetof(GaugeHeader, query), 12, 20},
      {"GaugeHeader.kill", offsetof(GaugeHeader, kill), 36, 68},
      {"GaugeHeader.designWidth", offsetof(GaugeHeader, designWidth), 44, 84},
      {"GaugeHeader.xAdjust", offsetof(GaugeHeader, xAdjust), 52, 92},
      {"GaugeHeader.yAdjust", offsetof(GaugeHeader, yAdjust), 56, 96},
      {"GaugeHeader.x", offsetof(GaugeHeader, x), 68, 108},
      {"GaugeHeader.mouseAreas", offsetof(GaugeHeader, mouseAreas), 80, 120},
      {"GaugeHeader.callback", offsetof(GaugeHeader, callback), 84, 128},
      {"GaugeHeader.gaugeState", offsetof(GaugeHeader, gaugeState), 88, 136},
      {"GaugeHeader.parameters", offsetof(GaugeHeader, parameters), 92, 144},
      {"GaugeHeader.usage", offsetof(GaugeHeader, usage), 96, 152},
      {"GaugeHeader.width", offsetof(GaugeHeader, width), 108, 164},
      {"GaugeHeader.userArea", offsetof(GaugeHeader, userArea), 116, 172},
      {"sizeof GaugeHeader", sizeof(GaugeHeader), 208, 264},
      {"ElementHeader.gauge", offsetof(ElementHeader, gauge), 32, 32},
      {"ElementHeader.children", offsetof(ElementHeader, children), 40, 44},
      {"ElementHeader.flags", offsetof(ElementHeader, flags), 48, 56},
      {"ElementHeader.surfaceInfo", offsetof(ElementHeader, surfaceInfo), 60, 68},
      {"ElementHeader.deviceContext", offsetof(ElementHeader, deviceContext), 80, 92},
      {"sizeof ElementHeader", sizeof(ElementHeader), 96, 112},
      {"IconElement.iconKind", offsetof(IconElement, iconKind), 112, 128},
      {"IconElement.callback", offsetof(IconElement, callback), 132, 148},
      {"MouseArea.acceptedFlags", offsetof(MouseArea, acceptedFlags), 28, 28},
      {"MouseArea.handler", offsetof(MouseArea, handler), 36, 36},
      {"sizeof MouseArea", sizeof(MouseArea), 44, 48},
      {"VariableRecord.valuePointer", offsetof(VariableRecord, valuePointer), 4, 4},
      {"VariableRecord.typeCode", offsetof(VariableRecord, typeCode), 8, 12},
      {"VariableRecord.value", offsetof(VariableRecord, value), 12, 16},
      {"VariableRecord.previous", offsetof(VariableRecord, previous), 20, 24},
      {"sizeof VariableRecord", sizeof(VariableRecord), 28, 32},
  };
  for (const auto& f : fields) EXPECT_EQ(f.actual, k32Bit ? f.at32 : f.at64) << f.field;
}

}  // namespace
}  // namespace kvr
