// The module's exported records as a host sees them: the built file is loaded and its tables walked.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "host/module_loader.h"
#include "host/panel_services.h"
#include "host/platform/posix/elf_file.h"
#include "tests/gauge/module_fixture.h"
#include "tests/packed_field.h"

namespace kvr {
namespace {

using host::LoadedModule;
using host::PanelServices;

class GaugeTable : public ::testing::Test {
 protected:
  PanelServices services;
  LoadedModule module{testing::ModuleFile(), services.Table()};

  GaugeHeader& Gauge(const char* name) {
    GaugeHeader* gauge = module.FindGauge(name);
    EXPECT_NE(gauge, nullptr) << name;
    return *gauge;
  }
};

TEST(ModuleFile, ExportsExactlyImportTableAndLinkage) {
  std::vector<std::string> exported = host::ElfFile(testing::ModuleFile()).ExportedNames();
  std::sort(exported.begin(), exported.end());
  EXPECT_EQ(exported, (std::vector<std::string>{"ImportTable", "Linkage"}));
}

TEST_F(GaugeTable, LinkageListsEightGaugesInOrderThenZero) {
  EXPECT_EQ(module.Linkage().moduleId, 0x13u);
  EXPECT_EQ(module.Linkage().version, 0x900u);
  EXPECT_EQ(module.Imports().panel.tableId, 0x0Fu);
  EXPECT_EQ(testing::Field(module.Imports().panel.table), services.Table());
  EXPECT_EQ(module.Imports().end.tableId, 0u);
  const char* names[] = {"IVSI", "IVSI2", "IVSI3", "IVSIb", "IVSI2b", "IVSI3b", "Transponder", "Logic"};
  const uint32_t widths[] = {158, 158, 158, 158, 158, 158, 228, 1};
  for (int i = 0; i < 8; ++i) {
    GaugeHeader* gauge = module.Linkage().gauges[i];
    ASSERT_NE(gauge, nullptr);
    EXPECT_STREQ(gauge->name, names[i]);
    EXPECT_EQ(gauge->designWidth, widths[i]) << names[i];
    EXPECT_EQ(gauge->headerVersion, 0x320u);
    EXPECT_EQ(testing::Field(gauge->gaugeState), nullptr);
    EXPECT_NE(testing::Field(gauge->callback), nullptr);
  }
  EXPECT_EQ(module.Linkage().gauges[8], nullptr);
}

TEST_F(GaugeTable, EveryHeaderSharesSevenRoutinesThatPassTheTopElementOfIvsi) {
  GaugeHeader& first = *module.Linkage().gauges[0];
  ElementHeader* ivsiTop = first.elementList[0];
  for (GaugeHeader* gauge : module.Gauges()) {
    EXPECT_EQ(testing::Field(gauge->query), testing::Field(first.query));
    EXPECT_EQ(testing::Field(gauge->install), testing::Field(first.install));
    EXPECT_EQ(testing::Field(gauge->initialise), testing::Field(first.initialise));
    EXPECT_EQ(testing::Field(gauge->update), testing::Field(first.update));
    EXPECT_EQ(testing::Field(gauge->generate), testing::Field(first.generate));
    EXPECT_EQ(testing::Field(gauge->draw), testing::Field(first.draw));
    EXPECT_EQ(testing::Field(gauge->kill), testing::Field(first.kill));
  }
  // Called through the Logic header, each routine still hands the host the top element of "IVSI".
  GaugeHeader& logic = Gauge("Logic");
  EXPECT_EQ(logic.query(), 1);
  EXPECT_EQ(logic.install(77), 1);
  EXPECT_EQ(logic.initialise(), 1);
  EXPECT_EQ(logic.update(), 1);
  EXPECT_EQ(logic.generate(78), 1);
  EXPECT_EQ(logic.draw(), 1);
  EXPECT_EQ(logic.kill(), 1);
  for (int r = 0; r < PanelServices::kRoutineCount; ++r) {
    const auto& calls = services.Calls(static_cast<PanelServices::Routine>(r));
    EXPECT_EQ(calls.count, 1) << "routine " << r;
    EXPECT_EQ(calls.lastElement, ivsiTop) << "routine " << r;
  }
  EXPECT_EQ(services.Calls(PanelServices::kInstall).lastArgument, 77u);
  EXPECT_EQ(services.Calls(PanelServices::kGenerate).lastArgument, 78u);
}

struct ExpectedElement {
  uint32_t type, imageId;
  int32_t x, y;
  uint32_t flags;
};

void ExpectElement(const ElementHeader* e, const ExpectedElement& want, const GaugeHeader* owner) {
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->type, want.type);
  EXPECT_EQ(e->imageId, want.imageId);
  EXPECT_EQ(e->x, want.x);
  EXPECT_EQ(e->y, want.y);
  EXPECT_EQ(e->flags, want.flags);
  EXPECT_EQ(testing::Field(e->gauge), owner);
}

TEST_F(GaugeTable, IvsiTreesDifferOnlyInBezelAndOverlayAndBVariantsAreBlank) {
  for (const char* name : {"IVSI", "IVSI2", "IVSI3", "IVSIb", "IVSI2b", "IVSI3b"}) {
    SCOPED_TRACE(name);
    GaugeHeader& g = Gauge(name);
    const bool blank = std::string(name).back() == 'b';
    ASSERT_EQ(testing::Field(g.elementList[1]), nullptr);
    ElementHeader* root = g.elementList[0];
    ExpectElement(root, {kElementStatic, 0x1300, 0, 0, 0x01}, &g);
    ASSERT_NE(testing::Field(root->children), nullptr);
    ElementHeader* drawing = root->children[0];
    EXPECT_EQ(testing::Field(root->children[1]), nullptr);
    ExpectElement(drawing, {kElementStatic, 0x1000, 14, 14, 0x26}, &g);
    ExpectElement(drawing->children[0], {kElementStatic, blank ? 0x1300u : 0x1100u, 0, 0, 0x03}, &g);
    ExpectElement(drawing->children[1], {kElementStatic, blank ? 0x1300u : 0x1200u, 0, 0, 0x07}, &g);
    EXPECT_EQ(testing::Field(drawing->children[2]), nullptr);
    EXPECT_EQ(testing::Field(g.mouseAreas), Gauge("IVSI").mouseAreas);
    EXPECT_EQ(testing::Field(g.callback), Gauge("IVSI").callback);
  }
}

void ExpectMouseList(const MouseArea* list, const std::vector<MouseArea>& areas) {
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list[0].kind, kMouseListStart);
  EXPECT_EQ(list[0].cursor, -1);
  EXPECT_EQ(list[0].width, 0);
  for (size_t i = 0; i < areas.size(); ++i) {
    SCOPED_TRACE(i);
    const MouseArea& a = list[i + 1];
    EXPECT_EQ(a.kind, kMouseArea);
    EXPECT_EQ(a.x, areas[i].x);
    EXPECT_EQ(a.y, areas[i].y);
    EXPECT_EQ(a.width, areas[i].width);
    EXPECT_EQ(a.height, areas[i].height);
    EXPECT_EQ(a.acceptedFlags, areas[i].acceptedFlags);
    EXPECT_EQ(a.cursor, 5);
    EXPECT_NE(testing::Field(a.handler), nullptr);
  }
  const MouseArea& end = list[areas.size() + 1];
  EXPECT_EQ(end.kind, kMouseListEnd);
  EXPECT_EQ(end.cursor, -1);
  EXPECT_EQ(end.x | end.y | end.width | end.height, 0);
  EXPECT_EQ(list[areas.size() + 2].kind, kMouseListClose);  // the list closes as the simulator's own do
}

MouseArea Box(int x, int y, int w, int h, uint32_t flags) {
  return {kMouseArea, x, y, w, h, 5, 0, flags, 0, nullptr, 0};
}

TEST_F(GaugeTable, MouseAreasAreAsDeclared) {
  const uint32_t both = 0xA0000000;
  ExpectMouseList(Gauge("IVSI").mouseAreas, {Box(0, 0, 52, 52, both), Box(106, 0, 52, 52, both),
                                             Box(0, 106, 52, 52, both), Box(106, 106, 52, 52, both)});
  ExpectMouseList(Gauge("Transponder").mouseAreas,
                  {Box(92, 33, 12, 30, both), Box(104, 33, 12, 30, both), Box(116, 33, 12, 30, both),
                   Box(128, 33, 12, 30, both), Box(159, 51, 28, 25, both), Box(43, 51, 28, 25, both),
                   Box(27, 3, 15, 29, both), Box(65, 3, 15, 29, both), Box(133, 64, 20, 20, 0x20000000)});
  EXPECT_EQ(testing::Field(Gauge("Logic").mouseAreas), nullptr);
}

TEST_F(GaugeTable, TransponderTreeHasBaseWithNineChildrenAndFourSelectorIcons) {
  GaugeHeader& g = Gauge("Transponder");
  ElementHeader* base = g.elementList[0];
  ExpectElement(base, {kElementStatic, 0x2000, 0, 0, 0x01}, &g);
  const ExpectedElement children[] = {
      {kElementStatic, 0x2100, 0, 0, 0x05},    {kElementStatic, 0x2200, 91, 13, 0x26},
      {kElementStatic, 0x2500, 139, 71, 0x05}, {kElementIcon, 0x2300, 159, 50, 0x03},
      {kElementIcon, 0x2300, 42, 50, 0x03},    {kElementIcon, 0x2400, 30, 8, 0x03},
      {kElementIcon, 0x2400, 60, 8, 0x03},     {kElementStatic, 0x2401, 161, 8, 0x03},
      {kElementStatic, 0x2402, 191, 8, 0x03},
  };
  for (int i = 0; i < 9; ++i) {
    SCOPED_TRACE(i);
    ExpectElement(base->children[i], children[i], &g);
    if (children[i].type == kElementIcon) {
      auto* icon = reinterpret_cast<IconElement*>(base->children[i]);
      EXPECT_EQ(icon->iconKind, 5u);
      EXPECT_NE(testing::Field(icon->callback), nullptr);
    }
  }
  EXPECT_EQ(testing::Field(base->children[9]), nullptr);

  GaugeHeader& logic = Gauge("Logic");
  ExpectElement(logic.elementList[0], {kElementStatic, 0x1000, 0, 0, 0x01}, &logic);
  EXPECT_EQ(testing::Field(logic.elementList[0]->children), nullptr);
}

TEST_F(GaugeTable, BitmapResourcesHaveTheirSizesAndFormats) {
  struct Want {
    uint32_t id;
    int w, h, bits;
    uint32_t compression;
  };
  std::vector<Want> wants = {{0x1000, 132, 132, 8, 1}, {0x1100, 158, 158, 8, 0}, {0x1200, 158, 158, 8, 0},
                             {0x1300, 158, 158, 8, 1}, {0x2000, 228, 89, 8, 0},  {0x2100, 228, 89, 8, 0},
                             {0x2200, 50, 17, 4, 0},   {0x2500, 8, 8, 8, 0}};
  for (uint32_t id = 0x2300; id <= 0x2304; ++id) wants.push_back({id, 27, 27, 8, 0});
  for (uint32_t id = 0x2400; id <= 0x2402; ++id) wants.push_back({id, 11, 21, 8, 0});
  for (const Want& want : wants) {
    SCOPED_TRACE(want.id);
    const std::vector<uint8_t> bitmap = module.Bitmap(want.id);
    ASSERT_FALSE(bitmap.empty());
    const host::BitmapInfo info = host::ReadBitmapInfo(bitmap);
    EXPECT_EQ(info.width, want.w);
    EXPECT_EQ(info.height, want.h);
    EXPECT_EQ(info.bitsPerPixel, want.bits);
    EXPECT_EQ(info.compression, want.compression);
  }
  EXPECT_TRUE(module.Bitmap(0x1234).empty());
}

}  // namespace
}  // namespace kvr
