// The built KVR_TCAS.gau loaded through the platform loader as a simulator loads it: the two exported
// records found by name, and the eight gauge headers with their element trees and mouse areas read in
// place.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "module/gauge/panel_sdk.h"
#include "module/platform/platform.h"

namespace kvr {
namespace {

class LoadedGauge : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(module, nullptr) << "KVR_TCAS.gau not found beside the test program";
    imports = reinterpret_cast<ImportTableRecord*>(GetProcAddress(static_cast<HMODULE>(module), "ImportTable"));
    linkage = reinterpret_cast<LinkageRecord*>(GetProcAddress(static_cast<HMODULE>(module), "Linkage"));
    ASSERT_NE(imports, nullptr);
    ASSERT_NE(linkage, nullptr);
  }
  void TearDown() override { platform::FreeLibraryHandle(module); }

  // True when `address` lies inside the loaded image: every record the module exports points into it.
  bool InImage(const void* address) const {
    const platform::LibraryImage image = platform::ImageOfLibrary(module);
    const auto* bytes = static_cast<const uint8_t*>(address);
    return bytes >= image.base && bytes < image.base + image.size;
  }

  platform::LibraryHandle module = platform::LoadLibraryByName("KVR_TCAS.gau");
  ImportTableRecord* imports = nullptr;
  LinkageRecord* linkage = nullptr;
};

TEST_F(LoadedGauge, ImportTableAsksForThePanelTableAndLinkageListsEightGauges) {
  EXPECT_EQ(imports->panel.tableId, 0x0Fu);
  EXPECT_EQ(imports->panel.table, nullptr);
  EXPECT_EQ(imports->end.tableId, 0u);
  EXPECT_EQ(linkage->moduleId, 0x13u);
  EXPECT_EQ(linkage->version, 0x900u);
  const char* names[] = {"IVSI", "IVSI2", "IVSI3", "IVSIb", "IVSI2b", "IVSI3b", "Transponder", "Logic"};
  const uint32_t widths[] = {158, 158, 158, 158, 158, 158, 228, 1};
  for (int i = 0; i < 8; ++i) {
    const GaugeHeader* gauge = linkage->gauges[i];
    ASSERT_TRUE(InImage(gauge)) << i;
    EXPECT_STREQ(gauge->name, names[i]);
    EXPECT_EQ(gauge->headerVersion, 0x320u);
    EXPECT_EQ(gauge->designWidth, widths[i]) << names[i];
    EXPECT_EQ(gauge->gaugeState, nullptr) << names[i];
    EXPECT_TRUE(InImage(reinterpret_cast<const void*>(gauge->callback))) << names[i];
    EXPECT_EQ(gauge->query, linkage->gauges[0]->query);
    EXPECT_EQ(gauge->kill, linkage->gauges[0]->kill);
  }
  EXPECT_EQ(linkage->gauges[8], nullptr);
}

// Walks every element tree: each element names its own gauge, and the IVSI trees hold one drawing surface.
int CountSurfaces(const ElementHeader* element, const GaugeHeader* gauge, int depth = 0) {
  EXPECT_LT(depth, 8);
  EXPECT_EQ(element->gauge, gauge);
  int surfaces = element->flags == kElementDrawingSurface ? 1 : 0;
  if (element->children != nullptr)
    for (ElementHeader** child = element->children; *child != nullptr; ++child)
      surfaces += CountSurfaces(*child, gauge, depth + 1);
  return surfaces;
}

TEST_F(LoadedGauge, ElementTreesAndMouseAreasReadInPlace) {
  for (int i = 0; i < 8; ++i) {
    const GaugeHeader* gauge = linkage->gauges[i];
    ASSERT_NE(gauge->elementList, nullptr);
    ASSERT_NE(gauge->elementList[0], nullptr);
    EXPECT_EQ(gauge->elementList[1], nullptr);
    EXPECT_EQ(CountSurfaces(gauge->elementList[0], gauge), i < 7 ? 1 : 0) << gauge->name;

    const MouseArea* area = gauge->mouseAreas;
    if (i == 7) {
      EXPECT_EQ(area, nullptr);
      EXPECT_EQ(gauge->elementList[0]->imageId, 0x1000u);
      EXPECT_EQ(gauge->elementList[0]->flags, 1u);
      continue;
    }
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->kind, kMouseListStart);
    int areas = 0;
    for (++area; area->kind == kMouseArea; ++area) {
      ++areas;
      EXPECT_TRUE(InImage(reinterpret_cast<const void*>(area->handler))) << gauge->name;
    }
    EXPECT_EQ(area->kind, kMouseListEnd);
    EXPECT_EQ(area[1].kind, kMouseListClose);
    EXPECT_EQ(areas, i < 6 ? 4 : 9) << gauge->name;
  }
}

}  // namespace
}  // namespace kvr
